#include "common/platform/Dialogs.h"

#include "common/SettingsStore.h"

#include <QApplication>
#include <QColorDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace {

// The window a dialog belongs to: the active one, or the owner of an active tool window, so that a
// box asked for from the narrow panel is centred on the screen-wide viewer that owns it.
QWidget *dialogOwner()
{
    QWidget *owner = QApplication::activeWindow();
    while (owner != nullptr && owner->windowType() == Qt::Tool && owner->parentWidget() != nullptr) {
        owner = owner->parentWidget()->window();
    }
    return owner;
}

class RealDialogs final : public DialogProvider
{
public:
    int messageBox(const QString &prompt, int style, const QString &title) override
    {
        QMessageBox box(dialogOwner());
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
        bool ok = false;
        const QString text = QInputDialog::getText(dialogOwner(), title, prompt, QLineEdit::Normal, defaultText, &ok);
        if (!ok) {
            return std::nullopt;
        }
        return text;
    }

    std::optional<QColor> chooseColour(const QColor &initial) override
    {
        const QColor chosen = QColorDialog::getColor(initial, dialogOwner());
        if (!chosen.isValid()) {
            return std::nullopt;
        }
        return chosen;
    }

    bool choosePrinter(QPrinter &printer) override
    {
        QPrintDialog dialog(&printer, dialogOwner());
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
