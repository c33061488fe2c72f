#pragma once
// Windows tests that act from inside a modal dialog's loop (a thread timer fires there) find
// the dialog with this.

#include <windows.h>

#include <string>

namespace kestravel::plugins::testing {

// The dialog (file dialog or message box) this thread shows now, or null.
inline HWND shownDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM out) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(hwnd, name, 16);
            if (std::wstring(name) != L"#32770" || !IsWindowVisible(hwnd))
                return TRUE;
            *reinterpret_cast<HWND*>(out) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace kestravel::plugins::testing
