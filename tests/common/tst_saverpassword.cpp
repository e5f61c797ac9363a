// SPDX-License-Identifier: GPL-2.0-or-later
// The screen-saver password (hashing, the check with its delays, the change dialog) and the lock
// that tells a live screen-saver run from a stale "Mode" "On".
#include "Isolation.h"
#include "ScriptedPasswordPrompt.h"

#include "common/SettingsStore.h"
#include "common/platform/SaverPassword.h"
#include "common/platform/SaverRunLock.h"
#include "controls/PasswordDialogs.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <sys/stat.h>

class tst_SaverPassword : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<IsolatedEnvironment>();
        ResetSaverPasswordFailures();
    }

    void hashRoundTrip()
    {
        const QString hash = HashSaverPassword("correct horse");
        QVERIFY(hash.startsWith(QLatin1String("$y$")));
        QVERIFY(IsUsableSaverHash(hash));
        QVERIFY(SaverPasswordMatches("correct horse", hash));
        QVERIFY(!SaverPasswordMatches("correct hors", hash));
        QVERIFY(!SaverPasswordMatches("correct horse ", hash));
        QVERIFY(!SaverPasswordMatches("", hash));
        // A fresh salt each time: the same password never gives the same text.
        const QString again = HashSaverPassword("correct horse");
        QVERIFY(again != hash);
        QVERIFY(SaverPasswordMatches("correct horse", again));
        // Bytes beyond ASCII go through as they are.
        const QByteArray umlaut = QStringLiteral("Grüße ✓").toUtf8();
        QVERIFY(SaverPasswordMatches(umlaut, HashSaverPassword(umlaut)));
        // A NUL would cut the password short: refused rather than weakened.
        QVERIFY(HashSaverPassword(QByteArray("ab\0cd", 5)).isEmpty());
    }

    void damagedHashes_data()
    {
        QTest::addColumn<QString>("hash");
        const QString good = HashSaverPassword("pw");
        QTest::newRow("cut short") << good.left(good.size() - 1);
        QTest::newRow("one character more") << good + QLatin1Char('a');
        QTest::newRow("other scheme sha512") << QStringLiteral(
            "$6$saltsalt$qFmFH.bQmmtXzyBY0s9v7Oicd2z4XSIecDzlB5KiA2/jctKu9YterLp8wwnSq.qc.eoxqOmSuNp2xS0ktL3nh/");
        QTest::newRow("plain text") << QStringLiteral("pw");
        QTest::newRow("bad character") << QString(good).replace(good.size() - 3, 1, QLatin1Char('!'));
        QTest::newRow("missing salt") << QStringLiteral("$y$j9T$$") + good.right(43);
        QTest::newRow("star") << QStringLiteral("*");
    }

    void damagedHashes()
    {
        QFETCH(QString, hash);
        QVERIFY(!IsUsableSaverHash(hash));
        QVERIFY(!SaverPasswordMatches("pw", hash));
        SaveSetting(AppName, SaverSection, SaverPasswordKey, hash);
        QCOMPARE(StoredSaverPasswordState(), StoredPassword::Damaged);

        // The check fails closed: whatever is typed, the run goes on, and the dialog says why.
        ScriptedPasswordPrompt prompt;
        prompt.answers = {QByteArray("pw"), QByteArray("")};
        QCOMPARE(VerifyScreenSavePwd(nullptr), 0);
        QCOMPARE(VerifyScreenSavePwd(nullptr), 0);
        QCOMPARE(prompt.asked.size(), 2);
        QVERIFY(prompt.asked[0].damaged);
    }

    void noPasswordPassesWithoutAsking()
    {
        ScriptedPasswordPrompt prompt;
        QCOMPARE(StoredSaverPasswordState(), StoredPassword::None);
        QCOMPARE(VerifyScreenSavePwd(nullptr), 1);
        // An empty value is no password either.
        SaveSetting(AppName, SaverSection, SaverPasswordKey, QString());
        QCOMPARE(VerifyScreenSavePwd(nullptr), 1);
        QVERIFY(prompt.asked.isEmpty());
    }

    void storedNeverInClear()
    {
        QVERIFY(SetSaverPassword("s3cret-Phrase"));
        QFile file(m_env->settingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(!text.contains("s3cret-Phrase"));
        QVERIFY(text.contains("$y$"));
        struct stat info
        {};
        QCOMPARE(::stat(QFile::encodeName(m_env->settingsFile()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        // An empty password removes the key.
        QVERIFY(SetSaverPassword(QByteArray()));
        QCOMPARE(StoredSaverPasswordState(), StoredPassword::None);
    }

    void delays_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("ms");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("two") << 2 << 0;
        QTest::newRow("three") << 3 << 1000;
        QTest::newRow("four") << 4 << 2000;
        QTest::newRow("five") << 5 << 4000;
        QTest::newRow("seven") << 7 << 16000;
        QTest::newRow("eight, capped") << 8 << 30000;
        QTest::newRow("many") << 1000 << 30000;
    }
    void delays()
    {
        QFETCH(int, failures);
        QFETCH(int, ms);
        QCOMPARE(SaverPasswordDelayMs(failures), ms);
    }

    void wrongThreeTimesThenRight()
    {
        QVERIFY(SetSaverPassword("open sesame"));
        ScriptedPasswordPrompt prompt;
        prompt.answers = {QByteArray("a"), QByteArray("b"),           QByteArray("c"), QByteArray("d"),
                          std::nullopt,    QByteArray("open sesame"), QByteArray("x")};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(VerifyScreenSavePwd(nullptr), 0);
        }
        // Cancel neither counts nor forgives.
        QCOMPARE(VerifyScreenSavePwd(nullptr), 0);
        QCOMPARE(SaverPasswordFailures(), 4);
        QCOMPARE(VerifyScreenSavePwd(nullptr), 1);
        QCOMPARE(SaverPasswordFailures(), 0);
        QCOMPARE(VerifyScreenSavePwd(nullptr), 0);
        QList<int> waits;
        for (const PasswordRequest &r : prompt.asked) {
            QVERIFY(!r.damaged);
            waits.append(r.waitMs);
        }
        QCOMPARE(waits, (QList<int>{0, 0, 0, 1000, 2000, 2000, 0}));
    }

    void checkDialogHoldsOkWhileWaiting()
    {
        frmPasswordCheck dialog(PasswordRequest{false, 600});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Vantrel Viewer"));
        QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
        dialog.show();
        QVERIFY(!dialog.okEnabled());
        QVERIFY(dialog.noticeText().contains(QLatin1String("wait 1 second")));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.okEnabled(), 3000);
        QVERIFY(dialog.noticeText().isEmpty());
        auto *field = dialog.findChild<QLineEdit *>();
        QVERIFY(field);
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QTest::keyClicks(field, QStringLiteral("typed"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.takePassword(), QByteArray("typed"));
        QVERIFY(field->text().isEmpty());

        // Left alone, it gives up by itself.
        frmPasswordCheck idle(PasswordRequest{false, 0, 300});
        idle.show();
        QTRY_VERIFY(!idle.isVisible());
        QCOMPARE(idle.result(), int(QDialog::Rejected));

        frmPasswordCheck damaged(PasswordRequest{true, 0});
        QVERIFY(damaged.noticeText().contains(QLatin1String("damaged")));
        QVERIFY(damaged.noticeText().contains(SaverPasswordKey));
    }

    void changePassword()
    {
        {
            // None set: no old password asked.
            frmChangePassword dialog;
            QVERIFY(!dialog.oldFieldShown());
            dialog.setNewPassword(QStringLiteral("one"), QStringLiteral("on"));
            QVERIFY(!dialog.apply());
            QVERIFY(dialog.messageText().contains(QLatin1String("differ")));
            QCOMPARE(StoredSaverPasswordState(), StoredPassword::None);
            dialog.setNewPassword(QStringLiteral("one"), QStringLiteral("one"));
            QVERIFY(dialog.apply());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QVERIFY(SaverPasswordMatches("one", StoredSaverPasswordHash()));
        {
            frmChangePassword dialog;
            QVERIFY(dialog.oldFieldShown());
            dialog.setOldPassword(QStringLiteral("wrong"));
            dialog.setNewPassword(QStringLiteral("two"), QStringLiteral("two"));
            QVERIFY(!dialog.apply());
            QVERIFY(dialog.messageText().contains(QLatin1String("old password")));
            QVERIFY(SaverPasswordMatches("one", StoredSaverPasswordHash()));
            dialog.setOldPassword(QStringLiteral("one"));
            dialog.setNewPassword(QStringLiteral("two"), QStringLiteral("two"));
            QVERIFY(dialog.apply());
        }
        QVERIFY(SaverPasswordMatches("two", StoredSaverPasswordHash()));
        {
            // Cancel changes nothing.
            frmChangePassword dialog;
            dialog.setOldPassword(QStringLiteral("two"));
            dialog.setNewPassword(QString(), QString());
            dialog.reject();
        }
        QVERIFY(SaverPasswordMatches("two", StoredSaverPasswordHash()));
        {
            // Old right, new empty: no password any more.
            frmChangePassword dialog;
            dialog.setOldPassword(QStringLiteral("two"));
            dialog.setNewPassword(QString(), QString());
            QVERIFY(dialog.apply());
        }
        QCOMPARE(StoredSaverPasswordState(), StoredPassword::None);
        {
            // A damaged hash cannot be proven known: the dialog explains the reset instead.
            SaveSetting(AppName, SaverSection, SaverPasswordKey, QStringLiteral("$y$junk"));
            frmChangePassword dialog;
            QVERIFY(dialog.messageText().contains(QLatin1String("damaged")));
            dialog.setNewPassword(QStringLiteral("x"), QStringLiteral("x"));
            QVERIFY(!dialog.apply());
            QCOMPARE(StoredSaverPasswordHash(), QStringLiteral("$y$junk"));
        }
    }

    void runLockInProcess()
    {
        const QString file = m_env->settingsFile();
        QCOMPARE(QuerySaverRun(file), SaverRunState::NoRun);
        QCOMPARE(ClassifySaverStart(file), SaverStart::Run);
        {
            SaverRunLock lock(file);
            QVERIFY(lock.acquire());
            QVERIFY(lock.held());
            QVERIFY(QFile::exists(SaverRunLock::markerPath(file)));
            // flock is per open file: a second holder in the same process is refused as well.
            SaverRunLock other(file);
            QVERIFY(!other.acquire());
            QCOMPARE(QuerySaverRun(file), SaverRunState::Alive);
            QVERIFY(!PrepareSaverRunStart(file));
            lock.release();
            QVERIFY(!QFile::exists(SaverRunLock::markerPath(file)));
        }
        QCOMPARE(QuerySaverRun(file), SaverRunState::NoRun);
        {
            // Destroyed without a clean end, as a crash would leave it.
            SaverRunLock lock(file);
            QVERIFY(lock.acquire());
        }
        QCOMPARE(QuerySaverRun(file), SaverRunState::DeadRun);
        QCOMPARE(ClassifySaverStart(file), SaverStart::StaleMark);
        QVERIFY(PrepareSaverRunStart(file));
        QCOMPARE(QuerySaverRun(file), SaverRunState::NoRun);
    }

    void runsOfDifferentPlacesLiveSideBySide()
    {
        const QString file = m_env->settingsFile();
        // ":1" is screen 0 of display 1; xscreensaver's program on each screen and the one in its
        // settings' preview are three places.
        QCOMPARE(SaverRunKey(QStringLiteral(":1"), 0), SaverRunKey(QStringLiteral(":1.0"), 0));
        QVERIFY(SaverRunKey(QStringLiteral(":1.0"), 0) != SaverRunKey(QStringLiteral(":1.1"), 0));
        const QString screen0 = SaverRunKey(QStringLiteral(":1.0"), 0x400001);
        const QString screen1 = SaverRunKey(QStringLiteral(":1.1"), 0x400002);
        const QString preview = SaverRunKey(QStringLiteral(":1.0"), 0x2a00007);
        QVERIFY(screen0 != preview);
        auto first = std::make_unique<SaverRunLock>(file, screen0);
        SaverRunLock second(file, screen1);
        SaverRunLock third(file, preview);
        QVERIFY(first->acquire());
        QVERIFY(second.acquire());
        QVERIFY(third.acquire());
        // One run per place.
        SaverRunLock again(file, screen1);
        QVERIFY(!again.acquire());
        QCOMPARE(ClassifySaverStart(file, screen1, true), SaverStart::AlreadyRunning);
        QCOMPARE(ClassifySaverStart(file, SaverRunKey(QStringLiteral(":1.2"), 9), true), SaverStart::Run);
        // "/S" and a start without a place see a run on screen.
        QVERIFY(!PrepareSaverRunStart(file));
        QCOMPARE(ClassifySaverStart(file), SaverStart::AlreadyRunning);
        // The first dies: its place is free again for the launcher, the others live on.
        first.reset();
        QCOMPARE(QuerySaverRun(file, screen0), SaverRunState::DeadRun);
        QCOMPARE(QuerySaverRun(file), SaverRunState::Alive);
        QVERIFY(PrepareSaverRunStart(file, screen0));
        QCOMPARE(QuerySaverRun(file, screen0), SaverRunState::NoRun);
        second.release();
        third.release();
        QCOMPARE(QuerySaverRun(file), SaverRunState::NoRun);
        // The markers live in the user's private folder, which nobody else can enter.
        QVERIFY(SaverRunLock::runsFolder(file).startsWith(m_env->dir()));
    }

    void runLockAcrossProcesses()
    {
        const QString file = m_env->settingsFile();
        QProcess holder;
        holder.start(QStringLiteral(VV_SETTINGS_TOOL), {QStringLiteral("hold-saver-run")});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readAll().trimmed(), QByteArray("held"));
        QCOMPARE(QuerySaverRun(file), SaverRunState::Alive);
        QCOMPARE(ClassifySaverStart(file), SaverStart::AlreadyRunning);
        SaverRunLock mine(file);
        QVERIFY(!mine.acquire());
        // SIGKILL: no chance to clean up; the kernel drops the lock, the marker stays.
        holder.kill();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(QuerySaverRun(file), SaverRunState::DeadRun);
        QVERIFY(mine.acquire());
        mine.release();
    }

private:
    std::unique_ptr<IsolatedEnvironment> m_env;
};

QTEST_MAIN(tst_SaverPassword)
#include "tst_saverpassword.moc"
