// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/CommandTargets.h"

#include "common/Utilities.h"
#include "common/platform/AppPaths.h"
#include "viewer/ThumbnailRules.h"

int ListSnapshot::selectedCount() const
{
    return static_cast<int>(selected.count(true));
}

CommandTargets TargetsOf(const ListSnapshot &list, const PageSnapshot &page)
{
    CommandTargets t;
    if (page.loaded) {
        t.from = CommandTargets::From::Page;
        for (int i = 0; i < page.tags.size() && i < page.names.size(); ++i) {
            if (IsSelectedTag(page.tags.at(i))) {
                t.paths << JoinPath(list.folder, page.names.at(i));
                t.indexes << i;
            }
        }
        return t;
    }
    if (list.selectedCount() >= 2) {
        t.from = CommandTargets::From::Selection;
        for (int i = 0; i < list.names.size() && i < list.selected.size(); ++i) {
            if (list.selected.at(i)) {
                t.paths << JoinPath(list.folder, list.names.at(i));
                t.indexes << i;
            }
        }
        return t;
    }
    // Without a focused entry there is nothing to act on (the folder itself never is).
    if (list.focused >= 0 && list.focused < list.names.size() && !list.names.at(list.focused).isEmpty()) {
        t.from = CommandTargets::From::Focused;
        t.paths << JoinPath(list.folder, list.names.at(list.focused));
        t.indexes << list.focused;
    }
    return t;
}

QList<bool> GoneAfterCommand(const CommandTargets &targets)
{
    QList<bool> gone;
    gone.reserve(targets.paths.size());
    for (const QString &path : targets.paths) {
        gone << !FileExistsExact(path);
    }
    return gone;
}

std::optional<int> FollowerAfterRemoval(const CommandTargets &targets, const QList<bool> &gone, int countAfter)
{
    if (targets.indexes.isEmpty() || targets.from == CommandTargets::From::Page) {
        return std::nullopt;
    }
    const int last = targets.indexes.last();
    int goneBefore = 0;
    for (int k = 0; k + 1 < targets.indexes.size() && k < gone.size(); ++k) {
        goneBefore += gone.at(k) ? 1 : 0;
    }
    const int follower = last - goneBefore;
    if (follower < countAfter) {
        return follower;
    }
    if (targets.from == CommandTargets::From::Focused && countAfter > 0) {
        return countAfter - 1;
    }
    return std::nullopt;
}
