// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/UndoJournal.h"
#include "common/FileNames.h"

#include "common/Utilities.h"
#include "common/platform/AppPaths.h"
#include "files/FileTransfer.h"
#include "files/JpegTransform.h"
#include "files/Renaming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <fcntl.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Taking a move back never asks: a name taken since is refused before anything moves.
class NoQuestions : public TransferObserver
{
public:
    ReplaceAnswer askReplace(const QString &, const QString &) override { return ReplaceAnswer::No; }
    bool progress(int, int, const QString &, qint64, qint64) override { return true; }
};

QString folderOf(const QString &path)
{
    return QFileInfo(path).path();
}

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

// The record the trash keeps beside a file it holds: ".../Trash/files/NAME" has
// ".../Trash/info/NAME.trashinfo".
QString trashInfoOf(const QString &inTrash)
{
    const QDir files(folderOf(inTrash));
    return QDir(files.absoluteFilePath(QStringLiteral("../info")))
        .absoluteFilePath(nameOf(inTrash) + QStringLiteral(".trashinfo"));
}

QString stillTheSame(const UndoFile &f)
{
    const auto now = IdentityOf(f.after);
    if (!now) {
        return QStringLiteral("it is no longer there");
    }
    if (*now != f.identity) {
        return QStringLiteral("it was changed since");
    }
    return {};
}

} // namespace

std::optional<FileIdentity> IdentityOf(const QString &path)
{
    struct stat st
    {};
    if (::lstat(EncodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::int64_t>(st.st_size);
    id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

QString UndoStep::label() const
{
    switch (kind) {
    case Kind::Move:
        return QStringLiteral("Move");
    case Kind::Copy:
        return QStringLiteral("Copy");
    case Kind::Rename:
        return QStringLiteral("Rename");
    case Kind::BatchRename:
        return QStringLiteral("Multiple File Rename");
    case Kind::Delete:
        return QStringLiteral("Delete");
    case Kind::Transform:
        return name.isEmpty() ? QStringLiteral("Rotate") : name;
    }
    return {};
}

UndoResult TakeBack(const UndoStep &step)
{
    UndoResult result;
    std::vector<UndoFile> checked;
    for (const UndoFile &f : step.files) {
        if (const QString why = stillTheSame(f); !why.isEmpty()) {
            result.refused << UndoRefusal{f.after, why, true};
            continue;
        }
        if (step.kind != UndoStep::Kind::Copy && step.kind != UndoStep::Kind::Rename &&
            step.kind != UndoStep::Kind::BatchRename && step.kind != UndoStep::Kind::Transform &&
            FileExistsExact(f.before)) {
            result.refused << UndoRefusal{f.after, QStringLiteral("another file now has its old name")};
            continue;
        }
        checked.push_back(f);
    }

    switch (step.kind) {
    case UndoStep::Kind::Move:
        for (const UndoFile &f : checked) {
            NoQuestions quiet;
            const int code = TransferFiles(TransferKind::Move, {f.after}, folderOf(f.before), quiet);
            if (code == TransferResult::Ok && IdentityOf(f.before) && !IdentityOf(f.after)) {
                result.restored << f.before;
            } else {
                result.refused << UndoRefusal{f.after, QStringLiteral("it could not be moved back")};
            }
        }
        break;
    case UndoStep::Kind::Copy:
        // The copy goes to the trash rather than away for good: nothing is ever unlinked.
        for (const UndoFile &f : checked) {
            if (MoveToTrash(f.after)) {
                result.restored << f.before;
            } else {
                result.refused << UndoRefusal{f.after, QStringLiteral("it could not be moved to the trash")};
            }
        }
        break;
    case UndoStep::Kind::Rename:
    case UndoStep::Kind::BatchRename: {
        // Back as one batch, so a swap or a chain of names unwinds as it was made.
        QString folder;
        std::vector<BatchRename> back;
        for (const UndoFile &f : checked) {
            folder = folderOf(f.after);
            BatchRename r;
            r.oldName = nameOf(f.after);
            r.newName = nameOf(f.before);
            back.push_back(r);
        }
        if (back.empty()) {
            break;
        }
        const std::vector<BatchRename> done = RenameBatch(folder, back);
        for (std::size_t k = 0; k < done.size(); ++k) {
            if (done[k].outcome == BatchRename::Outcome::Renamed) {
                result.restored << checked[k].before;
            } else if (done[k].outcome == BatchRename::Outcome::Exists) {
                result.refused << UndoRefusal{checked[k].after, QStringLiteral("another file now has its old name")};
            } else {
                result.refused << UndoRefusal{checked[k].after, QStringLiteral("it could not be renamed back")};
            }
        }
        break;
    }
    case UndoStep::Kind::Transform:
        for (const UndoFile &f : checked) {
            const auto old = ReadWholeFile(f.kept);
            if (old && ReplaceFileAtomically(f.after, *old) == 0) {
                ::unlink(EncodeName(f.kept).constData());
                result.restored << f.before;
            } else {
                result.refused << UndoRefusal{f.after, QStringLiteral("its old contents could not be written back")};
            }
        }
        break;
    case UndoStep::Kind::Delete:
        for (const UndoFile &f : checked) {
            // Out of the trash as file managers restore: the file back under its old name, the
            // trash's record of it removed.
            FileSystemCalls calls;
            int moved = calls.renameNoReplace(EncodeName(f.after), EncodeName(f.before));
            if (moved == -EXDEV) {
                // A trash on another disk: moved (copied whole, then removed) under its name in
                // the trash, then given its old name.
                NoQuestions quiet;
                const QString folder = folderOf(f.before);
                moved = TransferFiles(TransferKind::Move, {f.after}, folder, quiet) == TransferResult::Ok ? 0 : -EIO;
                if (moved == 0 && nameOf(f.after) != nameOf(f.before)) {
                    moved = RenameNoReplace(folder, nameOf(f.after), nameOf(f.before));
                }
            }
            if (moved == 0) {
                ::unlink(EncodeName(trashInfoOf(f.after)).constData());
                result.restored << f.before;
            } else {
                result.refused << UndoRefusal{f.before, QStringLiteral("it could not be taken out of the trash")};
            }
        }
        break;
    }
    return result;
}

UndoJournal::~UndoJournal()
{
    clear();
}

void UndoJournal::clear()
{
    for (const UndoStep &step : m_steps) {
        DropKept(step);
    }
    m_steps.clear();
}

void UndoJournal::record(UndoStep step)
{
    if (step.files.empty()) {
        return;
    }
    m_steps.push_back(std::move(step));
    while (m_steps.size() > kKept) {
        DropKept(m_steps.front());
        m_steps.pop_front();
    }
}

QString UndoKeepFolder()
{
    static QString folder;
    if (!folder.isEmpty() && IsFolder(folder)) {
        return folder;
    }
    const QString base = JoinPath(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
                                  QStringLiteral("Vantrel Viewer/undo"));
    if (!QDir().mkpath(base)) {
        return {};
    }
    ::chmod(EncodeName(base).constData(), 0700);
    // A session that ended without cleaning up (killed, crashed) left its folder: its steps
    // went with it, so its copies are of no use any more.
    const QStringList sessions = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : sessions) {
        bool number = false;
        const qint64 pid = name.toLongLong(&number);
        if (number && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            QDir(JoinPath(base, name)).removeRecursively();
        }
    }
    const QString mine = JoinPath(base, QString::number(::getpid()));
    if (!QDir().mkpath(mine)) {
        return {};
    }
    ::chmod(EncodeName(mine).constData(), 0700);
    folder = mine;
    return folder;
}

QString KeepOriginal(const QString &folder, const QByteArray &bytes)
{
    if (folder.isEmpty()) {
        return {};
    }
    static std::uint64_t counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = JoinPath(folder, QStringLiteral("%1-%2.kept").arg(++counter).arg(::random() % 100000));
        const QByteArray native = EncodeName(path);
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return {};
        }
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t w =
                ::write(fd, bytes.constData() + written, static_cast<std::size_t>(bytes.size() - written));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                break;
            }
            written += w;
        }
        const bool whole = written == bytes.size() && ::fsync(fd) == 0;
        ::close(fd);
        if (!whole) {
            ::unlink(native.constData());
            return {};
        }
        return path;
    }
    return {};
}

void DropKept(const UndoStep &step)
{
    for (const UndoFile &f : step.files) {
        if (!f.kept.isEmpty()) {
            ::unlink(EncodeName(f.kept).constData());
        }
    }
}

UndoResult UndoJournal::undo()
{
    if (m_steps.empty()) {
        return {};
    }
    UndoStep step = std::move(m_steps.back());
    m_steps.pop_back();
    UndoResult result = TakeBack(step);
    if (step.kind == UndoStep::Kind::Transform) {
        // The old bytes are back under a new identity: a step before that left the file as those
        // bytes knows it by the identity it had, and takes it as its own again.
        for (const UndoFile &f : step.files) {
            const auto now = IdentityOf(f.after);
            if (!now || !result.restored.contains(f.before)) {
                continue;
            }
            for (UndoStep &older : m_steps) {
                for (UndoFile &o : older.files) {
                    if (o.after == f.after && o.identity == f.keptIdentity) {
                        o.identity = *now;
                    }
                }
            }
        }
    }
    if (!result.refused.isEmpty()) {
        // What stayed is still the step's to take back, as it stands.
        UndoStep rest;
        rest.kind = step.kind;
        rest.name = step.name;
        for (const UndoFile &f : step.files) {
            for (const UndoRefusal &r : std::as_const(result.refused)) {
                if (r.path != f.after && r.path != f.before) {
                    continue;
                }
                if (r.final) {
                    // Gone from the journal for good: its kept bytes would only fill the cache.
                    if (!f.kept.isEmpty()) {
                        ::unlink(EncodeName(f.kept).constData());
                    }
                } else {
                    rest.files.push_back(f);
                }
                break;
            }
        }
        if (!rest.files.empty()) {
            m_steps.push_back(std::move(rest));
        }
    }
    return result;
}

TransferSnapshot BeforeTransfer(const QStringList &sources, const QString &destination)
{
    TransferSnapshot s;
    s.sources = sources;
    s.destination = destination;
    for (const QString &source : sources) {
        s.targetsBefore.push_back(IdentityOf(JoinPath(destination, nameOf(source))));
    }
    return s;
}

UndoStep AfterTransfer(UndoStep::Kind kind, const TransferSnapshot &before)
{
    UndoStep step;
    step.kind = kind;
    for (int k = 0; k < before.sources.size(); ++k) {
        const QString &source = before.sources.at(k);
        const QString target = JoinPath(before.destination, nameOf(source));
        const auto now = IdentityOf(target);
        if (!now || (before.targetsBefore[static_cast<std::size_t>(k)] &&
                     *before.targetsBefore[static_cast<std::size_t>(k)] == *now)) {
            continue; // nothing arrived: skipped, cancelled or failed
        }
        if (kind == UndoStep::Kind::Move && FileExistsExact(source)) {
            continue;
        }
        step.files.push_back(UndoFile{source, target, *now, {}, {}});
    }
    return step;
}

UndoStep RenameStep(UndoStep::Kind kind, const QString &folder, const QList<QPair<QString, QString>> &renamed)
{
    UndoStep step;
    step.kind = kind;
    for (const auto &[oldName, newName] : renamed) {
        const QString after = JoinPath(folder, newName);
        if (const auto id = IdentityOf(after)) {
            step.files.push_back(UndoFile{JoinPath(folder, oldName), after, *id, {}, {}});
        }
    }
    return step;
}
