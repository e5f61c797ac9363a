// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/NaturalOrder.h"

namespace {

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool isDigit(QChar c)
{
    return isAsciiDigit(c) || (c.unicode() >= 128 && c.isDigit());
}

// Case folding, with the common ASCII case done without the Unicode tables (file lists sort
// tens of thousands of names).
char16_t folded(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128) {
        return (u >= 'A' && u <= 'Z') ? static_cast<char16_t>(u + ('a' - 'A')) : u;
    }
    return c.toCaseFolded().unicode();
}

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
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return 0;
}

qsizetype digitRunEnd(QStringView s, qsizetype from)
{
    while (from < s.size() && isDigit(s[from])) {
        ++from;
    }
    return from;
}

} // namespace

bool NaturalLess(const QString &a, const QString &b)
{
    const QStringView x(a);
    const QStringView y(b);
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < x.size() && j < y.size()) {
        const QChar cx = x[i];
        const QChar cy = y[j];
        if (isDigit(cx) && isDigit(cy)) {
            const qsizetype ei = digitRunEnd(x, i);
            const qsizetype ej = digitRunEnd(y, j);
            const int c = compareDigitRuns(x.mid(i, ei - i), y.mid(j, ej - j));
            if (c != 0) {
                return c < 0;
            }
            i = ei;
            j = ej;
            continue;
        }
        const char16_t fx = folded(cx);
        const char16_t fy = folded(cy);
        if (fx != fy) {
            return fx < fy;
        }
        ++i;
        ++j;
    }
    if ((x.size() - i) != (y.size() - j)) {
        return (x.size() - i) < (y.size() - j);
    }
    return a < b;
}
