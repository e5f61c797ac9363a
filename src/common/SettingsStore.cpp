#include "common/SettingsStore.h"

#include "common/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString valueText(const QVariant &value)
{
    // A hand-edited value with an unquoted comma comes back from the INI parser as a list.
    if (value.metaType().id() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1String(", "));
    }
    return value.toString();
}

bool createPrivateFile(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    const QByteArray native = EncodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EEXIST;
}

// A file the INI reader refuses is still rewritten by QSettings, dropping whatever it could not
// parse, and the refusal shows only on a fresh parse (a parse cached in this process hides it).
// So before a write the file is parsed afresh from a private copy; a damaged one is moved aside
// whole as "<file>.damaged", and what could be read of it goes into a fresh file.
bool replaceDamagedFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.read(64 * 1024 * 1024);
    file.close();
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("probe.ini"));
    {
        QFile out(copy);
        if (!scratch.isValid() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
            return false;
        }
    }
    QSettings probe(copy, QSettings::IniFormat);
    const QStringList keys = probe.allKeys();
    if (probe.status() != QSettings::FormatError) {
        return true;
    }
    QList<QPair<QString, QVariant>> salvaged;
    for (const QString &key : keys) {
        salvaged.append({key, probe.value(key)});
    }
    const QString kept = path + QLatin1String(".damaged");
    QFile::remove(kept);
    if (!QFile::rename(path, kept) || !createPrivateFile(path)) {
        return false;
    }
    QSettings fresh(path, QSettings::IniFormat);
    for (const auto &entry : salvaged) {
        fresh.setValue(entry.first, entry.second);
    }
    fresh.sync();
    return fresh.status() == QSettings::NoError;
}

// The file as last found sound or last written by this process: while it is still exactly that
// (a run saves several values in a row), it need not be parsed afresh before the next write.
struct KnownSound
{
    QString path;
    qint64 size = -1;
    QDateTime modified;
};

KnownSound &knownSound()
{
    static KnownSound known;
    return known;
}

bool stillKnownSound(const QFileInfo &info)
{
    const KnownSound &k = knownSound();
    return k.path == info.absoluteFilePath() && k.size == info.size() && k.modified == info.lastModified();
}

void rememberSound(const QString &path)
{
    const QFileInfo info(path);
    knownSound() = KnownSound{info.absoluteFilePath(), info.size(), info.lastModified()};
}

// The file may hold a password hash: it is created readable by its user only, and QSaveFile
// keeps those permissions on every later rewrite.
bool prepareFileForWriting(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists()) {
        if (!info.isFile()) {
            return false; // a folder, FIFO or device in the file's place is never written over
        }
        return stillKnownSound(info) || replaceDamagedFile(path);
    }
    return createPrivateFile(path);
}

bool finishWrite(QSettings &settings)
{
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        return false;
    }
    rememberSound(settings.fileName());
    return true;
}

// Reading a FIFO or device in the file's place would block or never end: such a store reads as
// empty, so the defaults apply.
bool readable(const QString &path)
{
    return !LstatPath(path) || IsRegularFile(path);
}

} // namespace

QString SettingsFilePath(const QString &application)
{
    const QString overridden = qEnvironmentVariable("VANTREL_SETTINGS");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QLatin1Char('/') + application + QLatin1Char('/') + application + QLatin1String(".ini");
}

QString EncodeSettingKey(const QString &key)
{
    QString out = key;
    out.replace(QLatin1Char('%'), QLatin1String("%25"));
    out.replace(QLatin1Char('/'), QLatin1String("%2F"));
    out.replace(QLatin1Char('\\'), QLatin1String("%5C"));
    return out;
}

QString DecodeSettingKey(const QString &stored)
{
    QString out;
    out.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored.at(i) == QLatin1Char('%') && i + 2 < stored.size()) {
            const QStringView code = QStringView(stored).mid(i + 1, 2);
            if (code == QLatin1String("25")) {
                out += QLatin1Char('%');
                i += 2;
                continue;
            }
            if (code.compare(QLatin1String("2F"), Qt::CaseInsensitive) == 0) {
                out += QLatin1Char('/');
                i += 2;
                continue;
            }
            if (code.compare(QLatin1String("5C"), Qt::CaseInsensitive) == 0) {
                out += QLatin1Char('\\');
                i += 2;
                continue;
            }
        }
        out += stored.at(i);
    }
    return out;
}

QString GetSetting(const QString &application, const QString &section, const QString &key)
{
    const QString path = SettingsFilePath(application);
    if (!readable(path)) {
        return {};
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.sync();
    return valueText(settings.value(section + QLatin1Char('/') + EncodeSettingKey(key)));
}

bool SaveSetting(const QString &application, const QString &section, const QString &key, const QString &value)
{
    const QString path = SettingsFilePath(application);
    if (!prepareFileForWriting(path)) {
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.sync();
    settings.setValue(section + QLatin1Char('/') + EncodeSettingKey(key), value);
    return finishWrite(settings);
}

SettingRows GetAllSettings(const QString &application, const QString &section)
{
    const QString path = SettingsFilePath(application);
    if (!readable(path)) {
        return {};
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.sync();
    settings.beginGroup(section);
    QStringList keys = settings.childKeys();
    QList<QPair<QString, QString>> decoded;
    decoded.reserve(keys.size());
    for (const QString &stored : keys) {
        decoded.append({DecodeSettingKey(stored), valueText(settings.value(stored))});
    }
    settings.endGroup();
    std::sort(decoded.begin(), decoded.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    return decoded;
}

bool DeleteSetting(const QString &application, const QString &section, const QString &key)
{
    const QString path = SettingsFilePath(application);
    if (!QFileInfo::exists(path)) {
        return true;
    }
    if (!prepareFileForWriting(path)) {
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.sync();
    const QString full = section + QLatin1Char('/') + EncodeSettingKey(key);
    if (!settings.contains(full)) {
        return true;
    }
    settings.remove(full);
    return finishWrite(settings);
}
