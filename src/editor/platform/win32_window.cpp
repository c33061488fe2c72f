#ifdef _WIN32

#include "editor/platform/win32_window.h"

#include <cstring>

#include "editor/geometry.h"
#include "editor/interaction.h"

namespace kestravel::plugins {

namespace {

// The one lock of the editor: the process-wide count of class users and the register and
// unregister calls it decides. A slim reader/writer lock needs no initialisation order.
SRWLOCK classMutex = SRWLOCK_INIT;
int32_t classUseCount = 0;

class ClassLock {
public:
    ClassLock() noexcept { AcquireSRWLockExclusive(&classMutex); }
    ~ClassLock() { ReleaseSRWLockExclusive(&classMutex); }
    ClassLock(const ClassLock&) = delete;
    ClassLock& operator=(const ClassLock&) = delete;
};

int32_t xFrom(LPARAM lParam) { return static_cast<int16_t>(LOWORD(static_cast<DWORD_PTR>(lParam))); }
int32_t yFrom(LPARAM lParam) { return static_cast<int16_t>(HIWORD(static_cast<DWORD_PTR>(lParam))); }

uint32_t modifiersFrom(WPARAM keys)
{
    return ((keys & MK_SHIFT) ? kModifierShift : 0u) | ((keys & MK_CONTROL) ? kModifierControl : 0u);
}

} // namespace

int32_t Win32EditorWindow::classUses()
{
    ClassLock lock;
    return classUseCount;
}

bool Win32EditorWindow::attach(void* parentWindow, const char* type)
{
    HWND parent = static_cast<HWND>(parentWindow);
    if (window || classRegistered || !parent || !IsWindow(parent) || !type || std::strcmp(type, "HWND") != 0)
        return false;

    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&Win32EditorWindow::procedure), &module) ||
        !module) {
        moduleInstance = nullptr;
        return false;
    }
    moduleInstance = module;

    {
        ClassLock lock;
        if (classUseCount == 0) {
            WNDCLASSW wc{};
            wc.style = CS_DBLCLKS; // the second press of a double click resets a gain
            wc.lpfnWndProc = &Win32EditorWindow::procedure;
            wc.hInstance = moduleInstance;
            wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            wc.lpszClassName = kEditorWindowClass;
            if (!RegisterClassW(&wc)) {
                // Left registered by this same module (same procedure) is fine; anything else is not ours.
                WNDCLASSW existing{};
                const bool ours = GetLastError() == ERROR_CLASS_ALREADY_EXISTS &&
                                  GetClassInfoW(moduleInstance, kEditorWindowClass, &existing) &&
                                  existing.hInstance == moduleInstance &&
                                  existing.lpfnWndProc == &Win32EditorWindow::procedure;
                if (!ours) {
                    moduleInstance = nullptr;
                    return false;
                }
            }
        }
        ++classUseCount;
    }
    classRegistered = true;

    window = CreateWindowExW(0, kEditorWindowClass, kEditorWindowTitle, WS_CHILD | WS_VISIBLE, 0, 0, pixelsWide,
                             pixelsHigh, parent, nullptr, moduleInstance, this);
    if (!window) {
        releaseClassUse(moduleInstance);
        classRegistered = false;
        moduleInstance = nullptr;
        return false;
    }
    SetTimer(window, kRepaintTimerId, kRepaintPeriodMs, nullptr);
    return true;
}

bool Win32EditorWindow::teardown()
{
    HWND w = window;
    if (w && IsWindow(w)) {
        KillTimer(w, kRepaintTimerId);
        bool done;
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId())
            done = DestroyWindow(w) != 0;
        else
            done = SendMessageW(w, kEditorCloseMessage, 0, 0) != 0; // blocks until its thread has answered
        if (!done && IsWindow(w))
            return false;
    }
    window = nullptr;
    return true;
}

bool Win32EditorWindow::releaseClassUse(HMODULE module)
{
    {
        ClassLock lock;
        if (classUseCount > 0) {
            --classUseCount;
            if (classUseCount == 0 && !UnregisterClassW(kEditorWindowClass, module)) {
                classUseCount = 1;
                return false;
            }
        }
    }
    return true;
}

bool Win32EditorWindow::dropClass()
{
    if (!classRegistered)
        return true;
    if (!releaseClassUse(moduleInstance))
        return false;
    classRegistered = false;
    moduleInstance = nullptr;
    return true;
}

void Win32EditorWindow::shutDown()
{
    if (!teardown()) {
        // The window outlives its editor. It must never reach it again, nor this module's
        // procedure (the library may be unloaded while the window lives): hand it to the
        // default procedure, then forget the pointer. Its class use stays, as nothing may
        // unregister a class that a window still uses.
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        window = nullptr;
        return;
    }
    dropClass();
}

void Win32EditorWindow::invalidate()
{
    bufferCurrent = false;
    if (window)
        InvalidateRect(window, nullptr, FALSE);
}

void Win32EditorWindow::freeBuffer() noexcept
{
    if (bufferContext) {
        SelectObject(bufferContext, bufferPrevious);
        DeleteDC(bufferContext);
    }
    if (buffer)
        DeleteObject(buffer);
    bufferContext = nullptr;
    buffer = nullptr;
    bufferPrevious = nullptr;
    bufferCurrent = false;
}

void Win32EditorWindow::setSize(int32_t width, int32_t height)
{
    if (width != pixelsWide || height != pixelsHigh)
        freeBuffer();
    pixelsWide = width;
    pixelsHigh = height;
    if (window)
        SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void Win32EditorWindow::captureMouse()
{
    if (window)
        SetCapture(window);
}

LRESULT CALLBACK Win32EditorWindow::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<Win32EditorWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Win32EditorWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(hwnd, message, wParam, lParam);
}

void Win32EditorWindow::paintBuffered(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(hwnd, &ps);
    if (!bufferContext) {
        bufferContext = CreateCompatibleDC(screen);
        buffer = CreateCompatibleBitmap(screen, pixelsWide, pixelsHigh);
        bufferPrevious = bufferContext && buffer ? SelectObject(bufferContext, buffer) : nullptr;
        bufferCurrent = false;
    }
    if (bufferContext && buffer) {
        if (!bufferCurrent) {
            client.paint(bufferContext);
            ++wholePaintCount;
        } else if (metersPending) {
            client.paintMeters(bufferContext);
            ++meterPaintCount;
        }
        bufferCurrent = true;
        metersPending = false;
        // Only what the system asks for: a meters-only frame sends only the meters.
        BitBlt(screen, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, bufferContext, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    } else {
        freeBuffer();
        client.paint(screen); // no memory for a buffer: straight to the window
        ++wholePaintCount;
    }
    EndPaint(hwnd, &ps);
}

LRESULT Win32EditorWindow::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: paintBuffered(hwnd); return 0;
    case WM_ERASEBKGND: return 1; // the paint covers every pixel
    case WM_TIMER:
        if (wParam != kRepaintTimerId)
            return 0;
        // Nothing changed: nothing is painted or sent.
        switch (client.look()) {
        case LookResult::Whole: invalidate(); break;
        case LookResult::Meters:
            metersPending = true;
            for (const Rect& r : client.meterAreas()) {
                const RECT area{r.left, r.top, r.right, r.bottom};
                InvalidateRect(hwnd, &area, FALSE);
            }
            break;
        case LookResult::Nothing: break;
        }
        if (const UINT period = client.metersMoving() ? kRepaintPeriodMs : kIdleRepaintPeriodMs;
            period != timerPeriod) {
            timerPeriod = period;
            SetTimer(hwnd, kRepaintTimerId, period, nullptr);
        }
        return 0;
    case WM_MOUSEMOVE:
        if (wParam & MK_LBUTTON) {
            client.hold();
            client.pointerDrag(xFrom(lParam), yFrom(lParam), modifiersFrom(wParam));
            client.letGo();
        } else {
            client.pointerHover(xFrom(lParam), yFrom(lParam));
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        // A dialog opened from here runs a modal loop, in which the host may drop the view.
        client.hold();
        client.pointerDown(xFrom(lParam), yFrom(lParam), modifiersFrom(wParam), message == WM_LBUTTONDBLCLK);
        client.letGo();
        return 0;
    case WM_LBUTTONUP:
        client.pointerUp();
        ReleaseCapture();
        return 0;
    case WM_RBUTTONDOWN: return 0;
    case WM_RBUTTONUP:
        // As the system's context menus: on the release. The host's menu runs a modal loop.
        if (!(wParam & MK_LBUTTON)) {
            client.hold();
            client.contextMenu(xFrom(lParam), yFrom(lParam));
            client.letGo();
        }
        return 0;
    case WM_CAPTURECHANGED: client.captureLost(); return 0;
    case WM_MOUSEWHEEL: {
        // The position comes in screen coordinates; 120 is one notch.
        POINT p{xFrom(lParam), yFrom(lParam)};
        ScreenToClient(hwnd, &p);
        const double notches = GET_WHEEL_DELTA_WPARAM(wParam) / double{WHEEL_DELTA};
        if (client.pointerWheel(p.x, p.y, notches, modifiersFrom(GET_KEYSTATE_WPARAM(wParam))))
            return 0;
        return DefWindowProcW(hwnd, message, wParam, lParam); // the parent may scroll
    }
    case WM_PRINTCLIENT: client.paint(reinterpret_cast<HDC>(wParam)); return 0;
    case kEditorCloseMessage:
        KillTimer(hwnd, kRepaintTimerId);
        return DestroyWindow(hwnd) ? 1 : 0;
    case WM_NCDESTROY:
        freeBuffer();
        // Destroyed in the middle of a drag (say with its parent): the gesture still closes.
        client.captureLost();
        window = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace kestravel::plugins

#endif
