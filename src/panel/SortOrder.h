// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The order of the file list, and so of the slide show, the thumbnail page and the filing keys,
// which all follow the list.
enum class SortKey { Name, DateTaken, DateModified, Size };

struct SortOrder
{
    SortKey key = SortKey::Name;
    bool descending = false;
    friend bool operator==(const SortOrder &, const SortOrder &) = default;
};

// As stored: [Settings] "SortOrder" = "Name", "DateTaken", "DateModified" or "Size", and
// "SortDescending" = "True" or "False". Anything else (or nothing, a fresh profile) is by name,
// ascending.
[[nodiscard]] SortOrder SortOrderFromStore(const QString &key, const QString &descending);
[[nodiscard]] QString SortKeyText(SortKey key);
// The words the settings dialog shows, in the order of the enumeration.
[[nodiscard]] QStringList SortKeyCaptions();

// What a file is sorted by.
struct SortFacts
{
    QString name;
    qint64 modifiedNs = 0;
    qint64 size = 0;
    std::optional<QDateTime> taken; // when the camera took it
};

// Sorts in place. Equal keys fall back to the names in natural order (ascending whatever the
// direction), so the order is total and the same each time; a picture without a date taken
// counts as taken when it was last modified.
// Whether `a` comes before `b` in the order: the comparison SortFiles sorts by.
[[nodiscard]] bool SortsBefore(const SortFacts &a, const SortFacts &b, SortOrder order);
void SortFiles(std::vector<SortFacts> &files, SortOrder order);

// What the order needs to know of one file of a folder (its date taken only when it sorts by that).
[[nodiscard]] SortFacts FactsOf(const QString &folder, const QString &name, SortOrder order);

// The names of a folder's files (as read) in the order asked for; the facts are read from the
// folder (sizes and times, and each picture's date taken when that is the order).
[[nodiscard]] QStringList SortedNames(const QString &folder, const QStringList &names, SortOrder order);
