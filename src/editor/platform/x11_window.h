#pragma once
// The editor's child window in a Linux host: an X11 window inside the host's window, drawn
// double-buffered from the same picture as the off-screen image, and driven only by the host's
// IRunLoop (the X connection's descriptor and a 100 ms repaint timer). It talks to the X
// server through its own XCB connection: X errors then come back as events instead of going to
// a process-wide handler, and a lost server never ends the host's process.

#ifndef _WIN32

#include <cstdint>
#include <string>
#include <vector>

#include "editor/editor_looks.h"
#include "editor/editor_window.h"
#include "editor/platform/run_loop_link.h"

#include <xcb/xcb.h>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_device cairo_device_t;

namespace kestravel::plugins {

inline constexpr uint64_t kX11RepaintPeriodMs = kEditorTickMs; // each tick may look (editor_looks.h)

// Two presses this close in time (ms) and place (pixels) are a double click.
inline constexpr uint32_t kX11DoubleClickMs = 400;
inline constexpr int32_t kX11DoubleClickSlop = 4;

// What the window hands on to the editor, in window pixels. [UI thread]
class X11WindowClient {
public:
    virtual ~X11WindowClient() = default;
    virtual void paint(cairo_t* context) = 0; // the whole picture, at the window's size
    virtual void paintMeters(cairo_t* context) { paint(context); } // the meters alone, over the last picture
    // A timer tick: what changed since the last look (a client that cannot tell: everything).
    virtual LookResult look() { return LookResult::Whole; }
    // modifiers: the editor's key bits (kModifierShift, kModifierControl).
    virtual void pointerDown(int32_t x, int32_t y, uint32_t modifiers, bool doubleClick) = 0;
    virtual void pointerDrag(int32_t x, int32_t y, uint32_t modifiers) = 0;
    virtual void pointerHover(int32_t x, int32_t y) = 0;
    virtual bool pointerWheel(int32_t x, int32_t y, double notches, uint32_t modifiers) = 0;
    virtual void pointerUp() = 0;
    virtual void captureLost() = 0; // the grab or the focus went elsewhere mid-drag
    // A right-button press (outside a drag): the host's menu of the control there, if any.
    // May run the host's menu loop.
    virtual void contextMenu(int32_t x, int32_t y) = 0;
    // Keeps the client alive while an event is handed on: the host may drop the view meanwhile.
    virtual void hold() = 0;
    virtual void letGo() = 0;
};

class X11EditorWindow final : public EditorWindow, private RunLoopTarget {
public:
    explicit X11EditorWindow(X11WindowClient& owner) noexcept : client(owner), registration(*this) {}
    ~X11EditorWindow() override { teardown(); }
    X11EditorWindow(const X11EditorWindow&) = delete;
    X11EditorWindow& operator=(const X11EditorWindow&) = delete;

    // [UI thread] Creates, shows and registers the child window of parent (an X11 window id);
    // false with nothing created or registered on any refusal.
    bool attach(void* parent, const char* type, Steinberg::Linux::IRunLoop* loop);
    // [UI thread] The window's size in pixels (the editor's times the display scale); the
    // window and its buffers follow at once when attached. False for a size out of reach.
    bool resize(int32_t pixelsWide, int32_t pixelsHigh);
    // [UI thread] Unregisters from the run loop, destroys the window and closes the connection.
    // Safe to repeat, and after the connection broke.
    void teardown() noexcept;

    bool attached() const noexcept { return connection != nullptr; }
    uint32_t windowId() const noexcept { return window; }
    // A line of text over the bottom of the picture until the next press (e.g. a missing chooser).
    void showNotice(const std::u16string& text);
    const std::u16string& notice() const noexcept { return noticeText; }
    // [UI thread] Paints the picture (or only its meters, over the last one) and puts what
    // changed on the screen now.
    void repaint(bool metersOnly = false);
    // [UI thread] Waits until the server has handled everything sent so far (one round trip);
    // for tests and the benchmark, never on the host's loop.
    void waitForServer();
    // How many frames (or changed bands of one) reached the window (for tests and the benchmark).
    uint64_t framesShown() const noexcept { return frames; }
    // How many times the picture (whole, or its meters) was painted.
    uint64_t paintsDone() const noexcept { return paints; }

    // EditorWindow
    void invalidate() override;
    // Turns the press's grab into one of our own, so that the server tells us when it ends
    // before the release (the window hidden, say), as losing capture does on Windows.
    void captureMouse() override;
    void* dialogOwner() const override;

private:
    void descriptorReady(int fd) override;
    void timerFired() override;
    bool create(uint32_t parent);
    void drainEvents(); // callers hold the client
    // False when the client may be gone or the window was torn down: stop handling events.
    bool dispatch(xcb_generic_event_t* event, bool moreMotionFollows);
    void present(int32_t top, int32_t bottom); // rows of the back buffer to the window
    void connectionLost() noexcept;
    void endGrab();
    bool makeBuffers();
    void freeBuffers() noexcept;
    void loseDrag();

    X11WindowClient& client;
    RunLoopRegistration registration;
    xcb_connection_t* connection = nullptr;
    uint32_t window = 0;          // 0 once the server destroyed it (with its parent)
    xcb_visualtype_t* visual = nullptr;
    uint8_t depth = 0;
    int32_t width = 960;
    int32_t height = 580;
    uint32_t lastPressTime = 0;
    int32_t lastPressX = -100;
    int32_t lastPressY = -100;
    uint32_t backBuffer = 0;      // server pixmap the frame is assembled in
    uint32_t copyContext = 0;     // graphics context for the copy to the window
    cairo_surface_t* image = nullptr;  // the picture, drawn as in the off-screen image
    cairo_surface_t* shown = nullptr;  // what the back buffer holds, to send only what changed
    bool backBufferValid = false;
    cairo_surface_t* server = nullptr; // Cairo's XCB surface on backBuffer
    cairo_device_t* device = nullptr;  // Cairo's state for this connection
    bool dirty = false;
    bool dragging = false;
    bool dispatching = false;
    uint64_t frames = 0;
    uint64_t paints = 0;
    std::u16string noticeText;
};

} // namespace kestravel::plugins

#endif
