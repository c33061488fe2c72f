// A host that closes the editor and unloads the module while one of the module's dialogs is
// open: the dialog returns into code that is still loaded, and the module goes afterwards.

#include "../editor/shown_dialog.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

using namespace Steinberg;

const wchar_t kModuleName[] = L"KestravelPlayer.vst3";

std::filesystem::path playerBinary()
{
    return std::filesystem::path(KESTRAVEL_TEST_BUNDLE_DIR) / "KestravelPlayer.vst3" / "Contents" / "x86_64-win" /
           kModuleName;
}

// What the host holds of the module while its editor is open.
struct Session {
    HMODULE module = nullptr;
    IPluginFactory* factory = nullptr;
    Vst::IComponent* component = nullptr;
    Vst::IEditController* controller = nullptr;
    IPlugView* view = nullptr;
    HWND dialog = nullptr;
    bool unloaded = false;
};
Session session;

// Runs inside the dialog's modal loop: the host closes the editor, unloads the module as a
// DAW does when a project closes, then the user cancels the dialog.
void CALLBACK hostClosesEverything(HWND, UINT, UINT_PTR timer, DWORD)
{
    session.dialog = kestravel::plugins::testing::shownDialog();
    if (!session.dialog || session.unloaded)
        return;
    KillTimer(nullptr, timer);
    session.view->removed();
    session.view->release();
    session.controller->terminate();
    session.controller->release();
    session.component->release();
    session.factory->release();
    using BoolEntry = bool (*)();
    reinterpret_cast<BoolEntry>(reinterpret_cast<void*>(GetProcAddress(session.module, "ExitDll")))();
    FreeLibrary(session.module);
    session.unloaded = true;
    PostMessageW(session.dialog, WM_COMMAND, IDCANCEL, 0);
}

HWND makeParent()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KestravelUnloadTestParent";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 640, nullptr,
                           nullptr, wc.hInstance, nullptr);
}

TEST(ModuleUnload, TheFileDialogReturnsIntoLoadedCodeAndTheModuleGoesAfterwards)
{
    const HWND parent = makeParent();
    ASSERT_NE(parent, nullptr);
    session.module = LoadLibraryW(playerBinary().wstring().c_str());
    ASSERT_NE(session.module, nullptr) << GetLastError();
    using BoolEntry = bool (*)();
    using FactoryEntry = IPluginFactory*(PLUGIN_API*)();
    ASSERT_TRUE(reinterpret_cast<BoolEntry>(reinterpret_cast<void*>(GetProcAddress(session.module, "InitDll")))());
    session.factory =
        reinterpret_cast<FactoryEntry>(reinterpret_cast<void*>(GetProcAddress(session.module, "GetPluginFactory")))();
    ASSERT_NE(session.factory, nullptr);
    PClassInfo info{};
    ASSERT_EQ(session.factory->getClassInfo(0, &info), kResultOk);
    void* obj = nullptr;
    ASSERT_EQ(session.factory->createInstance(info.cid, Vst::IComponent::iid, &obj), kResultOk);
    session.component = static_cast<Vst::IComponent*>(obj);
    ASSERT_EQ(session.component->initialize(nullptr), kResultOk);
    ASSERT_EQ(session.component->queryInterface(Vst::IEditController::iid, &obj), kResultOk);
    session.controller = static_cast<Vst::IEditController*>(obj);
    session.view = session.controller->createView("editor");
    ASSERT_NE(session.view, nullptr);
    ASSERT_EQ(session.view->attached(parent, "HWND"), kResultOk);
    const HWND editor = FindWindowExW(parent, nullptr, L"KestravelUtilityRackEditor", nullptr);
    ASSERT_NE(editor, nullptr);

    SetTimer(nullptr, 0, 100, &hostClosesEverything);
    // "Choose file": the dialog's modal loop runs until the host has unloaded and cancelled.
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 130));
    EXPECT_TRUE(session.unloaded);
    EXPECT_FALSE(IsWindow(editor));

    // Back in the host's loop, the module's last reference goes and the module with it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (GetModuleHandleW(kModuleName) && std::chrono::steady_clock::now() < until) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT | QS_SENDMESSAGE);
    }
    EXPECT_EQ(GetModuleHandleW(kModuleName), nullptr) << "the module stayed loaded";
}

} // namespace
