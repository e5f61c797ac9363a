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

    // A PATH that has (or has not) an xscreensaver on it, and nothing else of ours.
    void xscreensaverOnPath(bool present)
    {
        const QString bin = program->env.path(present ? QStringLiteral("with") : QStringLiteral("without"));
        QDir().mkpath(bin);
        if (present) {
            QFile fake(bin + QStringLiteral("/xscreensaver"));
            QVERIFY(fake.open(QIODevice::WriteOnly));
            fake.write("#!/bin/sh\n");
            fake.close();
            fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner);
        }
        qputenv("PATH", bin.toLocal8Bit());
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
