#include "common/platform/ForeignWindow.h"

#include <QGuiApplication>

#include <cstdlib>
#include <xcb/xcb.h>

std::optional<QSize> ForeignWindowSize(std::uint32_t window)
{
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (connection == nullptr || window == 0) {
        return std::nullopt;
    }
    xcb_generic_error_t *error = nullptr;
    xcb_get_geometry_reply_t *reply = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), &error);
    std::free(error);
    if (reply == nullptr) {
        return std::nullopt;
    }
    const QSize size(reply->width, reply->height);
    std::free(reply);
    return size;
}
