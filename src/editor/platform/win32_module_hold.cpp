#ifdef _WIN32

#include "editor/platform/win32_module_hold.h"

#include <new>

namespace kestravel::plugins {

namespace {

struct Release {
    HMODULE module;
    HWND marker; // a window of this thread whose procedure is the system's
};

// The helper thread: waits until the UI thread takes messages again, which it does only
// outside our code, then frees the module and ends in the same system call.
DWORD WINAPI releaseWhenOutside(void* parameter)
{
    const Release release = *static_cast<Release*>(parameter);
    delete static_cast<Release*>(parameter);
    SendMessageW(release.marker, WM_NULL, 0, 0); // also returns when the thread or window is gone
    PostMessageW(release.marker, WM_CLOSE, 0, 0); // the system's procedure destroys it on its thread
    FreeLibraryAndExitThread(release.module, 0);
}

} // namespace

ModuleHold::ModuleHold() noexcept
{
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&releaseWhenOutside),
                            &module))
        module = nullptr;
}

ModuleHold::~ModuleHold()
{
    if (!module)
        return;
    // A release from here could unload the module under the rest of this call. When the hand
    // off cannot be set up, the reference stays: a module kept loaded is safe, a freed one is not.
    HWND marker = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!marker)
        return;
    auto* release = new (std::nothrow) Release{module, marker};
    if (!release) {
        DestroyWindow(marker);
        return;
    }
    HANDLE thread = CreateThread(nullptr, 0, &releaseWhenOutside, release, 0, nullptr);
    if (!thread) {
        delete release;
        DestroyWindow(marker);
        return;
    }
    CloseHandle(thread);
}

} // namespace kestravel::plugins

#endif
