// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What a start of the viewer was asked to do by its arguments. Paths are kept as the bytes the
// file system knows them by: a name that is not valid UTF-8 must reach the file it names.
struct CommandLineRequest
{
    enum class Kind { Open, Help, Version, Error };
    Kind kind = Kind::Open;
    // Absolute paths, in the order given (only the first is shown).
    QList<QByteArray> paths;
    // The toolkit's own options given before "--" (with their values), as given: the only
    // arguments the toolkit is shown, so that nothing after "--" and no path is read as one.
    QList<QByteArray> toolkitArguments;
    // Arguments that were left out (a URI of another computer or scheme), one line each, for
    // standard error; or, for Error, the one line that explains the refusal.
    QStringList messages;
};

// Reads the arguments after the program's name. Relative paths are taken from `workingFolder`;
// file:// URIs (as file managers pass them) become paths, their %XX escapes undone byte for byte.
// The toolkit's own options (-platform, -display, -style, ...) are let through for it to use.
[[nodiscard]] CommandLineRequest ParseCommandLine(const QList<QByteArray> &arguments, const QByteArray &workingFolder);

// The local path a file:// URI names, or empty when it is not one (another host or scheme, an
// escaped "/" or NUL inside a name).
[[nodiscard]] QByteArray PathFromFileUri(const QByteArray &uri);

// "/", "." and empty components folded away, ".." taken back a level, no trailing "/" (except the
// root), as a shell would show the path.
[[nodiscard]] QByteArray CleanPathBytes(const QByteArray &path);

// What --help and --version print.
[[nodiscard]] QString UsageText();
[[nodiscard]] QString VersionText();

// The exit status of a start that only printed (help, version) or refused its arguments.
[[nodiscard]] int ExitStatusOf(CommandLineRequest::Kind kind);
