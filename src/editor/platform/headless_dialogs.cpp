#include "editor/platform/headless_dialogs.h"

#include "editor/text_util.h"

namespace kestravel::plugins {

int32_t HeadlessDialogs::messageBoxW(void*, const std::u16string& text, const std::u16string&, uint32_t)
{
    message = lenientUtf16ToUtf8(text);
    shown = true;
    return kIdOk;
}

int32_t HeadlessDialogs::messageBoxA(void*, const std::string& text, const std::string&, uint32_t)
{
    message = text;
    shown = true;
    return kIdOk;
}

std::optional<std::u16string> HeadlessDialogs::openFile(const FileDialogRequest&) { return fileAnswer; }

std::optional<std::u16string> HeadlessDialogs::saveFile(const FileDialogRequest&) { return fileAnswer; }

} // namespace kestravel::plugins
