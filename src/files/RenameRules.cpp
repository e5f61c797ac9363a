// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/RenameRules.h"

std::optional<QString> NameProblem(const QString &name)
{
    if (name.trimmed().isEmpty()) {
        return QStringLiteral("A file name cannot be empty or only spaces.");
    }
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0))) {
        return QStringLiteral("A file name cannot contain '/'.");
    }
    if (name == QLatin1String(".") || name == QLatin1String("..")) {
        return QStringLiteral("'%1' cannot be a file name.").arg(name);
    }
    return std::nullopt;
}

QString ExtensionName(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) {
        return {};
    }
    return fileName.mid(dot + 1);
}

QString NumberInStyle(int k, const QString &style)
{
    int width = 1;
    if (style == QLatin1String("01")) {
        width = 2;
    } else if (style == QLatin1String("001")) {
        width = 3;
    } else if (style == QLatin1String("0001")) {
        width = 4;
    }
    return QStringLiteral("%1").arg(k, width, 10, QLatin1Char('0'));
}

QString BulkNewName(BulkRule rule, const QString &oldName, const BulkTexts &texts, int k)
{
    const QString ext = ExtensionName(oldName);
    const QString dotExt = ext.isEmpty() && !oldName.endsWith(QLatin1Char('.')) ? QString() : QLatin1Char('.') + ext;
    const QString base = oldName.left(oldName.size() - dotExt.size());
    switch (rule) {
    case BulkRule::Replace: {
        if (texts.oldString.isEmpty()) {
            return oldName;
        }
        QString name = oldName;
        return name.replace(texts.oldString, texts.newString, Qt::CaseSensitive);
    }
    case BulkRule::AddFront:
        return texts.append + oldName;
    case BulkRule::AddEnd:
        return base + texts.append + dotExt;
    case BulkRule::Complete:
        return texts.complete + QLatin1Char('-') + NumberInStyle(k, texts.numberStyle) + dotExt;
    }
    return oldName;
}
