#pragma once
// The system's message boxes and common file dialogs.

#ifdef _WIN32

#include "editor/editor_dialogs.h"

namespace kestravel::plugins {

class Win32Dialogs final : public EditorDialogs {
public:
    int32_t messageBoxW(void* owner, const std::u16string& text, const std::u16string& caption,
                        uint32_t type) override;
    int32_t messageBoxA(void* owner, const std::string& text, const std::string& caption, uint32_t type) override;
    std::optional<std::u16string> openFile(const FileDialogRequest& request) override;
    std::optional<std::u16string> saveFile(const FileDialogRequest& request) override;

    // The answers of the dialogs open now go nowhere: their editor was removed meanwhile.
    void askOpenFile(const FileDialogRequest& request, FileAnswer done) override;
    void askSaveFile(const FileDialogRequest& request, FileAnswer done) override;
    void askMessageBoxW(void* owner, const std::u16string& text, const std::u16string& caption, uint32_t type,
                        BoxAnswer done) override;
    // [UI thread] Drops the answers of every dialog open now (the view was removed).
    void close() noexcept { ++generation; }

private:
    uint64_t generation = 0;
};

} // namespace kestravel::plugins

#endif
