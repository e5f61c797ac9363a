// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/SortOrder.h"

#include "common/FileNames.h"
#include "common/NaturalOrder.h"
#include "common/picture/PictureDetails.h"
#include "common/platform/AppPaths.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<const char *, 4> kKeyTexts{"Name", "DateTaken", "DateModified", "Size"};

// Milliseconds since the epoch of a date taken read as the local time of the camera's clock;
// nanoseconds are what the modified times come in.
qint64 takenNs(const SortFacts &f)
{
    if (f.taken) {
        return f.taken->toMSecsSinceEpoch() * 1000000;
    }
    return f.modifiedNs;
}

// -1, 0, 1 by the key alone.
int compareKey(const SortFacts &a, const SortFacts &b, SortKey key)
{
    qint64 x = 0;
    qint64 y = 0;
    switch (key) {
    case SortKey::Name:
        return NaturalLess(a.name, b.name) ? -1 : NaturalLess(b.name, a.name) ? 1 : 0;
    case SortKey::DateTaken:
        x = takenNs(a);
        y = takenNs(b);
        break;
    case SortKey::DateModified:
        x = a.modifiedNs;
        y = b.modifiedNs;
        break;
    case SortKey::Size:
        x = a.size;
        y = b.size;
        break;
    }
    return x < y ? -1 : x > y ? 1 : 0;
}

} // namespace

SortOrder SortOrderFromStore(const QString &key, const QString &descending)
{
    SortOrder order;
    for (std::size_t k = 0; k < kKeyTexts.size(); ++k) {
        if (key == QLatin1String(kKeyTexts[k])) {
            order.key = static_cast<SortKey>(k);
        }
    }
    order.descending = descending == QLatin1String("True");
    return order;
}

QString SortKeyText(SortKey key)
{
    return QLatin1String(kKeyTexts[static_cast<std::size_t>(key)]);
}

QStringList SortKeyCaptions()
{
    return {QStringLiteral("Name"), QStringLiteral("Date taken"), QStringLiteral("Date modified"),
            QStringLiteral("Size")};
}

bool SortsBefore(const SortFacts &a, const SortFacts &b, SortOrder order)
{
    const int byKey = compareKey(a, b, order.key);
    if (byKey != 0) {
        return order.descending ? byKey > 0 : byKey < 0;
    }
    return NaturalLess(a.name, b.name);
}

void SortFiles(std::vector<SortFacts> &files, SortOrder order)
{
    std::stable_sort(files.begin(), files.end(),
                     [order](const SortFacts &a, const SortFacts &b) { return SortsBefore(a, b, order); });
}

SortFacts FactsOf(const QString &folder, const QString &name, SortOrder order)
{
    SortFacts f;
    f.name = name;
    const QString path = JoinPath(folder, name);
    if (const auto st = StatPath(path)) {
        f.modifiedNs = static_cast<qint64>(st->st_mtim.tv_sec) * 1000000000 + st->st_mtim.tv_nsec;
        f.size = static_cast<qint64>(st->st_size);
    }
    if (order.key == SortKey::DateTaken) {
        f.taken = DateTaken(path);
    }
    return f;
}

QStringList SortedNames(const QString &folder, const QStringList &names, SortOrder order)
{
    if (order == SortOrder{}) {
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end(), NaturalLess);
        return sorted;
    }
    std::vector<SortFacts> facts;
    facts.reserve(static_cast<std::size_t>(names.size()));
    for (const QString &name : names) {
        facts.push_back(FactsOf(folder, name, order));
    }
    SortFiles(facts, order);
    QStringList sorted;
    sorted.reserve(names.size());
    for (const SortFacts &f : facts) {
        sorted << f.name;
    }
    return sorted;
}
