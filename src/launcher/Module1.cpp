// SPDX-License-Identifier: GPL-2.0-or-later
#include "launcher/Module1.h"
#include "common/FileNames.h"

#include "common/ScreenMetrics.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/platform/Dialogs.h"
#include "common/platform/FileLock.h"
#include "common/platform/ForeignWindow.h"
#include "common/platform/Screen.h"
#include "controls/PasswordDialogs.h"
#include "launcher/LauncherCommand.h"
#include "launcher/SaverLaunch.h"
#include "launcher/frmSSPreview.h"
#include "launcher/frmSSSettings.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace {
int ShowPreview(std::uint32_t parentId)
{
    const std::optional<QSize> size = ForeignWindowSize(parentId);
    if (!size) {
        return 0;
    }
    frmSSPreview preview;
    preview.setAttribute(Qt::WA_NativeWindow);
    preview.winId();
    const std::unique_ptr<QWindow> parent(QWindow::fromWinId(parentId));
    preview.windowHandle()->setParent(parent.get());
    preview.setGeometry(0, 0, size->width(), size->height());
    preview.show();

    // The preview stays until its parent goes away, following the parent's size meanwhile.
    ForeignWindowWatch watch(parentId);
    // Not quit(): that asks the windows to close first, and ours went with its parent.
    QObject::connect(&watch, &ForeignWindowWatch::gone, &preview, [] { QCoreApplication::exit(0); });
    QObject::connect(&watch, &ForeignWindowWatch::resized, &preview,
                     [&preview](QSize now) { preview.setGeometry(0, 0, now.width(), now.height()); });
    const int code = QApplication::exec();
    preview.windowHandle()->setParent(nullptr);
    return code;
}

int ChangePassword(std::uint32_t ownerId)
{
    frmChangePassword dialog;
    // Owned by the caller's window when it names one that exists: kept above it and centred on it.
    std::unique_ptr<QWindow> owner;
    if (ForeignWindowSize(ownerId)) {
        owner.reset(QWindow::fromWinId(ownerId));
        dialog.winId();
        dialog.windowHandle()->setTransientParent(owner.get());
    }
    dialog.exec();
    if (owner) {
        dialog.windowHandle()->setTransientParent(nullptr);
    }
    return 0;
}

int ShowConfiguration()
{
    // One configuration dialog at a time: a second request while one is open does nothing.
    FileLock only(StoreLockPath(SettingsFilePath(AppName), QStringLiteral("config-lock")));
    if (!only.lock(0)) {
        return 0;
    }
    frmSSSettings dialog;
    dialog.Form_Load();
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    return QApplication::exec();
}
} // namespace

int LauncherMain(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << DecodeName(argv[i]);
    }
    const LauncherCommand command = ParseLauncherCommand(arguments, qEnvironmentVariable("XSCREENSAVER_WINDOW"));
    switch (command.request) {
    case LauncherRequest::Nothing:
        return 0;
    case LauncherRequest::Help:
        std::fputs(LauncherUsage().toLocal8Bit().constData(), stdout);
        return 0;
    case LauncherRequest::Embed:
        // Returns only when the viewer could not be started.
        EmbedScreenSaver(command.window);
        return 1;
    default:
        break;
    }

    // The other requests show windows; Wayland sessions use XWayland, as the viewer does.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppName);
    SaySettingsSaveFailures();
    ApplyScreenMetrics(State(), MeasureScreen());

    switch (command.request) {
    case LauncherRequest::Run:
        RunScreenSaver(DefaultRunHooks());
        return 0;
    case LauncherRequest::Preview:
        return ShowPreview(command.window);
    case LauncherRequest::Configure:
        return ShowConfiguration();
    case LauncherRequest::Password:
        return ChangePassword(command.window);
    default:
        return 0;
    }
}
