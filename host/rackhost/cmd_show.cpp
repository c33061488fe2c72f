// rackhost show: a module's editor in a window of its own, embedded exactly as a Linux DAW does
// it: the view attached to an X11 window, with this host's IPlugFrame and IRunLoop; optionally
// a screenshot of the window's real pixels before it closes.
#include <cairo.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "commands.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/run_loop.h"
#include "kestravel_host/utf.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins {

using namespace Steinberg;

namespace {

struct FreeReply
{
    void operator()(void* p) const noexcept { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The host's top-level window, on a connection of its own.
class TopWindow
{
public:
    TopWindow(int32 width, int32 height, const std::string& title)
    {
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection))
        {
            xcb_disconnect(connection);
            connection = nullptr;
            throw HostError("No X display to show the editor on: set DISPLAY (or run under Xvfb)");
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        window = xcb_generate_id(connection);
        const uint32_t values[] = {screen->black_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, static_cast<uint16_t>(width),
                          static_cast<uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        const xcb_atom_t utf8 = internAtom(connection, "UTF8_STRING");
        const xcb_atom_t netName = internAtom(connection, "_NET_WM_NAME");
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(title.size()), title.data());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, netName, utf8, 8,
                            static_cast<uint32_t>(title.size()), title.data());
        protocols = internAtom(connection, "WM_PROTOCOLS");
        deleteWindow = internAtom(connection, "WM_DELETE_WINDOW");
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
        xcb_map_window(connection, window);
        xcb_flush(connection);
        width_ = width;
        height_ = height;
    }
    ~TopWindow()
    {
        if (!connection)
            return;
        xcb_destroy_window(connection, window);
        xcb_flush(connection);
        xcb_disconnect(connection);
    }
    TopWindow(const TopWindow&) = delete;
    TopWindow& operator=(const TopWindow&) = delete;

    int fd() const { return xcb_get_file_descriptor(connection); }

    // False when the user closed the window or the server went away.
    bool serveEvents()
    {
        bool open = true;
        while (xcb_generic_event_t* e = xcb_poll_for_event(connection))
        {
            if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE)
            {
                const auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                if (m->type == protocols && m->data.data32[0] == deleteWindow)
                    open = false;
            }
            std::free(e);
        }
        return open && !xcb_connection_has_error(connection);
    }

    void resize(int32 width, int32 height)
    {
        const uint32_t size[] = {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
        xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        xcb_flush(connection);
        width_ = width;
        height_ = height;
    }

    void screenshot(const std::string& path)
    {
        Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
            connection,
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<uint16_t>(width_),
                          static_cast<uint16_t>(height_), ~0u),
            nullptr));
        if (!image || image->depth != 24 || xcb_get_image_data_length(image.get()) != width_ * height_ * 4)
            throw HostError("The window's pixels could not be read (a 24-bit display is needed)");
        // 32 bits a pixel, blue first: Cairo's own RGB24 layout on this machine.
        cairo_surface_t* surface = cairo_image_surface_create_for_data(
            xcb_get_image_data(image.get()), CAIRO_FORMAT_RGB24, width_, height_, width_ * 4);
        const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
        cairo_surface_destroy(surface);
        if (status != CAIRO_STATUS_SUCCESS)
            throw HostError("Could not write \"" + path + "\": " + cairo_status_to_string(status));
    }

    xcb_window_t id() const { return window; }

private:
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
    xcb_atom_t protocols = XCB_ATOM_NONE;
    xcb_atom_t deleteWindow = XCB_ATOM_NONE;
    int32 width_ = 0;
    int32 height_ = 0;
};

// The frame the view talks to: it lends the run loop and follows the view's size.
class ShowFrame : public EmbeddedObject<IPlugFrame>
{
public:
    ShowFrame(HostRunLoop& loop, TopWindow& window) : runLoop(loop), top(window) {}

    tresult PLUGIN_API queryInterface(const TUID queried, void** obj) override
    {
        if (obj != nullptr && sameIid(queried, Linux::IRunLoop::iid))
            return runLoop.queryInterface(queried, obj);
        return EmbeddedObject<IPlugFrame>::queryInterface(queried, obj);
    }

    tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) override
    {
        if (view == nullptr || newSize == nullptr || newSize->getWidth() <= 0 || newSize->getHeight() <= 0 ||
            newSize->getWidth() > 16384 || newSize->getHeight() > 16384)
            return kInvalidArgument;
        top.resize(newSize->getWidth(), newSize->getHeight());
        return view->onSize(newSize);
    }

private:
    HostRunLoop& runLoop;
    TopWindow& top;
};

int runShow(const Arguments& args, std::ostream& out)
{
    const double seconds = args.number("seconds", 0.0, 0.0, 86400.0);
    const auto screenshot = args.value("screenshot");
    std::vector<ParamSetting> settings;
    for (const auto& text : args.values("param"))
        settings.push_back(parseParamSetting(text));

    LoadedPlugin loaded = loadPlugin(args.positional(0));
    PluginInstance& plugin = *loaded.plugin;
    const std::string name = plugin.description().name;
    if (auto file = args.value("file"))
        setModuleFile(plugin, pathFromUtf8(*file));
    applyControllerSettings(plugin, settings);
    if (auto in = args.value("in"))
        playThrough(plugin, pathFromUtf8(*in), settings);
    if (plugin.controller() == nullptr)
        throw HostError("\"" + name + "\" has no edit controller, so no editor");
    auto view = Ref<IPlugView>::adopt(plugin.controller()->createView("editor"));
    if (!view)
        throw HostError("\"" + name + "\" offers no \"editor\" view");
    if (view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue)
        throw HostError("The editor of \"" + name + "\" cannot be embedded in an X11 window");
    ViewRect size;
    if (view->getSize(&size) != kResultOk || size.getWidth() <= 0 || size.getHeight() <= 0)
        throw HostError("The editor of \"" + name + "\" reports no size");

    HostRunLoop loop;
    TopWindow top(size.getWidth(), size.getHeight(), "rackhost: " + name);
    ShowFrame frame(loop, top);
    view->setFrame(&frame);
    const tresult attached =
        view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(top.id())), kPlatformTypeX11EmbedWindowID);
    if (attached != kResultOk)
    {
        view->setFrame(nullptr);
        throw HostError("The editor of \"" + name + "\" refused the window (" + resultName(attached) + ")");
    }
    loop.watchOwn(top.fd(), [&] {
        if (!top.serveEvents())
            loop.stop();
    });

    // Without a time the window stays until it is closed; a screenshot alone waits a second
    // so that the editor has drawn on its own timer.
    const auto start = HostRunLoop::Clock::now();
    const double shown = seconds > 0 ? seconds : (screenshot ? 1.0 : 0.0);
    loop.runUntil(shown > 0 ? start + std::chrono::milliseconds(static_cast<int64_t>(shown * 1000.0))
                            : HostRunLoop::Clock::time_point::max());
    if (screenshot)
        top.screenshot(*screenshot);

    view->removed();
    view->setFrame(nullptr);
    view.reset();
    if (loop.registrations() != 0)
        std::cerr << "rackhost: the editor left " << loop.registrations() << " registrations on the run loop\n";

    out << "showed the editor of \"" << name << "\"\n";
    if (screenshot)
        out << "wrote the window's pixels to " << *screenshot << '\n';
    return 0;
}

constexpr std::string_view kPositionals[] = {"BUNDLE"};
constexpr OptionSpec kOptions[] = {
    {"seconds", OptionKind::Value, "S", "close the window after S seconds (default: when it is closed)"},
    {"screenshot", OptionKind::Value, "OUT.png", "the window's pixels, written before it closes"},
    {"file", OptionKind::Value, "X.wav", "a PLAYER's file or a RECORDER's destination, set through the saved state"},
    {"param", OptionKind::List, "ID=VALUE", "normalized parameter value set before the window opens"},
    {"in", OptionKind::Value, "IN.wav", "played through the module first, so the meters show its levels"},
};

} // namespace

const CommandSpec kShowCommand{"show", kPositionals, kOptions, runShow,
                               "Open a module's editor in an X11 window, as a Linux DAW embeds it."};

} // namespace kestravel::plugins
