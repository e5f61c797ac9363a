// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString AppPath()
{
    return QCoreApplication::applicationDirPath();
}

QString JoinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/'))) {
        return folder + name;
    }
    return folder + QLatin1Char('/') + name;
}

QString ShippedFile(const QString &name)
{
    const QString beside = JoinPath(AppPath(), name);
    if (QFileInfo::exists(beside)) {
        return beside;
    }
    const QString installed = JoinPath(QStringLiteral(VANTREL_DATADIR), name);
    if (QFileInfo::exists(installed)) {
        return installed;
    }
    return {};
}
