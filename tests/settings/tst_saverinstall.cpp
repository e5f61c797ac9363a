// SPDX-License-Identifier: GPL-2.0-or-later
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "controls/ARButton.h"
#include "panel/frmSide.h"
#include "settings/ScreenSaverInstall.h"
#include "settings/XScreenSaverPrefs.h"
#include "settings/frmSettings.h"
#include "viewer/frmPictureViewer.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using Forms::Form;

namespace {
QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QString kConfirmation =
    QStringLiteral("'Vantrel Viewer' is now set as the Screen Saver. If you want to undo this change go into the "
                   "screen saver settings and choose another one.");
} // namespace

// The settings dialog's Set as Screen Saver, clicked: xscreensaver's preferences get our entry.
class SaverInstallTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    QString home;
    QByteArray path;

    QPushButton *button() { return Forms::frmSettings().findChild<QPushButton *>(QStringLiteral("cmdScreenSaver")); }

    void openSettings()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Form::PictureViewer) && Forms::frmPictureViewer().isVisible());
        QTest::mouseClick(Forms::frmSide().findChild<ARButton *>(QStringLiteral("cmdSettings")), Qt::LeftButton);
        QTRY_VERIFY(Forms::IsLoaded(Form::Settings) && Forms::frmSettings().isVisible());
        QVERIFY(button() != nullptr);
    }

    static void fakeProgram(const QString &path, const QByteArray &script)
    {
        QFile fake(path);
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write(script);
        fake.close();
        fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner);
    }

    // A PATH that has (or has not) an xscreensaver on it, running (its command answers) or not,
    // and nothing else of ours.
    void xscreensaverOnPath(bool present, bool running = true)
    {
        const QString bin = program->env.path(present ? (running ? QStringLiteral("with") : QStringLiteral("idle"))
                                                      : QStringLiteral("without"));
        QDir().mkpath(bin);
        if (present) {
            fakeProgram(bin + QStringLiteral("/xscreensaver"), "#!/bin/sh\n");
            fakeProgram(bin + QStringLiteral("/xscreensaver-command"),
                        running ? "#!/bin/sh\necho 'XScreenSaver 6.06'\n"
                                : "#!/bin/sh\necho 'no screensaver is running on display :0' >&2\nexit 1\n");
        }
        qputenv("PATH", bin.toLocal8Bit());
    }

    QString writePrefs(const QByteArray &text)
    {
        const QString prefs = home + QStringLiteral("/.xscreensaver");
        QFile file(prefs);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return prefs;
    }

private slots:
    void initTestCase() { path = qgetenv("PATH"); }
    void init()
    {
        program = std::make_unique<ProgramUnderTest>();
        home = program->env.path(QStringLiteral("home"));
        QCOMPARE(QDir::homePath(), home);
    }
    void cleanup()
    {
        program.reset();
        qputenv("PATH", path);
    }

    void registersOnce()
    {
        openSettings();
        xscreensaverOnPath(true);
        const QString prefs = home + QStringLiteral("/.xscreensaver");
        QFile other(prefs);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("timeout:\t0:05:00\nprograms:\t\\\n\t\tmaze --root\t\\n\n");
        other.close();

        // A right click does nothing, and the next left click works.
        QTest::mouseClick(button(), Qt::RightButton);
        QCOMPARE(ReadAll(prefs).count("vantrel-viewer-screensaver"), 0);
        QTest::mouseClick(button(), Qt::LeftButton);
        const QByteArray text = ReadAll(prefs);
        QVERIFY(text.contains(SaverCommand(FindLauncher())));
        QVERIFY(text.contains("\nmode:\t\tone\nselected:\t0\n"));
        QVERIFY(text.startsWith("timeout:\t0:05:00\nprograms:\t\\\n"));
        QVERIFY(text.contains("\t\tmaze --root\t\\n\n"));
        QCOMPARE(program->dialogs.asked.size(), 1);
        QCOMPARE(program->dialogs.asked.at(0).prompt, kConfirmation);
        QCOMPARE(program->dialogs.asked.at(0).style, int(vbInformation));

        // Again: the same file, the same confirmation.
        QTest::mouseClick(button(), Qt::LeftButton);
        QCOMPARE(ReadAll(prefs), text);
        QCOMPARE(program->dialogs.asked.size(), 2);
        QVERIFY(Forms::frmSettings().isVisible());
    }

    void saysWhenXScreenSaverDoesNotRun()
    {
        openSettings();
        xscreensaverOnPath(true, false);
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QString prefs = writePrefs("timeout:\t0:05:00\n");
        QTest::mouseClick(button(), Qt::LeftButton);
        qunsetenv("XDG_CURRENT_DESKTOP");
        // Written, and said so, with where, and that it will not take effect here.
        QVERIFY(PrefsRunOurLauncher(ReadAll(prefs)));
        QCOMPARE(program->dialogs.asked.size(), 1);
        const QString said = program->dialogs.asked.at(0).prompt;
        QVERIFY2(said.contains(QStringLiteral("not running")) && said.contains(prefs) && said.contains("GNOME"),
                 qPrintable(said));
        QVERIFY(said != kConfirmation);
        QCOMPARE(program->dialogs.asked.at(0).style, int(vbExclamation));
    }

    void refusesWhatXScreenSaverCouldNotRead_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("CRLF line ends") << QByteArray("timeout:\t0:05:00\r\nprograms:\t\\\r\n\t\tmaze --root\t\\n\r\n");
        QTest::newRow("a comment that runs on") << QByteArray("# keep this \\\nmode:\t\trandom\ntimeout:\t0:05:00\n");
    }

    void refusesWhatXScreenSaverCouldNotRead()
    {
        QFETCH(QByteArray, text);
        openSettings();
        xscreensaverOnPath(true);
        const QString prefs = writePrefs(text);
        QTest::mouseClick(button(), Qt::LeftButton);
        QCOMPARE(ReadAll(prefs), text);
        QCOMPARE(program->dialogs.asked.size(), 1);
        QVERIFY(program->dialogs.asked.at(0).prompt.contains(QStringLiteral("would not read")));
        QVERIFY(program->dialogs.asked.at(0).prompt != kConfirmation);
    }

    void hardLinkedFileIsLeftWhole()
    {
        openSettings();
        xscreensaverOnPath(true);
        const QByteArray text("timeout:\t0:05:00\n");
        const QString prefs = writePrefs(text);
        const QString other = program->env.path(QStringLiteral("dotfiles-xscreensaver"));
        QCOMPARE(::link(QFile::encodeName(prefs).constData(), QFile::encodeName(other).constData()), 0);
        QTest::mouseClick(button(), Qt::LeftButton);
        // Both names still one file with the old text, and the user told so.
        QCOMPARE(ReadAll(prefs), text);
        QCOMPARE(ReadAll(other), text);
        struct stat info
        {};
        QCOMPARE(::stat(QFile::encodeName(prefs).constData(), &info), 0);
        QCOMPARE(info.st_nlink, nlink_t(2));
        QCOMPARE(program->dialogs.asked.size(), 1);
        QVERIFY(program->dialogs.asked.at(0).prompt.contains(QStringLiteral("hard links")));
    }

    void refusesWithoutXScreenSaver()
    {
        openSettings();
        xscreensaverOnPath(false);
        QTest::mouseClick(button(), Qt::LeftButton);
        QVERIFY(!QFile::exists(home + QStringLiteral("/.xscreensaver")));
        QCOMPARE(program->dialogs.asked.size(), 1);
        QVERIFY(program->dialogs.asked.at(0).prompt.contains(QStringLiteral("xscreensaver")));
        QCOMPARE(program->dialogs.asked.at(0).style, int(vbExclamation));
    }
};

QTEST_MAIN(SaverInstallTest)
#include "tst_saverinstall.moc"
