// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDialog>

#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTimer;

// The screen-saver password's two dialogs, shared by the viewer (the check that ends a run) and
// the launcher (changing the password). The hashing lives in common/platform/SaverPassword.

// What the check asks of the person at the screen.
struct PasswordRequest
{
    bool damaged = false; // the stored hash cannot be checked: say so, and how to reset it
    int waitMs = 0;       // OK is held off this long after repeated wrong answers
    // Left untouched this long, the dialog cancels itself, so a nudged mouse does not leave it
    // standing over a stopped show.
    int idleMs = 30000;
};

// The password check dialog: caption "Vantrel Viewer", a masked field, OK and Cancel. Given a
// parent (the run's window) it is a box inside that window, centred on it: no window of its own
// that a window manager could minimise, move or close, and the keyboard and the pointer stay with
// the run's window that holds them. Without a parent it is a window of its own above a topmost
// screen-saver window that takes the keyboard while it is open.
class frmPasswordCheck : public QDialog
{
    Q_OBJECT
public:
    explicit frmPasswordCheck(const PasswordRequest &request, QWidget *parent = nullptr);
    ~frmPasswordCheck() override;

    // The typed password, taken out of the field (which is cleared); the caller wipes it.
    [[nodiscard]] QByteArray takePassword();
    [[nodiscard]] bool okEnabled() const;
    [[nodiscard]] QString noticeText() const;

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateWait();
    void takeKeyboard();

    QLabel *m_prompt;
    QLineEdit *m_password;
    QLabel *m_notice;
    QDialogButtonBox *m_buttons;
    QTimer *m_wait;
    QTimer *m_grab;
    QTimer *m_idle;
    int m_waitLeftMs;
    bool m_damaged;
};

// Where the check gets its answer: the real dialog, or a script in tests. Nothing means Cancel.
class PasswordPrompt
{
public:
    virtual ~PasswordPrompt() = default;
    virtual std::optional<QByteArray> ask(QWidget *parent, const PasswordRequest &request) = 0;
};
// Installs another prompt (tests); nullptr brings back the dialog. Not owned.
void SetPasswordPrompt(PasswordPrompt *prompt);

// Asks for the screen-saver password when one is set. Non-zero when the run may end (the
// password was right, or none is set), zero when it was wrong, cancelled, or the stored one is
// damaged. Wrong answers in a row are counted for the whole run and hold the next answer off
// longer and longer.
int VerifyScreenSavePwd(QWidget *parent);
// Closes an open password check as if Cancel was chosen (the run was told to stop).
void CancelPasswordCheck();
// Wrong answers so far in this run (tests start each case afresh).
[[nodiscard]] int SaverPasswordFailures();
void ResetSaverPasswordFailures();

// Changing the password: old (when one is set), new, and new again. An empty new password removes
// the password. The store changes only when OK is accepted; mistakes are shown in the dialog.
class frmChangePassword : public QDialog
{
    Q_OBJECT
public:
    explicit frmChangePassword(QWidget *parent = nullptr);
    ~frmChangePassword() override;

    [[nodiscard]] QString messageText() const;
    [[nodiscard]] bool oldFieldShown() const;

    void setOldPassword(const QString &text);
    void setNewPassword(const QString &text, const QString &again);

    // OK: checks and stores; returns true (and accepts) when the password changed.
    bool apply();

private:
    void wipeFields();

    QLabel *m_message;
    QLineEdit *m_old;
    QLineEdit *m_new;
    QLineEdit *m_again;
    QDialogButtonBox *m_buttons;
    bool m_needOld;
    bool m_damaged;
};

// The "/A" road of the launcher: shows the change dialog modally; true when the password changed.
bool ChangeScreenSaverPassword(QWidget *parent);
