// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/WindowStacking.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

template<class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t *connection()
{
    const auto *x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t rootOf(xcb_connection_t *c, xcb_window_t window)
{
    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr), &std::free);
    return tree ? tree->root : xcb_window_t{XCB_WINDOW_NONE};
}

// The states the window carries in _NET_WM_STATE.
std::vector<xcb_atom_t> netWmState(xcb_connection_t *c, xcb_window_t window, xcb_atom_t stateAtom)
{
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, stateAtom, XCB_ATOM_ATOM, 0, 64), nullptr),
        &std::free);
    std::vector<xcb_atom_t> atoms;
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto *data = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        atoms.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    return atoms;
}

} // namespace

namespace WindowStacking {

void setKeepAbove(QWidget *window, bool above)
{
    xcb_connection_t *c = connection();
    if (c == nullptr || window == nullptr) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const xcb_atom_t keepAbove = atom(c, "_NET_WM_STATE_ABOVE");
    const xcb_window_t root = rootOf(c, id);
    if (state == XCB_ATOM_NONE || keepAbove == XCB_ATOM_NONE || root == XCB_WINDOW_NONE) {
        return;
    }

    // A window the manager has not taken on yet reads its state from the property when it does;
    // one already managed is changed by a message to the root window.
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr), &std::free);
    if (attributes && attributes->map_state == XCB_MAP_STATE_UNMAPPED) {
        std::vector<xcb_atom_t> atoms = netWmState(c, id, state);
        std::erase(atoms, keepAbove);
        if (above) {
            atoms.push_back(keepAbove);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                            static_cast<std::uint32_t>(atoms.size()), atoms.data());
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = state;
    message.data.data32[0] = above ? 1 : 0; // _NET_WM_STATE_ADD or _REMOVE
    message.data.data32[1] = keepAbove;
    message.data.data32[2] = 0;
    message.data.data32[3] = 1; // asked by an application
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(c);
    if (above) {
        // Without a window manager nothing keeps it up; it is at least on top now.
        window->raise();
    }
}

bool windowManagerRuns()
{
    xcb_connection_t *c = connection();
    if (c == nullptr) {
        return true;
    }
    // A compliant manager names its check window on the root window (EWMH).
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr), &std::free);
    return reply && reply->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(reply.get()) == 4;
}

} // namespace WindowStacking
