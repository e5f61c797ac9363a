// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/Trash.h"

#include "common/FileNames.h"

#include <QDateTime>
#include <QDir>
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

// The longest name a file in the trash may have: its record is that name and ".trashinfo", and a
// name holds at most 255 bytes.
constexpr qsizetype kLongestTrashName = 255 - 10;

// "name.N.ext" for the N-th name tried in the trash. A name too long for its record is shortened
// (the extension kept, no character cut in two); the record keeps the whole original path, and
// the N that follows makes it unique.
QByteArray TrashName(const QByteArray &name, int attempt)
{
    const qsizetype dot = name.lastIndexOf('.');
    const bool hasExtension = dot > 0 && name.size() - dot <= 16;
    QByteArray stem = hasExtension ? name.left(dot) : name;
    const QByteArray extension = hasExtension ? name.mid(dot) : QByteArray();
    const QByteArray number = attempt == 0 ? QByteArray() : '.' + QByteArray::number(attempt);
    const qsizetype room = kLongestTrashName - number.size() - extension.size();
    if (stem.size() > room) {
        qsizetype cut = room;
        // Back to the start of a UTF-8 character: continuation bytes are 10xxxxxx.
        while (cut > 0 && (static_cast<unsigned char>(stem.at(cut)) & 0xC0) == 0x80) {
            --cut;
        }
        stem.truncate(cut);
    }
    return stem + number + extension;
}

// The trash for a file on device `device`: the user's own when it is on the same file system,
// else "$topdir/.Trash-$uid" at the top of the file's mount. Empty when there is none to use.
QByteArray TrashFor(dev_t device, const QByteArray &source)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    struct stat st
    {};
    if (!data.isEmpty() && QDir().mkpath(data) && ::stat(EncodeName(data).constData(), &st) == 0 &&
        st.st_dev == device) {
        return EncodeName(data) + "/Trash";
    }
    // The top of the mount: the last folder upwards still on the file's device.
    QByteArray top = source.left(source.lastIndexOf('/'));
    while (top.size() > 1) {
        const qsizetype slash = top.lastIndexOf('/');
        const QByteArray parent = slash <= 0 ? QByteArray("/") : top.left(slash);
        if (::stat(parent.constData(), &st) != 0 || st.st_dev != device) {
            break;
        }
        top = parent;
    }
    if (top.isEmpty()) {
        return {};
    }
    return (top == "/" ? QByteArray() : top) + "/.Trash-" + QByteArray::number(::getuid());
}

// Makes the trash's folders, private to the user; a link or someone else's folder in their
// place is refused.
bool PrepareTrash(const QByteArray &trash)
{
    for (const QByteArray &folder : {trash, trash + "/files", trash + "/info"}) {
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        struct stat st
        {};
        if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
            return false;
        }
    }
    return true;
}

} // namespace

bool MoveToTrashByBytes(const QString &path, QString *pathInTrash)
{
    const QByteArray source = EncodeName(AbsolutePath(path));
    struct stat file
    {};
    if (::lstat(source.constData(), &file) != 0) {
        return false;
    }
    const QByteArray trash = TrashFor(file.st_dev, source);
    struct stat place
    {};
    // A rename cannot leave its file system: a trash elsewhere is no trash for this file.
    if (trash.isEmpty() || !PrepareTrash(trash) || ::stat((trash + "/files").constData(), &place) != 0 ||
        place.st_dev != file.st_dev) {
        return false;
    }
    const QByteArray files = trash + "/files";
    const QByteArray info = trash + "/info";
    const QByteArray name = source.mid(source.lastIndexOf('/') + 1);
    const QByteArray record = "[Trash Info]\nPath=" + source.toPercentEncoding("/") + "\nDeletionDate=" +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
                              "\n";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QByteArray entry = TrashName(name, attempt);
        const QByteArray infoPath = info + '/' + entry + ".trashinfo";
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
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
            if (pathInTrash != nullptr) {
                *pathInTrash = DecodeName(target);
            }
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
