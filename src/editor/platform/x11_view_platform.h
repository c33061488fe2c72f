#pragma once
// Everything a view needs to live in a Linux host: the run loop found through the host's
// IPlugFrame, the X11 child window on it, and dialogs answered through that run loop.

#ifndef _WIN32

#include <cstdint>

#include "editor/platform/desktop_dialogs.h"
#include "editor/platform/x11_window.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins {

class X11ViewPlatform {
public:
    explicit X11ViewPlatform(X11WindowClient& client);
    ~X11ViewPlatform() { remove(); }
    X11ViewPlatform(const X11ViewPlatform&) = delete;
    X11ViewPlatform& operator=(const X11ViewPlatform&) = delete;

    // [UI thread] Shows the editor in parent at the given size, on the run loop that frame
    // offers. False, with nothing created or registered, when the type is not exactly
    // "X11EmbedWindowID", the parent is no window, the frame offers no IRunLoop, the host
    // refuses a registration, or a window is already shown.
    bool attach(void* parent, const char* type, Steinberg::IPlugFrame* frame, int32_t width, int32_t height);
    // [UI thread] Window, registrations, a running dialog and its answer: all gone. Repeatable.
    void remove() noexcept;
    bool attached() const noexcept { return window.attached(); }
    bool resize(int32_t width, int32_t height) { return window.resize(width, height); }

    X11EditorWindow& editorWindow() noexcept { return window; }
    // The dialogs to use while attached (they answer later, through the run loop).
    DesktopDialogs& desktopDialogs() noexcept { return dialogs; }

private:
    X11EditorWindow window;
    DesktopDialogs dialogs;
};

} // namespace kestravel::plugins

#endif
