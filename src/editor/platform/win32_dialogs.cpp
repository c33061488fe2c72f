#ifdef _WIN32

#include "editor/platform/win32_dialogs.h"
#include "editor/platform/win32_module_hold.h"

#include <windows.h>

#include <commdlg.h>

#include <utility>
#include <vector>

namespace kestravel::plugins {

namespace {

LPCWSTR wide(const std::u16string& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

std::optional<std::u16string> runFileDialog(const FileDialogRequest& request, bool save)
{
    std::vector<wchar_t> buffer(kFileDialogBufferUnits, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = static_cast<HWND>(request.owner);
    ofn.lpstrFilter = wide(request.filter);
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = kFileDialogBufferUnits;
    ofn.lpstrDefExt = wide(request.defaultExtension);
    ofn.Flags = request.flags;
    BOOL chosen;
    {
        ModuleHold keepLoaded;
        chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    }
    if (!chosen)
        return std::nullopt;
    // The last unit always stays NUL, so the text ends inside the buffer.
    buffer.back() = L'\0';
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()));
}

} // namespace

int32_t Win32Dialogs::messageBoxW(void* owner, const std::u16string& text, const std::u16string& caption,
                                  uint32_t type)
{
    ModuleHold keepLoaded;
    return MessageBoxW(static_cast<HWND>(owner), wide(text), wide(caption), type);
}

int32_t Win32Dialogs::messageBoxA(void* owner, const std::string& text, const std::string& caption, uint32_t type)
{
    ModuleHold keepLoaded;
    return MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), type);
}

std::optional<std::u16string> Win32Dialogs::openFile(const FileDialogRequest& request)
{
    return runFileDialog(request, false);
}

std::optional<std::u16string> Win32Dialogs::saveFile(const FileDialogRequest& request)
{
    return runFileDialog(request, true);
}

void Win32Dialogs::askOpenFile(const FileDialogRequest& request, FileAnswer done)
{
    const uint64_t asked = generation;
    auto chosen = openFile(request);
    if (done && asked == generation)
        done(std::move(chosen));
}

void Win32Dialogs::askSaveFile(const FileDialogRequest& request, FileAnswer done)
{
    const uint64_t asked = generation;
    auto chosen = saveFile(request);
    if (done && asked == generation)
        done(std::move(chosen));
}

void Win32Dialogs::askMessageBoxW(void* owner, const std::u16string& text, const std::u16string& caption,
                                  uint32_t type, BoxAnswer done)
{
    const uint64_t asked = generation;
    const int32_t button = messageBoxW(owner, text, caption, type);
    if (done && asked == generation)
        done(button);
}

} // namespace kestravel::plugins

#endif
