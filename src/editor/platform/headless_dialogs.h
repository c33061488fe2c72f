#pragma once
// Dialogs without a screen: file dialogs answer a path set beforehand, message boxes are
// remembered instead of shown. Used by the Linux view and by hosts that drive an editor.

#include <optional>
#include <string>

#include "editor/editor_dialogs.h"

namespace kestravel::plugins {

class HeadlessDialogs final : public EditorDialogs {
public:
    // Every following open or save dialog returns this path; nothing means "cancelled".
    void setFileAnswer(std::optional<std::u16string> path) { fileAnswer = std::move(path); }
    // The text of the last message box, UTF-8; empty before the first.
    const std::string& lastMessage() const noexcept { return message; }
    bool messageShown() const noexcept { return shown; }

    int32_t messageBoxW(void* owner, const std::u16string& text, const std::u16string& caption,
                        uint32_t type) override;
    int32_t messageBoxA(void* owner, const std::string& text, const std::string& caption, uint32_t type) override;
    std::optional<std::u16string> openFile(const FileDialogRequest& request) override;
    std::optional<std::u16string> saveFile(const FileDialogRequest& request) override;

private:
    std::optional<std::u16string> fileAnswer;
    std::string message;
    bool shown = false;
};

} // namespace kestravel::plugins
