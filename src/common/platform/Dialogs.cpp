// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/Dialogs.h"

#include "common/CommandQueue.h"
#include "common/SettingsStore.h"
#include "files/PrintModule.h"

#include <QApplication>
#include <QColorDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace {

// Gives the keyboard back once the dialog it watches is hidden.
class FocusOnHide : public QObject
{
public:
    FocusOnHide(QWidget *dialog, QWidget *asker)
        : QObject(dialog)
        , m_asker(asker)
    {
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide) {
            GiveKeyboardBack(m_asker.data());
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> m_asker;
};

// The window active when a box opens: the box belongs to it (the window manager keeps the box
// above it, above the full-screen viewer) and gives the keyboard back to it when the box closes.
class FocusReturn
{
public:
    FocusReturn()
        : m_window(QApplication::activeWindow())
    {}
    ~FocusReturn() { GiveKeyboardBack(m_window.data()); }
    FocusReturn(const FocusReturn &) = delete;
    FocusReturn &operator=(const FocusReturn &) = delete;
    [[nodiscard]] QWidget *window() const { return m_window.data(); }

private:
    QPointer<QWidget> m_window;
};

class RealDialogs final : public DialogProvider
{
public:
    int messageBox(const QString &prompt, int style, const QString &title) override
    {
        const FocusReturn asker;
        QMessageBox box(asker.window());
        box.setWindowTitle(title);
        box.setText(BreakableText(prompt));
        switch (style & vbIconMask) {
        case vbCritical:
            box.setIcon(QMessageBox::Critical);
            break;
        case vbQuestion:
            box.setIcon(QMessageBox::Question);
            break;
        case vbExclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case vbInformation:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
        }
        struct Choice
        {
            QMessageBox::StandardButton button;
            int result;
        };
        QList<Choice> choices;
        switch (style & vbButtonMask) {
        case vbOKCancel:
            choices = {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
            break;
        case vbAbortRetryIgnore:
            choices = {{QMessageBox::Abort, vbAbort}, {QMessageBox::Retry, vbRetry}, {QMessageBox::Ignore, vbIgnore}};
            break;
        case vbYesNoCancel:
            choices = {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
            break;
        case vbYesNo:
            choices = {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
            break;
        case vbRetryCancel:
            choices = {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
            break;
        case vbYesYesToAllNoCancel:
            choices = {{QMessageBox::Yes, vbYes},
                       {QMessageBox::YesToAll, vbYesToAll},
                       {QMessageBox::No, vbNo},
                       {QMessageBox::Cancel, vbCancel}};
            break;
        default:
            choices = {{QMessageBox::Ok, vbOK}};
            break;
        }
        QMessageBox::StandardButtons buttons;
        for (const Choice &c : choices) {
            buttons |= c.button;
        }
        box.setStandardButtons(buttons);
        box.setDefaultButton(choices.front().button);
        CentreOnScreen(box);
        // The box's own loop: Qt keeps input from every other window, and whatever arrives from
        // outside waits in the command queue (MsgBox and the others hold it), so nothing re-enters
        // the command that asked.
        const auto clicked = static_cast<QMessageBox::StandardButton>(box.exec());
        for (const Choice &c : choices) {
            if (c.button == clicked) {
                return c.result;
            }
        }
        // Closed with Escape or the window's close box: the gentlest answer.
        return choices.size() > 1 ? choices.back().result : vbOK;
    }

    std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &defaultText) override
    {
        const FocusReturn asker;
        QInputDialog dialog(asker.window());
        dialog.setWindowTitle(title);
        dialog.setLabelText(prompt);
        dialog.setInputMode(QInputDialog::TextInput);
        dialog.setTextValue(defaultText);
        CentreOnScreen(dialog);
        // A modal loop, as the message box's.
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.textValue();
    }

    std::optional<QColor> chooseColour(const QColor &initial) override
    {
        const FocusReturn asker;
        const QColor chosen = QColorDialog::getColor(initial, asker.window());
        if (!chosen.isValid()) {
            return std::nullopt;
        }
        return chosen;
    }

    bool choosePrinter(QPrinter &printer) override
    {
        // The printer came from the printing module, so it is loaded.
        const PrintModule *module = LoadPrintModule();
        if (module == nullptr) {
            return false;
        }
        const FocusReturn asker;
        return module->choose(printer, asker.window());
    }
};

RealDialogs g_real;
DialogProvider *g_provider = nullptr;

DialogProvider &provider()
{
    return g_provider != nullptr ? *g_provider : g_real;
}

QString titleOrDefault(const QString &title)
{
    return title.isEmpty() ? AppName : title;
}

} // namespace

// Some window managers give the keyboard to the main window when a box closes, not to the tool
// window (the panel) that asked, and may do so after the request below: for a second, the owner
// taking the keyboard is overruled.
void GiveKeyboardBack(QWidget *asker)
{
    if (asker == nullptr || !asker->isVisible()) {
        return;
    }
    asker->activateWindow();
    const QPointer<QWidget> owner = asker->parentWidget() != nullptr ? asker->parentWidget()->window() : nullptr;
    if (owner.isNull()) {
        return;
    }
    auto *watch = new QObject(asker);
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, watch, [asker, owner](QWindow *focus) {
        if (focus != nullptr && !owner.isNull() && focus == owner->windowHandle() && asker->isVisible()) {
            asker->activateWindow();
        }
    });
    QTimer::singleShot(1000, watch, &QObject::deleteLater);
}

QString BreakableText(const QString &text)
{
    // A box is as wide as its longest unbroken word: a 250-byte file name would make it wider
    // than the screen. Long runs get a zero-width space, where a line may break, every 40 characters.
    constexpr int kRun = 40;
    QString out;
    out.reserve(text.size() + text.size() / kRun);
    int run = 0;
    for (const QChar c : text) {
        if (c.isSpace()) {
            run = 0;
        } else if (++run > kRun && !(c.isLowSurrogate() && !out.isEmpty() && out.back().isHighSurrogate())) {
            out += QChar(0x200B);
            run = 1;
        }
        out += c;
    }
    return out;
}

int MsgBox(const QString &prompt, int style, const QString &title)
{
    const CommandScope box;
    return provider().messageBox(prompt, style, titleOrDefault(title));
}

std::optional<QString> InputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    const CommandScope box;
    return provider().inputBox(prompt, titleOrDefault(title), defaultText);
}

std::optional<QColor> ChooseColour(const QColor &initial)
{
    const CommandScope box;
    return provider().chooseColour(initial);
}

bool ChoosePrinter(QPrinter &printer)
{
    const CommandScope box;
    return provider().choosePrinter(printer);
}

void CentreOnScreen(QWidget &dialog)
{
    // Centred on the screen, as the program's boxes have always been, rather than on the window
    // that asks (the narrow panel at the screen's edge).
    dialog.adjustSize();
    const QScreen *screen = dialog.parentWidget() != nullptr ? dialog.parentWidget()->screen() : dialog.screen();
    if (screen == nullptr) {
        return;
    }
    QRect where(QPoint(), dialog.size());
    where.moveCenter(screen->geometry().center());
    dialog.move(where.topLeft());
}

void ReturnFocusWhenHidden(QWidget &dialog)
{
    QWidget *asker = QApplication::activeWindow();
    if (asker != nullptr && asker != &dialog) {
        new FocusOnHide(&dialog, asker);
    }
}

void SetDialogProvider(DialogProvider *newProvider)
{
    g_provider = newProvider;
}

void SaySettingsSaveFailures()
{
    SetSaveFailureHandler([](const QString &reason) {
        // One command may save several values in a row (removing three folders, say): it is told
        // once, and the next command that fails is told again.
        static bool told = false;
        if (told) {
            return;
        }
        told = true;
        MsgBox(QStringLiteral("The settings could not be saved: %1.").arg(reason), vbCritical);
        QTimer::singleShot(0, [] { told = false; });
    });
}
