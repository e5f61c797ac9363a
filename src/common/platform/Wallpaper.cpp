// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/Wallpaper.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <optional>

namespace {

struct Tool
{
    QString program; // full path
    QStringList arguments;
};

struct ToolResult
{
    bool ok = false;
    QByteArray output;
};

QStringList searchPath(const QProcessEnvironment &environment)
{
    return environment.value(QStringLiteral("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString findTool(const QString &name, const QProcessEnvironment &environment)
{
    const QStringList path = searchPath(environment);
    return path.isEmpty() ? QString() : QStandardPaths::findExecutable(name, path);
}

ToolResult run(const Tool &tool, const QProcessEnvironment &environment, int timeLimitMs)
{
    QProcess process;
    process.setProgram(tool.program);
    process.setArguments(tool.arguments);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(timeLimitMs)) {
        return {};
    }
    if (!process.waitForFinished(timeLimitMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    ToolResult result;
    result.output = process.readAllStandardOutput();
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return result;
}

// The command as the user would type it, cut short where a script makes it long.
QString describe(const Tool &tool)
{
    QStringList words{QFileInfo(tool.program).fileName()};
    words += tool.arguments;
    const QString text = words.join(QLatin1Char(' '));
    return text.size() > 160 ? text.left(157) + QStringLiteral("...") : text;
}

std::optional<Desktop> desktopNamed(const QString &name)
{
    const QString n = name.trimmed().toLower();
    if (n == u"gnome" || n == u"gnome-classic" || n == u"gnome-flashback" || n == u"budgie" || n == u"unity" ||
        n == u"pantheon") {
        return Desktop::Gnome;
    }
    if (n == u"x-cinnamon" || n == u"cinnamon") {
        return Desktop::Cinnamon;
    }
    if (n == u"mate") {
        return Desktop::Mate;
    }
    if (n == u"xfce") {
        return Desktop::Xfce;
    }
    if (n == u"kde") {
        return Desktop::Kde;
    }
    if (n == u"lxqt") {
        return Desktop::Lxqt;
    }
    return std::nullopt;
}

// Text inside a JavaScript string literal.
QString scriptString(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"') {
            out += u'\\';
            out += c;
        } else if (c.unicode() < 0x20) {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

Desktop DetectDesktop(const QString &currentDesktop, const std::function<bool(const QString &)> &installed)
{
    for (const QString &name : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (const auto known = desktopNamed(name)) {
            return *known;
        }
    }
    if (installed(QStringLiteral("feh")) || installed(QStringLiteral("xwallpaper"))) {
        return Desktop::BareX;
    }
    return Desktop::None;
}

QString WallpaperToolName(Desktop desktop)
{
    switch (desktop) {
    case Desktop::Gnome:
    case Desktop::Cinnamon:
    case Desktop::Mate:
        return QStringLiteral("gsettings");
    case Desktop::Xfce:
        return QStringLiteral("xfconf-query");
    case Desktop::Kde:
        return QStringLiteral("dbus-send");
    case Desktop::Lxqt:
        return QStringLiteral("pcmanfm-qt");
    case Desktop::BareX:
        return QStringLiteral("feh");
    case Desktop::None:
        break;
    }
    return {};
}

WallpaperOutcome ApplyWallpaper(const QString &bitmapPath, const QProcessEnvironment &environment, int timeLimitMs)
{
    WallpaperOutcome outcome;
    const auto installed = [&environment](const QString &name) { return !findTool(name, environment).isEmpty(); };
    outcome.desktop = DetectDesktop(environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")), installed);
    if (outcome.desktop == Desktop::None) {
        outcome.problem =
            QStringLiteral("No desktop wallpaper tool was found (feh or xwallpaper on a plain X session).");
        return outcome;
    }
    QString toolName = WallpaperToolName(outcome.desktop);
    if (outcome.desktop == Desktop::BareX && !installed(toolName)) {
        toolName = QStringLiteral("xwallpaper");
    }
    const QString program = findTool(toolName, environment);
    if (program.isEmpty()) {
        outcome.problem = QStringLiteral("The desktop's wallpaper tool %1 is not installed.").arg(toolName);
        return outcome;
    }
    const QString uri = QString::fromLatin1(QUrl::fromLocalFile(bitmapPath).toEncoded());

    // The commands in order; a tool whose failure is tolerated is marked optional.
    struct Step
    {
        Tool tool;
        bool optional = false;
    };
    std::vector<Step> steps;
    const auto gsettings = [&program](const char *schema, const char *key, const QString &value) {
        return Tool{program, {QStringLiteral("set"), QLatin1String(schema), QLatin1String(key), value}};
    };
    switch (outcome.desktop) {
    case Desktop::Gnome:
        steps.push_back({gsettings("org.gnome.desktop.background", "picture-options", QStringLiteral("centered"))});
        steps.push_back({gsettings("org.gnome.desktop.background", "picture-uri", uri)});
        // Desktops before the dark style have no such key.
        steps.push_back({gsettings("org.gnome.desktop.background", "picture-uri-dark", uri), true});
        break;
    case Desktop::Cinnamon:
        steps.push_back({gsettings("org.cinnamon.desktop.background", "picture-options", QStringLiteral("centered"))});
        steps.push_back({gsettings("org.cinnamon.desktop.background", "picture-uri", uri)});
        break;
    case Desktop::Mate:
        steps.push_back({gsettings("org.mate.background", "picture-options", QStringLiteral("centered"))});
        steps.push_back({gsettings("org.mate.background", "picture-filename", bitmapPath)});
        break;
    case Desktop::Xfce: {
        const Tool list{program, {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-l")}};
        const ToolResult listed = run(list, environment, timeLimitMs);
        if (!listed.ok) {
            outcome.problem = QStringLiteral("%1 failed.").arg(describe(list));
            return outcome;
        }
        // Every monitor and workspace keeps its own picture.
        QStringList images;
        for (const QByteArray &line : listed.output.split('\n')) {
            const QString property = QString::fromUtf8(line).trimmed();
            if (property.startsWith(u"/backdrop/") && property.endsWith(u"/last-image")) {
                images << property;
            }
        }
        if (images.isEmpty()) {
            images << QStringLiteral("/backdrop/screen0/monitor0/workspace0/last-image");
        }
        for (const QString &image : images) {
            const QString style = image.left(image.size() - int(qstrlen("last-image"))) + QStringLiteral("image-style");
            steps.push_back({Tool{program,
                                  {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"), style,
                                   QStringLiteral("-n"), QStringLiteral("-t"), QStringLiteral("int"),
                                   QStringLiteral("-s"), QStringLiteral("1")}}}); // 1: centred
            steps.push_back({Tool{program,
                                  {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"), image,
                                   QStringLiteral("-n"), QStringLiteral("-t"), QStringLiteral("string"),
                                   QStringLiteral("-s"), bitmapPath}}});
        }
        break;
    }
    case Desktop::Kde: {
        // FillMode 6 is the image centred at its own size.
        const QString script =
            QStringLiteral("var all = desktops(); for (var i = 0; i < all.length; i++) { var d = all[i]; "
                           "d.wallpaperPlugin = \"org.kde.image\"; "
                           "d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"]; "
                           "d.writeConfig(\"Image\", \"%1\"); d.writeConfig(\"FillMode\", 6); }")
                .arg(scriptString(uri));
        steps.push_back(
            {Tool{program,
                  {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                   QStringLiteral("--dest=org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                   QStringLiteral("org.kde.PlasmaShell.evaluateScript"), QStringLiteral("string:") + script}}});
        break;
    }
    case Desktop::Lxqt:
        steps.push_back({Tool{
            program, {QStringLiteral("--set-wallpaper=") + bitmapPath, QStringLiteral("--wallpaper-mode=center")}}});
        break;
    case Desktop::BareX:
        if (toolName == u"feh") {
            steps.push_back({Tool{program, {QStringLiteral("--bg-center"), bitmapPath}}});
        } else {
            steps.push_back({Tool{program, {QStringLiteral("--center"), bitmapPath}}});
        }
        break;
    case Desktop::None:
        break;
    }
    for (const Step &step : steps) {
        if (!run(step.tool, environment, timeLimitMs).ok && !step.optional) {
            outcome.problem = QStringLiteral("%1 failed.").arg(describe(step.tool));
            return outcome;
        }
    }
    outcome.applied = true;
    return outcome;
}
