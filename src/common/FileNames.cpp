// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/FileNames.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscape(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence at `p` (shortest form, no surrogates, at most U+10FFFF), or 0.
std::size_t ValidSequence(const unsigned char *p, std::size_t left, char32_t *code)
{
    const unsigned char c = p[0];
    if (c < 0x80) {
        *code = c;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        value = c & 0x1F;
        minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        value = c & 0x0F;
        minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        value = c & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (left < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(p[i])) {
            return 0;
        }
        value = (value << 6) | (p[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *code = value;
    return length;
}

void AppendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(static_cast<char>(c));
    } else if (c < 0x800) {
        out.append(static_cast<char>(0xC0 | (c >> 6)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(static_cast<char>(0xE0 | (c >> 12)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (c >> 18)));
        out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

QString DecodeName(const char *bytes, std::size_t length)
{
    // Most names are ASCII, each byte its own character: a folder of 100,000 names is read
    // before its first picture can show, so these take the direct conversion.
    const auto *end = bytes + length;
    if (std::find_if(bytes, end, [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) == end) {
        return QString::fromLatin1(bytes, static_cast<qsizetype>(length));
    }
    QString out;
    out.reserve(static_cast<qsizetype>(length));
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    for (std::size_t i = 0; i < length;) {
        char32_t code = 0;
        const std::size_t n = ValidSequence(p + i, length - i, &code);
        if (n == 0) {
            out.append(QChar(static_cast<char16_t>(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        if (code < 0x10000) {
            out.append(QChar(static_cast<char16_t>(code)));
        } else {
            out.append(QChar(QChar::highSurrogate(code)));
            out.append(QChar(QChar::lowSurrogate(code)));
        }
        i += n;
    }
    return out;
}

QString DecodeName(const QByteArray &bytes)
{
    return DecodeName(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray EncodeName(const QString &name)
{
    QByteArray out;
    out.reserve(name.size() * 3);
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name.at(i).unicode();
        if (IsEscape(c)) {
            out.append(static_cast<char>(c - kEscapeBase));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, name.at(i + 1).unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            AppendUtf8(out, 0xFFFD); // a half pair no file name can hold (never made by DecodeName)
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

namespace {

// True when `i` holds an escaped byte: a low surrogate that completes a pair is a character.
bool EscapeAt(const QString &name, qsizetype i)
{
    return IsEscape(name.at(i).unicode()) && (i == 0 || !name.at(i - 1).isHighSurrogate());
}

} // namespace

bool HasRawBytes(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (EscapeAt(name, i)) {
            return true;
        }
    }
    return false;
}

QString DisplayName(const QString &name)
{
    if (!HasRawBytes(name)) {
        return name;
    }
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (EscapeAt(name, i)) {
            out +=
                QStringLiteral("\\x") +
                QString::number(name.at(i).unicode() - kEscapeBase, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        } else {
            out += name.at(i);
        }
    }
    return out;
}

QString FileNameOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString FolderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        return QStringLiteral(".");
    }
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString AbsolutePath(const QString &path)
{
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path);
}

std::optional<struct stat> StatPath(const QString &path)
{
    struct stat st
    {};
    if (path.isEmpty() || ::stat(EncodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

std::optional<struct stat> LstatPath(const QString &path)
{
    struct stat st
    {};
    if (path.isEmpty() || ::lstat(EncodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

bool IsRegularFile(const QString &path)
{
    const auto st = StatPath(path);
    return st && S_ISREG(st->st_mode);
}

bool IsFolder(const QString &path)
{
    const auto st = StatPath(path);
    return st && S_ISDIR(st->st_mode);
}

bool IsVanished(const QString &path)
{
    struct stat st
    {};
    if (path.isEmpty()) {
        return true;
    }
    if (::stat(EncodeName(path).constData(), &st) == 0) {
        return false;
    }
    return errno == ENOENT || errno == ENOTDIR;
}

qint64 FileSizeOf(const QString &path)
{
    const auto st = StatPath(path);
    return st && S_ISREG(st->st_mode) ? static_cast<qint64>(st->st_size) : -1;
}

int OpenRegularFile(const QByteArray &path)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    int fd = -1;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -errno;
    }
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return -e;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

int OpenRegularFile(const QString &path)
{
    if (path.isEmpty()) {
        return -ENOENT;
    }
    return OpenRegularFile(EncodeName(path));
}

ssize_t ReadRetrying(int fd, void *buffer, std::size_t bytes)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, bytes);
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            return -errno;
        }
    }
}

mode_t EntryTypeFollowed(int folderFd, const dirent &entry)
{
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) {
        return DTTOIF(entry.d_type);
    }
    struct stat st
    {};
    return ::fstatat(folderFd, entry.d_name, &st, 0) == 0 ? (st.st_mode & S_IFMT) : 0;
}
