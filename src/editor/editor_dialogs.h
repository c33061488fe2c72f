#pragma once
// Message boxes and file dialogs. Windows shows the system's own; tests and headless hosts
// script the answers.

#include <cstdint>
#include <optional>
#include <string>

namespace kestravel::plugins {

// Message box type flags, with the values the system uses.
inline constexpr uint32_t kMbOk = 0x00000000;
inline constexpr uint32_t kMbIconError = 0x00000010;
inline constexpr uint32_t kMbIconInformation = 0x00000040;

// Open/save dialog flags, with the values the system uses.
inline constexpr uint32_t kOfnNoChangeDir = 0x00000008;
inline constexpr uint32_t kOfnPathMustExist = 0x00000800;
inline constexpr uint32_t kOfnFileMustExist = 0x00001000;
inline constexpr uint32_t kOfnExplorer = 0x00080000;

inline constexpr uint32_t kFileDialogBufferUnits = 32768;

struct FileDialogRequest {
    void* owner = nullptr;
    std::u16string filter;           // pairs of description and pattern, each NUL-terminated, then one more NUL
    std::u16string defaultExtension; // without the dot
    uint32_t flags = 0;
};

// [UI thread] Modal: every call returns when the user has answered.
class EditorDialogs {
public:
    virtual ~EditorDialogs() = default;
    // MessageBoxW; returns the button the user pressed.
    virtual int32_t messageBoxW(void* owner, const std::u16string& text, const std::u16string& caption,
                                uint32_t type) = 0;
    // MessageBoxA, for texts that arrive as 8-bit characters.
    virtual int32_t messageBoxA(void* owner, const std::string& text, const std::string& caption, uint32_t type) = 0;
    // GetOpenFileNameW / GetSaveFileNameW: the chosen path, or nothing when cancelled or failed.
    virtual std::optional<std::u16string> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::u16string> saveFile(const FileDialogRequest& request) = 0;
};

} // namespace kestravel::plugins
