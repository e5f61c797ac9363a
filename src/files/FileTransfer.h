// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// Moving and copying files into a folder so that no file is ever lost or half-written:
// - a move inside one file system is one rename that never replaces a file it was not allowed
//   to replace;
// - anything else is copied into an unnamed (or hidden temporary) file in the destination,
//   flushed to disk, checked against the source's size and only then given its name; a move
//   removes the source after that.
// Whatever fails, every source not completely moved is where it was, and the destination holds
// no partial file.

// Results, as the callers have always known them: 0 success, 117 the destination folder is
// missing, 5 access denied; the rest for failures that callers only pass on.
namespace TransferResult {
inline constexpr int Ok = 0;
inline constexpr int SourceMissing = 2;
inline constexpr int AccessDenied = 5;
inline constexpr int DiskFull = 112;
inline constexpr int SameFile = 113;
inline constexpr int DestinationMissing = 117;
inline constexpr int IntoItself = 118;
inline constexpr int Cancelled = 1223;
inline constexpr int Failed = 0x402;
} // namespace TransferResult

enum class ReplaceAnswer { Yes, YesToAll, No, Cancel };

// What the user sees of a transfer: the question before a file of the same name is replaced,
// and progress, which can cancel.
class TransferObserver
{
public:
    virtual ~TransferObserver() = default;
    virtual ReplaceAnswer askReplace(const QString &source, const QString &target) = 0;
    // Before each file (bytesDone 0) and as its data is copied; false cancels.
    virtual bool progress(int fileIndex, int fileCount, const QString &source, qint64 bytesDone, qint64 bytes) = 0;
};

// The system calls a transfer makes, one place to inject failures. Each returns 0 (or a
// descriptor, or a count) on success and -errno on failure.
class FileSystemCalls
{
public:
    virtual ~FileSystemCalls() = default;
    virtual int openRead(const QByteArray &path);
    // A new file in `folder` that has no name yet (or, where the file system cannot do that, a
    // hidden temporary name, returned in `temporaryName`).
    virtual int openNew(const QByteArray &folder, QByteArray *temporaryName);
    virtual ssize_t copyChunk(int from, int to, size_t bytes);
    virtual int finish(int from, int to); // permissions and times of `from`, then flush to disk
    // Gives the new file its name: never replacing an existing file unless `replace`.
    virtual int publish(int fd, const QByteArray &temporaryName, const QByteArray &target, bool replace);
    virtual int discard(int fd, const QByteArray &temporaryName);
    virtual int closeFile(int fd);
    virtual int renameNoReplace(const QByteArray &from, const QByteArray &to);
    virtual int renameReplace(const QByteArray &from, const QByteArray &to);
    virtual int removeFile(const QByteArray &path);
    virtual int syncFolder(const QByteArray &folder);
};

enum class TransferKind { Move, Copy };

// A source that a transfer left where it was (a copy: did not copy), with its result and the
// reason as the user is told it.
struct NotFiled
{
    QString source;
    int result = TransferResult::Failed;
    QString reason;
    bool destinationRefused = false; // the destination folder could not be written
};

// Moves or copies each source (a file path) into `destination`, asking before a file of the
// same name is replaced, and returns the first failure's result (0 when none). A file that does
// not fit, has vanished or is no regular file is passed over and the next one tried (a smaller
// one may still fit); any other failure stops the transfer. Every source not filed, the ones
// never tried included, goes into `notFiled` with its reason; files skipped with "No" are no
// failure.
[[nodiscard]] int TransferFiles(TransferKind kind, const QStringList &sources, const QString &destination,
                                TransferObserver &observer, FileSystemCalls &calls,
                                QList<NotFiled> *notFiled = nullptr);
[[nodiscard]] int TransferFiles(TransferKind kind, const QStringList &sources, const QString &destination,
                                TransferObserver &observer, QList<NotFiled> *notFiled = nullptr);

// What the user is told after a transfer: empty when every file was filed, or when the user
// cancelled it. Names the files not filed and why; a refused or missing destination keeps its own
// first line.
struct TransferMessage
{
    QString text;
    bool partial = false; // some files were filed: a partial result, not a failure
};
[[nodiscard]] TransferMessage TransferReport(TransferKind kind, int result, const QList<NotFiled> &notFiled,
                                             int sourceCount, const QString &destination);

// Moves a file to the freedesktop.org trash, from which file managers restore it, and gives the
// path it has there. False when it could not go (the file stays where it was).
bool MoveToTrash(const QString &path, QString *pathInTrash = nullptr);

// A source list: one path, or paths each followed by one NUL and the last by two.
[[nodiscard]] QStringList SplitSourceList(const QString &sources);
[[nodiscard]] QString JoinSourceList(const QStringList &paths);
