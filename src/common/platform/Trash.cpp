#include "common/platform/Trash.h"

#include "common/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += n;
    }
    return true;
}

// "name.N.ext" for the N-th name tried in the trash.
QByteArray TrashName(const QByteArray &name, int attempt)
{
    if (attempt == 0) {
        return name;
    }
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray number = '.' + QByteArray::number(attempt);
    return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
}

bool MoveRawNameToTrash(const QString &path)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) {
        return false;
    }
    const QByteArray trash = EncodeName(data) + "/Trash";
    const QByteArray files = trash + "/files";
    const QByteArray info = trash + "/info";
    for (const QByteArray &folder : {trash, files, info}) {
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    const QString absolute =
        QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path);
    const QByteArray source = EncodeName(absolute);
    struct stat file
    {};
    struct stat home
    {};
    // Only the home trash is used here, and a rename cannot leave its file system.
    if (::lstat(source.constData(), &file) != 0 || ::stat(files.constData(), &home) != 0 ||
        file.st_dev != home.st_dev) {
        return false;
    }
    const QByteArray name = source.mid(source.lastIndexOf('/') + 1);
    const QByteArray record = "[Trash Info]\nPath=" + source.toPercentEncoding("/") + "\nDeletionDate=" +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
                              "\n";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QByteArray entry = TrashName(name, attempt);
        const QByteArray infoPath = info + '/' + entry + ".trashinfo";
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST || errno == ENAMETOOLONG) {
                continue;
            }
            return false;
        }
        const bool written = WriteAll(fd, record) && ::fsync(fd) == 0;
        if (::close(fd) != 0 || !written) {
            ::unlink(infoPath.constData());
            return false;
        }
        const QByteArray target = files + '/' + entry;
        if (::syscall(SYS_renameat2, AT_FDCWD, source.constData(), AT_FDCWD, target.constData(),
                      1u /* RENAME_NOREPLACE */) == 0) {
            return true;
        }
        const int e = errno;
        ::unlink(infoPath.constData());
        if (e != EEXIST) {
            return false;
        }
    }
    return false;
}

} // namespace

bool MoveToTrash(const QString &path)
{
    if (HasRawBytes(path)) {
        return MoveRawNameToTrash(path);
    }
    return QFile::moveToTrash(path);
}
