// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

// Rules of the settings dialog, without widgets: the slide interval it accepts, the angle dial,
// the names folders are registered under, where a name goes in the folder lists, and which mounted
// file systems the folder browser offers.

// The interval box's text as whole seconds from 1 to 255; blanks around the number are allowed,
// anything else (empty, a sign, a fraction, two numbers, 0, 256) is refused.
[[nodiscard]] std::optional<int> ParseSlideInterval(const QString &text);

// The message shown when the interval is refused.
[[nodiscard]] QString SlideIntervalMessage();

// The centre of the dial in its own scale: half the scale size, halves to even.
[[nodiscard]] int DialCentre(double scaleSize);

// The angle (whole degrees, 0 to 360, counter-clockwise from the right) that the dial gives for a
// pointer at (x, y) around the centre (cx, cy), y growing downwards. Straight up and the centre
// itself are 90, straight down 270.
[[nodiscard]] int DialAngle(double x, double y, double cx, double cy);

// The far end of the dial's needle for an angle: 100 units from the centre.
[[nodiscard]] QPointF NeedleEnd(int angle, double cx, double cy);

// The degrees in the angle label's caption ("45" and the degree sign): the number before the last
// character, rounded (halves to even); 0 when there is no number.
[[nodiscard]] int AngleFromCaption(const QString &caption);
[[nodiscard]] QString AngleCaption(int angle);

// The name a folder is registered under: "Root" for "/", the last part for a mount point, and
// otherwise the last part without its extension (Holiday.2001 gives Holiday). A last part whose
// name before the dot is empty (".photos") is kept whole, since a name must not be empty.
[[nodiscard]] QString FolderDisplayName(const QString &path, const QStringList &mountPoints);

// The name a new folder is registered under, given the names taken already: its display name when
// that is free; else its whole last part ("Trip.2024" beside "Trip" of Trip.2023); else the name
// with its parent folder's ("Summer (2024)" beside "Summer" of 2023/Summer); else numbered
// ("Summer (2)"). Two folders never share one name, and no folder is refused for its name.
[[nodiscard]] QString DistinctFolderName(const QString &path, const QStringList &mountPoints, const QStringList &taken);

// The last part of a path without its extension, as the file-system object gives it.
[[nodiscard]] QString GetBaseName(const QString &path);

// Where a new name goes in a list kept in the folder lists' one order.
[[nodiscard]] int SortedInsertPlace(const QStringList &names, const QString &name);

// The entry the panel moves to before its current folder at `index` of `count` is removed: the
// one above when it is the last, otherwise the one below.
[[nodiscard]] int RemoveNeighbour(int index, int count);

// A mounted file system as the platform reports it.
struct MountInfo
{
    QString rootPath;
    QString fsType;
    QString device;
    QString label;
    bool readOnly = false;
};

// Whether the folder browser offers a mount: "/", the home folder's file system, removable media
// and network shares; not the kernel's pseudo file systems, /run, snaps or read-only images.
[[nodiscard]] bool IsPictureMount(const MountInfo &mount, const QString &homePath);

// How the drive list shows a mount: its mount point, and its label after it when it has one.
[[nodiscard]] QString MountCaption(const MountInfo &mount);

// The mount point among `mountPoints` that holds `path` (the longest that is a prefix of it by
// whole parts); "/" when none does.
[[nodiscard]] QString MountOf(const QString &path, const QStringList &mountPoints);

// The folders from `root` down to `path`, each as a full path; just `root` when `path` is not
// inside it.
[[nodiscard]] QStringList FolderChain(const QString &root, const QString &path);

// Whether a path goes through a hidden folder (a part starting with "."); then the browser shows
// hidden subfolders too.
[[nodiscard]] bool InsideHiddenFolder(const QString &path);

// The prompt of the Create Folder input box for a parent folder.
[[nodiscard]] QString CreateFolderPrompt(const QString &parent);
