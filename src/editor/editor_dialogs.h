#pragma once
// Message boxes and file dialogs. Windows shows the system's own, modal; Linux runs the
// desktop's chooser as a helper process and answers later; tests and headless hosts script the
// answers.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kestravel::plugins {

// Message box type flags, with the values the system uses.
inline constexpr uint32_t kMbOk = 0x00000000;
inline constexpr uint32_t kMbYesNo = 0x00000004;
inline constexpr uint32_t kMbIconError = 0x00000010;
inline constexpr uint32_t kMbIconQuestion = 0x00000020;
inline constexpr uint32_t kMbIconWarning = 0x00000030;
inline constexpr uint32_t kMbIconInformation = 0x00000040;

// Open/save dialog flags, with the values the system uses.
inline constexpr uint32_t kOfnNoChangeDir = 0x00000008;
inline constexpr uint32_t kOfnPathMustExist = 0x00000800;
inline constexpr uint32_t kOfnFileMustExist = 0x00001000;
inline constexpr uint32_t kOfnExplorer = 0x00080000;

// The buttons a message box answers with.
inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdYes = 6;
inline constexpr int32_t kIdNo = 7;

inline constexpr uint32_t kFileDialogBufferUnits = 32768;

struct FileDialogRequest {
    void* owner = nullptr;
    std::u16string filter;           // pairs of description and pattern, each NUL-terminated, then one more NUL
    std::u16string defaultExtension; // without the dot
    uint32_t flags = 0;
};

using FileAnswer = std::function<void(std::optional<std::u16string>)>;
using BoxAnswer = std::function<void(int32_t)>;

// [UI thread] The first four calls are modal: each returns when the user has answered (on
// Linux, where nothing may wait, a box returns kIdOk at once and a file dialog nothing). The
// ask calls hand the answer to done on the UI thread: before they return for modal dialogs,
// later from the host's run loop on Linux; never after the dialogs were closed.
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

    virtual void askOpenFile(const FileDialogRequest& request, FileAnswer done)
    {
        auto chosen = openFile(request);
        if (done)
            done(std::move(chosen));
    }
    virtual void askSaveFile(const FileDialogRequest& request, FileAnswer done)
    {
        auto chosen = saveFile(request);
        if (done)
            done(std::move(chosen));
    }
    virtual void askMessageBoxW(void* owner, const std::u16string& text, const std::u16string& caption, uint32_t type,
                                BoxAnswer done)
    {
        const int32_t button = messageBoxW(owner, text, caption, type);
        if (done)
            done(button);
    }
};

} // namespace kestravel::plugins
