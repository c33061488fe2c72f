#include "editor/view.h"

#include <cstring>
#include <vector>

#include "editor/editor_state.h"
#include "editor/interaction.h"
#include "editor/paint_view.h"
#include "editor/platform/headless_dialogs.h"
#include "editor/text_util.h"
#include "kestravel/ieditorsnapshot.h"
#include "public.sdk/source/common/pluginview.h"

#ifdef _WIN32
#include "editor/platform/gdi_canvas.h"
#include "editor/platform/win32_dialogs.h"
#include "editor/platform/win32_window.h"
#include "editor/png_file.h"
#else
#include "editor/platform/cairo_canvas.h"
#endif

namespace kestravel::plugins {

DEF_CLASS_IID(IEditorSnapshot)

namespace {

using Steinberg::char8;
using Steinberg::FIDString;
using Steinberg::int32;
using Steinberg::kInvalidArgument;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::tresult;
using Steinberg::uint32;

#ifndef _WIN32
// No window system: nothing to repaint or capture, and dialogs have no owner.
class NoWindow final : public EditorWindow {
public:
    void invalidate() override {}
    void captureMouse() override {}
    void* dialogOwner() const override { return nullptr; }
};
#endif

class View final : public Steinberg::CPluginView,
                   public IEditorSnapshot
#ifdef _WIN32
    ,
                   private EditorWindowClient
#endif
{
public:
    View(EditorHost& editorHost, Steinberg::FUnknown* plugin) : host(editorHost), owner(plugin)
    {
        const Steinberg::ViewRect size(0, 0, kEditorWidth, kEditorHeight);
        setRect(size);
        if (owner)
            owner->addRef();
    }

    ~View() override
    {
#ifdef _WIN32
        window.shutDown();
#endif
        // Last: the module may go with this reference.
        if (owner)
            owner->release();
    }

    tresult PLUGIN_API isPlatformTypeSupported(FIDString type) override
    {
        return type && std::strcmp(type, Steinberg::kPlatformTypeHWND) == 0 ? kResultTrue : kResultFalse;
    }

    tresult PLUGIN_API attached(void* parent, FIDString type) override
    {
#ifdef _WIN32
        if (!window.attach(parent, type))
            return kResultFalse;
        systemWindow = parent;
        return kResultOk;
#else
        (void)parent;
        (void)type;
        return kResultFalse; // only HWND parents exist for this editor
#endif
    }

    tresult PLUGIN_API removed() override
    {
#ifdef _WIN32
        if (!window.teardown())
            return kResultFalse;
        systemWindow = nullptr;
        return window.dropClass() ? kResultOk : kResultFalse;
#else
        systemWindow = nullptr;
        return kResultOk;
#endif
    }

    // IEditorSnapshot
    tresult PLUGIN_API renderPng(const char8* utf8Path) override
    {
        if (!utf8Path)
            return kInvalidArgument;
#ifdef _WIN32
        std::vector<uint32_t> pixels(size_t{kEditorWidth} * size_t{kEditorHeight});
        if (!renderInto(pixels.data()))
            return kResultFalse;
        return writePngFile(utf8Path, pixels.data(), kEditorWidth, kEditorHeight) ? kResultOk : kResultFalse;
#else
        CairoImage image;
        paintView(state, host, image.canvas());
        return image.writePng(utf8Path) ? kResultOk : kResultFalse;
#endif
    }

    tresult PLUGIN_API renderPixels(uint32* argb, int32 width, int32 height) override
    {
        if (!argb || width != kEditorWidth || height != kEditorHeight)
            return kInvalidArgument;
#ifdef _WIN32
        return renderInto(argb) ? kResultOk : kResultFalse;
#else
        CairoImage image;
        paintView(state, host, image.canvas());
        image.copyTo(argb);
        return kResultOk;
#endif
    }

    tresult PLUGIN_API mouseDown(int32 x, int32 y) override
    {
#ifdef _WIN32
        if (HWND w = window.handle()) {
            SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, pointParam(x, y));
            return kResultOk;
        }
#endif
        EditorContext editor = context();
        onMouseDown(editor, x, y);
        return kResultOk;
    }

    tresult PLUGIN_API mouseDrag(int32 x, int32 y) override
    {
#ifdef _WIN32
        if (HWND w = window.handle()) {
            SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, pointParam(x, y));
            return kResultOk;
        }
#endif
        EditorContext editor = context();
        updateDrag(editor, x, y);
        return kResultOk;
    }

    tresult PLUGIN_API mouseUp() override
    {
#ifdef _WIN32
        if (HWND w = window.handle()) {
            SendMessageW(w, WM_LBUTTONUP, 0, 0);
            return kResultOk;
        }
#endif
        endDrag(state);
        return kResultOk;
    }

    tresult PLUGIN_API setDialogAnswer(const char8* utf8Path) override
    {
        headlessDialogs = true;
        if (utf8Path && *utf8Path)
            headless.setFileAnswer(lenientUtf8ToUtf16(utf8Path));
        else
            headless.setFileAnswer(std::nullopt);
        return kResultOk;
    }

    tresult PLUGIN_API getLastMessage(char8* utf8, int32 size) override
    {
        if (!utf8 || size <= 0)
            return kInvalidArgument;
        const std::string& text = headless.lastMessage();
        const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
        std::memcpy(utf8, text.data(), n);
        utf8[n] = '\0';
        return headless.messageShown() ? kResultTrue : kResultFalse;
    }

    OBJ_METHODS(View, CPluginView)
    DEFINE_INTERFACES
        DEF_INTERFACE(IEditorSnapshot)
    END_DEFINE_INTERFACES(CPluginView)
    REFCOUNT_METHODS(CPluginView)

private:
    EditorDialogs& dialogs()
    {
#ifdef _WIN32
        if (!headlessDialogs)
            return systemDialogs;
#endif
        return headless;
    }

    EditorContext context() { return {host, window, dialogs(), state}; }

#ifdef _WIN32
    static LPARAM pointParam(int32 x, int32 y)
    {
        // Client coordinates travel as two signed 16-bit halves.
        const auto lo = static_cast<uint16_t>(static_cast<int16_t>(x));
        const auto hi = static_cast<uint16_t>(static_cast<int16_t>(y));
        return static_cast<LPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
    }

    // The picture through GDI: the window paints itself into a memory context when it
    // exists (WM_PRINTCLIENT), otherwise the editor paints there directly.
    bool renderInto(uint32_t* argb)
    {
        GdiBitmap bitmap;
        if (!bitmap.valid())
            return false;
        if (HWND w = window.handle())
            SendMessageW(w, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bitmap.context()), PRF_CLIENT);
        else
            paint(bitmap.context());
        bitmap.copyTo(argb);
        return true;
    }

    // EditorWindowClient
    void paint(HDC dc) override
    {
        GdiCanvas canvas(dc);
        paintView(state, host, canvas);
    }
    void pointerDown(int32_t x, int32_t y) override
    {
        EditorContext editor = context();
        onMouseDown(editor, x, y);
    }
    void pointerDrag(int32_t x, int32_t y) override
    {
        EditorContext editor = context();
        updateDrag(editor, x, y);
    }
    void dragEnded() override { endDrag(state); }
    void hold() override { addRef(); }
    void letGo() override { release(); }
#endif

    EditorHost& host;
    Steinberg::FUnknown* owner;
    EditorState state;
    HeadlessDialogs headless;
    bool headlessDialogs = false;
#ifdef _WIN32
    Win32Dialogs systemDialogs;
    Win32EditorWindow window{*this};
#else
    NoWindow window;
#endif
};

} // namespace

Steinberg::IPlugView* createEditorView(EditorHost& host, Steinberg::FUnknown* owner)
{
    return new View(host, owner);
}

} // namespace kestravel::plugins
