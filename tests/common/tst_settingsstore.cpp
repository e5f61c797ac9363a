#include "Isolation.h"
#include "common/FolderNames.h"
#include "common/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <memory>
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

    void twoWritersAtOnceLoseNothing()
    {
        // Two programs each saving 150 keys of their own, at the same time.
        for (int run = 0; run < 1; ++run) {
            QFile::remove(env->settingsFile());
            QProcess a;
            QProcess b;
            a.start(QStringLiteral(VV_SETTINGS_TOOL), {"fill", "Race", "a", "150"});
            b.start(QStringLiteral(VV_SETTINGS_TOOL), {"fill", "Race", "b", "150"});
            QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
            QCOMPARE(a.exitCode(), 0);
            QCOMPARE(b.exitCode(), 0);
            const SettingRows rows = GetAllSettings(AppName, "Race");
            QCOMPARE(rows.size(), 300);
        }
        // This process's own view follows too, and its next write keeps them all.
        QVERIFY(SaveSetting(AppName, "Race", "mine", "1"));
        QCOMPARE(GetAllSettings(AppName, "Race").size(), 301);
    }

    void fifoInPlaceOfTheFileReadsAsDefaults()
    {
        QVERIFY(::mkfifo(QFile::encodeName(env->settingsFile()).constData(), 0600) == 0);
        QCOMPARE(GetSetting(AppName, "Settings", "Basename"), QString());
        QVERIFY(GetAllSettings(AppName, "Directories").isEmpty());
        QVERIFY(!SaveSetting(AppName, "Settings", "Basename", "x"));
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
