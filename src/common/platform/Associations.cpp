// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/Associations.h"

#include "common/FileNames.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <QUrl>
#include <algorithm>
#include <memory>
#include <optional>
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

namespace {

// The folders desktop entries and association lists live in, the user's first.
QStringList ApplicationFolders()
{
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

QStringList ConfigFolders()
{
    return QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
}

// One desktop entry's main group, read as the desktop reads it (no escapes taken by QSettings).
std::optional<DesktopProgram> ReadEntry(const QString &file, const QString &entry)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return std::nullopt;
    }
    DesktopProgram program;
    program.entry = entry;
    bool inMain = false;
    bool hidden = false;
    QString type;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain) {
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Name")) {
            program.name = value;
        } else if (key == QLatin1String("Exec")) {
            program.exec = value;
        } else if (key == QLatin1String("Type")) {
            type = value;
        } else if (key == QLatin1String("Hidden")) {
            hidden = value == QLatin1String("true");
        } else if (key == QLatin1String("MimeType")) {
            program.types = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        }
    }
    if (hidden || program.exec.isEmpty() || (!type.isEmpty() && type != QLatin1String("Application"))) {
        return std::nullopt;
    }
    if (program.name.isEmpty()) {
        program.name = entry;
    }
    return program;
}

// The user's added associations for a type, in their order.
QStringList AddedAssociations(const QString &type)
{
    QStringList entries;
    QStringList lists;
    for (const QString &folder : ConfigFolders()) {
        lists << folder + QStringLiteral("/mimeapps.list");
    }
    for (const QString &folder : ApplicationFolders()) {
        lists << folder + QStringLiteral("/mimeapps.list");
    }
    for (const QString &list : lists) {
        QFile f(list);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            continue;
        }
        bool inAdded = false;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('['))) {
                inAdded =
                    line == QLatin1String("[Added Associations]") || line == QLatin1String("[Default Applications]");
                continue;
            }
            if (inAdded && line.startsWith(type + QLatin1Char('='))) {
                for (const QString &e : line.mid(type.size() + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                    if (!entries.contains(e)) {
                        entries << e;
                    }
                }
            }
        }
    }
    return entries;
}

} // namespace

QList<DesktopProgram> OtherAssociatedPrograms(const QString &path, const QString &ownEntry)
{
    const QString type = QMimeDatabase().mimeTypeForFile(FileNameOf(path), QMimeDatabase::MatchExtension).name();
    // Every installed entry, in the order of their folders (the user's own first), each name once:
    // the first folder's entry wins.
    QList<DesktopProgram> installed;
    QStringList seen;
    for (const QString &folder : ApplicationFolders()) {
        const QDir dir(folder);
        for (const QString &file : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable)) {
            if (seen.contains(file)) {
                continue;
            }
            seen << file;
            if (auto program = ReadEntry(dir.filePath(file), file)) {
                installed << *program;
            }
        }
    }
    const auto find = [&](const QString &entry) {
        return std::find_if(installed.cbegin(), installed.cend(),
                            [&](const DesktopProgram &p) { return p.entry == entry; });
    };
    QList<DesktopProgram> programs;
    QStringList taken{ownEntry};
    for (const QString &entry : AddedAssociations(type)) {
        if (const auto it = find(entry); !taken.contains(entry) && it != installed.cend()) {
            programs << *it;
            taken << entry;
        }
    }
    for (const DesktopProgram &program : std::as_const(installed)) {
        if (!taken.contains(program.entry) && program.types.contains(type)) {
            programs << program;
            taken << program.entry;
        }
    }
    return programs;
}

QStringList ExecCommand(const QString &exec, const QString &path)
{
    // Split as a shell would for the simple quoting desktop entries use.
    QStringList words;
    QString word;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                word += exec.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c.isSpace()) {
            if (any) {
                words << word;
            }
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) {
        words << word;
    }
    const QString url = QString::fromLatin1(FileUrl(path).toEncoded());
    QStringList command;
    for (const QString &w : std::as_const(words)) {
        if (w == QLatin1String("%f") || w == QLatin1String("%F")) {
            command << AbsolutePath(path);
        } else if (w == QLatin1String("%u") || w == QLatin1String("%U")) {
            command << url;
        } else if (w.size() == 2 && w.startsWith(QLatin1Char('%'))) {
            continue; // %i, %c, %k and the deprecated codes stand for nothing here
        } else {
            QString kept = w;
            kept.replace(QLatin1String("%%"), QLatin1String("%"));
            command << kept;
        }
    }
    return command;
}

bool OpenWithProgram(const DesktopProgram &program, const QString &path)
{
    QStringList command = ExecCommand(program.exec, path);
    if (command.isEmpty()) {
        return false;
    }
    if (!program.exec.contains(QLatin1Char('%'))) {
        command << AbsolutePath(path); // an entry without a field code still gets the file
    }
    const QString executable = command.takeFirst();
    return QProcess::startDetached(executable, command);
}
