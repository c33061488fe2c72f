#include "editor/view.h"

#include <cstring>
#include <vector>

#include "editor/editor_looks.h"
#include "editor/editor_state.h"
#include "editor/interaction.h"
#include "editor/paint_view.h"
#include "editor/platform/headless_dialogs.h"
#include "editor/text_util.h"
#include "kestravel/ieditorsnapshot.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstplugview.h"
#include "public.sdk/source/common/pluginview.h"

#ifdef _WIN32
#include "editor/platform/gdi_canvas.h"
#include "editor/platform/win32_dialogs.h"
#include "editor/platform/win32_module_hold.h"
#include "editor/platform/win32_window.h"
#include "editor/png_file.h"
#else
#include "editor/platform/cairo_canvas.h"
#include "editor/platform/x11_view_platform.h"
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

static_assert(kEditorModifierShift == kModifierShift && kEditorModifierControl == kModifierControl,
              "the snapshot interface hands its key bits straight to the editor");

class View final : public Steinberg::CPluginView,
                   public Steinberg::IPlugViewContentScaleSupport,
                   public Steinberg::Vst::IParameterFinder,
                   public IEditorSnapshot
    ,
#ifdef _WIN32
                   private EditorWindowClient
#else
                   private X11WindowClient
#endif
{
public:
    View(EditorHost& editorHost, EditorEdits& editorEdits, Steinberg::FUnknown* plugin,
         const ComponentHandlerSource* handlerSource)
        : host(editorHost), edits(editorEdits), owner(plugin), handlers(handlerSource)
    {
        const Steinberg::ViewRect size(0, 0, kEditorWidth, kEditorHeight);
        setRect(size);
        if (owner)
            owner->addRef();
    }

    ~View() override
    {
        // A drag cut short by the view's end still closes its gesture.
        endPointer();
#ifdef _WIN32
        window.shutDown();
#else
        platform.remove();
#endif
        // Last: the module may go with this reference.
        if (owner)
            owner->release();
    }

    tresult PLUGIN_API isPlatformTypeSupported(FIDString type) override
    {
#ifdef _WIN32
        const FIDString ours = Steinberg::kPlatformTypeHWND;
#else
        const FIDString ours = Steinberg::kPlatformTypeX11EmbedWindowID;
#endif
        return type && std::strcmp(type, ours) == 0 ? kResultTrue : kResultFalse;
    }

    tresult PLUGIN_API attached(void* parent, FIDString type) override
    {
        // The window paints the whole picture now: the next look compares with this one.
        looks.look(state, host, steadySeconds());
#ifdef _WIN32
        if (!window.attach(parent, type))
            return kResultFalse;
#else
        // The host's run loop comes through the frame it set before attaching.
        if (!platform.attach(parent, type, plugFrame, pixelsWide(), pixelsHigh()))
            return kResultFalse;
#endif
        systemWindow = parent;
        // A host that set the scale before it had a frame, and sized its window from an
        // earlier getSize, learns the size now.
        sizeUntold = rect.getWidth() != sizeAsked.getWidth() || rect.getHeight() != sizeAsked.getHeight();
        tellSize();
        return kResultOk;
    }

    tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override
    {
        const tresult result = CPluginView::getSize(size);
        if (result == kResultTrue || result == kResultOk) {
            sizeAsked = rect;
            sizeUntold = false;
        }
        return result;
    }

    tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override
    {
        const tresult result = CPluginView::setFrame(frame);
        if (isAttached())
            tellSize();
        return result;
    }

    // IParameterFinder: the control under the pointer, in the view's (scaled) pixels.
    tresult PLUGIN_API findParameter(int32 xPos, int32 yPos, Steinberg::Vst::ParamID& resultTag) override
    {
        uint32_t id = 0;
        if (!parameterAt(context(), xPos, yPos, id))
            return kResultFalse;
        resultTag = id;
        return kResultTrue;
    }

    tresult PLUGIN_API removed() override
    {
        endPointer();
        sizeUntold = false;
#ifdef _WIN32
        // A dialog still open answers nobody once its editor is gone.
        systemDialogs.close();
        if (!window.teardown())
            return kResultFalse;
        systemWindow = nullptr;
        return window.dropClass() ? kResultOk : kResultFalse;
#else
        platform.remove();
        systemWindow = nullptr;
        return kResultOk;
#endif
    }

    // IEditorSnapshot
    tresult PLUGIN_API renderPng(const char8* utf8Path) override
    {
        if (!utf8Path)
            return kInvalidArgument;
        lookForSnapshot();
#ifdef _WIN32
        std::vector<uint32_t> pixels(static_cast<size_t>(pixelsWide()) * static_cast<size_t>(pixelsHigh()));
        if (!renderInto(pixels.data()))
            return kResultFalse;
        return writePngFile(utf8Path, pixels.data(), pixelsWide(), pixelsHigh()) ? kResultOk : kResultFalse;
#else
        CairoImage image(state.scale);
        paintView(state, host, image.canvas());
        return image.writePng(utf8Path) ? kResultOk : kResultFalse;
#endif
    }

    tresult PLUGIN_API renderPixels(uint32* argb, int32 width, int32 height) override
    {
        if (!argb || width != pixelsWide() || height != pixelsHigh())
            return kInvalidArgument;
        lookForSnapshot();
#ifdef _WIN32
        return renderInto(argb) ? kResultOk : kResultFalse;
#else
        CairoImage image(state.scale);
        paintView(state, host, image.canvas());
        image.copyTo(argb);
        return kResultOk;
#endif
    }

    tresult PLUGIN_API mouseDown(int32 x, int32 y) override { return pointerPress(x, y, 0, false); }
    tresult PLUGIN_API mouseDrag(int32 x, int32 y) override { return pointerMove(x, y, 0); }

    tresult PLUGIN_API mouseUp() override
    {
#ifdef _WIN32
        if (HWND w = window.handle()) {
            SendMessageW(w, WM_LBUTTONUP, 0, 0);
            return kResultOk;
        }
#endif
        EditorContext editor = context();
        kestravel::plugins::pointerRelease(editor);
        return kResultOk;
    }

    tresult PLUGIN_API pointerPress(int32 x, int32 y, uint32 modifiers, Steinberg::TBool doubleClick) override
    {
#ifdef _WIN32
        if (HWND w = window.handle()) {
            SendMessageW(w, doubleClick ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON | keyState(modifiers),
                         pointParam(x, y));
            return kResultOk;
        }
#endif
        EditorContext editor = context();
        kestravel::plugins::pointerPress(editor, x, y, modifiers, doubleClick != 0);
        return kResultOk;
    }

    tresult PLUGIN_API pointerMove(int32 x, int32 y, uint32 modifiers) override
    {
#ifdef _WIN32
        if (HWND w = window.handle()) {
            SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON | keyState(modifiers), pointParam(x, y));
            return kResultOk;
        }
#endif
        EditorContext editor = context();
        kestravel::plugins::pointerMove(editor, x, y, modifiers);
        return kResultOk;
    }

    tresult PLUGIN_API pointerWheel(int32 x, int32 y, float notches, uint32 modifiers) override
    {
        // Straight to the editor, also with a window: the system's wheel message goes to the
        // parent when nothing turns, and its answer could not tell the two apart.
        EditorContext editor = context();
        return kestravel::plugins::pointerWheel(editor, x, y, notches, modifiers) ? kResultTrue : kResultFalse;
    }

    tresult PLUGIN_API pointerCaptureLost() override
    {
#ifdef _WIN32
        if (HWND w = window.handle()) {
            SendMessageW(w, WM_CAPTURECHANGED, 0, 0);
            return kResultOk;
        }
#endif
        endPointer();
        return kResultOk;
    }

    // IPlugView: a host that forwards the wheel gives no position; the last one the pointer
    // was seen at is used.
    tresult PLUGIN_API onWheel(float distance) override
    {
        EditorContext editor = context();
        return kestravel::plugins::pointerWheelAtHover(editor, distance, 0) ? kResultTrue : kResultFalse;
    }

    // IPlugViewContentScaleSupport
    tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override
    {
        if (!acceptableScale(factor))
            return kResultFalse;
        state.scale = factor;
        Steinberg::ViewRect size(0, 0, pixelsWide(), pixelsHigh());
        const bool resized = size.right != rect.right || size.bottom != rect.bottom;
        setRect(size);
#ifdef _WIN32
        window.setSize(pixelsWide(), pixelsHigh());
#else
        platform.resize(pixelsWide(), pixelsHigh());
#endif
        if (resized && isAttached()) {
            sizeUntold = true; // told now, or once there is a frame
            tellSize();
        } else if (resized && plugFrame) {
            sizeAsked = size; // told before attaching
            plugFrame->resizeView(this, &size);
        }
        window.invalidate();
        return kResultTrue;
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
        DEF_INTERFACE(Steinberg::IPlugViewContentScaleSupport)
        DEF_INTERFACE(Steinberg::Vst::IParameterFinder)
        DEF_INTERFACE(IEditorSnapshot)
    END_DEFINE_INTERFACES(CPluginView)
    REFCOUNT_METHODS(CPluginView)

private:
    EditorDialogs& dialogs()
    {
#ifdef _WIN32
        if (!headlessDialogs)
            return systemDialogs;
#else
        // Answers from the desktop's chooser arrive later, through the host's run loop.
        if (!headlessDialogs && platform.attached())
            return platform.desktopDialogs();
#endif
        return headless;
    }

    EditorContext context() { return {host, edits, window, dialogs(), state}; }

    // Tells the frame the view's size, once, when it differs from what the host last asked.
    void tellSize()
    {
        if (!sizeUntold || !plugFrame)
            return;
        sizeUntold = false;
        sizeAsked = rect;
        Steinberg::ViewRect size = rect;
        plugFrame->resizeView(this, &size);
    }

    // A right-click at (x, y), device pixels: the host's menu of the parameter there, popped
    // up at the pointer. Nothing happens without a control there, mid-drag, or where the host
    // has no menus.
    void contextMenu(int32_t x, int32_t y) override
    {
        if (state.gestureOpen || state.dragStrip >= 0 || state.dragGain || !handlers)
            return;
        uint32_t id = 0;
        if (!parameterAt(context(), x, y, id))
            return;
        Steinberg::FUnknown* handler = handlers->hostComponentHandler();
        if (!handler)
            return;
        void* obj = nullptr;
        if (handler->queryInterface(Steinberg::Vst::IComponentHandler3::iid, &obj) != kResultOk || !obj)
            return;
        const auto menus = Steinberg::owned(static_cast<Steinberg::Vst::IComponentHandler3*>(obj));
        const Steinberg::Vst::ParamID param = id;
        const auto menu = Steinberg::owned(menus->createContextMenu(this, &param));
        if (!menu)
            return;
#ifdef _WIN32
        // The host's menu runs a modal loop, in which it may unload the module.
        ModuleHold keepLoaded;
#endif
        menu->popup(x, y);
    }

    int32 pixelsWide() const { return scaledLength(kEditorWidth, state.scale); }
    int32 pixelsHigh() const { return scaledLength(kEditorHeight, state.scale); }

    // Whatever drag is open ends here, its gesture closed.
    void endPointer()
    {
        EditorContext editor = context();
        kestravel::plugins::pointerCaptureLost(editor);
    }

#ifdef _WIN32
    static WPARAM keyState(uint32 modifiers)
    {
        return ((modifiers & kModifierShift) ? MK_SHIFT : 0) | ((modifiers & kModifierControl) ? MK_CONTROL : 0);
    }

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
        GdiBitmap bitmap(pixelsWide(), pixelsHigh());
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
        GdiCanvas canvas(dc, state.scale);
        paintView(state, host, canvas);
    }
    void paintMeters(HDC dc) override
    {
        GdiCanvas canvas(dc, state.scale);
        paintView(state, host, canvas, PaintParts::MetersOnly);
    }
    std::vector<Rect> meterAreas() const override
    {
        // A device pixel of slack around each: edges rounded at a fractional scale stay inside.
        std::vector<Rect> areas;
        for (const Rect& r : state.meters.changed()) {
            const Rect d = scaledRect(r, state.scale);
            areas.push_back({d.left - 1, d.top - 1, d.right + 1, d.bottom + 1});
        }
        return areas;
    }
#else
    // X11WindowClient
    void paint(cairo_t* cr) override
    {
        CairoCanvas canvas(cr, state.scale);
        paintView(state, host, canvas);
    }
    void paintMeters(cairo_t* cr) override
    {
        CairoCanvas canvas(cr, state.scale);
        paintView(state, host, canvas, PaintParts::MetersOnly);
    }
#endif
#ifdef _WIN32
    // The window's timer slows down itself while the meters rest: every tick looks.
    LookResult look() override { return looks.look(state, host, steadySeconds()); }
    bool metersMoving() const override { return state.meters.moving(); }
#else
    LookResult look() override { return looks.tick(state, host, steadySeconds()); }
#endif

    // A snapshot shows the levels the module gathered: it is a look of its own.
    void lookForSnapshot() { state.meters.sample(host, state, steadySeconds()); }

    // What either window hands on.
    void pointerDown(int32_t x, int32_t y, uint32_t modifiers, bool doubleClick) override
    {
        EditorContext editor = context();
        kestravel::plugins::pointerPress(editor, x, y, modifiers, doubleClick);
    }
    void pointerDrag(int32_t x, int32_t y, uint32_t modifiers) override
    {
        EditorContext editor = context();
        kestravel::plugins::pointerMove(editor, x, y, modifiers);
    }
    void pointerHover(int32_t x, int32_t y) override
    {
        EditorContext editor = context();
        kestravel::plugins::pointerHover(editor, x, y);
    }
    bool pointerWheel(int32_t x, int32_t y, double notches, uint32_t modifiers) override
    {
        EditorContext editor = context();
        return kestravel::plugins::pointerWheel(editor, x, y, notches, modifiers);
    }
    void pointerUp() override
    {
        EditorContext editor = context();
        kestravel::plugins::pointerRelease(editor);
    }
    void captureLost() override { endPointer(); }
    void hold() override { addRef(); }
    void letGo() override { release(); }

    EditorHost& host;
    EditorEdits& edits;
    Steinberg::FUnknown* owner;
    const ComponentHandlerSource* handlers;
    EditorState state;
    EditorLooks looks;
    // The size the host last read with getSize or was told: before any, the size it could assume.
    Steinberg::ViewRect sizeAsked{0, 0, kEditorWidth, kEditorHeight};
    bool sizeUntold = false; // attached at another size, and the frame not told yet
    HeadlessDialogs headless;
    bool headlessDialogs = false;
#ifdef _WIN32
    Win32Dialogs systemDialogs;
    Win32EditorWindow window{*this};
#else
    X11ViewPlatform platform{*this};
    X11EditorWindow& window = platform.editorWindow();
#endif
};

} // namespace

Steinberg::IPlugView* createEditorView(EditorHost& host, EditorEdits& edits, Steinberg::FUnknown* owner,
                                       const ComponentHandlerSource* handlers)
{
    return new View(host, edits, owner, handlers);
}

} // namespace kestravel::plugins
