// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "panel/SortOrder.h"

#include <QFuture>
#include <QRect>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>
#include <vector>

// Rules of the browser panel's file list and folder buttons, without widgets.

// A file pattern as the list takes it: "*.bmp;*.jpg" and so on, matched in any letter case.
class FilePattern
{
public:
    explicit FilePattern(const QString &pattern = QString());
    [[nodiscard]] bool matches(const QString &fileName) const;
    [[nodiscard]] const QString &text() const { return m_text; }
    // For names as the file system stores them (bytes): false only when the name surely does
    // not match, so most names are never decoded.
    [[nodiscard]] bool mayMatch(const char *name, std::size_t length) const;

private:
    QString m_text;
    QStringList m_suffixes;                  // ".jpg" for "*.jpg": the common case, matched without a pattern engine
    QStringList m_globs;                     // anything else
    std::vector<QByteArray> m_asciiSuffixes; // the suffixes as bytes, when all are ASCII
};

// The files (not folders) of a folder that match the pattern, in natural order. Nothing when the
// folder cannot be read (missing, not a folder, no permission, empty path).
[[nodiscard]] std::optional<QStringList> ReadFolder(const QString &folder, const FilePattern &pattern);

// The name a folder opened shows first: the first of ReadFolder's names in `order`, found in one
// pass over the folder without sorting the rest. Nothing when the folder cannot be read or shows
// no file.
[[nodiscard]] std::optional<QString> FirstInFolder(const QString &folder, const FilePattern &pattern, SortOrder order);

// A start's folder read for the list on worker threads while the toolkit starts: one pass that
// gives the name shown first as soon as it is known (the future: its picture decodes meanwhile),
// then the sort. The list takes it (TakeFolderReadAhead) instead of reading the folder when it
// first reads one, if it is the same folder, pattern and order and the folder has not changed
// since the pass began; otherwise, or later, the read ahead is dropped.
QFuture<std::optional<QString>> ReadFolderAhead(const QString &folder, const FilePattern &pattern, SortOrder order);
// The sort waits for `before` (the first picture's decode: on two cores it would slow it down);
// unless this is called, it starts when the list takes the read ahead.
void SortFolderReadAheadAfter(const QFuture<void> &before);

// A read ahead as the list takes it: the name shown first and the number of names are known once
// the pass is over, the sorted names only once the sort is.
class FolderReadAhead
{
public:
    // The name shown first (waits for the pass only); nothing when the folder shows no file.
    [[nodiscard]] std::optional<QString> first() const;
    // The first few names in order, the first one first (waits for the pass only).
    [[nodiscard]] QStringList leading() const;
    [[nodiscard]] qsizetype count() const;
    [[nodiscard]] bool sorted() const;
    // Finishes with the sort.
    [[nodiscard]] QFuture<void> sorting() const;
    // The names in order (waits for the sort); nothing when the folder changed since the pass
    // began: the list then reads it itself.
    [[nodiscard]] std::optional<QStringList> names() const;

private:
    friend std::optional<FolderReadAhead> TakeFolderReadAhead(const QString &, const FilePattern &, SortOrder);
    struct Parts;
    std::shared_ptr<const Parts> m_parts;
};
// Waits for the pass, not for the sort: nothing when there is no read ahead of this folder,
// pattern and order, or the folder could not be read or changed since.
[[nodiscard]] std::optional<FolderReadAhead> TakeFolderReadAhead(const QString &folder, const FilePattern &pattern,
                                                                 SortOrder order);
// Drops a read ahead that nothing took, once it has finished (a program run ends).
void ForgetFolderReadAhead();

// The list read again after another program changed the folder: the entries to select again
// (those of the selection still there) and the one to focus (the focused one if it is still
// there, else the next one of the old order that is, else the one before it; the first one when
// the list was empty; -1 for none).
struct SelectionAfterChange
{
    int focused = -1;
    bool focusKept = false;
    QList<int> selected;
};
[[nodiscard]] SelectionAfterChange SelectionAfterFolderChange(const QStringList &before, const QStringList &selected,
                                                              const QString &focused, const QStringList &after);

// Whether a change reported in the folder touched what the list shows: the names listed, or the
// content of a file listed. The program's own moves are in the list already when the folder
// reports them, and a file the list does not show changes nothing on screen; neither may make the
// thumbnail page again, which would drop its marks of the files moved and its selection.
[[nodiscard]] bool ListedFilesChanged(const QStringList &before, const QStringList &after, const QSet<QString> &changed,
                                      bool everything);

// Where the user is going through the list's folder: the entry shown last and the way the keys
// last moved (1 down the list, -1 up).
struct ListWalk
{
    QString folder;
    int index = -1;
    int direction = 1;
};
// The walk once `index` of `folder` is shown: it goes the way the selection moved (a jump too:
// Page Down or End go on downwards), the same way when it did not move, and down in a folder
// just opened.
[[nodiscard]] ListWalk WalkTo(const ListWalk &before, const QString &folder, int index);
// How many pictures are decoded ahead of the keys: the next two, so that a picture that takes
// longer to decode than the user looks at one is still ready, and the one behind, most often the
// picture shown before, kept already.
inline constexpr int PicturesAhead = 3;
// The entries of a list of `count` to decode ahead, most wanted first: the next two the way the
// walk goes, then the one behind; at the list's end, those before it (the walk can only turn).
[[nodiscard]] QList<int> IndexesAhead(const ListWalk &walk, int count);

// "640 x 480", a line break, and whole kilobytes of 1000 bytes ("57 Kb").
[[nodiscard]] QString SizeLabel(QSize pixels, qint64 bytes);

// "12 Files".
[[nodiscard]] QString FileCounterLabel(int count);

// The list row under the pointer: the top row plus how many rows fit above the pointer. May be
// past the last entry when the pointer is below the entries.
[[nodiscard]] int RowUnderPointer(int topIndex, double yTwips, int listHeightPx, int rowHeightPx, float twipsPerPixelY);

// Where the title tip of a row goes (in screen pixels), or nothing when the name fits the list.
// The tip lies exactly over the row, its text at the row's left and top.
struct TipInput
{
    QRect listOnScreen;    // the list window, frame included
    QPoint insideOnScreen; // the top-left corner inside the list's frame, where the rows start
    QRect rowInList;       // the row's rectangle, relative to that corner
    int textWidthPx = 0;   // the row's text in the list's font
    bool scrollBarShown = false;
};
[[nodiscard]] std::optional<QRect> TitleTipRect(const TipInput &in);

// Reordering the six folder buttons by dragging one with the left button. The order shown while
// dragging is the order at the press with the dragged caption taken out and put in at the slot
// under the pointer: a move over several slots at once keeps the same six captions.
[[nodiscard]] std::array<QString, 6> ReorderedCaptions(const std::array<QString, 6> &atPress, int pressed, int slot);

// The slot under the pointer: Y is the offset below the pressed button's top, in twips.
[[nodiscard]] int SlotUnderPointer(int pressed, double yTwips, int buttonHeightPx, float twipsPerPixelY);

// What is on screen just after one of the program's windows other than the panel and the viewer
// (a dialog, a message box, a pop-up menu, the help window, a progress window) went away.
struct FocusAfterClose
{
    bool boxStillAsking = false;    // a modal window or a pop-up is open (the next box of a command)
    bool otherWindowActive = false; // another window of the program, not the viewer, has the keyboard
    bool panelShown = false;
    bool panelEnabled = false; // false while a thumbnail page is made
    bool showRuns = false;     // a slide show or a screen-saver run: the keys belong to the viewer
};
// Whether the keyboard goes back to the file list, so that the arrow keys move through it again
// without a click.
[[nodiscard]] bool KeyboardBackToList(const FocusAfterClose &now);
