#include "common/platform/Associations.h"

#include "common/FileNames.h"

#include <QDesktopServices>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QTimer>

#include <QUrl>
#include <memory>
#include <utility>

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

void AskAssociatedProgram(const QString &path, QObject *context, std::function<void(const QString &)> answer)
{
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    auto *query = new QProcess(context);
    auto *limit = new QTimer(query);
    limit->setSingleShot(true);
    // Answered once, whether the query finished, never started, or ran out of time.
    auto deliver = std::make_shared<std::function<void(const QString &)>>(std::move(answer));
    auto finish = [query, deliver](const QString &program) {
        if (auto once = std::exchange(*deliver, nullptr)) {
            query->deleteLater();
            once(program);
        }
    };
    QObject::connect(limit, &QTimer::timeout, query, [query] { query->kill(); });
    QObject::connect(query, &QProcess::finished, context, [query, finish](int code, QProcess::ExitStatus status) {
        finish(status == QProcess::NormalExit && code == 0 ? QString::fromUtf8(query->readAllStandardOutput()).trimmed()
                                                           : QString());
    });
    QObject::connect(query, &QProcess::errorOccurred, context, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            finish(QString());
        }
    });
    query->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    limit->start(10000);
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
