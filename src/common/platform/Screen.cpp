// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/Screen.h"

#include "common/platform/ForeignWindow.h"
#include "common/platform/SaverWindow.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/randr.h>
#include <xcb/xcb.h>

ScreenSpec MeasureScreen()
{
    if (const auto overridden = ParseScreenSpec(qEnvironmentVariable("VANTREL_SCREEN"))) {
        return *overridden;
    }
    ScreenSpec spec;
    const QScreen *screen = QGuiApplication::primaryScreen();
    // A run drawn into another program's window (a screen saver's preview, say) lays itself out
    // for that window: its inside is the screen of the run.
    const std::optional<SaverWindowTarget> target = SaverWindowOfThisRun();
    const std::optional<QSize> inside =
        target && target->window != 0 ? ForeignWindowSize(target->window) : std::nullopt;
    if (inside && !inside->isEmpty()) {
        spec.widthPx = inside->width();
        spec.heightPx = inside->height();
        if (screen != nullptr && screen->logicalDotsPerInchY() >= 48 && screen->logicalDotsPerInchY() <= 480) {
            spec.twipsPerPixel = static_cast<float>(std::round(1440.0 / screen->logicalDotsPerInchY()));
        }
        return spec;
    }
    if (screen == nullptr) {
        spec.widthPx = 1024;
        spec.heightPx = 768;
        return spec;
    }
    spec.widthPx = screen->geometry().width();
    spec.heightPx = screen->geometry().height();
    const double dpi = screen->logicalDotsPerInchY();
    if (dpi >= 48 && dpi <= 480) {
        // Whole twips per pixel, as the display settings of the design offered (15, 12, ...).
        spec.twipsPerPixel = static_cast<float>(std::round(1440.0 / dpi));
    }
    return spec;
}

namespace {
struct FreeReply
{
    void operator()(void *reply) const { std::free(reply); }
};
template<typename T> using Reply = std::unique_ptr<T, FreeReply>;

// "Xft.dpi" of the resource database on the root window, as the toolkit reads it; 0 when unset.
int ResourceDpi(xcb_connection_t *connection, xcb_window_t root)
{
    const Reply<xcb_get_property_reply_t> resources(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 64 * 1024),
        nullptr));
    if (!resources) {
        return 0;
    }
    const QByteArray text(static_cast<const char *>(xcb_get_property_value(resources.get())),
                          xcb_get_property_value_length(resources.get()));
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("Xft.dpi:")) {
            return static_cast<int>(std::lround(line.mid(8).trimmed().toDouble()));
        }
    }
    return 0;
}

std::optional<QSize> PrimaryMonitorSize(xcb_connection_t *connection, xcb_window_t root)
{
    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(connection, &xcb_randr_id);
    if (randr == nullptr || !randr->present) {
        return std::nullopt;
    }
    const Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5), nullptr));
    if (!version || version->major_version < 1 || (version->major_version == 1 && version->minor_version < 5)) {
        return std::nullopt;
    }
    const Reply<xcb_randr_get_monitors_reply_t> monitors(
        xcb_randr_get_monitors_reply(connection, xcb_randr_get_monitors(connection, root, 1), nullptr));
    if (!monitors) {
        return std::nullopt;
    }
    std::optional<QSize> first;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const QSize size(it.data->width, it.data->height);
        if (it.data->primary) {
            return size;
        }
        if (!first) {
            first = size;
        }
    }
    return first;
}
} // namespace

std::optional<ScreenSpec> ScreenBeforeToolkit()
{
    if (const auto overridden = ParseScreenSpec(qEnvironmentVariable("VANTREL_SCREEN"))) {
        return *overridden;
    }
    for (const char *scaling : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_USE_PHYSICAL_DPI"}) {
        if (!qEnvironmentVariableIsEmpty(scaling)) {
            return std::nullopt;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return std::nullopt;
    }
    int preferred = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &preferred);
    const auto closer = std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)>(connection, xcb_disconnect);
    if (xcb_connection_has_error(connection) != 0) {
        return std::nullopt;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < preferred && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem <= 0) {
        return std::nullopt;
    }
    const xcb_window_t root = screens.data->root;
    if (const int dpi = ResourceDpi(connection, root); dpi != 0 && dpi != 96) {
        return std::nullopt;
    }
    ScreenSpec spec;
    const QSize size = PrimaryMonitorSize(connection, root)
                           .value_or(QSize(screens.data->width_in_pixels, screens.data->height_in_pixels));
    if (size.isEmpty()) {
        return std::nullopt;
    }
    spec.widthPx = size.width();
    spec.heightPx = size.height();
    return spec;
}
