// The Windows editor: GDI pictures, the child window's life and its window messages.
// Runs under Wine; the window tests need a display (Xvfb).

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "counted_owner.h"
#include "editor/paint_view.h"
#include "editor/platform/gdi_canvas.h"
#include "editor/editor_looks.h"
#include "editor/platform/win32_window.h"
#include "editor/view.h"
#include "fake_editor_host.h"
#include "fake_menu_host.h"
#include "fake_plug_frame.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "kestravel/ieditorsnapshot.h"
#include "picture_checks.h"
#include "shown_dialog.h"

namespace kestravel::plugins::testing {
namespace {

using Steinberg::IPlugView;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;

std::vector<uint32_t> gdiPicture(EditorState& state, const EditorHost& host)
{
    GdiBitmap bitmap;
    EXPECT_TRUE(bitmap.valid());
    GdiCanvas canvas(bitmap.context());
    paintView(state, host, canvas);
    std::vector<uint32_t> pixels(960u * 580u);
    bitmap.copyTo(pixels.data());
    return pixels;
}

uint32_t at(const std::vector<uint32_t>& pixels, int32_t x, int32_t y)
{
    return pixels[static_cast<size_t>(y) * 960u + static_cast<size_t>(x)];
}

TEST(GdiPicture, MeaningfulPixelsOfEveryLayout)
{
    for (const auto& c : pictureCases()) {
        SCOPED_TRACE(c.name);
        FakeEditorHost host(c.kind);
        EditorState state;
        c.setUp(host, state);
        const auto pixels = gdiPicture(state, host);
        EXPECT_EQ(state.faderPage, c.pageAfter);
        for (const auto& check : c.checks)
            EXPECT_EQ(at(pixels, check.x, check.y), check.colour.argb())
                << check.what << " at " << check.x << "," << check.y;
    }
}

TEST(GdiPicture, WaveformColumns)
{
    FakeEditorHost host(PLAYER);
    const float samples[] = {0.2f, -1.0f, 0.6f};
    host.overview = computeOverview(samples, 3, 1, 8000);
    EditorState state;
    const auto pixels = gdiPicture(state, host);
    const auto pixel = [&](int32_t x, int32_t y) { return at(pixels, x, y); };
    const struct {
        int32_t x, h;
    } cases[] = {{30, 19}, {329, 19}, {330, 95}, {628, 95}, {629, 57}, {927, 57}};
    for (const auto& c : cases) {
        const auto [top, bottom] = accentExtent(pixel, c.x);
        EXPECT_EQ(top, 340 - c.h) << "column " << c.x;
        EXPECT_EQ(bottom, 340 + c.h - 1) << "column " << c.x;
    }
    EXPECT_EQ(accentExtent(pixel, 29).second, -1);
    EXPECT_EQ(accentExtent(pixel, 928).second, -1);
}

// ---------------------------------------------------------------- windows

// Lets the window procedures run for a while.
void pump(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (std::chrono::steady_clock::now() < end);
}

// Runs work on another thread while this one keeps answering sent messages.
void onOtherThread(const std::function<void()>& work)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT | QS_SENDMESSAGE);
    }
    worker.join();
}

// A top-level window to attach to. Destroying a visible top-level window takes Wine about two
// seconds, so the visible one is made once per process and left to the process's end.
HWND makeParent(bool visible)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KestravelEditorTestParent";
    RegisterClassW(&wc); // a second registration just fails
    return CreateWindowExW(0, L"KestravelEditorTestParent", L"parent",
                           WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 0, 0, 1000, 640, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

HWND visibleParent()
{
    static const HWND parent = makeParent(true);
    return parent;
}

class TestParent {
public:
    TestParent() : hwnd(makeParent(false)) {}
    ~TestParent() { DestroyWindow(hwnd); }
    HWND hwnd;
};

HWND editorChild(HWND parent) { return FindWindowExW(parent, nullptr, kEditorWindowClass, nullptr); }

bool classRegistered()
{
    WNDCLASSW info{};
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&createEditorView), &module);
    return GetClassInfoW(module, kEditorWindowClass, &info) != 0;
}

LPARAM point(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

struct WindowFixture : ::testing::Test {
    void SetUp() override { ASSERT_NE(parent.hwnd, nullptr) << "no display for windows"; }
    IPlugView* makeView(FakeEditorHost& host) { return createEditorView(host, host, &owner); }

    CountedOwner owner;
    struct {
        HWND hwnd = visibleParent();
    } parent;
};

TEST_F(WindowFixture, AttachCreatesTheChildWindow)
{
    FakeEditorHost host(OUTPUT);
    IPlugView* view = makeView(host);
    const int32_t usesBefore = Win32EditorWindow::classUses();
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);

    HWND child = editorChild(parent.hwnd);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(Win32EditorWindow::classUses(), usesBefore + 1);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE)) & (WS_CHILD | WS_VISIBLE), DWORD{WS_CHILD | WS_VISIBLE});
    RECT client{};
    GetClientRect(child, &client);
    EXPECT_EQ(client.right, 960);
    EXPECT_EQ(client.bottom, 580);
    wchar_t title[32] = {};
    GetWindowTextW(child, title, 32);
    EXPECT_STREQ(title, L"KESTRAVEL");
    WNDCLASSW info{};
    ASSERT_TRUE(GetClassInfoW(reinterpret_cast<HINSTANCE>(GetClassLongPtrW(child, GCLP_HMODULE)), kEditorWindowClass, &info));
    EXPECT_EQ(info.style, UINT{CS_DBLCLKS}); // a double click on a gain resets it
    EXPECT_EQ(info.hbrBackground, nullptr);
    EXPECT_EQ(info.cbWndExtra, 0);

    // A second attach, while attached, changes nothing.
    TestParent other;
    EXPECT_EQ(view->attached(other.hwnd, "HWND"), kResultFalse);
    EXPECT_EQ(editorChild(parent.hwnd), child);
    EXPECT_EQ(editorChild(other.hwnd), nullptr);

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(Win32EditorWindow::classUses(), usesBefore);

    // Removed views can be attached again.
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    EXPECT_NE(editorChild(parent.hwnd), nullptr);
    view->release(); // the destructor tears the window down
    EXPECT_EQ(editorChild(parent.hwnd), nullptr);
    EXPECT_EQ(Win32EditorWindow::classUses(), usesBefore);
    EXPECT_EQ(owner.references, 1);
}

TEST_F(WindowFixture, RefusedAttachLeavesNothingBehind)
{
    FakeEditorHost host(OUTPUT);
    IPlugView* view = makeView(host);
    const int32_t usesBefore = Win32EditorWindow::classUses();
    const struct {
        void* parent;
        const char* type;
    } cases[] = {{parent.hwnd, "hwnd"},
                 {parent.hwnd, nullptr},
                 {parent.hwnd, "NSView"},
                 {nullptr, "HWND"},
                 {reinterpret_cast<void*>(0x123456), "HWND"}};
    for (const auto& c : cases) {
        EXPECT_EQ(view->attached(c.parent, c.type), kResultFalse);
        EXPECT_EQ(Win32EditorWindow::classUses(), usesBefore);
        EXPECT_EQ(editorChild(parent.hwnd), nullptr);
    }
    EXPECT_EQ(view->removed(), kResultOk); // nothing to remove
    EXPECT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    view->release();
}

TEST_F(WindowFixture, NeverAttachedViewReleasesOnlyItsOwner)
{
    FakeEditorHost host(PLAYER);
    const int32_t usesBefore = Win32EditorWindow::classUses();
    IPlugView* view = makeView(host);
    EXPECT_EQ(owner.references, 2);
    EXPECT_EQ(view->release(), 0u);
    EXPECT_EQ(owner.references, 1);
    EXPECT_EQ(Win32EditorWindow::classUses(), usesBefore);
}

TEST_F(WindowFixture, TwoViewsShareOneClassRegistration)
{
    ASSERT_EQ(Win32EditorWindow::classUses(), 0);
    FakeEditorHost hostA(INPUT), hostB(FADER_BANK);
    IPlugView* a = makeView(hostA);
    IPlugView* b = makeView(hostB);
    TestParent parentB;
    ASSERT_EQ(a->attached(parent.hwnd, "HWND"), kResultOk);
    ASSERT_EQ(b->attached(parentB.hwnd, "HWND"), kResultOk);
    EXPECT_EQ(Win32EditorWindow::classUses(), 2);

    EXPECT_EQ(a->removed(), kResultOk);
    EXPECT_EQ(Win32EditorWindow::classUses(), 1);
    EXPECT_TRUE(classRegistered());
    EXPECT_TRUE(IsWindow(editorChild(parentB.hwnd)));

    EXPECT_EQ(b->removed(), kResultOk);
    EXPECT_EQ(Win32EditorWindow::classUses(), 0);
    EXPECT_FALSE(classRegistered());
    a->release();
    b->release();
}

TEST_F(WindowFixture, TimerRepaintsTenTimesASecond)
{
    FakeEditorHost host(RECORDER);
    IPlugView* view = makeView(host);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    pump(50); // the first paint
    const int before = host.statusReads;
    pump(550);
    const int paints = host.statusReads - before; // one status line per paint
    EXPECT_GE(paints, 3);
    EXPECT_LE(paints, 8);
    view->release();
}

TEST_F(WindowFixture, PaintMessagesAndWhatTheyDraw)
{
    FakeEditorHost host(OUTPUT);
    host.set(kGainParam, 0.5);
    IPlugView* view = makeView(host);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);

    // WM_PRINTCLIENT paints straight into the given context: the same picture as a direct paint.
    GdiBitmap bitmap;
    SendMessageW(child, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bitmap.context()), PRF_CLIENT);
    std::vector<uint32_t> printed(960u * 580u);
    bitmap.copyTo(printed.data());
    EditorState state;
    state.meters.sample(host, state, 0.0); // the attached editor has looked once: its meters show
    EXPECT_EQ(printed, gdiPicture(state, host));

    // The snapshot interface goes the same way while the window exists.
    void* obj = nullptr;
    ASSERT_EQ(view->queryInterface(IEditorSnapshot::iid, &obj), kResultOk);
    auto* snapshot = static_cast<IEditorSnapshot*>(obj);
    std::vector<uint32_t> rendered(960u * 580u);
    ASSERT_EQ(snapshot->renderPixels(rendered.data(), 960, 580), kResultOk);
    EXPECT_EQ(rendered, printed);
    snapshot->release();

    // Erasing is suppressed: answered 1, nothing drawn.
    GdiBitmap blank;
    RECT all{0, 0, 960, 580};
    HBRUSH brush = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
    FillRect(blank.context(), &all, brush);
    DeleteObject(brush);
    EXPECT_EQ(SendMessageW(child, WM_ERASEBKGND, reinterpret_cast<WPARAM>(blank.context()), 0), 1);
    std::vector<uint32_t> after(960u * 580u);
    blank.copyTo(after.data());
    EXPECT_EQ(at(after, 100, 100), 0xFF123456u);
    EXPECT_EQ(at(after, 959, 579), 0xFF123456u);
    view->release();
}

// Timer ticks look before they paint: idle, nothing is invalidated; a meter that moves
// invalidates its own rectangle only; a parameter change the whole window.
TEST_F(WindowFixture, TicksInvalidateOnlyWhatChanged)
{
    FakeEditorHost host(OUTPUT);
    host.outputChannels = {2};
    IPlugView* view = makeView(host);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);
    const auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i)
            SendMessageW(child, WM_TIMER, kRepaintTimerId, 0);
    };
    const auto pending = [&](RECT& box) { return GetUpdateRect(child, &box, FALSE) != 0; };
    RECT box{};
    ValidateRect(child, nullptr);
    ticks(30);
    EXPECT_FALSE(pending(box)) << "an idle editor asks for no paint";

    host.peaks[{MeterSide::Output, 0, 0}] = 0.5f; // the top meter: {28, 272, 922, 286}
    ticks(1);
    ASSERT_TRUE(pending(box));
    EXPECT_GE(box.left, 27);
    EXPECT_GE(box.top, 271);
    EXPECT_LE(box.right, 923);
    EXPECT_LE(box.bottom, 287);
    UpdateWindow(child); // paints the meters over the kept picture
    EXPECT_FALSE(pending(box));

    host.set(kGainParam, 0.25);
    ticks(1);
    ASSERT_TRUE(pending(box));
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 960);
    EXPECT_EQ(box.bottom, 580);
    view->release();
}

TEST_F(WindowFixture, MouseMessagesEditThroughTheModule)
{
    FakeEditorHost host(OUTPUT);
    host.set(kGainParam, 0.5); // knob at 468
    IPlugView* view = makeView(host);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);
    pump(30);

    // Motion without the button: no edit, no repaint requested.
    ValidateRect(child, nullptr);
    SendMessageW(child, WM_MOUSEMOVE, 0, point(600, 400));
    EXPECT_TRUE(host.edits.empty());
    EXPECT_FALSE(GetUpdateRect(child, nullptr, FALSE));
    // With the button but no drag: still no edit, but a repaint.
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(600, 400));
    EXPECT_TRUE(host.edits.empty());
    EXPECT_TRUE(GetUpdateRect(child, nullptr, FALSE));

    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(478, 400)); // grabbed, within 22 pixels
    EXPECT_EQ(GetCapture(), child);
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(478 + 863 / 2, 400));
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(-20, 400)); // negative coordinates survive
    SendMessageW(child, WM_LBUTTONUP, 0, point(-20, 400));
    EXPECT_EQ(GetCapture(), nullptr);
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(700, 400));
    ASSERT_EQ(host.edits.size(), 3u);
    EXPECT_DOUBLE_EQ(host.edits[0].value, 0.5);
    EXPECT_DOUBLE_EQ(host.edits[1].value, 0.5 + 431 / 863.0);
    EXPECT_DOUBLE_EQ(host.edits[2].value, 0.0);

    // Losing the capture ends a drag as well.
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(100, 400));
    SendMessageW(child, WM_CAPTURECHANGED, 0, 0);
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(300, 400));
    EXPECT_EQ(host.edits.size(), 4u);
    ReleaseCapture();
    view->release();
}

HostCall beginCall(uint32_t id) { return {Call::Begin, id}; }
HostCall endCall(uint32_t id) { return {Call::End, id}; }

TEST_F(WindowFixture, ADragIsOneGestureHoweverItEnds)
{
    FakeEditorHost host(OUTPUT);
    IPlugView* view = makeView(host);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);

    // Released: WM_LBUTTONUP, then the system's own WM_CAPTURECHANGED; one endEdit.
    host.set(kGainParam, 0.5);
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(468, 400));
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(568, 400));
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, point(568, 400)); // Shift: no jump
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, point(668, 400));
    SendMessageW(child, WM_LBUTTONUP, 0, point(668, 400));
    ASSERT_EQ(host.calls.size(), 6u);
    EXPECT_EQ(host.calls.front(), beginCall(kGainParam));
    EXPECT_DOUBLE_EQ(host.calls[2].value, 0.5 + 100 / 863.0);
    EXPECT_DOUBLE_EQ(host.calls[3].value, 0.5 + 100 / 863.0);
    EXPECT_DOUBLE_EQ(host.calls[4].value, 0.5 + 110 / 863.0);
    EXPECT_EQ(host.calls.back(), endCall(kGainParam));

    // Another window takes the capture mid-drag.
    host.calls.clear();
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(468, 400));
    EXPECT_EQ(GetCapture(), child);
    TestParent thief;
    SetCapture(thief.hwnd);
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(500, 400)); // the drag is over
    ReleaseCapture();
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls.back(), endCall(kGainParam));

    // The host removes the view mid-drag.
    host.calls.clear();
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(468, 400));
    EXPECT_EQ(view->removed(), kResultOk);
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls.back(), endCall(kGainParam));

    // The host destroys its own window, and the editor's with it, mid-drag.
    host.calls.clear();
    TestParent doomed;
    ASSERT_EQ(view->attached(doomed.hwnd, "HWND"), kResultOk);
    child = editorChild(doomed.hwnd);
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(468, 400));
    DestroyWindow(doomed.hwnd);
    EXPECT_FALSE(IsWindow(child));
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls.back(), endCall(kGainParam));
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_TRUE(host.gesturesBalanced());
    view->release();
}

TEST_F(WindowFixture, ResetsAndTheWheelThroughWindowMessages)
{
    FakeEditorHost host(FADER_BANK);
    IPlugView* view = makeView(host);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);
    const uint32_t strip1 = kFaderGainParamBase;

    host.set(strip1, 0.2);
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, point(78, 300));
    SendMessageW(child, WM_LBUTTONUP, MK_CONTROL, point(78, 300));
    EXPECT_DOUBLE_EQ(host.get(strip1), 15.0 / 17.0);
    host.set(strip1, 0.2);
    SendMessageW(child, WM_LBUTTONDBLCLK, MK_LBUTTON, point(78, 300));
    SendMessageW(child, WM_LBUTTONUP, 0, point(78, 300));
    EXPECT_DOUBLE_EQ(host.get(strip1), 15.0 / 17.0);

    // The wheel arrives in screen coordinates, 120 per notch; two notches are two groups.
    host.calls.clear();
    POINT screen{78, 300};
    ClientToScreen(child, &screen);
    EXPECT_EQ(SendMessageW(child, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), point(screen.x, screen.y)), 0);
    ASSERT_EQ(host.calls.size(), 6u);
    EXPECT_NEAR(host.get(strip1), 15.0 / 17.0 + 1.0 / 102.0, 1e-12);
    // A fine wheel's 40s add up to one notch.
    for (int i = 0; i < 3; ++i)
        SendMessageW(child, WM_MOUSEWHEEL, MAKEWPARAM(0, 40), point(screen.x, screen.y));
    EXPECT_EQ(host.calls.size(), 9u);
    EXPECT_TRUE(host.gesturesBalanced());
    view->release();
}

TEST_F(WindowFixture, ScaledWindowDrawsAndHitsAtItsSize)
{
    FakeEditorHost host(OUTPUT);
    host.set(kGainParam, 0.5);
    IPlugView* view = makeView(host);
    FakePlugFrame frame;
    view->setFrame(&frame);
    Steinberg::IPlugViewContentScaleSupport* scaling = nullptr;
    ASSERT_EQ(view->queryInterface(Steinberg::IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scaling)),
              kResultOk);
    // Before attaching: the window is created at the scaled size.
    ASSERT_EQ(scaling->setContentScaleFactor(1.5f), Steinberg::kResultTrue);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);
    RECT client{};
    GetClientRect(child, &client);
    EXPECT_EQ(client.right, 1440);
    EXPECT_EQ(client.bottom, 870);
    // While attached: the window follows, and the frame is asked once per change.
    ASSERT_EQ(scaling->setContentScaleFactor(2.0f), Steinberg::kResultTrue);
    EXPECT_EQ(scaling->setContentScaleFactor(std::numeric_limits<float>::quiet_NaN()), kResultFalse);
    EXPECT_EQ(scaling->setContentScaleFactor(0.0f), kResultFalse);
    GetClientRect(child, &client);
    EXPECT_EQ(client.right, 1920);
    EXPECT_EQ(client.bottom, 1160);
    ASSERT_EQ(frame.resizes.size(), 2u);
    EXPECT_EQ(frame.resizes[1].right, 1920);

    // WM_PRINTCLIENT paints the whole scaled picture: every editor pixel of the gain track is
    // a 2 x 2 block of its colour, and the gain's knob edges are crisp.
    GdiBitmap bitmap(1920, 1160);
    SendMessageW(child, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bitmap.context()), PRF_CLIENT);
    std::vector<uint32_t> large(1920u * 1160u);
    bitmap.copyTo(large.data());
    EditorState state;
    const auto small = gdiPicture(state, host);
    for (int32_t y = 365; y < 440; ++y)
        for (int32_t x = 20; x < 920; ++x) {
            const uint32_t expected = at(small, x, y);
            for (int32_t d = 0; d < 4; ++d)
                ASSERT_EQ(large[static_cast<size_t>(2 * y + d / 2) * 1920u + static_cast<size_t>(2 * x + d % 2)],
                          expected)
                    << x << "," << y;
        }

    // Presses and drags count in the window's pixels.
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(2 * 468, 2 * 400));
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(2 * 568, 2 * 400));
    SendMessageW(child, WM_LBUTTONUP, 0, point(2 * 568, 2 * 400));
    EXPECT_DOUBLE_EQ(host.get(kGainParam), 0.5 + 100 / 863.0);
    scaling->release();
    view->setFrame(nullptr);
    view->release();
}

TEST_F(WindowFixture, RemovedFromAnotherThread)
{
    FakeEditorHost host(SUMMING);
    IPlugView* view = makeView(host);
    const int32_t usesBefore = Win32EditorWindow::classUses();
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);

    Steinberg::tresult result = kResultFalse;
    onOtherThread([&] { result = view->removed(); });
    EXPECT_EQ(result, kResultOk);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(Win32EditorWindow::classUses(), usesBefore);

    // Released from another thread while attached: the window goes the same way.
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    child = editorChild(parent.hwnd);
    onOtherThread([&] { view->release(); });
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(owner.references, 1);
    EXPECT_EQ(Win32EditorWindow::classUses(), usesBefore);
}

TEST_F(WindowFixture, CloseMessageDestroysOnTheWindowsOwnThread)
{
    FakeEditorHost host(INPUT);
    IPlugView* view = makeView(host);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);
    EXPECT_EQ(SendMessageW(child, 0x8039, 0, 0), 1);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(view->removed(), kResultOk); // the window is already gone; the class use is given back
    view->release();
}

// A subclass that refuses to close, to make the teardown fail.
WNDPROC editorProcedure = nullptr;
LRESULT CALLBACK stubbornProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == 0x8039)
        return 0;
    return CallWindowProcW(editorProcedure, hwnd, message, wParam, lParam);
}

TEST_F(WindowFixture, WindowThatSurvivesItsViewNeverReachesIt)
{
    FakeEditorHost host(OUTPUT);
    IPlugView* view = makeView(host);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    HWND child = editorChild(parent.hwnd);
    editorProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&stubbornProcedure)));

    // removed from another thread fails and keeps everything for a later try.
    Steinberg::tresult result = kResultOk;
    onOtherThread([&] { result = view->removed(); });
    EXPECT_EQ(result, kResultFalse);
    EXPECT_TRUE(IsWindow(child));

    // The last release from another thread cannot destroy it either; the view dies anyway.
    onOtherThread([&] { view->release(); });
    EXPECT_EQ(owner.references, 1);
    ASSERT_TRUE(IsWindow(child));
    EXPECT_EQ(GetWindowLongPtrW(child, GWLP_USERDATA), 0);
    EXPECT_EQ(GetWindowLongPtrW(child, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&DefWindowProcW));

    // Whatever reaches the window now is the default procedure's business.
    const size_t edits = host.edits.size();
    const int reads = host.kindReads;
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(400, 400));
    SendMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, point(500, 400));
    SendMessageW(child, WM_TIMER, 1, 0);
    InvalidateRect(child, nullptr, FALSE);
    pump(250);
    EXPECT_EQ(host.edits.size(), edits);
    EXPECT_EQ(host.kindReads, reads);
    EXPECT_TRUE(DestroyWindow(child));
}

// The host's handler as the module hands it to its view.
struct MenuHostSource : ComponentHandlerSource {
    FakeMenuHost menus;
    Steinberg::FUnknown* hostComponentHandler() const override
    {
        return static_cast<Steinberg::Vst::IComponentHandler*>(const_cast<FakeMenuHost*>(&menus));
    }
};

// A view whose right-clicks reach source's menus, attached to parent.
IPlugView* attachedMenuView(FakeEditorHost& host, MenuHostSource& source, CountedOwner& owner, HWND parent)
{
    IPlugView* view = createEditorView(host, host, &owner, &source);
    EXPECT_EQ(view->attached(parent, "HWND"), kResultOk);
    return view;
}

void rightClick(HWND child, int x, int y, WPARAM held = 0)
{
    SendMessageW(child, WM_RBUTTONDOWN, MK_RBUTTON | held, point(x, y));
    SendMessageW(child, WM_RBUTTONUP, held, point(x, y));
}

TEST_F(WindowFixture, RightClickOpensTheHostsMenuOfTheControl)
{
    FakeEditorHost host(SUMMING);
    MenuHostSource source;
    IPlugView* view = attachedMenuView(host, source, owner, parent.hwnd);
    HWND child = editorChild(parent.hwnd);

    rightClick(child, 470, 400);                  // the gain
    rightClick(child, 5, 5);                      // no control
    rightClick(child, 60, 240);                   // the count's "-"
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, point(470, 400));
    rightClick(child, 470, 400, MK_LBUTTON);      // in the middle of a drag: nothing
    SendMessageW(child, WM_LBUTTONUP, 0, point(470, 400));
    ASSERT_EQ(source.menus.requests.size(), 2u);
    const struct {
        Steinberg::Vst::ParamID id;
        int x, y;
    } expected[] = {{kGainParam, 470, 400}, {kActiveStripsParam, 60, 240}};
    for (size_t i = 0; i < 2; ++i) {
        const MenuRequest& r = source.menus.requests[i];
        EXPECT_EQ(r.view, view);
        EXPECT_TRUE(r.forParameter);
        EXPECT_EQ(r.id, expected[i].id);
        EXPECT_EQ(r.popups, 1);
        EXPECT_EQ(r.x, expected[i].x);
        EXPECT_EQ(r.y, expected[i].y);
    }
    EXPECT_EQ(source.menus.menusAlive, 0);
    EXPECT_EQ(host.edits.size(), 1u); // only the left press; a right click edits nothing
    EXPECT_TRUE(host.gesturesBalanced());

    // A host without menus: nothing happens.
    source.menus.offersMenus = false;
    rightClick(child, 470, 400);
    EXPECT_EQ(source.menus.requests.size(), 2u);
    view->release();

    // A view with no way to the host's handler: nothing either.
    IPlugView* plain = makeView(host);
    ASSERT_EQ(plain->attached(parent.hwnd, "HWND"), kResultOk);
    rightClick(editorChild(parent.hwnd), 470, 400);
    EXPECT_EQ(host.edits.size(), 1u);
    plain->release();
    EXPECT_EQ(owner.references, 1);
}

TEST_F(WindowFixture, HostThatClosesTheEditorFromItsMenuLeavesNothingBehind)
{
    FakeEditorHost host(OUTPUT);
    MenuHostSource source;
    IPlugView* view = attachedMenuView(host, source, owner, parent.hwnd);
    HWND child = editorChild(parent.hwnd);
    source.menus.whileShown = [&] {
        EXPECT_EQ(view->removed(), kResultOk);
        view->release();
    };
    rightClick(child, 470, 400);
    ASSERT_EQ(source.menus.requests.size(), 1u);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(source.menus.menusAlive, 0);
    EXPECT_EQ(owner.references, 1); // the view went once the click was handled
}

TEST_F(WindowFixture, RightClickWorksInScaledPixels)
{
    FakeEditorHost host(FADER_BANK);
    MenuHostSource source;
    IPlugView* view = createEditorView(host, host, &owner, &source);
    Steinberg::IPlugViewContentScaleSupport* scaling = nullptr;
    ASSERT_EQ(view->queryInterface(Steinberg::IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scaling)),
              kResultOk);
    ASSERT_EQ(scaling->setContentScaleFactor(2.0f), Steinberg::kResultTrue);
    ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
    rightClick(editorChild(parent.hwnd), 2 * 60, 2 * 220); // strip 1's mute
    ASSERT_EQ(source.menus.requests.size(), 1u);
    EXPECT_EQ(source.menus.requests[0].id, kFaderMuteParamBase);
    EXPECT_EQ(source.menus.requests[0].x, 120);
    EXPECT_EQ(source.menus.requests[0].y, 440);
    scaling->release();
    view->release();
}

// A host that sets the scale before it gives the view a frame, sizes its window from the
// getSize it asked before, and never asks again: the frame hears the size once it is there.
TEST_F(WindowFixture, ScaledBeforeItHadAFrameTheViewTellsItsSize)
{
    for (bool asksAgain : {false, true}) {
        SCOPED_TRACE(asksAgain ? "the host asks getSize after scaling" : "the host never asks again");
        FakeEditorHost host(OUTPUT);
        IPlugView* view = makeView(host);
        Steinberg::ViewRect r;
        ASSERT_EQ(view->getSize(&r), Steinberg::kResultTrue);
        Steinberg::IPlugViewContentScaleSupport* scaling = nullptr;
        ASSERT_EQ(
            view->queryInterface(Steinberg::IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scaling)),
            kResultOk);
        ASSERT_EQ(scaling->setContentScaleFactor(2.0f), Steinberg::kResultTrue);
        if (asksAgain) {
            ASSERT_EQ(view->getSize(&r), Steinberg::kResultTrue);
        }
        ASSERT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk); // no frame yet
        FakePlugFrame frame;
        view->setFrame(&frame);
        if (asksAgain) {
            EXPECT_TRUE(frame.resizes.empty());
        } else {
            ASSERT_EQ(frame.resizes.size(), 1u);
            EXPECT_EQ(frame.resizes[0].getWidth(), 1920);
            EXPECT_EQ(frame.resizes[0].getHeight(), 1160);
        }
        // Told once: a frame set again, or attached again, hears nothing more.
        view->setFrame(&frame);
        EXPECT_EQ(view->removed(), kResultOk);
        EXPECT_EQ(view->attached(parent.hwnd, "HWND"), kResultOk);
        EXPECT_EQ(frame.resizes.size(), asksAgain ? 0u : 1u);
        view->setFrame(nullptr);
        scaling->release();
        view->release();
    }
}

// The host removes the editor while its file dialog is open, then the user picks a file.
struct DialogOutlivesEditor {
    IPlugView* view = nullptr;
    std::wstring path;
    bool removed = false;
    HWND dialog = nullptr;
};
DialogOutlivesEditor outliving;

void CALLBACK removeThenChoose(HWND, UINT, UINT_PTR timer, DWORD)
{
    outliving.dialog = shownDialog();
    if (!outliving.dialog || outliving.removed)
        return;
    KillTimer(nullptr, timer);
    outliving.removed = outliving.view->removed() == kResultOk;
    constexpr int kFileNameBox = 0x47C; // the explorer dialog's "File name" box
    SetDlgItemTextW(outliving.dialog, kFileNameBox, outliving.path.c_str());
    PostMessageW(outliving.dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(WindowFixture, TheAnswerOfADialogWhoseEditorWasRemovedIsDropped)
{
    wchar_t folder[MAX_PATH] = {};
    wchar_t file[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameW(folder, L"kv", 0, file), 0u); // the dialog wants a file that exists
    outliving.path = file;

    FakeEditorHost host(PLAYER);
    outliving.view = makeView(host);
    ASSERT_EQ(outliving.view->attached(parent.hwnd, "HWND"), kResultOk);
    SetTimer(nullptr, 0, 100, &removeThenChoose);
    SendMessageW(editorChild(parent.hwnd), WM_LBUTTONDOWN, MK_LBUTTON, point(100, 130)); // "Open WAV..."
    EXPECT_TRUE(outliving.removed);
    EXPECT_TRUE(host.filesSet.empty()) << "the answer reached the module";
    outliving.view->release();
    DeleteFileW(file);
    EXPECT_EQ(owner.references, 1);
}

} // namespace
} // namespace kestravel::plugins::testing
