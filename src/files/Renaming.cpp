// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/Renaming.h"

#include "common/FileNames.h"
#include "files/RenameRules.h"

#include <QFile>
#include <QSet>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QByteArray PathOf(const QString &folder, const QString &name)
{
    return EncodeName(folder + QLatin1Char('/') + name);
}

bool Exists(const QByteArray &path, struct stat *st)
{
    return ::lstat(path.constData(), st) == 0;
}

bool SameFile(const QByteArray &a, const QByteArray &b)
{
    struct stat sa
    {};
    struct stat sb
    {};
    return Exists(a, &sa) && Exists(b, &sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int SystemRename(const QByteArray &from, const QByteArray &to)
{
    // Only a change of letter case on a file system that ignores case renames a file onto
    // "itself"; anything else must not replace.
    if (SameFile(from, to)) {
        return ::rename(from.constData(), to.constData()) == 0 ? 0 : -errno;
    }
    if (::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 1u /* RENAME_NOREPLACE */) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -errno;
    }
    if (::link(from.constData(), to.constData()) != 0) {
        return -errno;
    }
    // Never two names for one renamed file: when the old name cannot go, the new one goes again.
    if (::unlink(from.constData()) != 0) {
        const int e = -errno;
        ::unlink(to.constData());
        return e;
    }
    return 0;
}

// Two pending files that want each other's names trade them atomically; true when a pair did.
bool swapPair(std::vector<std::size_t> &pending, std::vector<QString> &current, std::vector<BatchRename> &result,
              const QString &folder)
{
    for (auto a = pending.begin(); a != pending.end(); ++a) {
        for (auto b = std::next(a); b != pending.end(); ++b) {
            const std::size_t i = *a;
            const std::size_t j = *b;
            if (result[i].newName != current[j] || result[j].newName != current[i]) {
                continue;
            }
            const QByteArray pi = PathOf(folder, current[i]);
            const QByteArray pj = PathOf(folder, current[j]);
            if (::syscall(SYS_renameat2, AT_FDCWD, pi.constData(), AT_FDCWD, pj.constData(),
                          2u /* RENAME_EXCHANGE */) != 0) {
                return false; // not on this file system: the way through a temporary name
            }
            std::swap(current[i], current[j]);
            result[i].outcome = BatchRename::Outcome::Renamed;
            result[j].outcome = BatchRename::Outcome::Renamed;
            pending.erase(b);
            pending.erase(std::find(pending.begin(), pending.end(), i));
            return true;
        }
    }
    return false;
}

} // namespace

bool NameTaken(const QString &folder, const QString &oldName, const QString &newName)
{
    struct stat st
    {};
    const QByteArray target = PathOf(folder, newName);
    return Exists(target, &st) && !SameFile(PathOf(folder, oldName), target);
}

int RenameNoReplace(const QString &folder, const QString &oldName, const QString &newName)
{
    return SystemRename(PathOf(folder, oldName), PathOf(folder, newName));
}

std::vector<BatchRename> PlanRenameBatch(const QString &folder, const std::vector<BatchRename> &plan)
{
    using Outcome = BatchRename::Outcome;
    std::vector<BatchRename> result = plan;
    std::vector<bool> active(result.size(), false);

    // What each file would become; a name claimed twice goes to the first that claims it.
    QSet<QString> claimed;
    for (std::size_t i = 0; i < result.size(); ++i) {
        BatchRename &r = result[i];
        if (r.newName == r.oldName) {
            r.outcome = Outcome::Unchanged;
        } else if (const auto problem = NameProblem(r.newName)) {
            r.outcome = Outcome::Invalid;
            r.problem = *problem;
        } else if (claimed.contains(r.newName)) {
            r.outcome = Outcome::Exists;
        } else {
            claimed.insert(r.newName);
            active[i] = true;
            r.outcome = Outcome::Renamed;
        }
    }
    // A name on disk is free only when the file holding it is itself renamed away; refusing one
    // file keeps its name taken, which may refuse another, so this runs until nothing changes.
    for (bool changed = true; changed;) {
        changed = false;
        QSet<QString> leaving;
        for (std::size_t i = 0; i < result.size(); ++i) {
            if (active[i]) {
                leaving.insert(result[i].oldName);
            }
        }
        for (std::size_t i = 0; i < result.size(); ++i) {
            BatchRename &r = result[i];
            if (active[i] && NameTaken(folder, r.oldName, r.newName) && !leaving.contains(r.newName)) {
                r.outcome = Outcome::Exists;
                active[i] = false;
                changed = true;
            }
        }
    }
    return result;
}

std::vector<BatchRename> RenameBatch(const QString &folder, const std::vector<BatchRename> &plan,
                                     const Renamer &renamer)
{
    using Outcome = BatchRename::Outcome;
    const Renamer rename = renamer ? renamer : Renamer(SystemRename);
    std::vector<BatchRename> result = PlanRenameBatch(folder, plan);

    // Rename whatever has a free target; a cycle is broken by a temporary name.
    std::vector<QString> current(result.size());
    std::vector<std::size_t> pending;
    for (std::size_t i = 0; i < result.size(); ++i) {
        current[i] = result[i].oldName;
        if (result[i].outcome == Outcome::Renamed) {
            result[i].outcome = Outcome::Failed; // until it is done
            pending.push_back(i);
        }
    }
    int temporaries = 0;
    while (!pending.empty()) {
        bool progress = false;
        for (auto it = pending.begin(); it != pending.end();) {
            const std::size_t i = *it;
            if (NameTaken(folder, current[i], result[i].newName)) {
                ++it;
                continue;
            }
            const int r = rename(PathOf(folder, current[i]), PathOf(folder, result[i].newName));
            if (r == 0) {
                result[i].outcome = Outcome::Renamed;
                current[i] = result[i].newName;
            } else {
                result[i].outcome = r == -EEXIST ? Outcome::Exists : Outcome::Failed;
            }
            it = pending.erase(it);
            progress = true;
        }
        if (progress || pending.empty()) {
            continue;
        }
        // Every target is held by another file of the batch. Two files trading names swap in one
        // step, so neither is ever without its old or its new name.
        if (!renamer && swapPair(pending, current, result, folder)) {
            continue;
        }
        // Otherwise one file moves aside to break the cycle.
        bool aside = false;
        for (const std::size_t i : pending) {
            if (current[i] != result[i].oldName) {
                continue; // already aside once
            }
            // A short hidden name, so that names near the longest a folder allows can rotate too;
            // it keeps a short extension, so a file left there is still a picture of its kind.
            const QString ext = ExtensionName(result[i].oldName);
            const QString temporary = QStringLiteral(".vantrel-renaming-%1-%2%3")
                                          .arg(::getpid())
                                          .arg(++temporaries)
                                          .arg(ext.isEmpty() || ext.size() > 8 ? QString() : QLatin1Char('.') + ext);
            if (rename(PathOf(folder, current[i]), PathOf(folder, temporary)) == 0) {
                current[i] = temporary;
                aside = true;
                break;
            }
        }
        if (!aside) {
            for (const std::size_t i : pending) {
                result[i].outcome = Outcome::Failed;
            }
            pending.clear();
        }
    }
    // A file left under a temporary name goes back to its old name, or on to its new one.
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (current[i] == result[i].oldName || current[i] == result[i].newName) {
            continue;
        }
        if (rename(PathOf(folder, current[i]), PathOf(folder, result[i].oldName)) == 0) {
            current[i] = result[i].oldName;
        } else if (rename(PathOf(folder, current[i]), PathOf(folder, result[i].newName)) == 0) {
            current[i] = result[i].newName;
            result[i].outcome = Outcome::Renamed;
        }
    }
    return result;
}
