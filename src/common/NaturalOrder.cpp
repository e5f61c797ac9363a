#include "common/NaturalOrder.h"

namespace {

// Compares two runs of digits by value without converting (names may hold very long digit runs).
int compareDigitRuns(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == QLatin1Char('0')) {
        a = a.mid(1);
    }
    while (b.size() > 1 && b.front() == QLatin1Char('0')) {
        b = b.mid(1);
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

qsizetype digitRunEnd(const QString &s, qsizetype from)
{
    while (from < s.size() && s.at(from).isDigit()) {
        ++from;
    }
    return from;
}

} // namespace

bool NaturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            const qsizetype ei = digitRunEnd(a, i);
            const qsizetype ej = digitRunEnd(b, j);
            const int c = compareDigitRuns(QStringView(a).mid(i, ei - i), QStringView(b).mid(j, ej - j));
            if (c != 0) {
                return c < 0;
            }
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a.at(i).toCaseFolded();
        const QChar cb = b.at(j).toCaseFolded();
        if (ca != cb) {
            return ca < cb;
        }
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) {
        return (a.size() - i) < (b.size() - j);
    }
    return a < b;
}
