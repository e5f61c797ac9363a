// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings/XScreenSaverPrefs.h"

#include <QList>

#include <cctype>

#include <optional>

namespace {
// One physical line with its line end, if any.
struct Line
{
    QByteArray body; // without the line end
    QByteArray end;  // "\n", or empty for a last line without one
};

QList<Line> SplitLines(const QByteArray &text)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype nl = text.indexOf('\n', start);
        if (nl < 0) {
            lines.append({text.mid(start), QByteArray()});
            break;
        }
        lines.append({text.mid(start, nl - start), QByteArrayLiteral("\n")});
        start = nl + 1;
    }
    return lines;
}

QByteArray JoinLines(const QList<Line> &lines)
{
    QByteArray out;
    for (const Line &l : lines) {
        out += l.body + l.end;
    }
    return out;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArray TrimRight(const QByteArray &s)
{
    qsizetype n = s.size();
    while (n > 0 && IsSpace(s.at(n - 1))) {
        --n;
    }
    return s.left(n);
}

QByteArray TrimLeft(const QByteArray &s)
{
    qsizetype i = 0;
    while (i < s.size() && IsSpace(s.at(i))) {
        ++i;
    }
    return s.mid(i);
}

// A line ending in a backslash continues on the next line (resource-file syntax).
bool Continues(const Line &l)
{
    return l.body.endsWith('\\');
}

bool IsComment(const QByteArray &body)
{
    const QByteArray t = TrimLeft(body);
    return t.startsWith('#') || t.startsWith('!');
}

// A setting that spans lines [first, last].
struct Record
{
    qsizetype first = -1;
    qsizetype last = -1;
};

// The record of a key ("mode", "selected", "programs"); the last one wins, as when the file is read.
std::optional<Record> FindRecord(const QList<Line> &lines, const QByteArray &key)
{
    std::optional<Record> found;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype first = i;
        const bool comment = IsComment(lines.at(i).body);
        while (!comment && Continues(lines.at(i)) && i + 1 < lines.size()) {
            ++i;
        }
        if (comment) {
            continue;
        }
        const QByteArray head = TrimLeft(lines.at(first).body);
        const qsizetype colon = head.indexOf(':');
        if (colon > 0 && TrimRight(head.left(colon)) == key) {
            found = Record{first, i};
        }
    }
    return found;
}

// Where the value of a record's first line starts: after the colon and the blanks that follow it.
qsizetype ValueStart(const QByteArray &body)
{
    qsizetype i = body.indexOf(':') + 1;
    while (i < body.size() && IsSpace(body.at(i))) {
        ++i;
    }
    return i;
}

// The record's value as one text, continuation backslashes removed.
QByteArray RecordValue(const QList<Line> &lines, const Record &r)
{
    QByteArray value;
    for (qsizetype i = r.first; i <= r.last; ++i) {
        QByteArray body = i == r.first ? lines.at(i).body.mid(ValueStart(lines.at(i).body)) : lines.at(i).body;
        if (i < r.last || Continues(lines.at(i))) {
            if (body.endsWith('\\')) {
                body.chop(1);
            }
        }
        value += body;
    }
    return value;
}

// One entry of "programs:": ["-"] [visual ":"] ["label"] command.
struct Entry
{
    bool disabled = false;
    QByteArray command;
};

Entry ParseEntry(const QByteArray &text)
{
    Entry e;
    QByteArray t = TrimLeft(text);
    if (t.startsWith('-')) {
        e.disabled = true;
        t = TrimLeft(t.mid(1));
    }
    // A visual name such as "GL:" comes before the label and the command.
    qsizetype i = 0;
    while (i < t.size() && (std::isalnum(static_cast<unsigned char>(t.at(i))) || t.at(i) == '_' || t.at(i) == '-')) {
        ++i;
    }
    if (i > 0 && i < t.size() && t.at(i) == ':') {
        t = TrimLeft(t.mid(i + 1));
    }
    if (t.startsWith('"')) {
        const qsizetype close = t.indexOf('"', 1);
        t = close < 0 ? QByteArray() : TrimLeft(t.mid(close + 1));
    }
    e.command = TrimRight(t);
    return e;
}

// The program a command runs: its first word, unquoted, without its folder.
QByteArray ProgramOf(const QByteArray &command)
{
    QByteArray word;
    if (command.startsWith('\'') || command.startsWith('"')) {
        const qsizetype close = command.indexOf(command.at(0), 1);
        word = command.mid(1, close < 0 ? -1 : close - 1);
    } else {
        qsizetype end = 0;
        while (end < command.size() && !IsSpace(command.at(end))) {
            ++end;
        }
        word = command.left(end);
    }
    return word.mid(word.lastIndexOf('/') + 1);
}

QList<Entry> Entries(const QByteArray &value)
{
    QList<Entry> entries;
    // Entries are separated by the two characters backslash and n.
    qsizetype start = 0;
    while (start <= value.size()) {
        qsizetype sep = value.indexOf("\\n", start);
        if (sep < 0) {
            sep = value.size();
        }
        const Entry e = ParseEntry(value.mid(start, sep - start));
        // Blank entries are not programs and take no index.
        if (!e.command.isEmpty()) {
            entries.append(e);
        }
        start = sep + 2;
    }
    return entries;
}

QByteArray EntryLine(const QByteArray &command)
{
    return QByteArrayLiteral("\t\t\t\t\"") + SaverLabel + QByteArrayLiteral("\"  ") + command;
}

// Sets a one-line setting, keeping the key and the blanks before the value as the file has them.
void SetValue(QList<Line> &lines, const QByteArray &key, const QByteArray &value, const QByteArray &separator)
{
    const std::optional<Record> r = FindRecord(lines, key);
    if (!r) {
        if (!lines.isEmpty() && lines.last().end.isEmpty()) {
            lines.last().end = QByteArrayLiteral("\n");
        }
        lines.append({key + ':' + separator + value, QByteArrayLiteral("\n")});
        return;
    }
    if (RecordValue(lines, *r).trimmed() == value) {
        return;
    }
    Line &first = lines[r->first];
    const QByteArray end = lines.at(r->last).end;
    first.body = first.body.left(ValueStart(first.body));
    if (!first.body.endsWith(' ') && !first.body.endsWith('\t')) {
        first.body += separator;
    }
    first.body += value;
    first.end = end;
    lines.remove(r->first + 1, r->last - r->first);
}

// Enables our entry where it was switched off: the "-" before it goes, nothing else on its line.
void EnableEntry(QList<Line> &lines, const Record &r, const QByteArray &program)
{
    for (qsizetype i = r.first; i <= r.last; ++i) {
        QByteArray &body = lines[i].body;
        const qsizetype from = i == r.first ? ValueStart(body) : 0;
        qsizetype pos = from;
        while ((pos = body.indexOf('-', pos)) >= 0) {
            // The "-" that starts an entry: only blanks or a "\n" separator before it on the line.
            const QByteArray before = TrimRight(body.mid(from, pos - from));
            if ((before.isEmpty() || before.endsWith("\\n"))) {
                const QByteArray rest = body.mid(pos + 1);
                qsizetype next = rest.indexOf("\\n");
                const Entry e = ParseEntry(QByteArrayLiteral("-") + (next < 0 ? rest : rest.left(next)));
                if (ProgramOf(e.command) == program) {
                    body.remove(pos, 1);
                    return;
                }
            }
            ++pos;
        }
    }
}
} // namespace

QByteArray SaverCommand(const QString &launcherPath)
{
    QByteArray path = launcherPath.toLocal8Bit();
    bool plain = !path.isEmpty();
    for (char c : path) {
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '.' || c == '_' || c == '-' ||
                          c == '+');
    }
    if (!plain) {
        // xscreensaver hands commands with other characters to the shell.
        path.replace('\'', QByteArrayLiteral("'\\''"));
        path = '\'' + path + '\'';
    }
    return path + QByteArrayLiteral(" --root");
}

XScreenSaverPrefsEdit RegisterSaverInPrefs(const QByteArray &existing, bool exists, const QByteArray &command)
{
    XScreenSaverPrefsEdit edit;
    const QByteArray program(LauncherProgramName);
    if (!exists) {
        edit.selected = 0;
        edit.text = QByteArrayLiteral("mode:\t\tone\nselected:\t0\nprograms:\t\t\\\n") + EntryLine(command) +
                    QByteArrayLiteral("\t\\n\n");
        return edit;
    }

    QList<Line> lines = SplitLines(existing);
    const std::optional<Record> programs = FindRecord(lines, QByteArrayLiteral("programs"));
    if (!programs) {
        if (!lines.isEmpty() && lines.last().end.isEmpty()) {
            lines.last().end = QByteArrayLiteral("\n");
        }
        lines.append({QByteArrayLiteral("programs:\t\t\\"), QByteArrayLiteral("\n")});
        lines.append({EntryLine(command) + QByteArrayLiteral("\t\\n"), QByteArrayLiteral("\n")});
        edit.selected = 0;
    } else {
        const QList<Entry> entries = Entries(RecordValue(lines, *programs));
        for (qsizetype i = 0; i < entries.size() && edit.selected < 0; ++i) {
            if (ProgramOf(entries.at(i).command) == program) {
                edit.selected = static_cast<int>(i);
                if (entries.at(i).disabled) {
                    EnableEntry(lines, *programs, program);
                }
            }
        }
        if (edit.selected < 0) {
            Line &first = lines[programs->first];
            const bool headerOnly = first.body.size() == ValueStart(first.body) ||
                                    (programs->first < programs->last &&
                                     TrimRight(first.body.mid(ValueStart(first.body))) == QByteArrayLiteral("\\"));
            if (headerOnly) {
                // First in the list: a line of our own after the key, every other line untouched.
                const bool more = Continues(first);
                if (!more) {
                    first.body += QByteArrayLiteral("\t\t\\");
                    if (first.end.isEmpty()) {
                        first.end = QByteArrayLiteral("\n");
                    }
                }
                const QByteArray tail = more ? QByteArrayLiteral("\t\\n\\") : QByteArrayLiteral("\t\\n");
                lines.insert(programs->first + 1, {EntryLine(command) + tail, QByteArrayLiteral("\n")});
                edit.selected = 0;
            } else {
                // After the last entry: its line gains the separator or the continuation it lacks.
                Line &last = lines[programs->last];
                if (Continues(last)) {
                    last.body.chop(1); // the file ended inside the list
                }
                if (TrimRight(last.body).endsWith("\\n")) {
                    last.body += '\\';
                } else {
                    last.body += QByteArrayLiteral("\\n\\");
                }
                const QByteArray end = last.end.isEmpty() ? QByteArrayLiteral("\n") : last.end;
                last.end = QByteArrayLiteral("\n");
                lines.insert(programs->last + 1, {EntryLine(command) + QByteArrayLiteral("\t\\n"), end});
                edit.selected = static_cast<int>(entries.size());
            }
        }
    }
    SetValue(lines, QByteArrayLiteral("mode"), QByteArrayLiteral("one"), QByteArrayLiteral("\t\t"));
    SetValue(lines, QByteArrayLiteral("selected"), QByteArray::number(edit.selected), QByteArrayLiteral("\t"));
    edit.text = JoinLines(lines);
    return edit;
}

XScreenSaverChoice ReadXScreenSaverPrefs(const QByteArray &text)
{
    XScreenSaverChoice choice;
    QByteArray programs;
    bool havePrograms = false;
    const QList<Line> lines = SplitLines(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray logical = lines.at(i).body;
        // Joined before anything else is looked at, comments included.
        while (logical.endsWith('\\') && !lines.at(i).end.isEmpty() && i + 1 < lines.size()) {
            logical.chop(1);
            logical += lines.at(++i).body;
        }
        const QByteArray head = TrimLeft(logical);
        if (head.isEmpty() || head.startsWith('#') || head.startsWith('!') || head.startsWith(';')) {
            continue;
        }
        const qsizetype colon = head.indexOf(':');
        if (colon < 0) {
            continue;
        }
        const QByteArray key = TrimRight(head.left(colon));
        const QByteArray value = TrimRight(TrimLeft(head.mid(colon + 1)));
        if (key == "mode") {
            choice.mode = value;
        } else if (key == "selected") {
            bool ok = false;
            const int n = value.toInt(&ok);
            choice.selected = ok ? n : -1;
        } else if (key == "programs") {
            programs = value;
            havePrograms = true;
        }
    }
    // A carriage return inside the list (a file with CRLF line ends) breaks its lines where
    // xscreensaver's reader does not join them, and what it makes of the rest is not ours to guess.
    choice.garbled = programs.contains('\r');
    if (havePrograms && !choice.garbled) {
        for (const Entry &e : Entries(programs)) {
            choice.commands << e.command;
            choice.disabled << e.disabled;
        }
    }
    return choice;
}

bool PrefsRunOurLauncher(const QByteArray &text)
{
    const XScreenSaverChoice choice = ReadXScreenSaverPrefs(text);
    return !choice.garbled && choice.mode == "one" && choice.selected >= 0 &&
           choice.selected < choice.commands.size() && !choice.disabled.at(choice.selected) &&
           ProgramOf(choice.commands.at(choice.selected)) == QByteArray(LauncherProgramName);
}
