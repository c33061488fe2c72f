#pragma once
// The test host's side of the X server: its own connection, a top-level window to embed in,
// pixels read back from any window, and pointer input through the X test extension.

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestravel::plugins::testing {

class TestScreen {
public:
    TestScreen()
    {
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection))
            return;
        screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    }
    ~TestScreen()
    {
        for (uint32_t w : windows)
            xcb_destroy_window(connection, w);
        xcb_flush(connection);
        xcb_disconnect(connection);
    }
    TestScreen(const TestScreen&) = delete;
    TestScreen& operator=(const TestScreen&) = delete;

    bool ok() const { return !xcb_connection_has_error(connection) && screen; }

    // A mapped top-level window at (x, y), waited for until the server shows it.
    uint32_t topLevel(int16_t x = 0, int16_t y = 0, uint16_t width = 1000, uint16_t height = 620)
    {
        const uint32_t w = xcb_generate_id(connection);
        const uint32_t values[] = {screen->black_pixel, 1u}; // override-redirect: no manager moves it
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, w, screen->root, x, y, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(connection, w);
        sync();
        windows.push_back(w);
        return w;
    }

    void destroy(uint32_t w)
    {
        xcb_destroy_window(connection, w);
        std::erase(windows, w);
        sync();
    }

    void sync()
    {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }

    // Another connection's requests reach the server in their own time: asks again for up to
    // a second until the condition holds.
    bool eventually(const std::function<bool()>& condition)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            sync();
            if (condition())
                return true;
            ::usleep(10000);
        }
        return false;
    }

    bool childless(uint32_t parent)
    {
        return eventually([&] { return children(parent).empty(); });
    }

    std::vector<uint32_t> children(uint32_t parent)
    {
        std::vector<uint32_t> out;
        auto* reply = xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr);
        if (!reply)
            return out;
        const xcb_window_t* c = xcb_query_tree_children(reply);
        out.assign(c, c + xcb_query_tree_children_length(reply));
        std::free(reply);
        return out;
    }

    bool exists(uint32_t w)
    {
        auto* reply = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, w), nullptr);
        const bool found = reply != nullptr;
        std::free(reply);
        return found;
    }

    struct Geometry {
        int x, y, width, height;
        bool mapped;
    };
    std::optional<Geometry> geometry(uint32_t w)
    {
        auto* g = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, w), nullptr);
        auto* a = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, w), nullptr);
        std::optional<Geometry> out;
        if (g && a)
            out = Geometry{g->x, g->y, g->width, g->height, a->map_state == XCB_MAP_STATE_VIEWABLE};
        std::free(g);
        std::free(a);
        return out;
    }

    // The CARD32 values of a property, empty when it is not there.
    std::vector<uint32_t> property(uint32_t w, const std::string& name)
    {
        auto* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
        std::vector<uint32_t> out;
        if (!atom || atom->atom == XCB_ATOM_NONE) {
            std::free(atom);
            return out;
        }
        auto* p = xcb_get_property_reply(connection,
                                         xcb_get_property(connection, 0, w, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 16),
                                         nullptr);
        if (p && p->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(p));
            out.assign(v, v + xcb_get_property_value_length(p) / 4);
        }
        std::free(p);
        std::free(atom);
        return out;
    }

    // The window's pixels as 0xFFRRGGBB, row by row; empty when it cannot be read.
    std::vector<uint32_t> pixels(uint32_t w, int width, int height)
    {
        std::vector<uint32_t> out;
        auto* image = xcb_get_image_reply(
            connection,
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0, static_cast<uint16_t>(width),
                          static_cast<uint16_t>(height), ~0u),
            nullptr);
        if (!image)
            return out;
        const int length = xcb_get_image_data_length(image);
        if (image->depth == 24 && length == width * height * 4) {
            const auto* data = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
            out.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
            for (size_t i = 0; i < out.size(); ++i)
                out[i] = 0xFF000000u | (data[i] & 0x00FFFFFFu);
        }
        std::free(image);
        return out;
    }

    // Where a window's (x, y) lies on the screen.
    std::pair<int, int> onScreen(uint32_t w, int x, int y)
    {
        auto* t = xcb_translate_coordinates_reply(
            connection,
            xcb_translate_coordinates(connection, w, screen->root, static_cast<int16_t>(x), static_cast<int16_t>(y)),
            nullptr);
        std::pair<int, int> out{-1, -1};
        if (t)
            out = {t->dst_x, t->dst_y};
        std::free(t);
        return out;
    }

    // Synthetic pointer input, as the user would give it.
    void moveTo(uint32_t w, int x, int y)
    {
        const auto [sx, sy] = onScreen(w, x, y);
        xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen->root, static_cast<int16_t>(sx),
                            static_cast<int16_t>(sy), 0);
        sync();
    }
    void press(uint8_t button = 1)
    {
        xcb_test_fake_input(connection, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        sync();
    }
    void releaseButton(uint8_t button = 1)
    {
        xcb_test_fake_input(connection, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        sync();
    }
    // The first key code whose first symbol is keysym, 0 if none.
    uint8_t keycodeOf(uint32_t keysym)
    {
        const xcb_setup_t* setup = xcb_get_setup(connection);
        const uint8_t first = setup->min_keycode;
        const uint8_t count = static_cast<uint8_t>(setup->max_keycode - first + 1);
        auto* map = xcb_get_keyboard_mapping_reply(connection, xcb_get_keyboard_mapping(connection, first, count),
                                                   nullptr);
        uint8_t found = 0;
        if (map) {
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
            for (int k = 0; k < count && !found; ++k)
                if (syms[k * map->keysyms_per_keycode] == keysym)
                    found = static_cast<uint8_t>(first + k);
        }
        std::free(map);
        return found;
    }
    void key(uint8_t code, bool down)
    {
        xcb_test_fake_input(connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                            0);
        sync();
    }

    // The server drops the connection that created w, as when the server goes away for it.
    void killClientOf(uint32_t w)
    {
        xcb_kill_client(connection, w);
        sync();
    }

    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    std::vector<uint32_t> windows;
};

} // namespace kestravel::plugins::testing
