// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/FileTransfer.h"

#include "common/FileNames.h"
#include "common/platform/Trash.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

bool IsFolder(const QByteArray &path)
{
    struct stat st
    {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray Native(const QString &path)
{
    return EncodeName(path);
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

    int run(const QStringList sources, QList<NotFiled> *notFiled) // a copy: the caller's list may change
    {
        const auto leaveFrom = [&](qsizetype first, int result, const QString &reason) {
            for (qsizetype i = first; notFiled != nullptr && i < sources.size(); ++i) {
                notFiled->append({sources.at(i), result, reason});
            }
        };
        if (!IsFolder(m_destination)) {
            leaveFrom(0, TransferResult::DestinationMissing, QStringLiteral("the destination folder cannot be found"));
            return TransferResult::DestinationMissing;
        }
        char *real = ::realpath(m_destination.constData(), nullptr);
        m_realDestination = real != nullptr ? QByteArray(real) : m_destination;
        std::free(real);
        int first = TransferResult::Ok;
        for (int i = 0; i < sources.size(); ++i) {
            m_reason.clear();
            m_thisFileOnly = false;
            m_atDestination = false;
            const int result = one(i, static_cast<int>(sources.size()), sources.at(i));
            if (result == TransferResult::Ok) {
                continue;
            }
            if (first == TransferResult::Ok) {
                first = result;
            }
            if (notFiled != nullptr) {
                notFiled->append({sources.at(i), result, m_reason, m_atDestination});
            }
            // A file that does not fit, has gone or is no file at all says nothing of the next
            // one: a smaller picture may still fit. Anything else stops here.
            if (!m_thisFileOnly) {
                leaveFrom(i + 1, result,
                          result == TransferResult::Cancelled ? QStringLiteral("cancelled")
                                                              : QStringLiteral("not tried after that"));
                break;
            }
        }
        return first;
    }

private:
    enum class Side { Source, Destination, Either };

    // An errno turned into a result and the reason the user is told; a missing file is the
    // destination's fault when the destination folder has gone.
    [[nodiscard]] int resultOf(int error, Side side)
    {
        const int e = -error;
        switch (e) {
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
            if (side == Side::Either) {
                side = ::access(m_destination.constData(), W_OK) == 0 ? Side::Source : Side::Destination;
            }
            if (side == Side::Destination) {
                m_atDestination = true;
                m_reason = e == EROFS ? QStringLiteral("the destination folder is read-only")
                                      : QStringLiteral("the destination folder cannot be written to");
            } else {
                m_reason = m_removing ? QStringLiteral("its folder does not let it be removed, so it stays there")
                                      : QStringLiteral("it cannot be read");
            }
            return TransferResult::AccessDenied;
        case ENOSPC:
        case EFBIG:
            m_thisFileOnly = true;
            m_reason = e == EFBIG ? QStringLiteral("it is too large for the destination disk")
                                  : QStringLiteral("the destination disk is full");
            return TransferResult::DiskFull;
        case EDQUOT:
            m_thisFileOnly = true;
            m_reason = QStringLiteral("your disk quota is used up");
            return TransferResult::DiskFull;
        case ENOENT:
        case ENOTDIR:
            if (IsFolder(m_destination)) {
                m_thisFileOnly = true;
                m_reason = QStringLiteral("it no longer exists");
                return TransferResult::SourceMissing;
            }
            m_reason = QStringLiteral("the destination folder cannot be found");
            return TransferResult::DestinationMissing;
        case EINVAL:
            if (side == Side::Source) {
                m_thisFileOnly = true;
                m_reason = QStringLiteral("it is not a regular file");
                return TransferResult::Failed;
            }
            break;
        default:
            break;
        }
        m_reason = QStringLiteral("the system reported: %1").arg(QString::fromLocal8Bit(std::strerror(e)));
        return TransferResult::Failed;
    }

    int refuse(int result, const QString &reason, bool thisFileOnly = false)
    {
        m_reason = reason;
        m_thisFileOnly = thisFileOnly;
        return result;
    }

    // Asks whether the file holding the target's name may be replaced: nothing when it may,
    // otherwise what this file's transfer ends with (a file skipped with "No" is no failure).
    std::optional<int> mayReplace(const QString &source, const QByteArray &target)
    {
        if (m_replaceAll) {
            return std::nullopt;
        }
        switch (m_observer.askReplace(source, DecodeName(target))) {
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
        m_reason = QStringLiteral("cancelled");
        return TransferResult::Cancelled;
    }

    int one(int index, int count, const QString &sourceText)
    {
        const QByteArray source = Native(sourceText);
        struct stat src
        {};
        if (::lstat(source.constData(), &src) != 0) {
            return resultOf(Errno(), Side::Source);
        }
        if (!m_observer.progress(index, count, sourceText, 0, src.st_size)) {
            return refuse(TransferResult::Cancelled, QStringLiteral("cancelled"));
        }
        if (S_ISDIR(src.st_mode)) {
            // Folders are not filed: only pictures are. A folder into itself is named as such.
            char *real = ::realpath(source.constData(), nullptr);
            const QByteArray realSource = real != nullptr ? QByteArray(real) : source;
            std::free(real);
            if (m_realDestination == realSource || m_realDestination.startsWith(realSource + '/')) {
                return refuse(TransferResult::IntoItself, QStringLiteral("a folder cannot go into itself"));
            }
            return refuse(TransferResult::Failed, QStringLiteral("it is a folder"), true);
        }
        if (!S_ISREG(src.st_mode) && !S_ISLNK(src.st_mode)) {
            return refuse(TransferResult::Failed, QStringLiteral("it is not a regular file"), true);
        }
        const QByteArray target = m_destination + '/' + Native(FileNameOf(sourceText));
        bool replace = false;
        struct stat dst
        {};
        if (::lstat(target.constData(), &dst) == 0) {
            struct stat followed
            {};
            if (::stat(target.constData(), &followed) == 0 && followed.st_dev == src.st_dev &&
                followed.st_ino == src.st_ino) {
                return refuse(TransferResult::SameFile, QStringLiteral("it is that folder's file already"));
            }
            if (S_ISDIR(dst.st_mode)) {
                // A folder is never replaced by a file.
                return refuse(TransferResult::Failed, QStringLiteral("a folder of that name is there"), true);
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
                    m_removing = true; // refused by the source's folder, if not by the destination
                    const int result = resultOf(r, Side::Either);
                    m_removing = false;
                    return result;
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
            // A link moves by rename only; a copy copies the picture.
            return refuse(TransferResult::Failed, QStringLiteral("a link cannot be moved to another disk"), true);
        }
        // Only a regular file is read: a FIFO or device put in the picture's place (or behind a
        // link to it) since the list was read would block the copy or feed it endlessly.
        const int in = m_calls.openRead(source);
        if (in < 0) {
            return resultOf(in, Side::Source);
        }
        struct stat src
        {};
        if (::fstat(in, &src) != 0) {
            const int e = Errno();
            m_calls.closeFile(in);
            return resultOf(e, Side::Source);
        }
        QByteArray temporary;
        const int out = m_calls.openNew(m_destination, &temporary);
        if (out < 0) {
            m_calls.closeFile(in);
            return resultOf(out, Side::Destination);
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
                return fail(resultOf(static_cast<int>(n), Side::Destination));
            }
            if (n == 0) {
                break;
            }
            done += n;
            if (!m_observer.progress(index, count, sourceText, done, src.st_size)) {
                return fail(refuse(TransferResult::Cancelled, QStringLiteral("cancelled")));
            }
        }
        struct stat now
        {};
        if (::fstat(in, &now) != 0 || done != now.st_size || done != src.st_size) {
            // The source changed or shrank while it was read: this copy is not the file.
            return fail(refuse(TransferResult::Failed, QStringLiteral("it changed while it was copied"), true));
        }
        if (const int r = m_calls.finish(in, out); r != 0) {
            return fail(resultOf(r, Side::Destination));
        }
        // The flush may have taken long: a cancel asked meanwhile is honoured before the copy is named.
        if (!m_observer.progress(index, count, sourceText, done, src.st_size)) {
            return fail(refuse(TransferResult::Cancelled, QStringLiteral("cancelled")));
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
            return fail(resultOf(r, Side::Destination));
        }
        // A failed close or folder flush may mean the copy or its name never reached the disk: the
        // source is then kept, and a copy that replaced nothing is taken back.
        const int closed = m_calls.closeFile(out);
        m_calls.closeFile(in);
        const int synced = closed == 0 ? m_calls.syncFolder(m_destination) : closed;
        if (closed != 0 || (synced != 0 && m_kind == TransferKind::Move)) {
            if (!replace) {
                (void)m_calls.removeFile(target);
            }
            return resultOf(synced, Side::Destination);
        }
        if (m_kind == TransferKind::Copy) {
            return synced == 0 ? TransferResult::Ok : resultOf(synced, Side::Destination);
        }
        if (const int r = m_calls.removeFile(source); r != 0 && r != -ENOENT) {
            // The source stays; a copy that replaced nothing is taken back so nothing is doubled.
            if (!replace) {
                (void)m_calls.removeFile(target);
            }
            m_removing = true;
            const int result = resultOf(r, Side::Source);
            m_removing = false;
            return result;
        }
        return TransferResult::Ok;
    }

    TransferKind m_kind;
    QByteArray m_destination;
    QByteArray m_realDestination;
    TransferObserver &m_observer;
    FileSystemCalls &m_calls;
    bool m_replaceAll = false;
    QString m_reason;             // why the file at hand was not filed
    bool m_thisFileOnly = false;  // its failure says nothing of the next file
    bool m_removing = false;      // the failure is the source's removal after its copy
    bool m_atDestination = false; // the destination folder refused it
};

} // namespace

int FileSystemCalls::openRead(const QByteArray &path)
{
    const int fd = OpenRegularFile(path);
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
    ssize_t copied = -1;
    do {
        copied = ::copy_file_range(from, nullptr, to, nullptr, bytes, 0);
    } while (copied < 0 && errno == EINTR);
    if (copied >= 0) {
        return copied;
    }
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
        return Errno();
    }
    static thread_local std::vector<char> buffer(1 << 20);
    const ssize_t n = ReadRetrying(from, buffer.data(), std::min(bytes, buffer.size()));
    if (n <= 0) {
        return n;
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
    ::close(fd); // the file is dropped either way; an unnamed one goes with its descriptor
    if (!temporaryName.isEmpty() && ::unlink(temporaryName.constData()) != 0 && errno != ENOENT) {
        return Errno();
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
    // File systems without the flag: a second name can only be made where none exists. A file
    // moved so never keeps both names: when the old one cannot go, the new one goes again.
    if (::link(from.constData(), to.constData()) != 0) {
        return Errno();
    }
    if (::unlink(from.constData()) != 0) {
        const int e = Errno();
        ::unlink(to.constData());
        return e;
    }
    return 0;
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
                  FileSystemCalls &calls, QList<NotFiled> *notFiled)
{
    return Transfer(kind, destination, observer, calls).run(sources, notFiled);
}

int TransferFiles(TransferKind kind, const QStringList &sources, const QString &destination, TransferObserver &observer,
                  QList<NotFiled> *notFiled)
{
    FileSystemCalls calls;
    return TransferFiles(kind, sources, destination, observer, calls, notFiled);
}

TransferMessage TransferReport(TransferKind kind, int result, const QList<NotFiled> &notFiled, int sourceCount,
                               const QString &destination)
{
    // The user who cancelled knows; a file kept because the user said No is no failure.
    if (result == TransferResult::Ok || result == TransferResult::Cancelled || notFiled.isEmpty()) {
        return {};
    }
    const bool move = kind == TransferKind::Move;
    QString headline;
    if (result == TransferResult::DestinationMissing) {
        headline = move ? QStringLiteral("The destination folder cannot be found.")
                        : QStringLiteral("The destination folder is currently inaccessible.");
    } else if (result == TransferResult::AccessDenied &&
               std::any_of(notFiled.begin(), notFiled.end(), [](const NotFiled &f) { return f.destinationRefused; })) {
        headline = QStringLiteral("The destination folder is currently inaccessible.");
    } else {
        headline = QStringLiteral("Not every file could be %1 to %2.")
                       .arg(move ? QStringLiteral("moved") : QStringLiteral("copied"), DisplayName(destination));
    }
    const auto count = notFiled.size();
    QString text = headline + QStringLiteral("\n\n");
    if (move) {
        text += count == 1
                    ? QStringLiteral("This file was not moved; it is still where it was:")
                    : QStringLiteral("These %1 files were not moved; they are still where they were:").arg(count);
    } else {
        text += count == 1 ? QStringLiteral("This file was not copied:")
                           : QStringLiteral("These %1 files were not copied:").arg(count);
    }
    // A long list would make a box taller than the screen: the first names, and how many more.
    constexpr qsizetype kShown = 12;
    for (qsizetype i = 0; i < std::min(count, kShown); ++i) {
        text += QStringLiteral("\n%1: %2").arg(DisplayName(FileNameOf(notFiled.at(i).source)), notFiled.at(i).reason);
    }
    if (count > kShown) {
        text += QStringLiteral("\n... and %1 more.").arg(count - kShown);
    }
    return {text, count < sourceCount};
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
    return MoveToTrashByBytes(path, pathInTrash);
}
