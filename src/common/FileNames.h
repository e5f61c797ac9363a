// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/stat.h>

// A Linux file name is bytes. The program keeps names and paths as QString, so every byte that
// is not part of valid UTF-8 becomes a lone surrogate U+DC80..U+DCFF (the byte plus 0xDC00) and
// comes back as exactly that byte: DecodeName and EncodeName are inverse for every byte string.
// Every path given to the system is made by EncodeName, never by Qt's own file-name encoding
// (which turns such names into U+FFFD and back into another file's name).
[[nodiscard]] QString DecodeName(const QByteArray &bytes);
[[nodiscard]] QString DecodeName(const char *bytes, std::size_t length);
[[nodiscard]] QByteArray EncodeName(const QString &name);

struct dirent;
// What a folder entry is (S_IFREG, S_IFDIR, ...), a symbolic link counting as what it points to
// (0 when it points nowhere). Asks the file system only when the listing does not say.
[[nodiscard]] mode_t EntryTypeFollowed(int folderFd, const dirent &entry);

// True when the name holds bytes that are not UTF-8, so that Qt's file classes would reach
// another file (or none) under it.
[[nodiscard]] bool HasRawBytes(const QString &name);

// The name as shown to the user: each byte that is not UTF-8 as "\xE9". Only for showing; two
// names shown alike stay two names.
[[nodiscard]] QString DisplayName(const QString &name);

// The last component and the folder of a path, on the decoded text (no file-system access).
[[nodiscard]] QString FileNameOf(const QString &path);
[[nodiscard]] QString FolderOf(const QString &path);
// The path made absolute against the working folder and cleaned of "." and "..", as text.
[[nodiscard]] QString AbsolutePath(const QString &path);

// stat and lstat on the path's bytes.
[[nodiscard]] std::optional<struct stat> StatPath(const QString &path);
[[nodiscard]] std::optional<struct stat> LstatPath(const QString &path);
[[nodiscard]] bool IsRegularFile(const QString &path); // links followed
[[nodiscard]] bool IsFolder(const QString &path);      // links followed
// True only when the path surely names nothing (or a link to nothing): not when it cannot be
// reached for another reason, such as a folder that may be listed but not entered.
[[nodiscard]] bool IsVanished(const QString &path);
[[nodiscard]] qint64 FileSizeOf(const QString &path); // -1 when it is no regular file

// Opens a regular file (links followed) for reading: a descriptor, or -errno. A FIFO, device or
// socket in a file's place is refused (-EINVAL) without blocking on it; a folder gives -EISDIR.
[[nodiscard]] int OpenRegularFile(const QByteArray &path);
[[nodiscard]] int OpenRegularFile(const QString &path);

// read(2) that carries on after a signal: a count, 0 at the end, or -errno.
[[nodiscard]] ssize_t ReadRetrying(int fd, void *buffer, std::size_t bytes);
