#pragma once
// The editor's child window: the shared window class, creation, the repaint timer, the
// window procedure and teardown, also from a thread that does not own the window.

#ifdef _WIN32

#include <windows.h>

#include <cstdint>
#include <vector>

#include "editor/editor_looks.h"
#include "editor/editor_window.h"
#include "editor/geometry.h"

namespace kestravel::plugins {

inline constexpr wchar_t kEditorWindowClass[] = L"KestravelUtilityRackEditor";
inline constexpr wchar_t kEditorWindowTitle[] = L"KESTRAVEL";
inline constexpr UINT kEditorCloseMessage = WM_APP + 0x39; // 0x8039: destroy on the window's own thread
inline constexpr UINT_PTR kRepaintTimerId = 1;
// Every tick looks (editor_looks.h): at the meters' pace while one moves, slower when all rest,
// since each timer message costs, under Wine most of all.
inline constexpr UINT kRepaintPeriodMs = kEditorTickMs;
inline constexpr UINT kIdleRepaintPeriodMs = kEditorTickMs * kIdleTicksPerLook;

// What the window procedure hands on to the editor, in client (device) pixels. [UI thread]
class EditorWindowClient {
public:
    virtual ~EditorWindowClient() = default;
    virtual void paint(HDC dc) = 0; // the whole picture into dc
    virtual void paintMeters(HDC dc) { paint(dc); } // the meters alone, over the last picture in dc
    // A timer tick: what changed (a client that cannot tell: everything), and for meters,
    // their areas in device pixels.
    virtual LookResult look() { return LookResult::Whole; }
    virtual std::vector<Rect> meterAreas() const { return {}; }
    // A meter still moves: the next look should come at the meters' pace.
    virtual bool metersMoving() const { return false; }
    // May run modal dialogs. modifiers: kModifierShift / kModifierControl of editor/interaction.h.
    virtual void pointerDown(int32_t x, int32_t y, uint32_t modifiers, bool doubleClick) = 0;
    virtual void pointerDrag(int32_t x, int32_t y, uint32_t modifiers) = 0;
    virtual void pointerHover(int32_t x, int32_t y) = 0;
    // True when a control was under the pointer.
    virtual bool pointerWheel(int32_t x, int32_t y, double notches, uint32_t modifiers) = 0;
    virtual void pointerUp() = 0;
    virtual void captureLost() = 0;
    // A right click (its release, outside a drag): the host's menu of the control there, if
    // any. May run the host's modal menu loop.
    virtual void contextMenu(int32_t x, int32_t y) = 0;
    // Keeps the client alive while a message that can run a modal loop is handled.
    virtual void hold() = 0;
    virtual void letGo() = 0;
};

class Win32EditorWindow final : public EditorWindow {
public:
    explicit Win32EditorWindow(EditorWindowClient& owner) noexcept : client(owner) {}
    ~Win32EditorWindow() override { freeBuffer(); }
    Win32EditorWindow(const Win32EditorWindow&) = delete;
    Win32EditorWindow& operator=(const Win32EditorWindow&) = delete;

    // [UI thread] Creates the child window in parent; false (nothing changed) on any refusal.
    bool attach(void* parent, const char* type);
    // [any thread] Destroys the window (through its own thread when needed); false when it
    // survives, and then everything is kept so that a later call can try again.
    bool teardown();
    // [any thread] Gives back the class use this editor holds, if any; false when the class
    // could not be unregistered (the use is then kept).
    bool dropClass();
    // [any thread] The last word before the client dies: tears down as far as possible, and a
    // window that survives is cut off from the client and from this module's code.
    void shutDown();

    HWND handle() const noexcept { return window; }
    // [UI thread] The client size in device pixels (960 x 580 times the editor's scale); the
    // window follows at once when it exists, and is created at this size otherwise.
    void setSize(int32_t width, int32_t height);
    bool holdsClass() const noexcept { return classRegistered; }

    // EditorWindow [UI thread]
    void invalidate() override;
    void captureMouse() override;
    void* dialogOwner() const override { return window; }

    // How many views hold the window class in this process (for tests).
    static int32_t classUses();
    // Paints so far: whole pictures and meters-only frames (for tests and the benchmark).
    uint64_t wholePaints() const noexcept { return wholePaintCount; }
    uint64_t meterPaints() const noexcept { return meterPaintCount; }

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void paintBuffered(HWND hwnd);
    static bool releaseClassUse(HMODULE module);

    EditorWindowClient& client;
    HWND window = nullptr;             // cleared on WM_NCDESTROY
    HMODULE moduleInstance = nullptr;  // null while no class use is held
    // The picture as last painted, kept between paints: a meters-only paint goes over it, and a
    // system expose is answered from it.
    HDC bufferContext = nullptr;
    HBITMAP buffer = nullptr;
    HGDIOBJ bufferPrevious = nullptr;
    bool bufferCurrent = false; // holds the whole picture as of the last whole paint
    bool metersPending = false; // meter areas were invalidated since the last paint
    UINT timerPeriod = kRepaintPeriodMs;
    void freeBuffer() noexcept;
    bool classRegistered = false;
    int32_t pixelsWide = kEditorWidth;
    int32_t pixelsHigh = kEditorHeight;
    uint64_t wholePaintCount = 0;
    uint64_t meterPaintCount = 0;
};

} // namespace kestravel::plugins

#endif
