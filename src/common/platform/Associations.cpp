#include "common/platform/Associations.h"

#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>

QString AssociatedProgram(const QString &path)
{
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(10000) || query.exitStatus() != QProcess::NormalExit) {
        return {};
    }
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

bool OpenWithAssociatedProgram(const QString &path)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        return true;
    }
    // A platform without a desktop service of its own still has the desktop's opener.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}
