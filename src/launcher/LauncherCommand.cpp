// SPDX-License-Identifier: GPL-2.0-or-later
#include "launcher/LauncherCommand.h"

#include "common/platform/SaverWindow.h"

namespace {
bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// xscreensaver passes its options with one dash or two.
bool IsOption(const QString &arg, QLatin1StringView name)
{
    return arg == QLatin1String("-") + name || arg == QLatin1String("--") + name;
}
} // namespace

QString WholeCommandLine(const QStringList &arguments)
{
    return arguments.join(QLatin1Char(' '));
}

std::uint32_t LeadingNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text.at(i))) {
        ++i;
    }
    qulonglong value = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
        value = value * 10 + static_cast<qulonglong>(text.at(i).unicode() - '0');
        if (value > 0xFFFFFFFFull) {
            return 0;
        }
    }
    return static_cast<std::uint32_t>(value);
}

QString LauncherUsage()
{
    return QStringLiteral(
        "Usage: vantrel-viewer-screensaver [SWITCH]\n"
        "The screen saver of Vantrel Viewer: shows the slide show of your current folder, or the\n"
        "drifting logo, through the viewer.\n"
        "\n"
        "  /S             start the screen saver now\n"
        "  /C, nothing    the configuration dialog: interval, order, folder, logo\n"
        "  /P ID          the preview picture inside window ID\n"
        "  /A ID          change the screen-saver password (dialog owned by window ID)\n"
        "  --root         for xscreensaver: the run on the whole screen (or in $XSCREENSAVER_WINDOW)\n"
        "  --window-id ID for xscreensaver: the run drawn inside window ID\n"
        "  -h, --help     this text\n"
        "\n"
        "Only the first two characters of a switch count, in any case (/s, /Sxyz). A window ID is\n"
        "decimal or hexadecimal after 0x, as xwininfo prints it.\n");
}

LauncherCommand ParseLauncherCommand(const QStringList &arguments, const QString &xscreensaverWindow)
{
    LauncherCommand command;
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        command.request = LauncherRequest::Help;
        return command;
    }

    // xscreensaver's program interface: --root, or --window-id ID (also --window-id=ID).
    bool root = false;
    std::optional<std::uint32_t> windowId;
    bool sawWindowOption = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (IsOption(arg, QLatin1StringView("root"))) {
            root = true;
        } else if (IsOption(arg, QLatin1StringView("window-id"))) {
            sawWindowOption = true;
            if (i + 1 < arguments.size()) {
                windowId = ParseWindowId(arguments.at(++i));
            }
        } else if (arg.startsWith(QLatin1String("--window-id=")) || arg.startsWith(QLatin1String("-window-id="))) {
            sawWindowOption = true;
            windowId = ParseWindowId(arg.mid(arg.indexOf(QLatin1Char('=')) + 1));
        }
    }
    if (root || sawWindowOption) {
        if (sawWindowOption && !windowId) {
            // A window we cannot name: drawing over the whole screen instead would be wrong.
            return command;
        }
        if (!windowId) {
            windowId = ParseWindowId(xscreensaverWindow);
        }
        command.request = LauncherRequest::Embed;
        command.window = windowId.value_or(0);
        command.root = !windowId.has_value();
        return command;
    }

    const QString line = WholeCommandLine(arguments);
    const QString sw = line.left(2).toUpper();
    if (line.isEmpty() || sw == QLatin1String("/C")) {
        command.request = LauncherRequest::Configure;
    } else if (sw == QLatin1String("/S")) {
        command.request = LauncherRequest::Run;
    } else if (sw == QLatin1String("/P")) {
        // One separator character, then the parent window's id in decimal, or in hexadecimal
        // after "0x" as xwininfo and xprop print it.
        const std::optional<std::uint32_t> parent = ParseWindowId(line.mid(3));
        if (parent) {
            command.request = LauncherRequest::Preview;
            command.window = *parent;
        }
    } else if (sw == QLatin1String("/A")) {
        command.request = LauncherRequest::Password;
        const QString rest = line.mid(2).trimmed();
        command.window = rest.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? ParseWindowId(rest).value_or(0)
                                                                                   : LeadingNumber(rest);
    }
    return command;
}
