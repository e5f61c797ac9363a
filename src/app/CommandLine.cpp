// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/CommandLine.h"

#include <array>
#include <string_view>

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "0"
#endif

namespace {

// The toolkit's options (QGuiApplication and its X11 platform take them out of argv themselves):
// those that take a value, then the switches.
constexpr std::array<std::string_view, 12> kToolkitWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "style",    "stylesheet",         "session",       "display", "qmljsdebugger"};
constexpr std::array<std::string_view, 5> kToolkitSwitches = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template<std::size_t N> bool OneOf(const std::array<std::string_view, N> &names, const QByteArray &name)
{
    for (const std::string_view n : names) {
        if (name == QByteArray(n.data(), static_cast<qsizetype>(n.size()))) {
            return true;
        }
    }
    return false;
}

bool HasScheme(const QByteArray &argument)
{
    // "scheme://..." with a scheme of letters, digits, "+", "-" and "." after a first letter. A
    // plain name such as "a:b.jpg" is a file, not a URI.
    const qsizetype colon = argument.indexOf("://");
    if (colon <= 0) {
        return false;
    }
    for (qsizetype i = 0; i < colon; ++i) {
        const char c = argument.at(i);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && (i == 0 || !other)) {
            return false;
        }
    }
    return true;
}

bool IsFileUri(const QByteArray &argument)
{
    return argument.size() >= 5 && argument.left(5).toLower() == "file:";
}

} // namespace

QByteArray PathFromFileUri(const QByteArray &uri)
{
    if (!IsFileUri(uri)) {
        return {};
    }
    QByteArray rest = uri.mid(5);
    if (rest.startsWith("//")) {
        // An authority: only this computer's own names.
        const qsizetype slash = rest.indexOf('/', 2);
        const QByteArray host = rest.mid(2, slash < 0 ? -1 : slash - 2).toLower();
        if (!host.isEmpty() && host != "localhost") {
            return {};
        }
        rest = slash < 0 ? QByteArray() : rest.mid(slash);
    }
    if (!rest.startsWith('/')) {
        return {};
    }
    // An escaped "/" would put a slash inside a name, an escaped NUL would end the path early.
    const QByteArray lower = rest.toLower();
    if (lower.contains("%2f") || lower.contains("%00")) {
        return {};
    }
    return QByteArray::fromPercentEncoding(rest);
}

QByteArray CleanPathBytes(const QByteArray &path)
{
    const bool absolute = path.startsWith('/');
    QList<QByteArray> kept;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!kept.isEmpty() && kept.last() != "..") {
                kept.removeLast();
            } else if (!absolute) {
                kept.append(part);
            }
            continue;
        }
        kept.append(part);
    }
    QByteArray out = absolute ? QByteArray("/") : QByteArray();
    out += kept.join('/');
    if (out.isEmpty()) {
        out = ".";
    }
    return out;
}

CommandLineRequest ParseCommandLine(const QList<QByteArray> &arguments, const QByteArray &workingFolder)
{
    CommandLineRequest request;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray &arg = arguments.at(i);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg.startsWith('-')) {
            if (arg == "--help" || arg == "-h") {
                request.kind = CommandLineRequest::Kind::Help;
                request.paths.clear();
                return request;
            }
            if (arg == "--version") {
                request.kind = CommandLineRequest::Kind::Version;
                request.paths.clear();
                return request;
            }
            // The toolkit spells its options with one dash or two, the value after "=" or apart.
            QByteArray name = arg.mid(arg.startsWith("--") ? 2 : 1);
            const qsizetype equals = name.indexOf('=');
            const bool inlineValue = equals >= 0;
            if (inlineValue) {
                name.truncate(equals);
            }
            if (OneOf(kToolkitWithValue, name)) {
                request.toolkitArguments.append(arg);
                if (!inlineValue && i + 1 < arguments.size()) {
                    request.toolkitArguments.append(arguments.at(++i)); // its value, whatever it looks like
                }
                continue;
            }
            if (!inlineValue && OneOf(kToolkitSwitches, name)) {
                request.toolkitArguments.append(arg);
                continue;
            }
            request.kind = CommandLineRequest::Kind::Error;
            request.paths.clear();
            request.messages = {QStringLiteral("vantrel-viewer: unknown option '%1' (see 'vantrel-viewer --help')")
                                    .arg(QString::fromLocal8Bit(arg))};
            return request;
        }
        if (arg.isEmpty()) {
            continue;
        }
        QByteArray path;
        if (IsFileUri(arg)) {
            path = PathFromFileUri(arg);
            if (path.isEmpty()) {
                request.messages << QStringLiteral("vantrel-viewer: not a file on this computer: %1")
                                        .arg(QString::fromLocal8Bit(arg));
                continue;
            }
        } else if (HasScheme(arg)) {
            request.messages
                << QStringLiteral("vantrel-viewer: not a file on this computer: %1").arg(QString::fromLocal8Bit(arg));
            continue;
        } else if (arg.startsWith('/')) {
            path = arg;
        } else {
            path = workingFolder + '/' + arg;
        }
        request.paths.append(CleanPathBytes(path));
    }
    return request;
}

QString UsageText()
{
    return QStringLiteral("Usage: vantrel-viewer [OPTION]... [PICTURE|FOLDER|URI]...\n"
                          "Browse folders of pictures and show them as a slide show.\n"
                          "\n"
                          "With a picture, shows its folder with that picture; with a folder, its first\n"
                          "picture. file:// URIs are accepted. When the viewer already runs, the picture\n"
                          "is shown by the running one. Only the first picture or folder is shown.\n"
                          "\n"
                          "  -h, --help     print this help and exit\n"
                          "      --version  print the version and exit\n"
                          "\n"
                          "Environment: VANTREL_SETTINGS=FILE uses another settings file;\n"
                          "VANTREL_SCREEN=WxH[@T] lays the windows out for another screen.\n");
}

QString VersionText()
{
    return QStringLiteral("vantrel-viewer " VANTREL_VERSION "\n");
}

int ExitStatusOf(CommandLineRequest::Kind kind)
{
    switch (kind) {
    case CommandLineRequest::Kind::Error:
        return 2;
    case CommandLineRequest::Kind::Help:
    case CommandLineRequest::Kind::Version:
    case CommandLineRequest::Kind::Open:
        break;
    }
    return 0;
}
