// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

// A private settings file and screen for one test: VANTREL_SETTINGS points into a temporary
// folder, VANTREL_SCREEN at the given screen. Restores nothing: each test executable owns its
// environment.
class IsolatedEnvironment
{
public:
    explicit IsolatedEnvironment(const QByteArray &screen = QByteArrayLiteral("1024x768@15"))
    {
        m_settings = m_dir.filePath(QStringLiteral("Vantrel Viewer.ini"));
        qputenv("VANTREL_SETTINGS", m_settings.toLocal8Bit());
        qputenv("VANTREL_SCREEN", screen);
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit());
        // Thumbnails, the trash and program associations stay inside the test's folder.
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
        // Files in the home folder (xscreensaver's preferences) are the user's: tests get their own.
        const QString home = m_dir.filePath(QStringLiteral("home"));
        QDir().mkpath(home);
        qputenv("HOME", home.toLocal8Bit());
    }
    // Tests leave names that are not UTF-8 (which Qt's own removal cannot name) and folders
    // that cannot be entered: the folder goes by its bytes, opened up first.
    ~IsolatedEnvironment()
    {
        const QByteArray root = QFile::encodeName(m_dir.path());
        static thread_local int unreadable = 0;
        // A folder that could not be read is opened up and the walk made again to go inside it.
        for (int pass = 0; pass < 8; ++pass) {
            unreadable = 0;
            nftw(
                root.constData(),
                [](const char *path, const struct stat *st, int type, FTW *) {
                    if (type == FTW_D || type == FTW_DNR) {
                        ::chmod(path, (st->st_mode & 07777) | S_IRWXU);
                        unreadable += type == FTW_DNR ? 1 : 0;
                    }
                    return 0;
                },
                16, FTW_PHYS);
            if (unreadable == 0) {
                break;
            }
        }
        nftw(
            root.constData(), [](const char *path, const struct stat *, int, FTW *) { return ::remove(path), 0; }, 16,
            FTW_PHYS | FTW_DEPTH);
    }
    IsolatedEnvironment(const IsolatedEnvironment &) = delete;
    IsolatedEnvironment &operator=(const IsolatedEnvironment &) = delete;

    [[nodiscard]] QString settingsFile() const { return m_settings; }
    [[nodiscard]] QString path(const QString &name) const { return m_dir.filePath(name); }
    [[nodiscard]] QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_settings;
};
