// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QColor>
#include <QString>

#include <optional>

class QPrinter;
class QWidget;

// Every message box, input box and standard chooser of the program goes through this seam, so
// tests can script the answers and read back what was asked.

// Button sets and icons, combined with |, and the answers, as the message box has always used them.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbYesYesToAllNoCancel = 6, // the replace question of moves and copies
    vbButtonMask = 0x0F,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbIconMask = 0x70,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
    vbYesToAll = 8,
};

class DialogProvider
{
public:
    virtual ~DialogProvider() = default;
    // A modal message box; a box without a title of its own shows the program title.
    virtual int messageBox(const QString &prompt, int style, const QString &title) = 0;
    // A modal input box; nothing when cancelled.
    virtual std::optional<QString> inputBox(const QString &prompt, const QString &title,
                                            const QString &defaultText) = 0;
    // The colour chooser; nothing when cancelled.
    virtual std::optional<QColor> chooseColour(const QColor &initial) = 0;
    // The printer chooser; false when cancelled.
    virtual bool choosePrinter(QPrinter &printer) = 0;
};

int MsgBox(const QString &prompt, int style = vbOKOnly, const QString &title = QString());
std::optional<QString> InputBox(const QString &prompt, const QString &title, const QString &defaultText);
std::optional<QColor> ChooseColour(const QColor &initial);
bool ChoosePrinter(QPrinter &printer);

// The text with a place to break every long run without spaces (a long file name, a path), so a
// box that shows it is never wider than the screen. Only for showing.
[[nodiscard]] QString BreakableText(const QString &text);

// For the program's own modal windows: centred on the screen like every box, and once hidden the
// keyboard goes back to the window that was active when it opened.
void CentreOnScreen(QWidget &dialog);
void ReturnFocusWhenHidden(QWidget &dialog);
// The keyboard to `asker` (a window), for a second against a window manager that hands it to
// the window that owns it.
void GiveKeyboardBack(QWidget *asker);

// From now on a settings save that fails is told in a message box, with the reason: once for
// whatever one command saved.
void SaySettingsSaveFailures();

// Installs another provider (tests); nullptr brings back the real dialogs. Not owned.
void SetDialogProvider(DialogProvider *provider);
