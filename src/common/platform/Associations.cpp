#include "common/platform/Associations.h"

#include "common/FileNames.h"

#include <QDesktopServices>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>

#include <unistd.h>

namespace {

// The file's URL made from its own bytes, so a name that is not UTF-8 reaches that file.
QUrl FileUrl(const QString &path)
{
    const QString absolute = AbsolutePath(path);
    if (!HasRawBytes(absolute)) {
        return QUrl::fromLocalFile(absolute);
    }
    return QUrl::fromEncoded(QByteArrayLiteral("file://") + EncodeName(absolute).toPercentEncoding("/"),
                             QUrl::StrictMode);
}

} // namespace

QString AssociatedProgram(const QString &path)
{
    // The content is read through our own descriptor: by name, Qt would open another file.
    QString type;
    QFile file;
    const int fd = OpenRegularFile(path);
    if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        type = QMimeDatabase().mimeTypeForFileNameAndData(FileNameOf(path), &file).name();
    } else {
        if (fd >= 0) {
            ::close(fd);
        }
        type = QMimeDatabase().mimeTypeForFile(FileNameOf(path), QMimeDatabase::MatchExtension).name();
    }
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(10000) || query.exitStatus() != QProcess::NormalExit) {
        return {};
    }
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

bool OpenWithAssociatedProgram(const QString &path)
{
    const QUrl url = FileUrl(path);
    if (QDesktopServices::openUrl(url)) {
        return true;
    }
    // A platform without a desktop service of its own still has the desktop's opener.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromLatin1(url.toEncoded())});
}
