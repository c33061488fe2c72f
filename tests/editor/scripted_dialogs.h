#pragma once
// Dialogs whose answers the test gives beforehand; every box and dialog is recorded.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "editor/editor_dialogs.h"
#include "editor/editor_window.h"

namespace kestravel::plugins::testing {

struct MessageBoxCall {
    bool wide;            // MessageBoxW rather than MessageBoxA
    void* owner;
    std::u16string text;  // MessageBoxA texts widened byte by byte
    std::u16string caption;
    uint32_t type;
};

struct FileDialogCall {
    bool save;
    FileDialogRequest request;
};

class ScriptedDialogs : public EditorDialogs {
public:
    std::deque<std::optional<std::u16string>> fileAnswers; // nothing: the user cancels
    std::vector<MessageBoxCall> boxes;
    std::vector<FileDialogCall> fileDialogs;

    int32_t messageBoxW(void* owner, const std::u16string& text, const std::u16string& caption,
                        uint32_t type) override
    {
        boxes.push_back({true, owner, text, caption, type});
        return 1;
    }
    int32_t messageBoxA(void* owner, const std::string& text, const std::string& caption, uint32_t type) override
    {
        boxes.push_back({false, owner, widen(text), widen(caption), type});
        return 1;
    }
    std::optional<std::u16string> openFile(const FileDialogRequest& request) override { return answer(false, request); }
    std::optional<std::u16string> saveFile(const FileDialogRequest& request) override { return answer(true, request); }

private:
    static std::u16string widen(const std::string& s)
    {
        return std::u16string(s.begin(), s.end());
    }
    std::optional<std::u16string> answer(bool save, const FileDialogRequest& request)
    {
        fileDialogs.push_back({save, request});
        if (fileAnswers.empty())
            return std::nullopt;
        auto a = fileAnswers.front();
        fileAnswers.pop_front();
        return a;
    }
};

class FakeWindow : public EditorWindow {
public:
    int invalidations = 0;
    int captures = 0;
    void* owner = reinterpret_cast<void*>(0x1234);

    void invalidate() override { ++invalidations; }
    void captureMouse() override { ++captures; }
    void* dialogOwner() const override { return owner; }
};

} // namespace kestravel::plugins::testing
