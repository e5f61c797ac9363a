// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/SaverWindow.h"

#include "common/platform/ForeignWindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <set>

namespace {
template<class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t *Connection()
{
    const auto *x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

// The top-level window under the root that holds a window: the window manager's frame around it,
// or the window itself.
xcb_window_t TopLevelOf(xcb_connection_t *c, xcb_window_t window)
{
    xcb_window_t current = window;
    for (int depth = 0; depth < 16; ++depth) {
        const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr),
                                                 &std::free);
        if (!tree || tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) {
            return current;
        }
        current = tree->parent;
    }
    return current;
}

xcb_window_t RootOf(xcb_connection_t *c, xcb_window_t window)
{
    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr), &std::free);
    return tree ? tree->root : xcb_window_t{XCB_WINDOW_NONE};
}

bool Overlaps(xcb_connection_t *c, xcb_window_t a, const QRect &area)
{
    const Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, xcb_get_geometry(c, a), nullptr), &std::free);
    return g && area.intersects(QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width));
}

std::optional<SaverWindowTarget> FromEnvironment()
{
    return ParseSaverWindow(qEnvironmentVariable(SaverWindowVariable));
}
} // namespace

std::optional<std::uint32_t> ParseWindowId(const QString &text)
{
    const QString t = text.trimmed();
    const bool hex = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? t.mid(2) : t;
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    for (const QChar c : digits) {
        const bool ok =
            hex ? c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')) : c.isDigit();
        if (!ok || c.unicode() > 127) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, hex ? 16 : 10);
    if (!ok || value == 0 || value > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<SaverWindowTarget> ParseSaverWindow(const QString &text)
{
    if (text.trimmed() == QLatin1String("root")) {
        return SaverWindowTarget{};
    }
    const std::optional<std::uint32_t> id = ParseWindowId(text);
    if (!id) {
        return std::nullopt;
    }
    return SaverWindowTarget{*id};
}

QString SaverWindowText(const SaverWindowTarget &target)
{
    return target.window == 0 ? QStringLiteral("root") : QStringLiteral("0x") + QString::number(target.window, 16);
}

std::optional<SaverWindowTarget> SaverWindowOfThisRun()
{
    static const std::optional<SaverWindowTarget> target = FromEnvironment();
    return target;
}

bool InForeignSaverWindow()
{
    const std::optional<SaverWindowTarget> target = SaverWindowOfThisRun();
    return target && target->window != 0;
}

bool EmbedInSaverWindow(QWidget &widget)
{
    const std::optional<SaverWindowTarget> target = SaverWindowOfThisRun();
    if (!target || target->window == 0) {
        return false;
    }
    const std::optional<QSize> size = ForeignWindowSize(target->window);
    if (!size) {
        return false;
    }
    // Kept by the application, which outlives the run's windows; xscreensaver ends the run before
    // it destroys its window.
    QWindow *parent = QWindow::fromWinId(target->window);
    static_cast<QObject *>(parent)->setParent(QCoreApplication::instance());
    widget.setWindowFlags(Qt::FramelessWindowHint);
    widget.setAttribute(Qt::WA_NativeWindow);
    widget.winId();
    widget.windowHandle()->setParent(parent);
    widget.setGeometry(0, 0, size->width(), size->height());
    return true;
}

void MakeUnmanaged(QWidget &window)
{
    xcb_connection_t *c = Connection();
    if (c == nullptr) {
        return;
    }
    const uint32_t on = 1;
    xcb_change_window_attributes(c, static_cast<xcb_window_t>(window.winId()), XCB_CW_OVERRIDE_REDIRECT, &on);
    xcb_flush(c);
}

bool GrabInput(QWidget &window)
{
    xcb_connection_t *c = Connection();
    if (c == nullptr || !window.isVisible()) {
        return false;
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    // The pointer with owner events: over this program's own windows everything arrives as usual;
    // anywhere else it comes to the run's window. The keyboard all to the run's window.
    const uint16_t mask = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;
    const Reply<xcb_grab_pointer_reply_t> pointer(
        xcb_grab_pointer_reply(c,
                               xcb_grab_pointer(c, 1, id, mask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                XCB_WINDOW_NONE, XCB_CURSOR_NONE, XCB_CURRENT_TIME),
                               nullptr),
        &std::free);
    const Reply<xcb_grab_keyboard_reply_t> keyboard(
        xcb_grab_keyboard_reply(
            c, xcb_grab_keyboard(c, 0, id, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr),
        &std::free);
    const bool held = pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS && keyboard &&
                      keyboard->status == XCB_GRAB_STATUS_SUCCESS;
    if (!held) {
        xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    } else {
        // No window manager hands an unmanaged window the focus: it takes it, so the program
        // knows the window as the active one.
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, id, XCB_CURRENT_TIME);
    }
    xcb_flush(c);
    return held;
}

void ReleaseInput()
{
    xcb_connection_t *c = Connection();
    if (c == nullptr) {
        return;
    }
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    // A round trip: the server has let go before anything else happens (a write that waits on the
    // disk or a lock must not keep the display held).
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

bool KeepOnTop(QWidget &window)
{
    xcb_connection_t *c = Connection();
    if (c == nullptr || !window.isVisible()) {
        return false;
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    bool acted = false;
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr), &std::free);
    if (attributes && attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        xcb_map_window(c, id);
        acted = true;
    }
    const xcb_window_t top = TopLevelOf(c, id);
    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, RootOf(c, top)), nullptr),
                                             &std::free);
    if (tree) {
        // This program's own windows (the covers of other screens, the password box) may lie above.
        std::set<xcb_window_t> ours;
        for (QWindow *w : QGuiApplication::topLevelWindows()) {
            if (w->handle() != nullptr) {
                ours.insert(TopLevelOf(c, static_cast<xcb_window_t>(w->winId())));
            }
        }
        const QRect area = window.geometry();
        const xcb_window_t *children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        bool above = false;
        bool covered = false;
        for (int i = 0; i < count && !covered; ++i) {
            if (children[i] == top) {
                above = true;
                continue;
            }
            if (!above || ours.count(children[i]) != 0) {
                continue;
            }
            const Reply<xcb_get_window_attributes_reply_t> a(
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr), &std::free);
            covered = a && a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT &&
                      Overlaps(c, children[i], area);
        }
        if (covered) {
            const uint32_t stack = XCB_STACK_MODE_ABOVE;
            xcb_configure_window(c, top, XCB_CONFIG_WINDOW_STACK_MODE, &stack);
            acted = true;
        }
    }
    xcb_flush(c);
    return acted;
}
