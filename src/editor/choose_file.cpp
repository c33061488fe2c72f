#include "editor/choose_file.h"

#include <memory>
#include <string_view>

namespace kestravel::plugins {

namespace {

// One filter entry, double-NUL terminated.
constexpr char16_t kWavFilter[] = u"WAV audio\0*.wav\0";

} // namespace

bool chooseFile(EditorHost& host, EditorDialogs& dialogs, void* owner)
{
    const ModuleKind kind = host.editorKind();
    if (kind == RECORDER && host.recorderRecording()) {
        dialogs.messageBoxW(owner, u"Stop recording before choosing a new destination.", u"KESTRAVEL RECORDER", kMbOk);
        return false;
    }

    FileDialogRequest request;
    request.owner = owner;
    request.filter.assign(kWavFilter, std::size(kWavFilter)); // includes the closing NUL
    request.defaultExtension = u"wav";
    request.flags = kOfnExplorer | kOfnPathMustExist | kOfnNoChangeDir;
    if (kind == PLAYER)
        request.flags |= kOfnFileMustExist;

    auto taken = std::make_shared<bool>(false);
    // The dialogs object forgets this answer when it is closed, so host and dialogs outlive it.
    FileAnswer apply = [&host, &dialogs, owner, kind, taken](std::optional<std::u16string> chosen) {
        if (!chosen)
            return;
        // The dialog's buffer ends at its first NUL.
        const std::u16string path(std::u16string_view(*chosen).substr(0, chosen->find(u'\0')));
        std::string message;
        if (!host.setFile(path, message)) {
            dialogs.messageBoxA(owner, message, kindDisplayName(kind), kMbOk | kMbIconError);
            return;
        }
        *taken = true;
    };
    if (kind == PLAYER)
        dialogs.askOpenFile(request, std::move(apply));
    else
        dialogs.askSaveFile(request, std::move(apply));
    return *taken;
}

} // namespace kestravel::plugins
