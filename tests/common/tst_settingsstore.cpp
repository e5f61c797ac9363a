// SPDX-License-Identifier: GPL-2.0-or-later
#include "Isolation.h"
#include "common/FolderNames.h"
#include "common/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <functional>
#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<IsolatedEnvironment> env;

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static QString runTool(const QStringList &args)
    {
        QProcess tool;
        tool.start(QStringLiteral(VV_SETTINGS_TOOL), args);
        if (!tool.waitForFinished(10000) || tool.exitCode() != 0) {
            return QStringLiteral("<failed>");
        }
        return QString::fromUtf8(tool.readAllStandardOutput());
    }

    // The file's identity and contents: a rewrite, even of the same bytes, gives a new inode.
    static std::pair<ino_t, QByteArray> snapshot(const QString &path)
    {
        struct stat st
        {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
            return {0, {}};
        }
        return {st.st_ino, readAll(path)};
    }

    // Counts the times a new file was renamed into the store's place while `work` ran.
    static int rewritesDuring(const QString &path, const std::function<void()> &work)
    {
        const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0 ||
            ::inotify_add_watch(fd, QFile::encodeName(QFileInfo(path).absolutePath()).constData(), IN_MOVED_TO) < 0) {
            return -1;
        }
        work();
        int count = 0;
        alignas(struct inotify_event) char buffer[64 * 1024];
        const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + at);
                if (event->len > 0 && name == event->name) {
                    ++count;
                }
                at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            }
        }
        ::close(fd);
        return count;
    }

private slots:
    void init() { env = std::make_unique<IsolatedEnvironment>(); }
    void cleanup() { env.reset(); }

    void keysAndValuesRoundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("ampersand") << "Tom & Jerry"
                                   << "/home/u/Pictures/Tom & Jerry";
        QTest::newRow("doubled ampersand caption") << "Caption1"
                                                   << "Tom && Jerry";
        QTest::newRow("spaces") << "  Holiday 2024  "
                                << " padded ";
        QTest::newRow("equals") << "a=b"
                                << "x=y";
        QTest::newRow("percent") << "50% off %2F"
                                 << "100%";
        QTest::newRow("slash") << "a/b"
                               << "/";
        QTest::newRow("backslash") << "C:\\Photos"
                                   << "C:\\Photos\\";
        QTest::newRow("non-ASCII") << QString::fromUtf8("Årsbilder – Ελλάδα") << QString::fromUtf8("/mnt/fotos/Ελλάδα");
        QTest::newRow("comment characters") << "#1 ;x"
                                            << "; not a comment";
        QTest::newRow("comma value") << "Trips"
                                     << "Paris, Rome, Oslo";
        QTest::newRow("quotes and at") << "@key\""
                                       << "@Variant(\"x\")";
        QTest::newRow("brackets") << "[General]"
                                  << "[x]";
        QTest::newRow("empty value") << "Blank"
                                     << "";
    }

    void keysAndValuesRoundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QVERIFY(SaveSetting(AppName, "Directories", key, value));
        QCOMPARE(GetSetting(AppName, "Directories", key), value);
        const SettingRows rows = GetAllSettings(AppName, "Directories");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().first, key);
        QCOMPARE(rows.first().second, value);
    }

    void absentThingsReadAsNothing()
    {
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QString());
        QVERIFY(GetAllSettings(AppName, "Directories").isEmpty());
        QVERIFY(DeleteSetting(AppName, "Settings", "Basename"));
        QVERIFY(!QFileInfo::exists(env->settingsFile())); // reading or deleting nothing creates nothing
        QVERIFY(SaveSetting(AppName, "Settings", "SlideTime", "4"));
        QVERIFY(DeleteSetting(AppName, "Settings", "Missing"));
        QVERIFY(GetAllSettings(AppName, "Directories").isEmpty());
    }

    void deleteRemovesOneKey()
    {
        SaveSetting(AppName, "Directories", "A", "/a");
        SaveSetting(AppName, "Directories", "B", "/b");
        QVERIFY(DeleteSetting(AppName, "Directories", "A"));
        const SettingRows rows = GetAllSettings(AppName, "Directories");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().first, QStringLiteral("B"));
    }

    void sectionsAreSeparate()
    {
        SaveSetting(AppName, "Settings", "Basename", "Holidays");
        SaveSetting(AppName, "Directories", "Basename", "/x");
        QCOMPARE(GetSetting(AppName, "Settings", "Basename"), QStringLiteral("Holidays"));
        QCOMPARE(GetAllSettings(AppName, "Directories").size(), 1);
        QCOMPARE(GetAllSettings(AppName, "Settings").size(), 1);
    }

    void fileIsPrivateAndFolderIsCreated()
    {
        const QString nested = env->path("deep/er/Vantrel Viewer.ini");
        qputenv("VANTREL_SETTINGS", nested.toLocal8Bit());
        QVERIFY(SaveSetting(AppName, "ScreenSaver", "Mode", "Off"));
        const QFile::Permissions perms = QFileInfo(nested).permissions();
        QVERIFY(perms & QFile::ReadOwner);
        QVERIFY(perms & QFile::WriteOwner);
        QVERIFY(!(perms & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther)));
        // A rewrite keeps the file private.
        QVERIFY(SaveSetting(AppName, "ScreenSaver", "Mode", "On"));
        QVERIFY(!(QFileInfo(nested).permissions() & (QFile::ReadGroup | QFile::ReadOther)));
    }

    void defaultLocationFollowsXdgConfigHome()
    {
        qunsetenv("VANTREL_SETTINGS");
        qputenv("XDG_CONFIG_HOME", env->path("config").toLocal8Bit());
        QCOMPARE(SettingsFilePath(AppName), env->path("config/Vantrel Viewer/Vantrel Viewer.ini"));
    }

    void garbageFileGivesNothingAndIsKeptUntilASave()
    {
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i) {
            garbage.append(static_cast<char>((i * 7919) % 256));
        }
        {
            QFile f(env->settingsFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QString());
        QCOMPARE(readAll(env->settingsFile()), garbage); // reads leave it alone

        QVERIFY(SaveSetting(AppName, "Settings", "SlideTime", "9"));
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("9"));
        // What the reader refused is not lost with that first save.
        QCOMPARE(readAll(env->settingsFile() + QStringLiteral(".damaged")), garbage);
    }

    void unparsableFileIsKeptAsCopyBeforeTheFirstSave()
    {
        // A section header that never closes is what the INI reader refuses.
        const QByteArray damaged = "[Settings\nSlideTime=5\n\xff\xfe[[[\n";
        {
            QFile f(env->settingsFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(damaged);
        }
        QVERIFY(SaveSetting(AppName, "Settings", "SlideTime", "9"));
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("9"));
        // The refused original is kept whole beside the fresh file.
        QCOMPARE(readAll(env->settingsFile() + QStringLiteral(".damaged")), damaged);
        QVERIFY(SaveSetting(AppName, "Settings", "SlideTime", "10"));
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("10"));
    }

    void aSaveAfterAnotherProgramMendedTheFileSucceeds()
    {
        // This program reads a section with a line the reader refuses...
        {
            QFile f(env->settingsFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Settings]\nSlideTime=5\nnot a key\n");
        }
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("5"));
        // ...the other program saves first, keeping the damaged file aside...
        QCOMPARE(runTool({"set", "Settings", "Basename", "theirs"}), QString());
        QVERIFY(QFileInfo::exists(env->settingsFile() + QStringLiteral(".damaged")));
        // ...and this program's next save of the mended file is written and says so.
        QVERIFY(SaveSetting(AppName, "Settings", "Caption1", "mine"));
        QCOMPARE(runTool({"get", "Settings", "Caption1"}), QStringLiteral("mine"));
        QCOMPARE(runTool({"get", "Settings", "Basename"}), QStringLiteral("theirs"));
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("5"));
    }

    void directoryInPlaceOfTheFile()
    {
        QVERIFY(QDir().mkpath(env->settingsFile()));
        QCOMPARE(GetSetting(AppName, "Settings", "Basename"), QString());
        QVERIFY(GetAllSettings(AppName, "Directories").isEmpty());
        QVERIFY(!SaveSetting(AppName, "Settings", "Basename", "X"));
        QVERIFY(!DeleteSetting(AppName, "Settings", "Basename"));
        QVERIFY(QFileInfo(env->settingsFile()).isDir());
    }

    void unreadableFileReadsAsEmpty()
    {
        if (::geteuid() == 0) {
            QSKIP("root reads any file");
        }
        SaveSetting(AppName, "Settings", "SlideTime", "5");
        QFile::setPermissions(env->settingsFile(), QFile::WriteOwner);
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QString());
        QFile::setPermissions(env->settingsFile(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("5"));
    }

    void anotherProcessSeesWritesAtItsNextRead()
    {
        QVERIFY(SaveSetting(AppName, "ScreenSaver", "Mode", "Off"));
        QCOMPARE(GetSetting(AppName, "ScreenSaver", "Mode"), QStringLiteral("Off"));
        // The other program writes while this one runs...
        QCOMPARE(runTool({"set", "ScreenSaver", "Mode", "On"}), QString());
        // ...and this one sees it at its next read, with no restart.
        QCOMPARE(GetSetting(AppName, "ScreenSaver", "Mode"), QStringLiteral("On"));
        // And the other way round.
        QVERIFY(SaveSetting(AppName, "Settings", "Basename", "Tom & Jerry"));
        QCOMPARE(runTool({"get", "Settings", "Basename"}), QStringLiteral("Tom & Jerry"));
        // Neither side lost the other's keys.
        QCOMPARE(GetSetting(AppName, "ScreenSaver", "Mode"), QStringLiteral("On"));
    }

    void twoWritersAtOnceLoseNothing_data()
    {
        QTest::addColumn<QString>("fill");
        QTest::newRow("one key a save") << QStringLiteral("fill");
        QTest::newRow("five keys a save") << QStringLiteral("fill-batches");
    }

    void twoWritersAtOnceLoseNothing()
    {
        QFETCH(QString, fill);
        // Two programs each saving 150 keys of their own, at the same time.
        QProcess a;
        QProcess b;
        a.start(QStringLiteral(VV_SETTINGS_TOOL), {fill, "Race", "a", "150"});
        b.start(QStringLiteral(VV_SETTINGS_TOOL), {fill, "Race", "b", "150"});
        QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        const SettingRows rows = GetAllSettings(AppName, "Race");
        QCOMPARE(rows.size(), 300);
        QVERIFY(rows.contains(qMakePair(QStringLiteral("a149"), QStringLiteral("149"))));
        QVERIFY(rows.contains(qMakePair(QStringLiteral("b0"), QStringLiteral("0"))));
        // This process's own view follows too, and its next write keeps them all.
        QVERIFY(SaveSetting(AppName, "Race", "mine", "1"));
        QCOMPARE(GetAllSettings(AppName, "Race").size(), 301);
    }

    void savingWhatIsStoredLeavesTheFileAsItIs()
    {
        // A store as the program leaves it, with sections and keys it does not know.
        QList<SettingChange> rows;
        for (int i = 0; i < 2000; ++i) {
            rows.append({QStringLiteral("Other %1").arg(i), QStringLiteral("Key"), QStringLiteral("v%1").arg(i)});
        }
        rows.append({"Settings", "Basename", "Tom & Jerry"});
        rows.append({"Settings", "Empty", ""});
        QVERIFY(SaveSettings(AppName, rows));
        const auto before = snapshot(env->settingsFile());
        QVERIFY(before.first != 0);
        QCOMPARE(
            rewritesDuring(env->settingsFile(),
                           [] {
                               QVERIFY(SaveSetting(AppName, "Settings", "Basename", "Tom & Jerry"));
                               QVERIFY(SaveSetting(AppName, "Settings", "Empty", ""));
                               QVERIFY(SaveSettings(AppName, {{"Other 7", "Key", "v7"}, {"Other 9", "Key", "v9"}}));
                           }),
            0);
        QCOMPARE(snapshot(env->settingsFile()), before);

        // An empty value for a key the file lacks is a change: the key is then listed.
        QVERIFY(SaveSetting(AppName, "Settings", "Caption3", ""));
        QVERIFY(snapshot(env->settingsFile()) != before);
        QCOMPARE(GetAllSettings(AppName, "Settings"),
                 (SettingRows{{"Basename", "Tom & Jerry"}, {"Caption3", ""}, {"Empty", ""}}));

        // A value another program changed meanwhile is written back, not taken as already stored.
        QCOMPARE(runTool({"set", "Settings", "Basename", "Other"}), QString());
        QVERIFY(SaveSetting(AppName, "Settings", "Basename", "Tom & Jerry"));
        QCOMPARE(runTool({"get", "Settings", "Basename"}), QStringLiteral("Tom & Jerry"));
        QCOMPARE(GetSetting(AppName, "Other 1999", "Key"), QStringLiteral("v1999"));
    }

    void aBatchIsOneSaveAndKeepsAnotherWritersKeys()
    {
        QVERIFY(SaveSetting(AppName, "Settings", "SlideTime", "5"));
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("5")); // this process has read it
        // The other program writes after this one's last read...
        QCOMPARE(runTool({"set", "ScreenSaver", "Mode", "On"}), QString());
        QCOMPARE(runTool({"set", "Settings", "Caption2", "theirs"}), QString());
        QList<SettingChange> batch{{"Settings", "Basename", "a/b"}};
        for (int i = 1; i <= 6; ++i) {
            if (i != 2) {
                batch.append({"Settings", QStringLiteral("Caption%1").arg(i), QStringLiteral("c%1").arg(i)});
            }
        }
        batch.append({"Settings", "SlideTime", "5"}); // already stored: goes along unchanged
        QCOMPARE(rewritesDuring(env->settingsFile(), [&] { QVERIFY(SaveSettings(AppName, batch)); }), 1);
        // ...and keeps its keys; every value of the batch is in the file, as the other program reads it.
        QCOMPARE(runTool({"get", "ScreenSaver", "Mode"}), QStringLiteral("On"));
        QCOMPARE(runTool({"get", "Settings", "Caption2"}), QStringLiteral("theirs"));
        QCOMPARE(runTool({"get", "Settings", "Basename"}), QStringLiteral("a/b"));
        QCOMPARE(runTool({"get", "Settings", "Caption6"}), QStringLiteral("c6"));
        QCOMPARE(runTool({"get", "Settings", "SlideTime"}), QStringLiteral("5"));
        QCOMPARE(GetAllSettings(AppName, "Settings").size(), 8);
    }

    void fifoInPlaceOfTheFileReadsAsDefaults()
    {
        QVERIFY(::mkfifo(QFile::encodeName(env->settingsFile()).constData(), 0600) == 0);
        QCOMPARE(GetSetting(AppName, "Settings", "Basename"), QString());
        QVERIFY(GetAllSettings(AppName, "Directories").isEmpty());
        QVERIFY(!SaveSetting(AppName, "Settings", "Basename", "x"));
        QVERIFY(!SaveSettings(AppName, {{"Settings", "Basename", ""}}));
        QVERIFY(!DeleteSetting(AppName, "Settings", "Basename"));
        QVERIFY(QFileInfo(env->settingsFile()).exists() && !QFileInfo(env->settingsFile()).isFile());
    }

    void folderNamesInOneOrderForEveryList()
    {
        for (const char *name : {"trip 10", "Trip 2", "apples", "Beach", "beach", "Zoo", "trip 1"}) {
            SaveSetting(AppName, "Directories", QString::fromLatin1(name), "/p");
        }
        const QStringList expected = {"apples", "Beach", "beach", "trip 1", "Trip 2", "trip 10", "Zoo"};
        QCOMPARE(FolderNames(), expected);

        struct FakeList
        {
            QStringList items{"(blank button)"};
            void addItem(const QString &s) { items.append(s); }
        } list;
        LoadFolderNames(list);
        LoadFolderNames(list);
        QCOMPARE(list.items.size(), 1 + 2 * expected.size()); // appends, never clears
        QCOMPARE(list.items.mid(1, expected.size()), expected);
        QCOMPARE(list.items.mid(1 + expected.size()), expected);
    }

    void noFoldersAddsNothing()
    {
        QStringList items{"(blank button)"};
        struct FakeList
        {
            QStringList *items;
            void addItem(const QString &s) { items->append(s); }
        } list{&items};
        LoadFolderNames(list);
        QCOMPARE(items, QStringList{"(blank button)"});
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
