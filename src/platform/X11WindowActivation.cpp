#include "X11WindowActivation.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tessik {

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> own(T* reply)
{
    return Reply<T>(reply, &std::free);
}

class X11 {
public:
    explicit X11(const QByteArray& display)
        : c_(xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber_))
    {
        if (xcb_connection_has_error(c_)) return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screenNumber_ && it.rem; ++i) xcb_screen_next(&it);
        if (it.rem) root_ = it.data->root;
    }
    ~X11() { xcb_disconnect(c_); }
    bool ok() const { return root_ != 0; }

    xcb_atom_t atom(const char* name)
    {
        auto r = own(xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, uint16_t(std::strlen(name)), name), nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    std::vector<uint32_t> cardinals(xcb_window_t w, xcb_atom_t property, xcb_atom_t type)
    {
        auto r = own(xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, property, type, 0, 1 << 16), nullptr));
        if (!r || r->format != 32) return {};
        auto* v = static_cast<uint32_t*>(xcb_get_property_value(r.get()));
        return std::vector<uint32_t>(v, v + xcb_get_property_value_length(r.get()) / 4);
    }

    QString text(xcb_window_t w, xcb_atom_t property, xcb_atom_t type)
    {
        auto r = own(xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, property, type, 0, 1 << 14), nullptr));
        if (!r || r->format != 8) return {};
        return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(r.get())),
                                 xcb_get_property_value_length(r.get()));
    }

    std::vector<xcb_window_t> children(xcb_window_t w)
    {
        auto r = own(xcb_query_tree_reply(c_, xcb_query_tree(c_, w), nullptr));
        if (!r) return {};
        xcb_window_t* v = xcb_query_tree_children(r.get());
        return std::vector<xcb_window_t>(v, v + xcb_query_tree_children_length(r.get()));
    }

    bool viewable(xcb_window_t w)
    {
        auto r = own(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr));
        return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    xcb_connection_t* c_;
    int screenNumber_ = 0;
    xcb_window_t root_ = 0;
};

}  // namespace

bool activateX11Window(const QByteArray& display, const QString& title)
{
    X11 x(display);
    if (!x.ok()) return false;
    const xcb_atom_t utf8 = x.atom("UTF8_STRING");
    const xcb_atom_t netName = x.atom("_NET_WM_NAME");
    const xcb_atom_t clientList = x.atom("_NET_CLIENT_LIST");
    const xcb_atom_t active = x.atom("_NET_ACTIVE_WINDOW");
    const bool managed = !x.cardinals(x.root_, x.atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW).empty();

    // Candidates: the managed clients, else the root's children and theirs.
    std::vector<xcb_window_t> candidates;
    if (managed) {
        for (uint32_t w : x.cardinals(x.root_, clientList, XCB_ATOM_WINDOW)) candidates.push_back(w);
    }
    if (candidates.empty()) {
        for (xcb_window_t top : x.children(x.root_)) {
            candidates.push_back(top);
            for (xcb_window_t inner : x.children(top)) candidates.push_back(inner);
        }
    }
    xcb_window_t found = 0;
    for (xcb_window_t w : candidates) {
        QString name = x.text(w, netName, utf8);
        if (name.isEmpty()) name = x.text(w, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
        if (name == title && x.viewable(w)) {
            found = w;
            break;
        }
    }
    if (!found) return false;

    if (managed) {
        // Source 2: a pager, which window managers obey without focus-stealing checks.
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = found;
        ev.type = active;
        ev.data.data32[0] = 2;
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(x.c_, 0, x.root_,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&ev));
    }
    // Also raise and focus directly: the whole request without a window
    // manager, a harmless repeat with one.
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(x.c_, found, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_generic_error_t* err =
        xcb_request_check(x.c_, xcb_set_input_focus_checked(x.c_, XCB_INPUT_FOCUS_PARENT, found, XCB_CURRENT_TIME));
    const bool focused = err == nullptr;
    std::free(err);
    return managed || focused;
}

}  // namespace tessik
