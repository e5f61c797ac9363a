// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// What a file is, beyond its name: taking a step back acts only on a file that is still the one
// the step left there.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// The identity of the file at `path` (links not followed); nothing when there is none.
[[nodiscard]] std::optional<FileIdentity> IdentityOf(const QString &path);

// One file of a step: where it was, where the step left it, and what it was then.
struct UndoFile
{
    QString before; // path before the step
    QString after;  // path after it (for a delete: the file inside the trash)
    FileIdentity identity;
    QString kept;              // a transform: the file's old bytes, kept in the session's undo folder
    FileIdentity keptIdentity; // and what the file was when they were read
};

struct UndoStep
{
    enum class Kind { Move, Copy, Rename, BatchRename, Delete, Transform };
    Kind kind = Kind::Move;
    std::vector<UndoFile> files;
    // A transform's own word ("Rotate Right", ...).
    QString name;

    // "Move", "Copy", "Rename", "Multiple File Rename", "Delete", or a transform's name: the file
    // menu offers "Undo " followed by it.
    [[nodiscard]] QString label() const;
};

// A file of a step that could not be taken back, and why (shown to the user).
struct UndoRefusal
{
    QString path;
    QString reason;
    bool final = false; // gone or changed since: no later try can take it back
};

struct UndoResult
{
    QStringList restored; // the paths the files are back at
    QList<UndoRefusal> refused;
};

// Takes the step back, file by file, never replacing or removing anything that is not exactly
// what the step made: a file that changed or went is left alone, and so is one whose old name
// another file took since. A move goes back as a move (with the same guarantees), a copy goes to
// the trash, a rename is renamed back (chains and swaps too), a deleted file comes back from the
// trash with its record there removed; a transformed file gets its old bytes back (written whole,
// in one step) and its kept copy goes.
[[nodiscard]] UndoResult TakeBack(const UndoStep &step);

// The session's folder for the old bytes of transformed files: private to the user, made on
// first use; folders that dead sessions left behind are removed then.
[[nodiscard]] QString UndoKeepFolder();
// Writes `bytes` to a new file in `folder`: its path, or empty when it could not be written whole.
[[nodiscard]] QString KeepOriginal(const QString &folder, const QByteArray &bytes);
// Removes the kept copies a step holds (when it leaves the journal unused).
void DropKept(const UndoStep &step);

// The session's file commands, newest last, for Ctrl+Z. A step partly taken back keeps the files
// that a later try may still take back (an old name taken meanwhile, say); a file that is gone or
// changed leaves the step, so it never stands in front of the older steps.
class UndoJournal
{
public:
    static constexpr std::size_t kKept = 100;

    UndoJournal() = default;
    ~UndoJournal();
    UndoJournal(const UndoJournal &) = delete;
    UndoJournal &operator=(const UndoJournal &) = delete;

    void record(UndoStep step);
    [[nodiscard]] bool isEmpty() const { return m_steps.empty(); }
    [[nodiscard]] std::size_t size() const { return m_steps.size(); }
    [[nodiscard]] const UndoStep &newest() const { return m_steps.back(); }
    // Takes back the newest step; what could not be taken back, but may be later, stays in the
    // journal as that step.
    UndoResult undo();
    void clear();

private:
    std::deque<UndoStep> m_steps;
};

// Steps from what a command did, read from the file system around it.

// Before a move or copy into `destination`: what each target name there is now.
struct TransferSnapshot
{
    QStringList sources;
    QString destination;
    std::vector<std::optional<FileIdentity>> targetsBefore;
};
[[nodiscard]] TransferSnapshot BeforeTransfer(const QStringList &sources, const QString &destination);
// After it: each source whose file arrived (a new or changed file under its name in the
// destination, and for a move, gone from where it was).
[[nodiscard]] UndoStep AfterTransfer(UndoStep::Kind kind, const TransferSnapshot &before);
// A rename (one, or a batch) of names inside `folder`.
[[nodiscard]] UndoStep RenameStep(UndoStep::Kind kind, const QString &folder,
                                  const QList<QPair<QString, QString>> &renamed);
