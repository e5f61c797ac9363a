// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Which files a command acts on (a drop on a folder button, a filing key, Delete, Print, Set as
// Wallpaper, Undo) and which entry is selected once it is done, decided in one place from a
// snapshot of the file list and of the thumbnail page.

// The file list as it stands: names as listed, one selected flag each, the focused entry.
struct ListSnapshot
{
    QString folder;
    QStringList names;
    QList<bool> selected;
    int focused = -1;

    [[nodiscard]] int selectedCount() const;
};

// The thumbnail page as it stands: one file name and one tag per thumbnail of the page.
struct PageSnapshot
{
    bool loaded = false;
    QStringList names;
    QStringList tags;
};

struct CommandTargets
{
    enum class From { Nothing, Focused, Selection, Page };
    From from = From::Nothing;
    QStringList paths;
    // Rows of the list (Focused, Selection) or thumbnails of the page (Page), one per path.
    QList<int> indexes;

    [[nodiscard]] bool isEmpty() const { return paths.isEmpty(); }
};

// The files a command acts on: the selected thumbnails while a page is shown; otherwise the
// selected entries when two or more are selected; otherwise the focused entry.
[[nodiscard]] CommandTargets TargetsOf(const ListSnapshot &list, const PageSnapshot &page);

// Which targets are gone from their folder now (the command moved or deleted them). A name that
// still exists, even as a dangling link, is not gone.
[[nodiscard]] QList<bool> GoneAfterCommand(const CommandTargets &targets);

// The entry to select in the list read again after a command, given which targets went: the one
// that took the place of the last target, or that target itself where it stayed. One focused file
// that was the last entry gives the entry before it. Nothing when the list is shorter.
[[nodiscard]] std::optional<int> FollowerAfterRemoval(const CommandTargets &targets, const QList<bool> &gone,
                                                      int countAfter);
