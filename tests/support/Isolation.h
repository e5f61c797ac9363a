#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

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
    [[nodiscard]] QString settingsFile() const { return m_settings; }
    [[nodiscard]] QString path(const QString &name) const { return m_dir.filePath(name); }
    [[nodiscard]] QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_settings;
};
