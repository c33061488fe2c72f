#ifndef _WIN32

#include "editor/platform/x11_window.h"

#include <cairo-xcb.h>
#include <cairo.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "editor/geometry.h"
#include "editor/interaction.h"
#include "editor/platform/cairo_canvas.h"

namespace kestravel::plugins {

namespace {

constexpr uint32_t kXembedVersion = 0;
constexpr uint32_t kXembedMapped = 1;
constexpr uint8_t kLeftButton = 1;
constexpr uint8_t kRightButton = 3;
constexpr uint8_t kWheelUp = 4;
constexpr uint8_t kWheelDown = 5;
constexpr int32_t kNoticeHeight = 28;

struct FreeReply {
    void operator()(void* p) const noexcept { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

uint32_t modifiersOf(uint16_t state)
{
    return ((state & XCB_MOD_MASK_SHIFT) ? kModifierShift : 0u) | ((state & XCB_MOD_MASK_CONTROL) ? kModifierControl : 0u);
}

xcb_visualtype_t* findVisual(const xcb_screen_t* screen, xcb_visualid_t id)
{
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths))
        for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == id)
                return v.data;
    return nullptr;
}

} // namespace

bool X11EditorWindow::attach(void* parent, const char* type, Steinberg::Linux::IRunLoop* loop)
{
    if (connection || !parent || !type || std::strcmp(type, Steinberg::kPlatformTypeX11EmbedWindowID) != 0 || !loop)
        return false;
    // The parent arrives as an X11 window id (29 bits) in the pointer's value.
    const auto id = reinterpret_cast<uintptr_t>(parent);
    if (id > 0x1FFFFFFFu)
        return false;
    if (!create(static_cast<uint32_t>(id))) {
        teardown();
        return false;
    }
    if (!registration.open(loop) || !registration.watch(xcb_get_file_descriptor(connection)) ||
        !registration.startTimer(kX11RepaintPeriodMs)) {
        teardown();
        return false;
    }
    repaint();
    // Replies waited for above may have queued events that the descriptor no longer announces.
    drainEvents();
    return connection != nullptr;
}

bool X11EditorWindow::create(uint32_t parent)
{
    int screenNumber = 0;
    connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection))
        return false;

    // Only a window (not a pixmap, not nothing) may be the parent.
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, parent), nullptr));
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, parent), nullptr));
    if (!attributes || !geometry)
        return false;

    const xcb_screen_t* screen = nullptr;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem; xcb_screen_next(&it))
        if (it.data->root == geometry->root)
            screen = it.data;
    if (!screen)
        return false;
    visual = findVisual(screen, screen->root_visual);
    depth = screen->root_depth;
    if (!visual)
        return false;

    // No background: the server never clears the window, every pixel comes from the back buffer.
    window = xcb_generate_id(connection);
    const uint32_t mask = XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP;
    const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0,
                               XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                   XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                   XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_FOCUS_CHANGE |
                                   XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                               screen->default_colormap};
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_create_window_checked(connection, depth, window, parent, 0, 0, static_cast<uint16_t>(width),
                                              static_cast<uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                                              mask, values));
    if (error) {
        std::free(error);
        window = 0;
        return false;
    }

    // XEmbed: protocol version 0, and the window wants to be shown.
    const xcb_atom_t info = atom(connection, "_XEMBED_INFO");
    const uint32_t embedInfo[] = {kXembedVersion, kXembedMapped};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, info, info, 32, 2, embedInfo);

    copyContext = xcb_generate_id(connection);
    const uint32_t noExposures = 0;
    xcb_create_gc(connection, copyContext, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    if (!makeBuffers())
        return false;

    xcb_map_window(connection, window);
    xcb_flush(connection);
    return !xcb_connection_has_error(connection);
}

bool X11EditorWindow::makeBuffers()
{
    backBuffer = xcb_generate_id(connection);
    xcb_create_pixmap(connection, depth, backBuffer, window, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(height));
    image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    shown = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    backBufferValid = false;
    server = cairo_xcb_surface_create(connection, backBuffer, visual, width, height);
    if (!device && cairo_surface_get_device(server))
        device = cairo_device_reference(cairo_surface_get_device(server));
    return cairo_surface_status(image) == CAIRO_STATUS_SUCCESS && cairo_surface_status(shown) == CAIRO_STATUS_SUCCESS &&
           cairo_surface_status(server) == CAIRO_STATUS_SUCCESS;
}

void X11EditorWindow::freeBuffers() noexcept
{
    if (server) {
        cairo_surface_destroy(server);
        server = nullptr;
    }
    if (image) {
        cairo_surface_destroy(image);
        image = nullptr;
    }
    if (shown) {
        cairo_surface_destroy(shown);
        shown = nullptr;
    }
    backBufferValid = false;
    if (backBuffer && connection && !xcb_connection_has_error(connection))
        xcb_free_pixmap(connection, backBuffer);
    backBuffer = 0;
}

bool X11EditorWindow::resize(int32_t pixelsWide, int32_t pixelsHigh)
{
    if (pixelsWide <= 0 || pixelsHigh <= 0 || pixelsWide > 16384 || pixelsHigh > 16384)
        return false;
    if (pixelsWide == width && pixelsHigh == height)
        return true;
    width = pixelsWide;
    height = pixelsHigh;
    if (!connection)
        return true;
    freeBuffers();
    if (window) {
        const uint32_t size[] = {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
        xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    }
    if (!makeBuffers()) {
        freeBuffers();
        return false;
    }
    repaint();
    return true;
}

void X11EditorWindow::teardown() noexcept
{
    registration.close();
    dragging = false;
    dirty = false;
    if (!connection)
        return;
    freeBuffers();
    if (!xcb_connection_has_error(connection)) {
        if (copyContext)
            xcb_free_gc(connection, copyContext);
        if (window)
            xcb_destroy_window(connection, window);
        xcb_flush(connection);
    }
    copyContext = 0;
    window = 0;
    visual = nullptr;
    // Cairo keeps per-connection state; it must let go before the connection closes.
    if (device) {
        cairo_device_finish(device);
        cairo_device_destroy(device);
        device = nullptr;
    }
    xcb_disconnect(connection);
    connection = nullptr;
}

void X11EditorWindow::connectionLost() noexcept
{
    // The server is gone: nothing can be freed there, only here.
    teardown();
}

void X11EditorWindow::showNotice(const std::u16string& text)
{
    noticeText = text;
    invalidate();
}

void X11EditorWindow::invalidate()
{
    dirty = true;
}

void X11EditorWindow::captureMouse()
{
    if (!connection || !window || !dragging)
        return;
    const uint16_t events = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                            XCB_EVENT_MASK_BUTTON_1_MOTION | XCB_EVENT_MASK_LEAVE_WINDOW;
    // Not waited for: a refused grab leaves the press's own grab, which ends at the release.
    xcb_discard_reply(connection, xcb_grab_pointer(connection, 0, window, events, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME)
                                      .sequence);
    xcb_flush(connection);
}

void X11EditorWindow::loseDrag()
{
    dragging = false;
    endGrab();
    client.captureLost();
}

void X11EditorWindow::endGrab()
{
    if (connection) {
        xcb_ungrab_pointer(connection, XCB_CURRENT_TIME);
        xcb_flush(connection);
    }
}

void* X11EditorWindow::dialogOwner() const
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
}

void X11EditorWindow::repaint(bool metersOnly)
{
    // The notice lies over the picture's bottom, where meters may be: it goes with whole paints.
    metersOnly = metersOnly && !dirty && backBufferValid && noticeText.empty();
    dirty = false;
    if (!connection || !window || !image || !shown || !server || !backBuffer)
        return;
    ++paints;
    cairo_t* cr = cairo_create(image);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    if (metersOnly)
        client.paintMeters(cr);
    else
        client.paint(cr);
    if (!noticeText.empty()) {
        // Drawn in editor pixels, like the picture under it.
        const double scale = width / double{kEditorWidth};
        CairoCanvas canvas(cr, scale);
        const Rect bar{0, kEditorHeight - kNoticeHeight, kEditorWidth, kEditorHeight};
        canvas.fillBox(bar, Colour{150, 40, 30});
        canvas.drawLabel(Rect{bar.left + 12, bar.top, bar.right - 12, bar.bottom}, noticeText, Colour{255, 255, 255},
                         14, true, TextFormat::Line);
    }
    cairo_destroy(cr);
    cairo_surface_flush(image);

    // Only the rows that changed since the last frame travel; an unchanged picture (an idle
    // editor) sends nothing at all.
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* painted = cairo_image_surface_get_data(image);
    unsigned char* previous = cairo_image_surface_get_data(shown);
    int32_t top = 0;
    int32_t bottom = height;
    if (backBufferValid) {
        const auto rowDiffers = [&](int32_t y) {
            const size_t offset = static_cast<size_t>(stride) * static_cast<size_t>(y);
            return std::memcmp(painted + offset, previous + offset, static_cast<size_t>(stride)) != 0;
        };
        while (top < height && !rowDiffers(top))
            ++top;
        if (top == height)
            return;
        while (bottom > top && !rowDiffers(bottom - 1))
            --bottom;
    }
    cairo_surface_flush(shown);
    std::memcpy(previous + static_cast<size_t>(stride) * static_cast<size_t>(top),
                painted + static_cast<size_t>(stride) * static_cast<size_t>(top),
                static_cast<size_t>(stride) * static_cast<size_t>(bottom - top));
    cairo_surface_mark_dirty(shown);

    // The changed band goes to the back buffer first, then to the window in one copy, so the
    // window never shows half a frame.
    cairo_t* upload = cairo_create(server);
    cairo_set_operator(upload, CAIRO_OPERATOR_SOURCE);
    cairo_rectangle(upload, 0, top, width, bottom - top);
    cairo_clip(upload);
    cairo_set_source_surface(upload, image, 0, 0);
    cairo_paint(upload);
    cairo_destroy(upload);
    cairo_surface_flush(server);
    backBufferValid = true;
    present(top, bottom);
}

void X11EditorWindow::present(int32_t top, int32_t bottom)
{
    if (!connection || !window || !backBuffer || !backBufferValid)
        return;
    xcb_copy_area(connection, backBuffer, window, copyContext, 0, static_cast<int16_t>(top), 0,
                  static_cast<int16_t>(top), static_cast<uint16_t>(width), static_cast<uint16_t>(bottom - top));
    xcb_flush(connection);
    ++frames;
}

void X11EditorWindow::waitForServer()
{
    if (connection)
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

void X11EditorWindow::descriptorReady(int)
{
    if (dispatching)
        return;
    client.hold();
    drainEvents();
    client.letGo(); // last: the view, and this window with it, may go here
}

void X11EditorWindow::timerFired()
{
    if (dispatching)
        return;
    client.hold();
    drainEvents();
    if (connection) {
        // Nothing changed: nothing is painted or sent.
        const LookResult result = client.look();
        if (result == LookResult::Whole)
            dirty = true;
        if (dirty || result == LookResult::Meters)
            repaint(!dirty);
    }
    client.letGo();
}

void X11EditorWindow::drainEvents()
{
    if (!connection)
        return;
    std::vector<xcb_generic_event_t*> events;
    while (xcb_generic_event_t* e = xcb_poll_for_event(connection))
        events.push_back(e);
    const bool broken = xcb_connection_has_error(connection) != 0;

    dispatching = true;
    bool going = true;
    for (size_t i = 0; i < events.size(); ++i) {
        if (going) {
            const bool motionFollows = i + 1 < events.size() &&
                                       (events[i + 1]->response_type & 0x7F) == XCB_MOTION_NOTIFY &&
                                       (events[i]->response_type & 0x7F) == XCB_MOTION_NOTIFY;
            going = dispatch(events[i], motionFollows);
        }
        std::free(events[i]);
    }
    dispatching = false;
    if (going && connection) {
        if (broken)
            connectionLost();
        else if (dirty)
            repaint();
    }
}

bool X11EditorWindow::dispatch(xcb_generic_event_t* event, bool moreMotionFollows)
{
    // Errors (type 0) and events of windows that are no longer ours change nothing.
    switch (event->response_type & 0x7F) {
    case XCB_EXPOSE: {
        const auto* e = reinterpret_cast<xcb_expose_event_t*>(event);
        if (e->window == window && e->count == 0)
            present(0, height);
        break;
    }
    case XCB_BUTTON_PRESS: {
        const auto* e = reinterpret_cast<xcb_button_press_event_t*>(event);
        if (e->event != window)
            break;
        if (e->detail == kWheelUp || e->detail == kWheelDown) {
            client.pointerWheel(e->event_x, e->event_y, e->detail == kWheelUp ? 1.0 : -1.0, modifiersOf(e->state));
            break;
        }
        if (e->detail == kRightButton && !dragging) {
            // The press grabbed the pointer for us; the host's menu needs it.
            endGrab();
            client.contextMenu(e->event_x, e->event_y);
            break;
        }
        if (e->detail != kLeftButton)
            break;
        // X has no double clicks: a second press soon after the first, where it was, is one.
        const bool doubleClick = e->time - lastPressTime <= kX11DoubleClickMs &&
                                 std::abs(e->event_x - lastPressX) <= kX11DoubleClickSlop &&
                                 std::abs(e->event_y - lastPressY) <= kX11DoubleClickSlop;
        lastPressTime = doubleClick ? e->time - kX11DoubleClickMs - 1 : e->time; // a third press starts anew
        lastPressX = e->event_x;
        lastPressY = e->event_y;
        noticeText.clear();
        dragging = true;
        client.pointerDown(e->event_x, e->event_y, modifiersOf(e->state), doubleClick);
        break;
    }
    case XCB_MOTION_NOTIFY: {
        const auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(event);
        // Only the latest of a run of motions matters; the value follows the pointer absolutely.
        if (e->event != window || moreMotionFollows)
            break;
        if (dragging && (e->state & XCB_BUTTON_MASK_1))
            client.pointerDrag(e->event_x, e->event_y, modifiersOf(e->state));
        else if (!dragging)
            client.pointerHover(e->event_x, e->event_y);
        break;
    }
    case XCB_BUTTON_RELEASE: {
        const auto* e = reinterpret_cast<xcb_button_release_event_t*>(event);
        if (e->event != window || e->detail != kLeftButton || !dragging)
            break;
        dragging = false;
        endGrab();
        client.pointerUp();
        break;
    }
    case XCB_LEAVE_NOTIFY: {
        // Someone else took the pointer, or the server ended the press's grab (the window was
        // hidden): the drag ends as a lost capture does.
        const auto* e = reinterpret_cast<xcb_leave_notify_event_t*>(event);
        if (e->event == window && (e->mode == XCB_NOTIFY_MODE_GRAB || e->mode == XCB_NOTIFY_MODE_UNGRAB) &&
            dragging) {
            loseDrag();
        }
        break;
    }
    case XCB_FOCUS_OUT: {
        const auto* e = reinterpret_cast<xcb_focus_out_event_t*>(event);
        if (e->event == window && dragging) {
            loseDrag();
        }
        break;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto* e = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
        if (e->window == window && dragging) {
            loseDrag();
        }
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        // The host destroyed its window and ours with it: nothing left to draw into.
        const auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
        if (e->window == window && window) {
            window = 0;
            if (dragging) {
                loseDrag();
            }
        }
        break;
    }
    default: break;
    }
    return connection != nullptr;
}

} // namespace kestravel::plugins

#endif
