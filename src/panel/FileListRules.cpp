// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/FileListRules.h"

#include "common/FileNames.h"
#include "common/NaturalOrder.h"
#include "common/Rounding.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

FilePattern::FilePattern(const QString &pattern)
    : m_text(pattern)
{
    const QStringList parts = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &raw : parts) {
        const QString part = raw.trimmed();
        const QStringView rest = QStringView(part).mid(2);
        if (part.startsWith(QLatin1String("*.")) && !rest.isEmpty() && !rest.contains(QLatin1Char('*')) &&
            !rest.contains(QLatin1Char('?'))) {
            m_suffixes.append(part.mid(1)); // ".jpg"
        } else if (!part.isEmpty()) {
            m_globs.append(part);
        }
    }
    if (m_globs.isEmpty()) {
        for (const QString &suffix : std::as_const(m_suffixes)) {
            bool ascii = true;
            for (const QChar c : suffix) {
                ascii = ascii && c.unicode() < 128;
            }
            if (!ascii) {
                m_asciiSuffixes.clear();
                return;
            }
            m_asciiSuffixes.push_back(suffix.toLatin1());
        }
    }
}

bool FilePattern::mayMatch(const char *name, std::size_t length) const
{
    if (m_asciiSuffixes.empty() && !m_globs.isEmpty()) {
        return true;
    }
    if (m_asciiSuffixes.empty()) {
        return m_suffixes.isEmpty() ? false : true;
    }
    for (const QByteArray &suffix : m_asciiSuffixes) {
        const auto n = static_cast<std::size_t>(suffix.size());
        if (length > n && ::strncasecmp(name + length - n, suffix.constData(), n) == 0) {
            return true;
        }
    }
    return false;
}

bool FilePattern::matches(const QString &fileName) const
{
    for (const QString &suffix : m_suffixes) {
        if (fileName.size() > suffix.size() && fileName.endsWith(suffix, Qt::CaseInsensitive)) {
            return true;
        }
    }
    for (const QString &glob : m_globs) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(glob),
                                    QRegularExpression::CaseInsensitiveOption);
        if (re.match(fileName).hasMatch()) {
            return true;
        }
    }
    return false;
}

namespace {
// Each file the list shows of a folder, in the order the folder gives them; false when the folder
// cannot be read. The one filter of the list, for the whole list and for its first name alike.
template<typename Take> bool ForEachListed(const QString &folder, const FilePattern &pattern, Take take)
{
    if (folder.isEmpty()) {
        return false;
    }
    const QByteArray native = EncodeName(folder);
    DIR *dir = ::opendir(native.constData());
    if (dir == nullptr) {
        return false;
    }
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const std::size_t length = std::strlen(entry->d_name);
        if (!pattern.mayMatch(entry->d_name, length)) {
            continue;
        }
        // Kept as bytes: a name that is not UTF-8 still names exactly this file.
        const QString name = DecodeName(entry->d_name, length);
        if (!pattern.matches(name)) {
            continue;
        }
        // A link counts as what it points to.
        if (S_ISREG(EntryTypeFollowed(fd, *entry))) {
            take(name);
        }
    }
    ::closedir(dir);
    return true;
}
} // namespace

std::optional<QStringList> ReadFolder(const QString &folder, const FilePattern &pattern)
{
    QStringList names;
    if (!ForEachListed(folder, pattern, [&names](const QString &name) { names.append(name); })) {
        return std::nullopt;
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

namespace {
// One pass over a folder: every name the list shows, as the folder gives them, and the ones it
// shows first.
struct FolderPass
{
    bool read = false;
    QStringList names;
    std::optional<QString> first;
    QStringList leading; // the first and those right after it, in order
    struct stat before
    {};
};

FolderPass PassOver(const QString &folder, const FilePattern &pattern, SortOrder order, bool keepNames,
                    std::size_t leadingWanted)
{
    FolderPass pass;
    std::vector<SortFacts> leading;
    pass.read = ForEachListed(folder, pattern, [&](const QString &name) {
        if (keepNames) {
            pass.names.append(name);
        }
        // Only the name is needed to compare by name; the other orders read the file's facts.
        SortFacts facts = order == SortOrder{} ? SortFacts{name, 0, 0, std::nullopt} : FactsOf(folder, name, order);
        // Most names come after the last one kept: one comparison each.
        if (leading.size() == leadingWanted && !SortsBefore(facts, leading.back(), order)) {
            return;
        }
        const auto at = std::find_if(leading.begin(), leading.end(),
                                     [&](const SortFacts &kept) { return SortsBefore(facts, kept, order); });
        leading.insert(at, std::move(facts));
        if (leading.size() > leadingWanted) {
            leading.pop_back();
        }
    });
    if (pass.read && !leading.empty()) {
        pass.first = leading.front().name;
        for (const SortFacts &facts : leading) {
            pass.leading.append(facts.name);
        }
    }
    return pass;
}

bool SameFolderState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

struct FolderAhead
{
    QString folder;
    QString pattern;
    SortOrder order;
    QFuture<FolderPass> pass;
    std::optional<QFuture<std::optional<QStringList>>> sorted; // from when the sort is started
};
std::optional<FolderAhead> &Ahead()
{
    static std::optional<FolderAhead> ahead;
    return ahead;
}
} // namespace

std::optional<QString> FirstInFolder(const QString &folder, const FilePattern &pattern, SortOrder order)
{
    return PassOver(folder, pattern, order, false, 1).first;
}

QFuture<std::optional<QString>> ReadFolderAhead(const QString &folder, const FilePattern &pattern, SortOrder order)
{
    QFuture<FolderPass> pass = QtConcurrent::run([folder, pattern, order] {
        const auto before = StatPath(folder);
        // The names after the first are what the start decodes next, while the rest is sorted.
        FolderPass read = PassOver(folder, pattern, order, true, PicturesAhead);
        // Taken before the pass: a folder changed while it is read is read again by the list.
        if (!before || !S_ISDIR(before->st_mode)) {
            read.read = false;
        } else {
            read.before = *before;
        }
        return read;
    });
    Ahead() = FolderAhead{folder, pattern.text(), order, pass, std::nullopt};
    // A future has one continuation: the first name.
    return pass.then([](const FolderPass &read) { return read.first; });
}

namespace {
QFuture<std::optional<QStringList>> SortAhead(const FolderAhead &ahead, const QFuture<void> &before)
{
    return QtConcurrent::run(
        [pass = ahead.pass, folder = ahead.folder, order = ahead.order, before]() -> std::optional<QStringList> {
            QFuture<void>(before).waitForFinished();
            const FolderPass &read = pass.result();
            if (!read.read) {
                return std::nullopt;
            }
            QStringList names = read.names;
            std::sort(names.begin(), names.end(), NaturalLess);
            return order == SortOrder{} ? names : SortedNames(folder, names, order);
        });
}
} // namespace

void SortFolderReadAheadAfter(const QFuture<void> &before)
{
    if (Ahead() && !Ahead()->sorted) {
        Ahead()->sorted = SortAhead(*Ahead(), before);
    }
}

struct FolderReadAhead::Parts
{
    QString folder;
    QFuture<FolderPass> pass;
    QFuture<std::optional<QStringList>> sorted;
};

std::optional<QString> FolderReadAhead::first() const
{
    return m_parts->pass.result().first;
}

QStringList FolderReadAhead::leading() const
{
    return m_parts->pass.result().leading;
}

qsizetype FolderReadAhead::count() const
{
    return m_parts->pass.result().names.size();
}

bool FolderReadAhead::sorted() const
{
    return m_parts->sorted.isFinished();
}

QFuture<void> FolderReadAhead::sorting() const
{
    return QFuture<void>(m_parts->sorted);
}

std::optional<QStringList> FolderReadAhead::names() const
{
    std::optional<QStringList> names = m_parts->sorted.result();
    const auto now = StatPath(m_parts->folder);
    if (!names || !now || !SameFolderState(m_parts->pass.result().before, *now)) {
        return std::nullopt;
    }
    return names;
}

std::optional<FolderReadAhead> TakeFolderReadAhead(const QString &folder, const FilePattern &pattern, SortOrder order)
{
    // One list, once: whatever the list reads first settles it.
    const std::optional<FolderAhead> ahead = std::exchange(Ahead(), std::nullopt);
    if (!ahead || ahead->folder != folder || ahead->pattern != pattern.text() || !(ahead->order == order)) {
        return std::nullopt;
    }
    const FolderPass &read = ahead->pass.result();
    const auto now = StatPath(folder);
    if (!read.read || !now || !SameFolderState(read.before, *now)) {
        return std::nullopt;
    }
    FolderReadAhead taken;
    taken.m_parts = std::make_shared<const FolderReadAhead::Parts>(FolderReadAhead::Parts{
        folder, ahead->pass, ahead->sorted ? *ahead->sorted : SortAhead(*ahead, QFuture<void>())});
    return taken;
}

void ForgetFolderReadAhead()
{
    if (Ahead()) {
        Ahead()->pass.waitForFinished();
        if (Ahead()->sorted) {
            Ahead()->sorted->waitForFinished();
        }
        Ahead().reset();
    }
}

bool ListedFilesChanged(const QStringList &before, const QStringList &after, const QSet<QString> &changed,
                        bool everything)
{
    if (everything || before != after) {
        return true;
    }
    return std::any_of(after.cbegin(), after.cend(),
                       [&changed](const QString &name) { return changed.contains(name); });
}

SelectionAfterChange SelectionAfterFolderChange(const QStringList &before, const QStringList &selected,
                                                const QString &focused, const QStringList &after)
{
    QHash<QString, int> where;
    where.reserve(after.size());
    for (int k = 0; k < after.size(); ++k) {
        where.insert(after.at(k), k);
    }
    SelectionAfterChange result;
    for (const QString &name : selected) {
        if (const auto it = where.constFind(name); it != where.cend()) {
            result.selected << it.value();
        }
    }
    std::sort(result.selected.begin(), result.selected.end());
    if (after.isEmpty()) {
        return result;
    }
    if (focused.isEmpty()) {
        // A list that was empty shows its first picture, as a folder opened does.
        result.focused = before.isEmpty() ? 0 : -1;
        return result;
    }
    if (const auto it = where.constFind(focused); it != where.cend()) {
        result.focused = it.value();
        result.focusKept = true;
        return result;
    }
    const auto at = before.indexOf(focused);
    if (at >= 0) {
        for (auto k = at + 1; k < before.size(); ++k) {
            if (const auto it = where.constFind(before.at(k)); it != where.cend()) {
                result.focused = it.value();
                return result;
            }
        }
        for (auto k = at - 1; k >= 0; --k) {
            if (const auto it = where.constFind(before.at(k)); it != where.cend()) {
                result.focused = it.value();
                return result;
            }
        }
    }
    result.focused = 0;
    return result;
}

ListWalk WalkTo(const ListWalk &before, const QString &folder, int index)
{
    ListWalk walk{folder, index, 1};
    if (folder == before.folder && before.index >= 0) {
        walk.direction = index > before.index ? 1 : index < before.index ? -1 : before.direction;
    }
    return walk;
}

QList<int> IndexesAhead(const ListWalk &walk, int count)
{
    QList<int> ahead;
    if (walk.index < 0 || walk.index >= count) {
        return ahead;
    }
    const int way = walk.direction < 0 ? -1 : 1;
    for (const int step : {way, 2 * way, -way, -2 * way}) {
        const int at = walk.index + step;
        if (at >= 0 && at < count && ahead.size() < PicturesAhead) {
            ahead.append(at);
        }
    }
    return ahead;
}

QString SizeLabel(QSize pixels, qint64 bytes)
{
    return QStringLiteral("%1 x %2\n%3 Kb")
        .arg(pixels.width())
        .arg(pixels.height())
        .arg(std::max<qint64>(0, bytes) / 1000);
}

QString FileCounterLabel(int count)
{
    return QString::number(count) + QStringLiteral(" Files");
}

int RowUnderPointer(int topIndex, double yTwips, int listHeightPx, int rowHeightPx, float twipsPerPixelY)
{
    if (listHeightPx <= 0 || rowHeightPx <= 0 || twipsPerPixelY <= 0) {
        return topIndex;
    }
    const double visibleRows = static_cast<double>(listHeightPx) / rowHeightPx;
    const double fraction = yTwips * visibleRows / (listHeightPx * static_cast<double>(twipsPerPixelY));
    return topIndex + static_cast<int>(std::floor(fraction));
}

std::optional<QRect> TitleTipRect(const TipInput &in)
{
    const int available = in.listOnScreen.width() - (in.scrollBarShown ? 16 : 0);
    if (available >= in.textWidthPx + 7) {
        return std::nullopt;
    }
    return QRect(in.insideOnScreen.x(), in.insideOnScreen.y() + in.rowInList.top(), in.textWidthPx + 6,
                 in.rowInList.height() + 2);
}

std::array<QString, 6> ReorderedCaptions(const std::array<QString, 6> &atPress, int pressed, int slot)
{
    pressed = std::clamp(pressed, 0, 5);
    slot = std::clamp(slot, 0, 5);
    std::array<QString, 6> out = atPress;
    const QString dragged = atPress[static_cast<std::size_t>(pressed)];
    if (slot > pressed) {
        std::rotate(out.begin() + pressed, out.begin() + pressed + 1, out.begin() + slot + 1);
    } else if (slot < pressed) {
        std::rotate(out.begin() + slot, out.begin() + pressed, out.begin() + pressed + 1);
    }
    out[static_cast<std::size_t>(slot)] = dragged;
    return out;
}

int SlotUnderPointer(int pressed, double yTwips, int buttonHeightPx, float twipsPerPixelY)
{
    if (buttonHeightPx <= 0 || twipsPerPixelY <= 0) {
        return pressed;
    }
    const int slot =
        pressed + static_cast<int>(std::floor(yTwips / (buttonHeightPx * static_cast<double>(twipsPerPixelY))));
    return std::clamp(slot, 0, 5);
}

bool KeyboardBackToList(const FocusAfterClose &now)
{
    return !now.boxStillAsking && !now.otherWindowActive && now.panelShown && now.panelEnabled && !now.showRuns;
}
