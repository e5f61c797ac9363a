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

LauncherCommand ParseLauncherCommand(const QStringList &arguments, const QString &xscreensaverWindow)
{
    LauncherCommand command;

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
        // One separator character, then the parent window's handle in decimal.
        const QString rest = line.mid(3);
        bool digitsOnly = !rest.isEmpty();
        for (QChar c : rest) {
            digitsOnly = digitsOnly && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        }
        const std::optional<std::uint32_t> parent = digitsOnly ? ParseWindowId(rest) : std::nullopt;
        if (parent) {
            command.request = LauncherRequest::Preview;
            command.window = *parent;
        }
    } else if (sw == QLatin1String("/A")) {
        command.request = LauncherRequest::Password;
        command.window = LeadingNumber(line.mid(2));
    }
    return command;
}
