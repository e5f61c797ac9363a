// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/SettingsStore.h"

#include "common/FileNames.h"
#include "common/platform/FileLock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {

QString valueText(const QVariant &value)
{
    // A hand-edited value with an unquoted comma comes back from the INI parser as a list.
    if (value.metaType().id() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1String(", "));
    }
    if (value.metaType().id() == QMetaType::QByteArray) {
        return DecodeName(value.toByteArray());
    }
    return value.toString();
}

// The INI writer stores text as UTF-8, so the bytes of a folder name that is not UTF-8 would come
// back as U+FFFD and name another folder. Such a value is stored as its bytes ("@ByteArray(...)",
// each byte escaped), byte-exactly as its key is; every other value stays plain text.
QVariant storedValue(const QString &text)
{
    return HasRawBytes(text) ? QVariant(EncodeName(text)) : QVariant(text);
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

// One parse of the file serves every read until the file changes: QSettings keeps a file's parse
// only while an object on it lives (or, for a small file, a while after), and a large store parsed
// again for every key would hold up the start for seconds. Callers hold WriteLock::mutex().
std::unique_ptr<QSettings> &StoreSlot()
{
    static std::unique_ptr<QSettings> store;
    return store;
}

QSettings &Store(const QString &path)
{
    std::unique_ptr<QSettings> &store = StoreSlot();
    if (!store || store->fileName() != path) {
        store = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    return *store;
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
    // The store's object keeps the refusal of the old file as its status for good; the fresh file
    // gets a fresh object.
    StoreSlot().reset();
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
        if (!stillKnownSound(info) && !replaceDamagedFile(path)) {
            return false;
        }
    } else if (!createPrivateFile(path)) {
        return false;
    }
    // The store's object keeps the first refusal it met for good, even after the file was mended
    // (by the other program, say): the sound file now in place gets a fresh object, so a write that
    // succeeds is not reported as failed.
    if (StoreSlot() && StoreSlot()->status() != QSettings::NoError) {
        StoreSlot().reset();
    }
    return true;
}

qint64 ModifiedMs(const QString &path)
{
    const auto st = StatPath(path);
    return st ? qint64(st->st_mtim.tv_sec) * 1000 + st->st_mtim.tv_nsec / 1000000 : -1;
}

// QSettings notices another process's write by the file's size and modification time (in
// milliseconds); two writes within one clock tick that leave the same size would go unseen and
// the second writer would drop the first one's value. So every write leaves a later time than the
// file had before it.
void MakeWriteVisible(const QString &path, qint64 beforeMs)
{
    if (beforeMs < 0 || ModifiedMs(path) > beforeMs) {
        return;
    }
    const qint64 later = beforeMs + 1;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(later / 1000), (later % 1000) * 1000000}};
    ::utimensat(AT_FDCWD, EncodeName(path).constData(), times, 0);
}

bool finishWrite(QSettings &settings, qint64 beforeMs)
{
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        return false;
    }
    MakeWriteVisible(settings.fileName(), beforeMs);
    rememberSound(settings.fileName());
    return true;
}

// One writer at a time, across processes (the launcher writes too) and threads: the lock is
// held from the fresh read of the file to the end of the write, so no value written by another
// program in between is lost. It is a file of the user's own in the user's private folder, so no
// other user can hold it; and it is waited for only so long: a holder that hangs (one of the
// user's own programs, stopped in a debugger, say) must not keep a run from ending or a window
// from showing. The write then goes ahead without it, still whole or not at all.
constexpr int kWriteLockMs = 5000;

class WriteLock
{
public:
    explicit WriteLock(const QString &path)
        : m_threads(&mutex())
        , m_file(StoreLockPath(path, QStringLiteral("settings-lock")))
    {
        if (!m_file.lock(kWriteLockMs)) {
            qWarning("Vantrel Viewer: the settings lock is not free; writing %s without it", qPrintable(path));
        }
    }
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;

    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }

private:
    QMutexLocker<QMutex> m_threads;
    FileLock m_file;
};

// Reading a FIFO or device in the file's place would block or never end: such a store reads as
// empty, so the defaults apply.
bool readable(const QString &path)
{
    return !LstatPath(path) || IsRegularFile(path);
}

struct SaveFailures
{
    SaveFailureHandler handler;
    QString last;
};

SaveFailures &saveFailures()
{
    static SaveFailures failures;
    return failures;
}

// Why the file (or its folder) could not be written, in the words the user is told.
QString WriteFailureReason(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray nativeFolder = EncodeName(folder);
    const QString file = DisplayName(path);
    struct statvfs disk
    {};
    if (!IsFolder(folder)) {
        return QStringLiteral("the folder %1 cannot be made").arg(DisplayName(folder));
    }
    if (LstatPath(path) && !IsRegularFile(path)) {
        return QStringLiteral("%1 is not a regular file").arg(file);
    }
    if (::statvfs(nativeFolder.constData(), &disk) == 0) {
        if ((disk.f_flag & ST_RDONLY) != 0) {
            return QStringLiteral("the disk that holds %1 is read-only").arg(file);
        }
        // Room for the rewritten file beside the old one, and a little more.
        const qint64 needed = std::max<qint64>(FileSizeOf(path), 0) + 64 * 1024;
        if (static_cast<qint64>(disk.f_bavail) * static_cast<qint64>(disk.f_frsize) < needed) {
            return QStringLiteral("the disk that holds %1 is full").arg(file);
        }
    }
    if (::access(nativeFolder.constData(), W_OK) != 0) {
        return QStringLiteral("you may not write in the folder %1").arg(DisplayName(folder));
    }
    return QStringLiteral("%1 could not be written").arg(file);
}

bool saved(bool ok, const QString &path)
{
    SaveFailures &failures = saveFailures();
    if (ok) {
        failures.last.clear();
        return true;
    }
    failures.last = WriteFailureReason(path);
    if (failures.handler) {
        failures.handler(failures.last);
    } else {
        std::fprintf(stderr, "Vantrel Viewer: the settings could not be saved: %s\n", qPrintable(failures.last));
    }
    return false;
}

} // namespace

void SetSaveFailureHandler(SaveFailureHandler handler)
{
    saveFailures().handler = std::move(handler);
}

QString LastSaveFailure()
{
    return saveFailures().last;
}

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
    QMutexLocker lock(&WriteLock::mutex());
    QSettings &settings = Store(path);
    settings.sync();
    return valueText(settings.value(section + QLatin1Char('/') + EncodeSettingKey(key)));
}

namespace {

bool WriteChanges(const QString &path, const QList<SettingChange> &changes)
{
    const auto fullKey = [](const SettingChange &change) {
        return change.section + QLatin1Char('/') + EncodeSettingKey(change.key);
    };
    // A rewrite of a large store costs seconds, and the start and the end of every run save values
    // that rarely change: what the file already holds is not written again. The question is asked
    // of a fresh read under the lock, so a value another program changed meanwhile is written back.
    if (IsRegularFile(path)) {
        QSettings &settings = Store(path);
        settings.sync();
        const bool allStored = std::all_of(changes.begin(), changes.end(), [&](const SettingChange &change) {
            const QString full = fullKey(change);
            return settings.contains(full) && valueText(settings.value(full)) == change.value;
        });
        if (allStored) {
            return true;
        }
    }
    if (!prepareFileForWriting(path)) {
        return false;
    }
    const qint64 before = ModifiedMs(path);
    QSettings &settings = Store(path);
    settings.sync(); // reads the file afresh if anyone changed it
    std::vector<std::optional<QVariant>> was;
    was.reserve(static_cast<std::size_t>(changes.size()));
    for (const SettingChange &change : changes) {
        const QString full = fullKey(change);
        was.push_back(settings.contains(full) ? std::optional<QVariant>(settings.value(full)) : std::nullopt);
        settings.setValue(full, storedValue(change.value));
    }
    if (finishWrite(settings, before)) {
        return true;
    }
    // Values that could not be written must not be read back as if stored: the INI parser keeps
    // them waiting in its cache of the file, for every later reader in this process.
    for (std::size_t i = 0; i < was.size(); ++i) {
        const QString full = fullKey(changes.at(static_cast<qsizetype>(i)));
        if (was[i]) {
            settings.setValue(full, *was[i]);
        } else {
            settings.remove(full);
        }
    }
    return false;
}

bool DeleteKey(const QString &path, const QString &section, const QString &key)
{
    WriteLock lock(path);
    if (!prepareFileForWriting(path)) {
        return false;
    }
    const qint64 before = ModifiedMs(path);
    QSettings &settings = Store(path);
    settings.sync();
    const QString full = section + QLatin1Char('/') + EncodeSettingKey(key);
    if (!settings.contains(full)) {
        return true;
    }
    const QVariant was = settings.value(full);
    settings.remove(full);
    if (finishWrite(settings, before)) {
        return true;
    }
    settings.setValue(full, was); // still stored, so still read (see WriteChanges)
    return false;
}

} // namespace

bool SaveSetting(const QString &application, const QString &section, const QString &key, const QString &value)
{
    return SaveSettings(application, {SettingChange{section, key, value}});
}

bool SaveSettings(const QString &application, const QList<SettingChange> &changes)
{
    if (changes.isEmpty()) {
        return true;
    }
    const QString path = SettingsFilePath(application);
    bool ok = false;
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteLock lock(path);
        ok = WriteChanges(path, changes);
    }
    return saved(ok, path);
}

SettingRows GetAllSettings(const QString &application, const QString &section)
{
    const QString path = SettingsFilePath(application);
    if (!readable(path)) {
        return {};
    }
    QMutexLocker lock(&WriteLock::mutex());
    QSettings &settings = Store(path);
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
    if (!LstatPath(path)) {
        return true;
    }
    return saved(DeleteKey(path, section, key), path);
}

void ForgetSettingsFileState()
{
    knownSound() = KnownSound{};
}
