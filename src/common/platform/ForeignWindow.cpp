// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/ForeignWindow.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {
// Milliseconds between two looks at the window.
constexpr int kLookMs = 250;

xcb_connection_t *Connection()
{
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}
} // namespace

std::optional<QSize> ForeignWindowSize(std::uint32_t window)
{
    xcb_connection_t *connection = Connection();
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

ForeignWindowWatch::ForeignWindowWatch(std::uint32_t window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    if (xcb_connection_t *c = Connection(); c != nullptr && window != 0) {
        // Structure events of the window come to this program too (each program chooses its own).
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    m_size = ForeignWindowSize(window).value_or(QSize());
    m_poll.setInterval(kLookMs);
    connect(&m_poll, &QTimer::timeout, this, &ForeignWindowWatch::look);
    m_poll.start();
    look();
}

ForeignWindowWatch::~ForeignWindowWatch()
{
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void ForeignWindowWatch::setGone()
{
    if (m_gone) {
        return;
    }
    m_gone = true;
    m_poll.stop();
    // Told from the event loop, never from inside Qt's own event handling.
    QMetaObject::invokeMethod(this, &ForeignWindowWatch::gone, Qt::QueuedConnection);
}

void ForeignWindowWatch::look()
{
    xcb_connection_t *c = Connection();
    if (c == nullptr || m_gone) {
        return;
    }
    const std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, m_window), nullptr), &std::free);
    const std::optional<QSize> size = ForeignWindowSize(m_window);
    if (!attributes || !size) {
        setGone();
        return;
    }
    const bool viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    if (m_wasViewable && attributes->map_state == XCB_MAP_STATE_UNMAPPED) {
        setGone();
        return;
    }
    m_wasViewable = m_wasViewable || viewable;
    if (*size != m_size) {
        m_size = *size;
        emit resized(m_size);
    }
}

bool ForeignWindowWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (m_gone || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & ~0x80) {
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window == m_window) {
            setGone();
        }
        break;
    case XCB_UNMAP_NOTIFY:
        if (reinterpret_cast<const xcb_unmap_notify_event_t *>(event)->window == m_window) {
            setGone();
        }
        break;
    case XCB_CONFIGURE_NOTIFY: {
        const auto *configure = reinterpret_cast<const xcb_configure_notify_event_t *>(event);
        if (configure->window == m_window && QSize(configure->width, configure->height) != m_size) {
            m_size = QSize(configure->width, configure->height);
            QMetaObject::invokeMethod(
                this, [this, size = m_size] { emit resized(size); }, Qt::QueuedConnection);
        }
        break;
    }
    default:
        break;
    }
    // Qt sees the event as well: its own windows inside may need it.
    return false;
}
