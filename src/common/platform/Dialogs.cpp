#include "common/platform/Dialogs.h"

#include "common/SettingsStore.h"

#include <QApplication>
#include <QColorDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>

namespace {

// Centred on the screen, as the program's boxes have always been, rather than on the window that
// asks (the narrow panel at the screen's edge). The box still belongs to that window, so the window
// manager keeps it above the full-screen viewer and gives the keyboard back to it afterwards.
void centreOnScreen(QWidget *dialog)
{
    dialog->adjustSize();
    const QScreen *screen = dialog->parentWidget() != nullptr ? dialog->parentWidget()->screen() : dialog->screen();
    if (screen == nullptr) {
        return;
    }
    QRect where(QPoint(), dialog->size());
    where.moveCenter(screen->geometry().center());
    dialog->move(where.topLeft());
}

// Some window managers give the keyboard to the main window when a box closes, not to the tool
// window (the panel) that asked; it goes back where it was.
class FocusReturn
{
public:
    FocusReturn()
        : m_window(QApplication::activeWindow())
    {}
    ~FocusReturn()
    {
        if (!m_window.isNull() && m_window->isVisible()) {
            m_window->activateWindow();
        }
    }
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
        box.setText(prompt);
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
        centreOnScreen(&box);
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
        centreOnScreen(&dialog);
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
        const FocusReturn asker;
        QPrintDialog dialog(&printer, asker.window());
        dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        return dialog.exec() == QDialog::Accepted;
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

int MsgBox(const QString &prompt, int style, const QString &title)
{
    return provider().messageBox(prompt, style, titleOrDefault(title));
}

std::optional<QString> InputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    return provider().inputBox(prompt, titleOrDefault(title), defaultText);
}

std::optional<QColor> ChooseColour(const QColor &initial)
{
    return provider().chooseColour(initial);
}

bool ChoosePrinter(QPrinter &printer)
{
    return provider().choosePrinter(printer);
}

void SetDialogProvider(DialogProvider *newProvider)
{
    g_provider = newProvider;
}
