// SPDX-License-Identifier: GPL-2.0-or-later
#include "Isolation.h"
#include "ScriptedDialogs.h"
#include "common/SettingsStore.h"
#include "common/platform/FileLock.h"
#include "common/platform/SaverRunLock.h"
#include "common/platform/SaverWindow.h"
#include "launcher/LauncherCommand.h"
#include "launcher/SaverLaunch.h"
#include "launcher/frmSSSettings.h"
#include "settings/ScreenSaverInstall.h"
#include "settings/XScreenSaverPrefs.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

namespace {
QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A stand-in viewer: notes each start in a log beside it; then, like a run, holds the run's lock
// for holdSeconds, or ends at once.
QString MakeFakeViewer(const QString &folder, int holdSeconds = 0)
{
    QDir().mkpath(folder);
    const QString program = folder + QStringLiteral("/vantrel-viewer");
    QByteArray script = QByteArrayLiteral("#!/bin/sh\necho started >> \"$(dirname \"$0\")/starts.log\"\n");
    if (holdSeconds > 0) {
        script += "mkdir -p '" + QFile::encodeName(SaverRunLock::runsFolder(SettingsFilePath(AppName))) +
                  "'\nexec flock -x '" + QFile::encodeName(SaverRunLock::markerPath(SettingsFilePath(AppName))) +
                  "' sleep " + QByteArray::number(holdSeconds) + "\n";
    }
    WriteAll(program, script);
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    return program;
}

// Hooks that start the stand-in viewer of a folder, as the launcher would find it there.
SaverRunHooks HooksFor(const QString &folder)
{
    SaverRunHooks hooks = DefaultRunHooks();
    hooks.viewerProgram = [folder] { return FirstViewerProgram({folder}); };
    return hooks;
}

int StartCount(const QString &folder)
{
    return static_cast<int>(ReadAll(folder + QStringLiteral("/starts.log")).count("started"));
}

// A ~/.xscreensaver as xscreensaver writes it, with other programs and settings around ours.
const QByteArray kPrefs = QByteArrayLiteral("# XScreenSaver Preferences File\n"
                                            "# Written by xscreensaver-settings 6.06.\n"
                                            "\n"
                                            "timeout:\t0:10:00\n"
                                            "mode:\t\trandom\n"
                                            "selected:\t-1\n"
                                            "\n"
                                            "programs:\t\t\t\t\t\t\t\t      \\\n"
                                            "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
                                            "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
                                            "\t\t\t\tqix --root\t\t\t\t    \\n\n"
                                            "\n"
                                            "pointerHysteresis:\t10\n");
} // namespace

class tst_launcher : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void saverWindowVariable();
    void prefsEditKeepsOtherLines();
    void prefsEditOnce();
    void prefsEditShapes_data();
    void prefsEditShapes();
    void installWritesOnlyWhenItCan();
    void prefsReadAsXScreenSaverDoes_data();
    void prefsReadAsXScreenSaverDoes();
    void dialogLoadsEmptyStore();
    void dialogLoadsStaleFolder();
    void dialogRightClickThenOk();
    void dialogRefusesInterval_data();
    void dialogRefusesInterval();
    void runWithoutPath();
    void viewerFoundWithoutAStart();
    void runWithLiveAndStaleMark();
    void twoRunsAtOnce();
    void launcherSwitches();
    void secondConfigurationDoesNothing();

private:
    IsolatedEnvironment m_env;
    QString m_launcher;
};

void tst_launcher::initTestCase()
{
    m_launcher = QStringLiteral(VV_LAUNCHER_EXE);
    QVERIFY(QFileInfo(m_launcher).isExecutable());
}

void tst_launcher::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("env");
    QTest::addColumn<int>("request");
    QTest::addColumn<quint32>("window");
    QTest::addColumn<bool>("root");
    using R = LauncherRequest;
    auto row = [](const char *name, QStringList args, R r, quint32 w = 0, QString env = {}, bool root = false) {
        QTest::newRow(name) << args << env << int(r) << w << root;
    };
    row("/s", {"/s"}, R::Run);
    row("/S", {"/S"}, R::Run);
    row("/Sxyz", {"/Sxyz"}, R::Run);
    row("/S and more", {"/S", "1234"}, R::Run);
    row("/c:123", {"/c:123"}, R::Configure);
    row("/C", {"/C"}, R::Configure);
    row("empty", {}, R::Configure);
    row("/p 1234", {"/p", "1234"}, R::Preview, 1234);
    row("/p:1234", {"/p:1234"}, R::Preview, 1234);
    row("/p abc", {"/p", "abc"}, R::Nothing);
    row("/p 12ab", {"/p", "12ab"}, R::Nothing);
    row("/p alone", {"/p"}, R::Nothing);
    row("/p 0", {"/p", "0"}, R::Nothing);
    row("/p too big", {"/p", "4294967296"}, R::Nothing);
    row("/p hex, as xwininfo prints it", {"/p", "0x1a00003"}, R::Preview, 0x1a00003);
    row("/P hex, capitals", {"/P", "0X1A00003"}, R::Preview, 0x1a00003);
    row("/p hex without digits", {"/p", "0x"}, R::Nothing);
    row("/p hex too big", {"/p", "0x100000000"}, R::Nothing);
    row("/a hex", {"/a", "0x20"}, R::Password, 0x20);
    row("--help", {"--help"}, R::Help);
    row("-h", {"-h"}, R::Help);
    row("/S --help", {"/S", "--help"}, R::Help);
    row("/a 99", {"/a", "99"}, R::Password, 99);
    row("/A99", {"/A99"}, R::Password, 99);
    row("/A no digits", {"/A"}, R::Password, 0);
    row("/A letters", {"/A", "xyz"}, R::Password, 0);
    row("/A digits then text", {"/A", "12x"}, R::Password, 12);
    row("/X", {"/X"}, R::Nothing);
    row("single letter", {"S"}, R::Nothing);
    row("-s", {"-s"}, R::Nothing);
    row("--root, no window", {"--root"}, R::Embed, 0, {}, true);
    row("-root", {"-root"}, R::Embed, 0, {}, true);
    row("--root in xscreensaver", {"--root"}, R::Embed, 0x1400007, "0x1400007");
    row("--window-id hex", {"--window-id", "0x2a00003"}, R::Embed, 0x2a00003, "0x99");
    row("--window-id decimal", {"--window-id", "44040195"}, R::Embed, 44040195);
    row("--window-id=", {"--window-id=0x10"}, R::Embed, 16);
    row("--window-id bad", {"--window-id", "zz"}, R::Nothing, 0, "0x99");
    row("--window-id missing", {"--window-id"}, R::Nothing);
    row("--root bad env", {"--root"}, R::Embed, 0, "garbage", true);
}

void tst_launcher::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, env);
    QFETCH(int, request);
    QFETCH(quint32, window);
    QFETCH(bool, root);
    const LauncherCommand c = ParseLauncherCommand(args, env);
    QCOMPARE(int(c.request), request);
    QCOMPARE(quint32(c.window), window);
    QCOMPARE(c.root, root);
}

void tst_launcher::saverWindowVariable()
{
    // What the launcher hands the viewer reads back as the same window.
    for (const quint32 id : {1u, 0x1400007u, 0xFFFFFFFFu}) {
        const QString text = SaverWindowText(SaverWindowTarget{id});
        QCOMPARE(ParseSaverWindow(text).value().window, id);
    }
    QCOMPARE(SaverWindowText(SaverWindowTarget{}), QStringLiteral("root"));
    QCOMPARE(ParseSaverWindow(QStringLiteral("root")).value().window, 0u);
    QCOMPARE(ParseSaverWindow(QStringLiteral(" 0X2A ")).value().window, 42u);
    QCOMPARE(ParseSaverWindow(QStringLiteral("77")).value().window, 77u);
    for (const char *bad : {"", "0", "0x", "0x-1", "-5", "+5", "0x1g", "12a", "4294967296", "ROOT"}) {
        QVERIFY2(!ParseSaverWindow(QString::fromLatin1(bad)).has_value(), bad);
    }
}

void tst_launcher::prefsEditKeepsOtherLines()
{
    const QByteArray command = SaverCommand(QStringLiteral("/usr/bin/vantrel-viewer-screensaver"));
    QCOMPARE(command, QByteArrayLiteral("/usr/bin/vantrel-viewer-screensaver --root"));
    const XScreenSaverPrefsEdit edit = RegisterSaverInPrefs(kPrefs, true, command);
    QCOMPARE(edit.selected, 0);

    QList<QByteArray> before = kPrefs.split('\n');
    QList<QByteArray> after = edit.text.split('\n');
    // Ours: the mode and selected values and one new line after "programs:".
    const QByteArray ours = "\t\t\t\t\"Vantrel Viewer\"  " + command + "\t\\n\\";
    QCOMPARE(after.size(), before.size() + 1);
    for (int i = 0, j = 0; i < before.size(); ++i, ++j) {
        if (before.at(i).startsWith("mode:")) {
            QCOMPARE(after.at(j), QByteArrayLiteral("mode:\t\tone"));
        } else if (before.at(i).startsWith("selected:")) {
            QCOMPARE(after.at(j), QByteArrayLiteral("selected:\t0"));
        } else {
            QCOMPARE(after.at(j), before.at(i));
        }
        if (before.at(i).startsWith("programs:")) {
            QCOMPARE(after.at(++j), ours);
        }
    }
}

void tst_launcher::prefsEditOnce()
{
    const QByteArray command = SaverCommand(QStringLiteral("/opt/vv/vantrel-viewer-screensaver"));
    const XScreenSaverPrefsEdit first = RegisterSaverInPrefs(kPrefs, true, command);
    const XScreenSaverPrefsEdit second = RegisterSaverInPrefs(first.text, true, command);
    QCOMPARE(second.text, first.text);
    QCOMPARE(second.selected, 0);

    // An entry of ours elsewhere (another folder, switched off) is found, counted among the
    // others and switched on; nothing is added.
    QByteArray off = kPrefs;
    off.replace("\t\t\t\tqix --root\t\t\t\t    \\n\n",
                "\t\t\t\tqix --root\t\t\t\t    \\n\\\n-\t\t\t\t/usr/bin/vantrel-viewer-screensaver --root\t\\n\n");
    const XScreenSaverPrefsEdit enabled = RegisterSaverInPrefs(off, true, command);
    QCOMPARE(enabled.selected, 3);
    QVERIFY(enabled.text.contains("\n\t\t\t\t/usr/bin/vantrel-viewer-screensaver --root\t\\n\n"));
    QCOMPARE(enabled.text.count("vantrel-viewer-screensaver"), 1);
    QVERIFY(enabled.text.contains("\nselected:\t3\n"));

    // No file: just our three settings.
    const XScreenSaverPrefsEdit fresh = RegisterSaverInPrefs(QByteArray(), false, command);
    QCOMPARE(fresh.selected, 0);
    QCOMPARE(fresh.text,
             "mode:\t\tone\nselected:\t0\nprograms:\t\t\\\n\t\t\t\t\"Vantrel Viewer\"  " + command + "\t\\n\n");

    // A path the shell must see quoted.
    QCOMPARE(SaverCommand(QStringLiteral("/home/a b/it's/vantrel-viewer-screensaver")),
             QByteArrayLiteral("'/home/a b/it'\\''s/vantrel-viewer-screensaver' --root"));
}

void tst_launcher::prefsEditShapes_data()
{
    QTest::addColumn<QByteArray>("prefs");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray e = "\"Vantrel Viewer\"  /x/vantrel-viewer-screensaver --root";
    QTest::newRow("no programs, no newline at end")
        << QByteArrayLiteral("timeout:\t0:05:00") << 0
        << "timeout:\t0:05:00\nprograms:\t\t\\\n\t\t\t\t" + e + "\t\\n\nmode:\t\tone\nselected:\t0\n";
    QTest::newRow("entry on the key's line")
        << QByteArrayLiteral("programs: maze --root \\n\\\n  qix --root\nmode: one\n") << 2
        << "programs: maze --root \\n\\\n  qix --root\\n\\\n\t\t\t\t" + e + "\t\\n\nmode: one\nselected:\t2\n";
    QTest::newRow("empty list") << QByteArrayLiteral("programs:\nselected: 4\n") << 0
                                << "programs:\t\t\\\n\t\t\t\t" + e + "\t\\n\nselected: 0\nmode:\t\tone\n";
    QTest::newRow("comments and blanks between entries are not programs")
        << QByteArrayLiteral("! comment mode: x\nprograms: a \\n\\\n \\n\\\n b\\n\n") << 2
        << "! comment mode: x\nprograms: a \\n\\\n \\n\\\n b\\n\\\n\t\t\t\t" + e +
               "\t\\n\nmode:\t\tone\nselected:\t2\n";
    QTest::newRow("labels and visuals") << QByteArrayLiteral("programs: \"Maze\" maze \\n\\\n- mono: \"Q\" qix\n") << 2
                                        << "programs: \"Maze\" maze \\n\\\n- mono: \"Q\" qix\\n\\\n\t\t\t\t" + e +
                                               "\t\\n\nmode:\t\tone\nselected:\t2\n";
}

void tst_launcher::prefsEditShapes()
{
    QFETCH(QByteArray, prefs);
    QFETCH(int, selected);
    QFETCH(QByteArray, expected);
    const XScreenSaverPrefsEdit edit =
        RegisterSaverInPrefs(prefs, true, SaverCommand(QStringLiteral("/x/vantrel-viewer-screensaver")));
    QCOMPARE(edit.selected, selected);
    QCOMPARE(edit.text, expected);
}

void tst_launcher::prefsReadAsXScreenSaverDoes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("programs");
    QTest::newRow("plain") << QByteArray("mode:\tone\nselected:\t1\nprograms:\ta\\n\\\n\tb --root\\n\n")
                           << QByteArray("one") << 1 << 2;
    QTest::newRow("the last one wins") << QByteArray("mode: random\nmode:\tone\n") << QByteArray("one") << -1 << 0;
    QTest::newRow("comments of three kinds")
        << QByteArray("# mode: one\n! mode: one\n; mode: one\nmode: off\n") << QByteArray("off") << -1 << 0;
    QTest::newRow("a comment swallows the next line")
        << QByteArray("# note \\\nmode: one\n") << QByteArray() << -1 << 0;
    QTest::newRow("CRLF: no continuation")
        << QByteArray("mode: one\r\nprograms:\t\\\r\n\ta\\n\r\n") << QByteArray("one") << -1 << 1;
    QTest::newRow("a line without colon is skipped") << QByteArray("mode one\nselected: 3\n") << QByteArray() << 3 << 0;
}

void tst_launcher::prefsReadAsXScreenSaverDoes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, mode);
    QFETCH(int, selected);
    QFETCH(int, programs);
    const XScreenSaverChoice choice = ReadXScreenSaverPrefs(text);
    QCOMPARE(choice.mode, mode);
    QCOMPARE(choice.selected, selected);
    QCOMPARE(choice.commands.size(), programs);

    // Every edit the launcher makes of the usual shapes is read back as choosing it.
    const XScreenSaverPrefsEdit edit =
        RegisterSaverInPrefs(kPrefs, true, SaverCommand(QStringLiteral("/usr/bin/vantrel-viewer-screensaver")));
    QVERIFY(PrefsRunOurLauncher(edit.text));
    QVERIFY(!PrefsRunOurLauncher(kPrefs));
    // A list with carriage returns inside: nobody can tell what xscreensaver makes of it.
    QVERIFY(ReadXScreenSaverPrefs("programs:\ta\r\\n\\\nb\\n\n").garbled);
}

void tst_launcher::installWritesOnlyWhenItCan()
{
    const QString prefs = m_env.path(QStringLiteral("dot-xscreensaver"));
    QFile::remove(prefs);
    QCOMPARE(InstallSaverPrefs(prefs, m_env.path(QStringLiteral("no-such-launcher")), true),
             SaverInstallResult::LauncherMissing);
    QCOMPARE(InstallSaverPrefs(prefs, m_launcher, false), SaverInstallResult::XScreenSaverMissing);
    QVERIFY(!QFile::exists(prefs));

    QCOMPARE(InstallSaverPrefs(prefs, m_launcher, true), SaverInstallResult::Done);
    QVERIFY(ReadAll(prefs).contains(SaverCommand(m_launcher)));

    // An existing file keeps its permissions and everything that is not ours.
    QVERIFY(WriteAll(prefs, kPrefs));
    QFile::setPermissions(prefs, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(InstallSaverPrefs(prefs, m_launcher, true), SaverInstallResult::Done);
    QCOMPARE(ReadAll(prefs), RegisterSaverInPrefs(kPrefs, true, SaverCommand(m_launcher)).text);
    QCOMPARE(QFile::permissions(prefs) & 0x0FFF, QFileDevice::ReadUser | QFileDevice::WriteUser);

    // A link to the file stays a link; the file behind it changes.
    const QString real = m_env.path(QStringLiteral("real-prefs"));
    QFile::remove(real);
    QVERIFY(WriteAll(real, kPrefs));
    const QString link = m_env.path(QStringLiteral("link-prefs"));
    QVERIFY(QFile::link(real, link));
    QCOMPARE(InstallSaverPrefs(link, m_launcher, true), SaverInstallResult::Done);
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(ReadAll(real).contains("selected:\t0"));

    // A folder in the file's place is refused and left alone.
    const QString folder = m_env.path(QStringLiteral("folder-prefs"));
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(InstallSaverPrefs(folder, m_launcher, true), SaverInstallResult::Unreadable);
}

void tst_launcher::dialogLoadsEmptyStore()
{
    QFile::remove(m_env.settingsFile());
    frmSSSettings dialog;
    dialog.Form_Load();
    QCOMPARE(dialog.intervalText(), QStringLiteral("4"));
    QVERIFY(!dialog.randomChosen());
    QCOMPARE(dialog.folderIndex(), -1);
    QCOMPARE(dialog.folderText(), QString());
    QVERIFY(!dialog.logoChecked());
    const auto *interval = dialog.findChild<QLineEdit *>(QStringLiteral("txtInterval"));
    QCOMPARE(interval->selectedText(), QStringLiteral("4"));

    // Stored values come back as they were.
    SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("Beach"), QStringLiteral("/p/beach"));
    SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("Alps"), QStringLiteral("/p/alps"));
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime"), QStringLiteral("12"));
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("RandomShow"), QStringLiteral("True"));
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"), QStringLiteral("Beach"));
    SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("LogoShow"), QStringLiteral("1"));
    frmSSSettings stored;
    stored.Form_Load();
    QCOMPARE(stored.intervalText(), QStringLiteral("12"));
    QVERIFY(stored.randomChosen());
    QCOMPARE(stored.folderIndex(), 1);
    QCOMPARE(stored.folderText(), QStringLiteral("Beach"));
    QVERIFY(stored.logoChecked());
}

void tst_launcher::dialogLoadsStaleFolder()
{
    QFile::remove(m_env.settingsFile());
    SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("Alps"), QStringLiteral("/p/alps"));
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"), QStringLiteral("Gone"));
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime"), QStringLiteral("300"));
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("ManualShow"), QStringLiteral("True"));
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideColor"), QStringLiteral("255"));
    frmSSSettings dialog;
    dialog.show();
    dialog.Form_Load();
    QCOMPARE(dialog.folderIndex(), -1);
    QCOMPARE(dialog.intervalText(), QStringLiteral("4"));
    auto *ok = dialog.findChild<QWidget *>(QStringLiteral("cmdOK"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    // Whatever the box then held (nothing), and the settings it does not show untouched.
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename")), QString());
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime")), QStringLiteral("4"));
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("RandomShow")), QStringLiteral("False"));
    QCOMPARE(GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("LogoShow")), QStringLiteral("0"));
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("ManualShow")), QStringLiteral("True"));
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideColor")), QStringLiteral("255"));
}

void tst_launcher::dialogRightClickThenOk()
{
    QFile::remove(m_env.settingsFile());
    SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("Alps"), QStringLiteral("/p/alps"));
    frmSSSettings dialog;
    dialog.show();
    dialog.Form_Load();
    auto *interval = dialog.findChild<QLineEdit *>(QStringLiteral("txtInterval"));
    QTest::keyClicks(interval, QStringLiteral("9"));
    auto *ok = dialog.findChild<QWidget *>(QStringLiteral("cmdOK"));
    auto *cancel = dialog.findChild<QWidget *>(QStringLiteral("cmdCancel"));

    QTest::mouseClick(ok, Qt::RightButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime")), QString());
    // A release of another button than the left one cancels only its own click.
    QTest::mouseClick(cancel, Qt::MiddleButton);
    QVERIFY(dialog.isVisible());
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime")), QStringLiteral("9"));

    // Cancel saves nothing.
    frmSSSettings again;
    again.show();
    again.Form_Load();
    QTest::keyClicks(again.findChild<QLineEdit *>(QStringLiteral("txtInterval")), QStringLiteral("20"));
    QTest::mouseClick(again.findChild<QWidget *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QVERIFY(!again.isVisible());
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime")), QStringLiteral("9"));
}

void tst_launcher::dialogRefusesInterval_data()
{
    QTest::addColumn<QString>("text");
    for (const char *t : {"", "abc", "-1", "0", "256", "1.5", "4 5", "+4"}) {
        QTest::newRow(t) << QString::fromLatin1(t);
    }
}

void tst_launcher::dialogRefusesInterval()
{
    QFETCH(QString, text);
    QFile::remove(m_env.settingsFile());
    ScriptedDialogs dialogs;
    frmSSSettings dialog;
    dialog.show();
    dialog.Form_Load();
    auto *interval = dialog.findChild<QLineEdit *>(QStringLiteral("txtInterval"));
    interval->setText(text);
    QTest::mouseClick(dialog.findChild<QWidget *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked.at(0).prompt,
             QStringLiteral("The slide interval must be a whole number of seconds from 1 to 255."));
    QCOMPARE(dialogs.asked.at(0).style, int(vbExclamation));
    QCOMPARE(interval->selectedText(), text);
    QVERIFY(!QFile::exists(m_env.settingsFile()) ||
            GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime")).isEmpty());
    // Blanks around a good number are fine.
    interval->setText(QStringLiteral(" 255 "));
    QTest::mouseClick(dialog.findChild<QWidget *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime")), QStringLiteral("255"));
}

void tst_launcher::runWithoutPath()
{
    QFile::remove(m_env.settingsFile());
    ScriptedDialogs dialogs;
    // Nowhere to be found.
    SaverRunHooks hooks = HooksFor(m_env.path(QStringLiteral("nothing")));
    QCOMPARE(RunScreenSaver(hooks), SaverRunOutcome::CannotStart);
    QCOMPARE(GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode")), QStringLiteral("Off"));
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked.at(0).prompt, QStringLiteral("You must run 'Vantrel Viewer' at least once after "
                                                        "installation before the Screen Saver can operate."));
    QCOMPARE(dialogs.asked.at(0).title, QStringLiteral("Cannot Run Screen Saver"));
    QCOMPARE(dialogs.asked.at(0).style, int(vbCritical));

    // A "Path" that names a folder without the viewer fails the same way.
    SaveSetting(AppName, QStringLiteral("Application"), QStringLiteral("Path"), m_env.path(QStringLiteral("nothing")));
    QCOMPARE(RunScreenSaver(hooks), SaverRunOutcome::CannotStart);
    QCOMPARE(GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode")), QStringLiteral("Off"));
    QCOMPARE(dialogs.asked.size(), 2);
}

void tst_launcher::viewerFoundWithoutAStart()
{
    QFile::remove(m_env.settingsFile());
    // A fresh install: no viewer ever ran, the launcher still finds the viewer beside itself.
    const QStringList folders = ViewerFolders();
    QVERIFY(folders.size() >= 2);
    QCOMPARE(folders.at(0), QFileInfo(QCoreApplication::applicationFilePath()).absolutePath());
    QCOMPARE(folders.at(1), QStringLiteral(VANTREL_TEST_BINDIR));
    QVERIFY(!folders.contains(m_env.path(QStringLiteral("stored"))));

    // The order: the first folder that holds a viewer wins; the stored "Path" comes last.
    const QString a = m_env.path(QStringLiteral("a"));
    const QString b = m_env.path(QStringLiteral("b"));
    QDir().mkpath(a);
    MakeFakeViewer(b);
    QCOMPARE(FirstViewerProgram({a, b}), b + QStringLiteral("/vantrel-viewer"));
    MakeFakeViewer(a);
    QCOMPARE(FirstViewerProgram({a, b}), a + QStringLiteral("/vantrel-viewer"));
    // A folder named "vantrel-viewer", or a file that cannot run, is no viewer.
    const QString c = m_env.path(QStringLiteral("c"));
    QDir().mkpath(c + QStringLiteral("/vantrel-viewer"));
    QDir().mkpath(m_env.path(QStringLiteral("d")));
    WriteAll(m_env.path(QStringLiteral("d/vantrel-viewer")), "not a program");
    QCOMPARE(FirstViewerProgram({c, m_env.path(QStringLiteral("d")), b}), b + QStringLiteral("/vantrel-viewer"));
    SaveSetting(AppName, QStringLiteral("Application"), QStringLiteral("Path"), m_env.path(QStringLiteral("stored")));
    QCOMPARE(ViewerFolders().last(), m_env.path(QStringLiteral("stored")));

    // The real launcher, copied beside a stand-in viewer with no "Path" stored: /S starts it.
    QFile::remove(m_env.settingsFile());
    const QString beside = m_env.path(QStringLiteral("beside"));
    MakeFakeViewer(beside);
    QVERIFY(QFile::copy(m_launcher, beside + QStringLiteral("/vantrel-viewer-screensaver")));
    QProcess launcher;
    launcher.start(beside + QStringLiteral("/vantrel-viewer-screensaver"), {QStringLiteral("/S")});
    QVERIFY(launcher.waitForFinished(30000));
    QCOMPARE(launcher.exitCode(), 0);
    QTRY_COMPARE(StartCount(beside), 1);

    // --help and -h print the switches and end well.
    for (const QString &help : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        QProcess p;
        p.start(m_launcher, {help});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray out = p.readAllStandardOutput();
        QVERIFY2(out.contains("/S") && out.contains("/P ID") && out.contains("--window-id") && out.contains("0x"),
                 out.constData());
    }
}

void tst_launcher::runWithLiveAndStaleMark()
{
    QFile::remove(m_env.settingsFile());
    ScriptedDialogs dialogs;
    const QString folder = m_env.path(QStringLiteral("live-stale"));
    MakeFakeViewer(folder);
    SaveSetting(AppName, QStringLiteral("Application"), QStringLiteral("Path"), folder);

    bool alive = true;
    SaverRunHooks hooks = HooksFor(folder);
    hooks.runAlive = [&alive] { return alive; };
    hooks.prepareStart = [] { return true; };
    hooks.settleMs = 0;

    SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode"), QStringLiteral("On"));
    QCOMPARE(RunScreenSaver(hooks), SaverRunOutcome::AlreadyOn);
    QCOMPARE(StartCount(folder), 0);

    // The mark of a run that died does not hold the screen saver off.
    alive = false;
    QCOMPARE(RunScreenSaver(hooks), SaverRunOutcome::Started);
    QTRY_COMPARE(StartCount(folder), 1);
    QCOMPARE(GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode")), QStringLiteral("On"));

    // "Off": starts.
    SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode"), QStringLiteral("Off"));
    QCOMPARE(RunScreenSaver(hooks), SaverRunOutcome::Started);
    QTRY_COMPARE(StartCount(folder), 2);
    QVERIFY(dialogs.asked.isEmpty());

    // The same through the run's own lock: a run holding it is alive, its leftover marker is not.
    const QString held = m_env.path(QStringLiteral("held"));
    MakeFakeViewer(held, 3);
    SaveSetting(AppName, QStringLiteral("Application"), QStringLiteral("Path"), held);
    const SaverRunHooks real = HooksFor(held);
    QCOMPARE(RunScreenSaver(real), SaverRunOutcome::Started);
    QCOMPARE(StartCount(held), 1);
    QVERIFY(SaverRunAlive(SettingsFilePath(AppName)));
    QCOMPARE(RunScreenSaver(real), SaverRunOutcome::AlreadyOn);
    QCOMPARE(StartCount(held), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!SaverRunAlive(SettingsFilePath(AppName)), 10000);
    QCOMPARE(GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode")), QStringLiteral("On"));
    QCOMPARE(RunScreenSaver(real), SaverRunOutcome::Started);
    QCOMPARE(StartCount(held), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!SaverRunAlive(SettingsFilePath(AppName)), 10000);
}

void tst_launcher::twoRunsAtOnce()
{
    QFile::remove(m_env.settingsFile());
    const QString folder = m_env.path(QStringLiteral("two"));
    MakeFakeViewer(folder, 3);
    // The launcher finds the viewer beside itself first.
    const QString launcher = folder + QStringLiteral("/vantrel-viewer-screensaver");
    QVERIFY(QFile::copy(m_launcher, launcher));
    SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode"), QStringLiteral("Off"));

    // Several launchers at the same moment: one run between them.
    std::vector<std::unique_ptr<QProcess>> launchers;
    for (int i = 0; i < 4; ++i) {
        launchers.push_back(std::make_unique<QProcess>());
        launchers.back()->start(launcher, {QStringLiteral("/S")});
    }
    for (auto &p : launchers) {
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitCode(), 0);
    }
    QTRY_COMPARE(StartCount(folder), 1);
    QTest::qWait(200);
    QCOMPARE(StartCount(folder), 1);
}

void tst_launcher::launcherSwitches()
{
    QFile::remove(m_env.settingsFile());
    // Requests that do nothing end at once and write nothing.
    for (const QStringList &args : {QStringList{"/X"}, QStringList{"/p", "abc"}, QStringList{"--window-id", "zz"}}) {
        QProcess p;
        p.start(m_launcher, args);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFile::exists(m_env.settingsFile()));
    }
}

void tst_launcher::secondConfigurationDoesNothing()
{
    QFile::remove(m_env.settingsFile());
    QProcess first;
    first.start(m_launcher, {QStringLiteral("/c:123")});
    QVERIFY(first.waitForStarted());
    // The first dialog is open once it holds its lock.
    QTRY_VERIFY_WITH_TIMEOUT(!FileLock(StoreLockPath(SettingsFilePath(AppName), QStringLiteral("config-lock"))).lock(0),
                             20000);
    QProcess second;
    second.start(m_launcher, {QStringLiteral("/C")});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    QVERIFY(first.waitForFinished(20000));
    // With the first gone, a new request opens the dialog again.
    QProcess third;
    third.start(m_launcher, {});
    QTRY_VERIFY_WITH_TIMEOUT(!FileLock(StoreLockPath(SettingsFilePath(AppName), QStringLiteral("config-lock"))).lock(0),
                             20000);
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    QVERIFY(third.waitForFinished(20000));
}

QTEST_MAIN(tst_launcher)
#include "tst_launcher.moc"
