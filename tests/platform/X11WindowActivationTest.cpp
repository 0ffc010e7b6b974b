#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <cstring>
#include <unistd.h>
#include <xcb/xcb.h>

#include "X11WindowActivation.h"

namespace tessik {
namespace {

// A private X server without a window manager, and windows made on it.
class BareX : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
        server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
        ASSERT_TRUE(server.waitForStarted());
        while (!server.canReadLine() && server.waitForReadyRead(5000)) {
        }
        display = ":" + server.readLine().trimmed();
        ASSERT_GT(display.size(), 1);
        c = xcb_connect(display.constData(), nullptr);
        ASSERT_EQ(xcb_connection_has_error(c), 0);
        screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    }
    void TearDown() override
    {
        if (c) xcb_disconnect(c);
        server.kill();
        server.waitForFinished();
    }

    xcb_window_t window(const char* title, bool mapped = true)
    {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 10, 10, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(std::strlen(title)), title);
        if (mapped) xcb_map_window(c, w);
        xcb_flush(c);
        return w;
    }
    xcb_window_t focus()
    {
        auto* r = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        const xcb_window_t f = r ? r->focus : 0;
        free(r);
        return f;
    }

    QProcess server;
    QByteArray display;
    xcb_connection_t* c = nullptr;
    xcb_screen_t* screen = nullptr;
};

TEST_F(BareX, RaisesAndFocusesTheWindowWithThatTitle)
{
    const xcb_window_t a = window("Drawing1 - Tessik CAD");
    const xcb_window_t b = window("Tessik");
    window("Drawing2 - Tessik CAD", false);

    EXPECT_TRUE(activateX11Window(display, "Drawing1 - Tessik CAD"));
    EXPECT_EQ(focus(), a);
    EXPECT_TRUE(activateX11Window(display, "Tessik"));
    EXPECT_EQ(focus(), b);

    EXPECT_FALSE(activateX11Window(display, "Drawing2 - Tessik CAD")) << "a window that is not shown";
    EXPECT_FALSE(activateX11Window(display, "Drawing1"));
    EXPECT_EQ(focus(), b);
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    free(r);
    return a;
}

TEST_F(BareX, AsksAWindowManagerThroughNetActiveWindow)
{
    // The test plays the window manager: it announces itself, lists the
    // clients and takes the root's substructure requests.
    const xcb_window_t a = window("Drawing1 - Tessik CAD");
    const xcb_window_t check = window("wm", false);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, screen->root, atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW,
                        32, 1, &check);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, screen->root, atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32, 1,
                        &a);
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    ASSERT_TRUE(activateX11Window(display, "Drawing1 - Tessik CAD"));

    bool asked = false;
    for (int waited = 0; !asked && waited < 2000; waited += 10) {
        xcb_generic_event_t* e = xcb_poll_for_event(c);
        if (!e) {
            usleep(10000);
            continue;
        }
        if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
            auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
            asked = m->type == atom(c, "_NET_ACTIVE_WINDOW") && m->window == a && m->data.data32[0] == 2;
        }
        free(e);
    }
    EXPECT_TRUE(asked);
}

TEST(X11WindowActivation, NoServerIsAFailureNotACrash)
{
    EXPECT_FALSE(activateX11Window(":4711", "Tessik"));
}

}  // namespace
}  // namespace tessik
