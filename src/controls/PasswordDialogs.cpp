// SPDX-License-Identifier: GPL-2.0-or-later
#include "controls/PasswordDialogs.h"

#include "common/SettingsStore.h"
#include "common/platform/SaverPassword.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

PasswordPrompt *g_prompt = nullptr;
QPointer<frmPasswordCheck> g_open;
int g_failures = 0;

QString damagedText()
{
    return QStringLiteral("The stored screen-saver password is damaged and cannot be checked.\n"
                          "To reset it, remove the key \"%1\" from the section [%2] of %3.")
        .arg(SaverPasswordKey, SaverSection, SettingsFilePath(AppName));
}

// In a run that nobody can end with the password, the way out from another terminal as well.
QString damagedRunText()
{
    return damagedText() + QStringLiteral("\nUntil then, end this screen saver from another terminal with: kill %1")
                               .arg(QCoreApplication::applicationPid());
}

// The field's text as UTF-8 bytes; the field and the intermediate text are wiped.
QByteArray takeField(QLineEdit *field)
{
    QString text = field->text();
    field->clear();
    QByteArray bytes = text.toUtf8();
    WipeSecret(text);
    return bytes;
}

void makeSecretField(QLineEdit *field)
{
    field->setEchoMode(QLineEdit::Password);
    // No undo history, no drag out, no copy of the secret.
    field->setContextMenuPolicy(Qt::NoContextMenu);
    field->setDragEnabled(false);
    field->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
}

class DialogPrompt : public PasswordPrompt
{
public:
    std::optional<QByteArray> ask(QWidget *parent, const PasswordRequest &request) override
    {
        frmPasswordCheck dialog(request, parent);
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.takePassword();
    }
};

} // namespace

frmPasswordCheck::frmPasswordCheck(const PasswordRequest &request, QWidget *parent)
    : QDialog(parent)
    , m_prompt(new QLabel(QStringLiteral("Type the screen-saver password:"), this))
    , m_password(new QLineEdit(this))
    , m_notice(new QLabel(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
    , m_wait(new QTimer(this))
    , m_grab(new QTimer(this))
    , m_idle(new QTimer(this))
    , m_waitLeftMs(request.waitMs)
    , m_damaged(request.damaged)
{
    setWindowTitle(AppName);
    if (parent != nullptr) {
        // A box inside the run's window, which keeps the keyboard and the pointer meanwhile.
        setWindowFlags(Qt::Widget);
        setAutoFillBackground(true);
        setAttribute(Qt::WA_StyledBackground);
        m_prompt->setText(AppName + QStringLiteral("\n\nType the screen-saver password:"));
    } else {
        setModal(true);
        // Above the topmost screen-saver window.
        setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    }
    g_open = this;
    makeSecretField(m_password);
    m_notice->setWordWrap(true);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_password);
    layout->addWidget(m_notice);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (m_damaged) {
        m_notice->setText(damagedRunText());
    }
    m_idle->setSingleShot(true);
    m_idle->setInterval(request.idleMs + request.waitMs);
    connect(m_idle, &QTimer::timeout, this, &QDialog::reject);
    connect(m_password, &QLineEdit::textEdited, m_idle, qOverload<>(&QTimer::start));
    m_grab->setInterval(50);
    connect(m_grab, &QTimer::timeout, this, &frmPasswordCheck::takeKeyboard);
    m_wait->setInterval(250);
    connect(m_wait, &QTimer::timeout, this, [this] {
        m_waitLeftMs -= m_wait->interval();
        updateWait();
    });
    updateWait();
    if (m_waitLeftMs > 0) {
        m_wait->start();
    }
    setMinimumWidth(360);
}

frmPasswordCheck::~frmPasswordCheck()
{
    if (windowHandle() != nullptr) {
        windowHandle()->setKeyboardGrabEnabled(false);
    }
    QString text = m_password->text();
    m_password->clear();
    WipeSecret(text);
}

void frmPasswordCheck::updateWait()
{
    const bool waiting = m_waitLeftMs > 0;
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!waiting);
    if (waiting) {
        const int seconds = (m_waitLeftMs + 999) / 1000;
        m_notice->setText(QStringLiteral("Too many wrong passwords: wait %1 second%2.")
                              .arg(seconds)
                              .arg(seconds == 1 ? QString() : QStringLiteral("s")));
    } else {
        m_wait->stop();
        m_notice->setText(m_damaged ? damagedRunText() : QString());
    }
    m_notice->setVisible(!m_notice->text().isEmpty());
}

void frmPasswordCheck::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_idle->start();
    if (!isWindow()) {
        adjustSize();
        const QWidget *host = parentWidget();
        move((host->width() - width()) / 2, (host->height() - height()) / 2);
        raise();
    }
    activateWindow();
    m_password->setFocus();
    // While the dialog is up it alone receives keys. The window server refuses a grab until the
    // window is on screen, so it is tried again until it holds.
    if (isWindow() && QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_grab->start();
        takeKeyboard();
    }
}

void frmPasswordCheck::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    if (!isWindow()) {
        // The frame a window would have had, so the box stands out from the show behind it.
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::Dark), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void frmPasswordCheck::takeKeyboard()
{
    QWindow *window = windowHandle();
    if (window != nullptr && window->isExposed() && window->setKeyboardGrabEnabled(true)) {
        m_grab->stop();
        activateWindow();
    }
}

QByteArray frmPasswordCheck::takePassword()
{
    return takeField(m_password);
}

bool frmPasswordCheck::okEnabled() const
{
    return m_buttons->button(QDialogButtonBox::Ok)->isEnabled();
}

QString frmPasswordCheck::noticeText() const
{
    return m_notice->text();
}

void CancelPasswordCheck()
{
    if (!g_open.isNull()) {
        g_open->reject();
    }
}

void SetPasswordPrompt(PasswordPrompt *prompt)
{
    g_prompt = prompt;
}

int SaverPasswordFailures()
{
    return g_failures;
}

void ResetSaverPasswordFailures()
{
    g_failures = 0;
}

int VerifyScreenSavePwd(QWidget *parent)
{
    const QString hash = StoredSaverPasswordHash();
    if (hash.isEmpty()) {
        return 1;
    }
    static DialogPrompt dialogPrompt;
    PasswordPrompt &prompt = g_prompt != nullptr ? *g_prompt : dialogPrompt;
    PasswordRequest request;
    request.damaged = !IsUsableSaverHash(hash);
    request.waitMs = SaverPasswordDelayMs(g_failures);
    std::optional<QByteArray> answer = prompt.ask(parent, request);
    if (!answer) {
        return 0;
    }
    const bool right = !request.damaged && SaverPasswordMatches(*answer, hash);
    WipeSecret(*answer);
    if (!right) {
        ++g_failures;
        return 0;
    }
    g_failures = 0;
    return 1;
}

frmChangePassword::frmChangePassword(QWidget *parent)
    : QDialog(parent)
    , m_message(new QLabel(this))
    , m_old(new QLineEdit(this))
    , m_new(new QLineEdit(this))
    , m_again(new QLineEdit(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
    , m_needOld(false)
    , m_damaged(false)
{
    setWindowTitle(QStringLiteral("Change Screen-Saver Password"));
    setModal(true);
    for (QLineEdit *field : {m_old, m_new, m_again}) {
        makeSecretField(field);
    }
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const StoredPassword state = StoredSaverPasswordState();
    m_needOld = state == StoredPassword::Valid;
    m_damaged = state == StoredPassword::Damaged;

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Old password:"), m_old);
    form->addRow(QStringLiteral("&New password:"), m_new);
    form->addRow(QStringLiteral("&Confirm new password:"), m_again);
    form->setRowVisible(m_old, m_needOld);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("The screen saver asks for this password before it ends. "
                                            "Leave the new password empty to have none."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(m_message);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] { apply(); });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (m_damaged) {
        // Nobody can prove they know a password that cannot be checked; the reset is the owner's.
        m_message->setText(damagedText());
        for (QLineEdit *field : {m_new, m_again}) {
            field->setEnabled(false);
        }
        m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    }
    m_message->setVisible(!m_message->text().isEmpty());
    setMinimumWidth(400);
}

frmChangePassword::~frmChangePassword()
{
    wipeFields();
}

void frmChangePassword::wipeFields()
{
    for (QLineEdit *field : {m_old, m_new, m_again}) {
        QByteArray bytes = takeField(field);
        WipeSecret(bytes);
    }
}

QString frmChangePassword::messageText() const
{
    return m_message->text();
}

bool frmChangePassword::oldFieldShown() const
{
    return m_needOld;
}

void frmChangePassword::setOldPassword(const QString &text)
{
    m_old->setText(text);
}

void frmChangePassword::setNewPassword(const QString &text, const QString &again)
{
    m_new->setText(text);
    m_again->setText(again);
}

bool frmChangePassword::apply()
{
    auto show = [this](const QString &text) {
        m_message->setText(text);
        m_message->setVisible(!text.isEmpty());
    };
    if (m_damaged) {
        return false;
    }
    if (m_needOld) {
        QByteArray old = takeField(m_old);
        const bool right = SaverPasswordMatches(old, StoredSaverPasswordHash());
        WipeSecret(old);
        if (!right) {
            show(QStringLiteral("The old password is not correct."));
            m_old->setFocus();
            return false;
        }
    }
    QByteArray fresh = takeField(m_new);
    QByteArray again = takeField(m_again);
    const bool same = fresh == again;
    WipeSecret(again);
    if (!same) {
        WipeSecret(fresh);
        show(QStringLiteral("The new password and its confirmation differ. Type them again."));
        m_new->setFocus();
        return false;
    }
    const bool stored = SetSaverPassword(fresh);
    WipeSecret(fresh);
    if (!stored) {
        show(QStringLiteral("The password could not be stored; the old one still holds."));
        return false;
    }
    accept();
    return true;
}

bool ChangeScreenSaverPassword(QWidget *parent)
{
    frmChangePassword dialog(parent);
    return dialog.exec() == QDialog::Accepted;
}
