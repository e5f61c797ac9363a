// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/Windows.h"
#include "common/CommandQueue.h"
#include "common/ScreenMetrics.h"
#include "common/SettingsLoad.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/Utilities.h"
#include "common/picture/Picture.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Dialogs.h"
#include "common/platform/InstanceGuard.h"
#include "common/platform/SaverWindow.h"
#include "common/platform/Screen.h"
#include "common/platform/ScreenSaver.h"
#include "controls/HelpWindow.h"
#include "controls/PasswordDialogs.h"
#include "files/FileDrag.h"
#include "panel/FileListRules.h"
#include "panel/OpenTarget.h"
#include "panel/SortOrder.h"
#include "panel/frmSide.h"
#include "show/ScreenSaverRun.h"
#include "viewer/FittedLoader.h"
#include "viewer/frmLoading.h"
#include "viewer/frmPictureViewer.h"
#include "viewer/frmSplash.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace {
QPointer<InstanceGuard> g_guard;

// Whenever a window of the program other than the panel and the viewer goes away (a dialog, a
// message box, a pop-up menu, the help window, a progress window) and nothing else is left to
// take the keyboard, it goes back to the file list: the window manager would give it to the
// viewer, or with no manager to nobody, and the arrow keys would do nothing until a click.
class KeyboardHome : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Hide || !watched->isWidgetType()) {
            return false;
        }
        const auto *window = static_cast<QWidget *>(watched);
        const Qt::WindowType type = window->windowType();
        if (!window->isWindow() || type == Qt::ToolTip || type == Qt::SplashScreen ||
            window == Forms::Loaded(Forms::Form::Side) || window == Forms::Loaded(Forms::Form::PictureViewer)) {
            return false;
        }
        // Once the hiding is over: a command may open its next box straight away.
        QTimer::singleShot(0, this, &KeyboardHome::giveBack);
        return false;
    }

private:
    static void giveBack()
    {
        QWidget *panel = Forms::Loaded(Forms::Form::Side);
        if (panel == nullptr) {
            return;
        }
        const SharedState &s = State();
        const QWidget *active = QApplication::activeWindow();
        FocusAfterClose now;
        now.boxStillAsking =
            QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr;
        now.otherWindowActive = active != nullptr && active->isVisible() && active != panel &&
                                active != Forms::Loaded(Forms::Form::PictureViewer);
        now.panelShown = panel->isVisible();
        now.panelEnabled = panel->isEnabled();
        now.showRuns = s.SlideShowOn || IsScreenSaverMode(s.ScreenSaverMode);
        if (KeyboardBackToList(now)) {
            Forms::frmSide().focusList();
            GiveKeyboardBack(panel);
        }
    }
};
QPointer<KeyboardHome> g_keyboardHome;

// The screen a start's first picture is fitted to, as the viewer will measure it once the toolkit
// runs (a different measure later only wastes the early decode: it is then not taken).
ScreenForFit FitBeforeToolkit(const ScreenSpec &spec)
{
    SharedState measured;
    ApplyScreenMetrics(measured, spec);
    ScreenForFit screen;
    screen.widthPx = measured.ScreenWidthPx;
    screen.heightPx = measured.ScreenHeightPx;
    screen.twipsPerPixelX = measured.TwipsPerPixelX;
    screen.twipsPerPixelY = measured.TwipsPerPixelY;
    return screen;
}

} // namespace

void StartFirstPictureEarly(const QByteArray &path)
{
    // A screen-saver run starts as it always has, and a second start shows nothing: neither has a
    // first picture to hurry.
    if (ScreenSaverRun::askedByLauncher() ||
        IsScreenSaverMode(GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode")))) {
        return;
    }
    const std::optional<ScreenSpec> spec = ScreenBeforeToolkit();
    if (!spec || InstanceGuard::FirstInstanceListening(SettingsFilePath(AppName))) {
        return;
    }
    const ScreenForFit screen = FitBeforeToolkit(*spec);
    // What the file list will show, read here: the store is not read off the main thread.
    const SettingReader read = StoreReader();
    const FilePattern pattern(PicturePattern(StoredPictureSet(read)));
    QString folder;
    if (!path.isEmpty()) {
        const OpenTarget target = ResolveOpenTarget(path);
        if (!target.name.isEmpty()) {
            // A file the list does not show is reported, not shown.
            if (pattern.matches(target.name)) {
                LoadAheadOfStart(JoinPath(target.folder, target.name), screen);
            }
            return;
        }
        folder = target.folder;
    } else {
        // The registered folder shown last, opened at its first picture.
        const QString basename = read(QStringLiteral("Settings"), QStringLiteral("Basename"));
        folder = basename.isEmpty() ? QString() : read(QStringLiteral("Directories"), basename);
        if (folder.isEmpty()) {
            return;
        }
    }
    // The folder is read once, on a worker: its first picture decodes as soon as it is known.
    const QFuture<std::optional<QString>> first = ReadFolderAhead(folder, pattern, StoredSortOrder(read));
    const QFuture<void> decoded = LoadAheadOfStart(
        QString(),
        [folder, first] {
            const std::optional<QString> name = first.result();
            return name ? JoinPath(folder, *name) : QString();
        },
        screen);
    // The rest is sorted for the list once the picture is decoded, while the windows show it.
    SortFolderReadAheadAfter(decoded);
}

bool IsScreenSaverMode(const QString &mode)
{
    return mode == QLatin1String("On");
}

Road EntryProcedure(const QByteArray &path)
{
    SharedState &s = State();
    SaySettingsSaveFailures();
    // A screen-saver run that ends ends the program as Quit does.
    ScreenSaverRun::instance().setQuit([] {
        if (Forms::IsLoaded(Forms::Form::Side)) {
            State().ButtonRightClick = false;
            Forms::frmSide().cmdQuit_Click();
        }
    });
    ApplyScreenMetrics(s, MeasureScreen());
    s.ScreenSaverMode = GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode"));

    // The launcher names the place of the run it starts; such a start is its run even when a run
    // that ended meanwhile wrote "Off".
    if (ScreenSaverRun::askedByLauncher() || IsScreenSaverMode(s.ScreenSaverMode)) {
        switch (ScreenSaverRun::instance().begin()) {
        case SaverStart::AlreadyRunning:
            // A run is on screen already; this start shows nothing.
            return Road::SecondInstance;
        case SaverStart::StaleMark:
            // Left by a run that was killed: this is the user's own start.
            SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode"), QStringLiteral("Off"));
            s.ScreenSaverMode = QStringLiteral("Off");
            break;
        case SaverStart::Run:
            if (!IsScreenSaverMode(s.ScreenSaverMode)) {
                SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode"), QStringLiteral("On"));
                s.ScreenSaverMode = QStringLiteral("On");
            }
            break;
        }
    }

    if (IsScreenSaverMode(s.ScreenSaverMode)) {
        frmLoading &loading = LoadLoadingWindow();
        loading.showTopmost();
        // The loading window paints before the viewer's load takes the thread; nothing else has
        // started yet that a pending event could re-enter.
        QCoreApplication::processEvents();
        frmPictureViewer &viewer = LoadViewer();
        // Under xscreensaver the run draws into the window it was given.
        ScreenSaverRun::instance().prepareWindow(viewer);
        if (InForeignSaverWindow()) {
            viewer.show();
        } else {
            viewer.showWithPanel();
        }
        Forms::Unload(Forms::Form::Loading);
        Forms::frmSide().cmdSlide_Click();
        return Road::ScreenSaver;
    }

    if (g_guard.isNull()) {
        g_guard = new InstanceGuard(SettingsFilePath(AppName), QCoreApplication::instance());
        if (g_guard->start(path) == InstanceGuard::Role::Second) {
            return Road::SecondInstance;
        }
        if (const OpenTarget target = ResolveOpenTarget(path);
            !target.name.isEmpty() && !LoadAheadOfStartFor(CurrentScreenForFit())) {
            // Decoded while the rest of the start runs (unless main began it already for this
            // screen); the viewer's load picks it up.
            LoadAheadOfStart(JoinPath(target.folder, target.name), CurrentScreenForFit());
        }
        // A second start in the middle of a move or copy is answered once that command has ended.
        QObject::connect(g_guard.data(), &InstanceGuard::openRequested, g_guard.data(), [](const QByteArray &asked) {
            Commands().whenIdle(g_guard.data(), [asked] { OpenFromOutside(asked); });
        });
        QObject::connect(g_guard.data(), &InstanceGuard::activationRequested, g_guard.data(),
                         [] { Commands().whenIdle(g_guard.data(), &ActivateViewer); });
    }

    if (g_keyboardHome.isNull()) {
        g_keyboardHome = new KeyboardHome(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(g_keyboardHome);
    }
    SaveSetting(AppName, QStringLiteral("Application"), QStringLiteral("Path"), AppPath());
    SetProgramMouseIcon(QStringLiteral("NORMAL"));
    if (!path.isEmpty()) {
        // The picture asked for comes first: the viewer loads with it and shows at once.
        s.StartPath = path;
        // The keys step through the list at once, from the picture asked for.
        LoadViewer().showWithPanel();
        return Road::Normal;
    }
    LoadSplash();
    return Road::Normal;
}

void OpenFromOutside(const QByteArray &path)
{
    if (!Forms::IsLoaded(Forms::Form::PictureViewer)) {
        // Still behind the splash: the viewer's load shows it.
        State().StartPath = path;
        return;
    }
    Forms::frmSide().showTarget(ResolveOpenTarget(path));
}

void ActivateViewer()
{
    if (!Forms::IsLoaded(Forms::Form::PictureViewer)) {
        // Still starting: the splash timer shows the viewer in a moment.
        if (Forms::IsLoaded(Forms::Form::Splash)) {
            Forms::frmSplash().raise();
        }
        return;
    }
    Forms::frmPictureViewer().showActivated();
    // Without a window manager nothing keeps the panel and the boxes above the viewer just
    // raised: they are raised again over it, the box that asks a question last, and the keyboard
    // goes to that box or to the list.
    QWidget *viewer = Forms::Loaded(Forms::Form::PictureViewer);
    QWidget *panel = Forms::Loaded(Forms::Form::Side);
    if (panel != nullptr && panel->isVisible()) {
        panel->raise();
    }
    QWidget *modal = QApplication::activeModalWidget();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != viewer && window != panel && window != modal && window->isVisible() &&
            (window->windowType() == Qt::Dialog || window->windowType() == Qt::Window)) {
            window->raise();
        }
    }
    if (modal != nullptr) {
        modal->raise();
        modal->activateWindow();
    } else if (panel != nullptr && panel->isVisible()) {
        Forms::frmSide().focusList();
    }
}

// The files a drag carries out to other programs: those a drop on a folder button would file.
static QStringList DraggedPaths()
{
    if (!Forms::IsLoaded(Forms::Form::Side)) {
        return {};
    }
    const bool onPage = State().ThumbsLoaded && Forms::IsLoaded(Forms::Form::PictureViewer);
    return TargetsOf(Forms::frmSide().listSnapshot(),
                     onPage ? Forms::frmPictureViewer().pageSnapshot() : PageSnapshot())
        .paths;
}

void ResetProcessState()
{
    ResetState();
    ResetMouseCursor();
    SetProgramMouseIcon(QString());
    ForgetSettingsFileState();
    SetSaveFailureHandler(nullptr);
    ReleaseSparePicture();
    ForgetLoadAheadOfStart();
    ForgetFolderReadAhead();
    HelpWindow::closeInstance();
    SetFileDragHandler(nullptr);
    SetDragPathsProvider(DraggedPaths);
    SetScreenSaverControl(nullptr);
    ScreenSaverRun::instance().finish();
    ScreenSaverRun::instance().setRandomSource({});
    ResetSaverPasswordFailures();
}

bool CloseRequested()
{
    SharedState &s = State();
    if (IsScreenSaverMode(s.ScreenSaverMode)) {
        if (Forms::IsLoaded(Forms::Form::PictureViewer)) {
            Forms::frmPictureViewer().EndScreenSaver();
        }
        return !Forms::IsLoaded(Forms::Form::PictureViewer);
    }
    if (Forms::IsLoaded(Forms::Form::Side)) {
        // A right-button release left on a command button would cancel the Quit it stands for.
        s.ButtonRightClick = false;
        Forms::frmSide().cmdQuit_Click();
    }
    return true;
}

void EndProgram()
{
    ScreenSaverRun::instance().finish();
    ResetMouseCursor();
    if (!g_guard.isNull()) {
        // Closed now, so a start right after this one becomes the first instance.
        g_guard->stop();
        g_guard->deleteLater();
        g_guard.clear();
    }
    QCoreApplication::quit();
}

int RunViewer(int argc, char **argv)
{
    // Read before the toolkit starts, so --help and --version need no display.
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    const CommandLineRequest request =
        ParseCommandLine(arguments, QByteArray::fromStdString(std::filesystem::current_path().native()));
    for (const QString &line : request.messages) {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    }
    if (request.kind == CommandLineRequest::Kind::Help || request.kind == CommandLineRequest::Kind::Version) {
        const QString text = request.kind == CommandLineRequest::Kind::Help ? UsageText() : VersionText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return ExitStatusOf(request.kind);
    }
    if (request.kind == CommandLineRequest::Kind::Error) {
        return ExitStatusOf(request.kind);
    }

    // First, before the toolkit loads its plugins and connects: the decode is the longest part of
    // a start, and it runs on a worker thread while everything else is made.
    StartFirstPictureEarly(request.paths.value(0));

    // The panel is placed at the screen's corner, which only X11 allows; Wayland sessions go
    // through XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    // The toolkit reads options out of whatever it is given, "--" and paths included: it is given
    // only the program's name and the options meant for it.
    QList<QByteArray> toolkit{QByteArray(argv[0])};
    toolkit.append(request.toolkitArguments);
    std::vector<char *> toolkitArgv;
    for (QByteArray &argument : toolkit) {
        toolkitArgv.push_back(argument.data());
    }
    toolkitArgv.push_back(nullptr);
    int toolkitArgc = static_cast<int>(toolkit.size());
    QApplication app(toolkitArgc, toolkitArgv.data());
    QApplication::setApplicationName(AppName);
    // No display name: Qt would append it to every window's caption. The desktop entry names the
    // program to the desktop instead.
    QGuiApplication::setDesktopFileName(QStringLiteral("vantrel-viewer"));
    QApplication::setQuitOnLastWindowClosed(false);

    if (EntryProcedure(request.paths.value(0)) == Road::SecondInstance) {
        ForgetLoadAheadOfStart();
        ForgetFolderReadAhead();
        return 0;
    }
    const int code = QApplication::exec();
    Forms::FlushUnloaded();
    return code;
}
