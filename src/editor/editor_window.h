#pragma once
// What interaction asks of the window it runs in.

namespace kestravel::plugins {

// [UI thread]
class EditorWindow {
public:
    virtual ~EditorWindow() = default;
    // Repaint the whole picture soon, without erasing (InvalidateRect).
    virtual void invalidate() = 0;
    // Keep receiving pointer motion while the button is held (SetCapture).
    virtual void captureMouse() = 0;
    // The window that owns dialogs and message boxes (an HWND on Windows, null elsewhere).
    virtual void* dialogOwner() const = 0;
};

} // namespace kestravel::plugins
