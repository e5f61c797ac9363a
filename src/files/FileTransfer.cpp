#include "files/FileTransfer.h"

#include <QFile>

#include <QDir>

#include <QStandardPaths>

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kChunk = 4 << 20;

int Errno()
{
    return -errno;
}

int Retry(int result)
{
    return result < 0 ? Errno() : result;
}

bool IsFolder(const QByteArray &path)
{
    struct stat st
    {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

// A hidden name in `folder` that nothing has yet.
int CreateHidden(const QByteArray &folder, QByteArray *name)
{
    QByteArray pattern = folder + "/.vantrel-XXXXXX.part";
    const int fd = ::mkostemps(pattern.data(), 5, O_CLOEXEC);
    if (fd < 0) {
        return Errno();
    }
    *name = pattern;
    return fd;
}

class Transfer
{
public:
    Transfer(TransferKind kind, const QString &destination, TransferObserver &observer, FileSystemCalls &calls)
        : m_kind(kind)
        , m_destination(Native(destination))
        , m_observer(observer)
        , m_calls(calls)
    {}

    int run(const QStringList sources) // a copy: the caller's list may change while files move
    {
        if (!IsFolder(m_destination)) {
            return TransferResult::DestinationMissing;
        }
        char *real = ::realpath(m_destination.constData(), nullptr);
        m_realDestination = real != nullptr ? QByteArray(real) : m_destination;
        std::free(real);
        for (int i = 0; i < sources.size(); ++i) {
            const int result = one(i, static_cast<int>(sources.size()), sources.at(i));
            if (result != TransferResult::Ok) {
                return result;
            }
        }
        return TransferResult::Ok;
    }

private:
    // An errno turned into a result; a missing file is the destination's fault when the
    // destination folder has gone.
    [[nodiscard]] int resultOf(int error) const
    {
        switch (-error) {
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
            return TransferResult::AccessDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return TransferResult::DiskFull;
        case ENOENT:
        case ENOTDIR:
            return IsFolder(m_destination) ? TransferResult::SourceMissing : TransferResult::DestinationMissing;
        default:
            return TransferResult::Failed;
        }
    }

    // Asks whether the file holding the target's name may be replaced: nothing when it may,
    // otherwise what this file's transfer ends with (a file skipped with "No" is no failure).
    std::optional<int> mayReplace(const QString &source, const QByteArray &target)
    {
        if (m_replaceAll) {
            return std::nullopt;
        }
        switch (m_observer.askReplace(source, QFile::decodeName(target))) {
        case ReplaceAnswer::YesToAll:
            m_replaceAll = true;
            return std::nullopt;
        case ReplaceAnswer::Yes:
            return std::nullopt;
        case ReplaceAnswer::No:
            return TransferResult::Ok;
        case ReplaceAnswer::Cancel:
            break;
        }
        return TransferResult::Cancelled;
    }

    int one(int index, int count, const QString &sourceText)
    {
        const QByteArray source = Native(sourceText);
        struct stat src
        {};
        if (::lstat(source.constData(), &src) != 0) {
            return resultOf(Errno());
        }
        if (!m_observer.progress(index, count, sourceText, 0, src.st_size)) {
            return TransferResult::Cancelled;
        }
        if (S_ISDIR(src.st_mode)) {
            // Folders are not filed: only pictures are. A folder into itself is named as such.
            char *real = ::realpath(source.constData(), nullptr);
            const QByteArray realSource = real != nullptr ? QByteArray(real) : source;
            std::free(real);
            if (m_realDestination == realSource || m_realDestination.startsWith(realSource + '/')) {
                return TransferResult::IntoItself;
            }
            return TransferResult::Failed;
        }
        if (!S_ISREG(src.st_mode) && !S_ISLNK(src.st_mode)) {
            return TransferResult::Failed;
        }
        const QByteArray target = m_destination + '/' + Native(QFileInfo(sourceText).fileName());
        bool replace = false;
        struct stat dst
        {};
        if (::lstat(target.constData(), &dst) == 0) {
            struct stat followed
            {};
            if (::stat(target.constData(), &followed) == 0 && followed.st_dev == src.st_dev &&
                followed.st_ino == src.st_ino) {
                return TransferResult::SameFile;
            }
            if (S_ISDIR(dst.st_mode)) {
                return TransferResult::Failed; // a folder is never replaced by a file
            }
            if (const auto stop = mayReplace(sourceText, target)) {
                return *stop;
            }
            replace = true;
        }
        if (m_kind == TransferKind::Move) {
            for (;;) {
                const int r = replace ? m_calls.renameReplace(source, target) : m_calls.renameNoReplace(source, target);
                if (r == 0) {
                    return TransferResult::Ok;
                }
                if (r == -EEXIST && !replace) {
                    // A file of that name arrived since the look above: the same question.
                    if (const auto stop = mayReplace(sourceText, target)) {
                        return *stop;
                    }
                    replace = true;
                    continue;
                }
                if (r != -EXDEV) {
                    return resultOf(r);
                }
                break; // another file system: copy, then remove the source
            }
        }
        return copy(index, count, sourceText, source, target, replace, src.st_mode);
    }

    int copy(int index, int count, const QString &sourceText, const QByteArray &source, const QByteArray &target,
             bool replace, mode_t mode)
    {
        if (S_ISLNK(mode) && m_kind == TransferKind::Move) {
            return TransferResult::Failed; // a link moves by rename only; a copy copies the picture
        }
        const int in = m_calls.openRead(source);
        if (in < 0) {
            return resultOf(in);
        }
        struct stat src
        {};
        if (::fstat(in, &src) != 0) {
            const int e = Errno();
            m_calls.closeFile(in);
            return resultOf(e);
        }
        QByteArray temporary;
        const int out = m_calls.openNew(m_destination, &temporary);
        if (out < 0) {
            m_calls.closeFile(in);
            return resultOf(out);
        }
        auto fail = [&](int result) {
            m_calls.discard(out, temporary);
            m_calls.closeFile(in);
            return result;
        };
        qint64 done = 0;
        for (;;) {
            const ssize_t n = m_calls.copyChunk(in, out, kChunk);
            if (n < 0) {
                return fail(resultOf(static_cast<int>(n)));
            }
            if (n == 0) {
                break;
            }
            done += n;
            if (!m_observer.progress(index, count, sourceText, done, src.st_size)) {
                return fail(TransferResult::Cancelled);
            }
        }
        struct stat now
        {};
        if (::fstat(in, &now) != 0 || done != now.st_size || done != src.st_size) {
            // The source changed or shrank while it was read: this copy is not the file.
            return fail(TransferResult::Failed);
        }
        if (const int r = m_calls.finish(in, out); r != 0) {
            return fail(resultOf(r));
        }
        for (;;) {
            const int r = m_calls.publish(out, temporary, target, replace);
            if (r == 0) {
                break;
            }
            if (r == -EEXIST && !replace) {
                if (const auto stop = mayReplace(sourceText, target)) {
                    return fail(*stop);
                }
                replace = true;
                continue;
            }
            return fail(resultOf(r));
        }
        m_calls.closeFile(out);
        m_calls.closeFile(in);
        m_calls.syncFolder(m_destination);
        if (m_kind == TransferKind::Copy) {
            return TransferResult::Ok;
        }
        if (const int r = m_calls.removeFile(source); r != 0 && r != -ENOENT) {
            // The source stays; a copy that replaced nothing is taken back so nothing is doubled.
            if (!replace) {
                m_calls.removeFile(target);
            }
            return resultOf(r);
        }
        return TransferResult::Ok;
    }

    TransferKind m_kind;
    QByteArray m_destination;
    QByteArray m_realDestination;
    TransferObserver &m_observer;
    FileSystemCalls &m_calls;
    bool m_replaceAll = false;
};

} // namespace

int FileSystemCalls::openRead(const QByteArray &path)
{
    const int fd = Retry(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    return fd;
}

int FileSystemCalls::openNew(const QByteArray &folder, QByteArray *temporaryName)
{
    temporaryName->clear();
    const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    const int e = errno;
    if (e != EOPNOTSUPP && e != EISDIR && e != EINVAL) {
        return -e;
    }
    return CreateHidden(folder, temporaryName);
}

ssize_t FileSystemCalls::copyChunk(int from, int to, size_t bytes)
{
    // The kernel copies without a trip through this process where it can (one file system,
    // or file systems that share the means); elsewhere through a buffer.
    const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, bytes, 0);
    if (copied >= 0) {
        return copied;
    }
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
        return Errno();
    }
    static thread_local std::vector<char> buffer(1 << 20);
    const ssize_t n = ::read(from, buffer.data(), std::min(bytes, buffer.size()));
    if (n <= 0) {
        return n < 0 ? Errno() : 0;
    }
    for (ssize_t written = 0; written < n;) {
        const ssize_t w = ::write(to, buffer.data() + written, static_cast<size_t>(n - written));
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Errno();
        }
        written += w;
    }
    return n;
}

int FileSystemCalls::finish(int from, int to)
{
    struct stat st
    {};
    if (::fstat(from, &st) != 0) {
        return Errno();
    }
    ::fchmod(to, st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(to, times);
    return ::fsync(to) == 0 ? 0 : Errno();
}

int FileSystemCalls::publish(int fd, const QByteArray &temporaryName, const QByteArray &target, bool replace)
{
    const QByteArray folder = target.left(target.lastIndexOf('/'));
    if (temporaryName.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        if (!replace) {
            return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                                              : Errno();
        }
        // To replace in one step the file needs a name of its own first.
        for (int attempt = 0; attempt < 100; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(::random()));
            const QByteArray hidden = folder + "/.vantrel-" + suffix + ".part";
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, hidden.constData(), AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST) {
                    continue;
                }
                return Errno();
            }
            if (::rename(hidden.constData(), target.constData()) != 0) {
                const int e = Errno();
                ::unlink(hidden.constData());
                return e;
            }
            return 0;
        }
        return -EEXIST;
    }
    if (replace) {
        return ::rename(temporaryName.constData(), target.constData()) == 0 ? 0 : Errno();
    }
    return renameNoReplace(temporaryName, target);
}

int FileSystemCalls::discard(int fd, const QByteArray &temporaryName)
{
    ::close(fd);
    if (!temporaryName.isEmpty()) {
        ::unlink(temporaryName.constData());
    }
    return 0;
}

int FileSystemCalls::closeFile(int fd)
{
    return ::close(fd) == 0 ? 0 : Errno();
}

int FileSystemCalls::renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 1u /* RENAME_NOREPLACE */) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return Errno();
    }
    // File systems without the flag: a second name can only be made where none exists.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    return Errno();
}

int FileSystemCalls::renameReplace(const QByteArray &from, const QByteArray &to)
{
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : Errno();
}

int FileSystemCalls::removeFile(const QByteArray &path)
{
    return ::unlink(path.constData()) == 0 ? 0 : Errno();
}

int FileSystemCalls::syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Errno();
    }
    const int r = ::fsync(fd) == 0 ? 0 : Errno();
    ::close(fd);
    return r;
}

int TransferFiles(TransferKind kind, const QStringList &sources, const QString &destination, TransferObserver &observer,
                  FileSystemCalls &calls)
{
    return Transfer(kind, destination, observer, calls).run(sources);
}

int TransferFiles(TransferKind kind, const QStringList &sources, const QString &destination, TransferObserver &observer)
{
    FileSystemCalls calls;
    return TransferFiles(kind, sources, destination, observer, calls);
}

QStringList SplitSourceList(const QString &sources)
{
    QStringList paths;
    for (const QString &part : sources.split(QChar(0))) {
        if (!part.isEmpty()) {
            paths << part;
        }
    }
    return paths;
}

QString JoinSourceList(const QStringList &paths)
{
    if (paths.size() == 1) {
        return paths.first();
    }
    QString list;
    for (const QString &p : paths) {
        list += p + QChar(0);
    }
    return list + QChar(0);
}

bool MoveToTrash(const QString &path, QString *pathInTrash)
{
    // Without the user's data folder, the trash reports success and leaves the file in the
    // working folder instead: make sure the folder is there first, and that the file went into a
    // trash.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data)) {
        return false;
    }
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash)) {
        return false;
    }
    const QString files = QFileInfo(inTrash).absolutePath();
    if (QFileInfo(files).fileName() != QLatin1String("files") ||
        !QFileInfo(QFileInfo(files).absolutePath()).fileName().contains(QLatin1String("Trash"))) {
        // Not a trash: put it back where it was.
        (void)QFile::rename(inTrash, path);
        return false;
    }
    if (pathInTrash != nullptr) {
        *pathInTrash = inTrash;
    }
    return true;
}
