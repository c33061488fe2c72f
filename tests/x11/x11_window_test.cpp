// The X11 child window in a test host with its own top-level window and run loop (Xvfb):
// what the server shows, what pointer input reaches the editor, and what every way of ending
// leaves behind.

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <unistd.h>
#include <memory>
#include <string>
#include <vector>

#include "../editor/fake_editor_host.h"
#include "../editor/scripted_dialogs.h"
#include "editor/editor_state.h"
#include "editor/interaction.h"
#include "editor/paint_view.h"
#include "editor/editor_looks.h"
#include "editor/platform/cairo_canvas.h"
#include "editor/platform/x11_window.h"
#include "test_run_loop.h"
#include "test_screen.h"

namespace kestravel::plugins::testing {
namespace {

constexpr const char* kType = "X11EmbedWindowID";

void* asParent(uint32_t window) { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }

// Paints like the view and records what the window hands on.
class RecordingClient : public X11WindowClient {
public:
    explicit RecordingClient(FakeEditorHost& h) : host(h) {}
    FakeEditorHost& host;
    EditorState state;
    std::vector<std::string> calls;
    int holds = 0;
    int paints = 0;
    EditorWindow* window = nullptr; // when set, a press starts a drag with capture, as a fader does

    void paint(cairo_t* cr) override
    {
        ++paints;
        CairoCanvas canvas(cr);
        paintView(state, host, canvas);
    }
    // With looking set, ticks look as the view's do, 33 ms apart; otherwise every tick repaints.
    bool looking = false;
    EditorLooks looks;
    double now = 0.0;
    int meterPaints = 0;
    LookResult look() override
    {
        if (!looking)
            return LookResult::Whole;
        now += kEditorTickMs / 1000.0;
        return looks.tick(state, host, now);
    }
    void paintMeters(cairo_t* cr) override
    {
        ++meterPaints;
        CairoCanvas canvas(cr);
        paintView(state, host, canvas, PaintParts::MetersOnly);
    }
    void pointerDown(int32_t x, int32_t y, uint32_t modifiers, bool doubleClick) override
    {
        calls.push_back((doubleClick ? "double " : "down ") + xy(x, y) + keys(modifiers));
        if (window)
            window->captureMouse();
    }
    void pointerDrag(int32_t x, int32_t y, uint32_t modifiers) override
    {
        calls.push_back("drag " + xy(x, y) + keys(modifiers));
    }
    void pointerHover(int32_t x, int32_t y) override { hovers.push_back(xy(x, y)); }
    bool pointerWheel(int32_t x, int32_t y, double notches, uint32_t modifiers) override
    {
        calls.push_back("wheel " + xy(x, y) + " " + std::to_string(static_cast<int>(notches)) + keys(modifiers));
        return true;
    }
    void pointerUp() override { calls.push_back("up"); }
    void captureLost() override { calls.push_back("lost"); }
    void contextMenu(int32_t x, int32_t y) override { calls.push_back("menu " + xy(x, y)); }
    void hold() override { ++holds; }
    void letGo() override { --holds; }
    std::vector<std::string> hovers;

private:
    static std::string xy(int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); }
    static std::string keys(uint32_t modifiers)
    {
        return std::string((modifiers & kModifierShift) ? " shift" : "") + ((modifiers & kModifierControl) ? " ctrl" : "");
    }
};

std::vector<uint32_t> standIn(FakeEditorHost& host)
{
    EditorState state;
    CairoImage image;
    paintView(state, host, image.canvas());
    std::vector<uint32_t> pixels(size_t{kEditorWidth} * size_t{kEditorHeight});
    image.copyTo(pixels.data());
    return pixels;
}

size_t differingPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.size() != b.size())
        return std::max(a.size(), b.size());
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

class X11Window : public ::testing::Test {
protected:
    // The window's requests travel on its own connection, so the server may not have drawn
    // them yet when the test's own round trip returns: look again for a while.
    size_t differenceFrom(uint32_t w, const std::vector<uint32_t>& expected, int width = 960, int height = 580)
    {
        size_t different = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            screen.sync();
            different = differingPixels(screen.pixels(w, width, height), expected);
            if (different == 0)
                break;
            ::usleep(10000);
        }
        return different;
    }

    void SetUp() override
    {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X server (scripts/test.sh starts Xvfb)";
        ASSERT_TRUE(screen.ok()) << xcb_connection_has_error(screen.connection);
        parent = screen.topLevel();
    }
    void TearDown() override
    {
        // A test that stopped mid-drag must not leave the button down for the next one.
        if (screen.ok())
            screen.releaseButton();
    }

    // Nothing of the window is left: no child, no registration, no reference on the loop.
    void expectNothingLeft(uint32_t parentWindow)
    {
        EXPECT_TRUE(screen.childless(parentWindow));
        EXPECT_TRUE(loop.watches.empty());
        EXPECT_TRUE(loop.timers.empty());
        EXPECT_EQ(loop.references, 1);
    }

    TestScreen screen;
    TestRunLoop loop;
    uint32_t parent = 0;
};

TEST_F(X11Window, EachKindShowsTheStandInPictureInAnEmbeddedChild)
{
    for (ModuleKind kind : {INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, RECORDER, FADER_BANK, DISTRIBUTOR}) {
        SCOPED_TRACE(static_cast<int>(kind));
        FakeEditorHost host(kind);
        RecordingClient client(host);
        {
            X11EditorWindow window(client);
            ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
            const uint32_t child = window.windowId();
            EXPECT_TRUE(screen.eventually([&] {
                const auto shown = screen.geometry(child);
                return shown && shown->mapped;
            }));
            EXPECT_EQ(screen.children(parent), std::vector<uint32_t>{child});
            const auto g = screen.geometry(child);
            ASSERT_TRUE(g);
            EXPECT_EQ(g->x, 0);
            EXPECT_EQ(g->y, 0);
            EXPECT_EQ(g->width, 960);
            EXPECT_EQ(g->height, 580);
            EXPECT_TRUE(g->mapped);
            EXPECT_EQ(screen.property(child, "_XEMBED_INFO"), (std::vector<uint32_t>{0, 1}));
            ASSERT_EQ(loop.watches.size(), 1u);
            ASSERT_EQ(loop.timers.size(), 1u);
            EXPECT_EQ(loop.timers[0].period, uint64_t{kEditorTickMs});

            loop.tick();
            screen.sync();
            EXPECT_EQ(differenceFrom(child, standIn(host)), 0u);
            window.teardown();
            EXPECT_TRUE(screen.eventually([&] { return !screen.exists(child); }));
        }
        EXPECT_EQ(client.holds, 0);
        expectNothingLeft(parent);
    }
}

TEST_F(X11Window, AParameterChangeShowsWithinTwoTicks)
{
    FakeEditorHost host(OUTPUT);
    RecordingClient client(host);
    X11EditorWindow window(client);
    ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
    loop.tick();
    const auto before = standIn(host);
    host.set(kGainParam, 0.25); // an automation change, made outside the editor
    const auto after = standIn(host);
    ASSERT_GT(differingPixels(before, after), 100u);
    loop.tick();
    loop.tick();
    screen.sync();
    EXPECT_EQ(differenceFrom(window.windowId(), after), 0u);
}

// Idle, nothing is painted and nothing sent; moving meters paint only themselves; a parameter
// change repaints the whole picture at the next look.
TEST_F(X11Window, LooksPaintOnlyWhatChanged)
{
    FakeEditorHost host(OUTPUT);
    host.outputChannels = {2};
    RecordingClient client(host);
    client.looking = true;
    X11EditorWindow window(client);
    ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
    for (int t = 0; t < 3; ++t)
        loop.tick();
    screen.sync();
    const int paints = client.paints;
    const uint64_t frames = window.framesShown();
    for (int t = 0; t < 60; ++t) // two seconds of ticks
        loop.tick();
    screen.sync();
    EXPECT_EQ(client.paints, paints);
    EXPECT_EQ(client.meterPaints, 0);
    EXPECT_EQ(window.framesShown(), frames);

    host.peaks[{MeterSide::Output, 0, 0}] = 0.5f;
    for (int t = 0; t < kIdleTicksPerLook && client.meterPaints == 0; ++t) // the next look
        loop.tick();
    EXPECT_EQ(client.paints, paints);
    EXPECT_EQ(client.meterPaints, 1);
    EXPECT_EQ(window.framesShown(), frames + 1);
    for (int t = 0; t < 5; ++t) // the bar falls: a meter frame every tick
        loop.tick();
    EXPECT_EQ(client.meterPaints, 6);
    EXPECT_EQ(window.framesShown(), frames + 6);
    EXPECT_EQ(client.paints, paints);

    host.set(kGainParam, 0.25);
    loop.tick();
    EXPECT_EQ(client.paints, paints + 1);
}

TEST_F(X11Window, ExposedAreasAreRestoredFromTheBackBufferWithoutRepainting)
{
    FakeEditorHost host(FADER_BANK);
    RecordingClient client(host);
    X11EditorWindow window(client);
    ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
    const int paints = client.paints;
    // Another window covers the editor and goes away again.
    const uint32_t cover = screen.topLevel(100, 100, 300, 200);
    screen.destroy(cover);
    loop.run(100);
    screen.sync();
    EXPECT_EQ(client.paints, paints);
    EXPECT_EQ(differenceFrom(window.windowId(), standIn(host)), 0u);
}

TEST_F(X11Window, PointerInputReachesTheEditorInOrder)
{
    FakeEditorHost host(FADER_BANK);
    RecordingClient client(host);
    X11EditorWindow window(client);
    client.window = &window;
    ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
    const uint32_t w = window.windowId();

    // A fader drag that ends outside the window: the press's grab keeps the motion coming. A
    // right click in the middle of it asks for no menu.
    screen.moveTo(w, 80, 300);
    screen.press();
    screen.moveTo(w, 80, 320);
    screen.press(3);
    screen.releaseButton(3);
    loop.run(50);
    screen.moveTo(w, 80, 700);
    screen.releaseButton();
    loop.run(50);
    // Motion without a button is hovering; the middle button reaches nobody, the right one
    // asks for the menu where it is pressed.
    screen.moveTo(w, 90, 310);
    screen.press(2);
    screen.releaseButton(2);
    screen.press(3);
    screen.releaseButton(3);
    loop.run(50);
    // The wheel, then two quick presses in one place: the second is a double click, a third
    // starts anew.
    screen.press(4);
    screen.releaseButton(4);
    screen.press(5);
    screen.releaseButton(5);
    for (int i = 0; i < 3; ++i) {
        screen.press();
        screen.releaseButton();
    }
    loop.run(50);
    EXPECT_EQ(client.calls, (std::vector<std::string>{"down 80,300", "drag 80,320", "drag 80,700", "up",
                                                      "menu 90,310", "wheel 90,310 1", "wheel 90,310 -1", "down 90,310", "up",
                                                      "double 90,310", "up", "down 90,310", "up"}));
    EXPECT_EQ(client.hovers, (std::vector<std::string>{"80,300", "90,310"}));
    EXPECT_EQ(client.holds, 0);
}

TEST_F(X11Window, ShiftAndControlTravelWithThePointer)
{
    FakeEditorHost host(OUTPUT);
    RecordingClient client(host);
    X11EditorWindow window(client);
    ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
    const uint32_t w = window.windowId();
    const uint8_t shift = screen.keycodeOf(0xFFE1);   // Shift_L
    const uint8_t control = screen.keycodeOf(0xFFE3); // Control_L
    ASSERT_NE(shift, 0);
    ASSERT_NE(control, 0);
    screen.moveTo(w, 100, 400);
    screen.key(control, true);
    screen.press();
    screen.key(control, false);
    screen.key(shift, true);
    screen.moveTo(w, 120, 400);
    screen.releaseButton();
    screen.key(shift, false);
    loop.run(50);
    EXPECT_EQ(client.calls, (std::vector<std::string>{"down 100,400 ctrl", "drag 120,400 shift", "up"}));
}

TEST_F(X11Window, ResizingFollowsTheDisplayScale)
{
    FakeEditorHost host(BREAKOUT);
    RecordingClient client(host);
    X11EditorWindow window(client);
    EXPECT_FALSE(window.resize(0, 580));
    EXPECT_FALSE(window.resize(960, 100000));
    ASSERT_TRUE(window.resize(1200, 725)); // before attaching: the window is made at this size
    ASSERT_TRUE(window.attach(asParent(screen.topLevel(0, 0, 1280, 1000)), kType, &loop));
    screen.sync();
    auto g = screen.geometry(window.windowId());
    ASSERT_TRUE(g);
    EXPECT_EQ(g->width, 1200);
    EXPECT_EQ(g->height, 725);
    ASSERT_TRUE(window.resize(960, 580));
    screen.sync();
    g = screen.geometry(window.windowId());
    ASSERT_TRUE(g);
    EXPECT_EQ(g->width, 960);
    EXPECT_EQ(g->height, 580);
    loop.tick();
    screen.sync();
    EXPECT_EQ(differenceFrom(window.windowId(), standIn(host)), 0u);
}

TEST_F(X11Window, LosingThePointerGrabOrFocusEndsTheDragAsLostCapture)
{
    for (const uint8_t type : {uint8_t{XCB_LEAVE_NOTIFY}, uint8_t{XCB_FOCUS_OUT}}) {
        SCOPED_TRACE(static_cast<int>(type));
        FakeEditorHost host(OUTPUT);
        RecordingClient client(host);
        X11EditorWindow window(client);
        client.window = &window;
        ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
        const uint32_t w = window.windowId();
        screen.moveTo(w, 200, 400);
        screen.press();
        loop.run(50);

        char event[32] = {};
        if (type == XCB_LEAVE_NOTIFY) {
            auto* leave = reinterpret_cast<xcb_leave_notify_event_t*>(event);
            leave->response_type = XCB_LEAVE_NOTIFY;
            leave->event = w;
            leave->mode = XCB_NOTIFY_MODE_GRAB;
        } else {
            auto* focus = reinterpret_cast<xcb_focus_out_event_t*>(event);
            focus->response_type = XCB_FOCUS_OUT;
            focus->event = w;
            focus->mode = XCB_NOTIFY_MODE_GRAB;
        }
        xcb_send_event(screen.connection, 0, w,
                       type == XCB_LEAVE_NOTIFY ? XCB_EVENT_MASK_LEAVE_WINDOW : XCB_EVENT_MASK_FOCUS_CHANGE, event);
        screen.sync();
        loop.run(50);
        // What follows belongs to no drag.
        screen.moveTo(w, 260, 400);
        screen.releaseButton();
        loop.run(50);
        EXPECT_EQ(client.calls, (std::vector<std::string>{"down 200,400", "lost"}));
    }
}

TEST_F(X11Window, EventsNamingAnotherWindowAreIgnored)
{
    FakeEditorHost host(OUTPUT);
    RecordingClient client(host);
    X11EditorWindow window(client);
    ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
    // A press sent to the editor's window but naming another (a destroyed one, say).
    xcb_button_press_event_t fake{};
    fake.response_type = XCB_BUTTON_PRESS;
    fake.detail = 1;
    fake.event = parent + 12345;
    fake.event_x = 200;
    fake.event_y = 400;
    xcb_send_event(screen.connection, 0, window.windowId(), XCB_EVENT_MASK_BUTTON_PRESS,
                   reinterpret_cast<const char*>(&fake));
    screen.sync();
    loop.run(50);
    EXPECT_TRUE(client.calls.empty());
}

TEST_F(X11Window, RefusalsCreateAndRegisterNothing)
{
    FakeEditorHost host(OUTPUT);
    RecordingClient client(host);
    // A pixmap is a drawable but no window.
    const uint32_t pixmap = xcb_generate_id(screen.connection);
    xcb_create_pixmap(screen.connection, screen.screen->root_depth, pixmap, parent, 8, 8);
    screen.sync();
    const struct {
        const char* what;
        void* parentId;
        const char* type;
        bool withLoop;
    } cases[] = {
        {"null parent", nullptr, kType, true},
        {"no such window", asParent(0x1FFFFFF0u), kType, true},
        {"a pixmap", asParent(pixmap), kType, true},
        {"beyond 29 bits", reinterpret_cast<void*>(uintptr_t{0x100000000u} + parent), kType, true},
        {"null type", asParent(parent), nullptr, true},
        {"misspelt type", asParent(parent), "X11EmbedWindowId", true},
        {"type with a space", asParent(parent), "X11EmbedWindowID ", true},
        {"HWND", asParent(parent), "HWND", true},
        {"no run loop", asParent(parent), kType, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        X11EditorWindow window(client);
        EXPECT_FALSE(window.attach(c.parentId, c.type, c.withLoop ? &loop : nullptr));
        EXPECT_FALSE(window.attached());
        expectNothingLeft(parent);
    }
    xcb_free_pixmap(screen.connection, pixmap);

    // A host that refuses the timer: the descriptor it took is given back too.
    loop.refuseTimers = true;
    X11EditorWindow window(client);
    EXPECT_FALSE(window.attach(asParent(parent), kType, &loop));
    expectNothingLeft(parent);
}

TEST_F(X11Window, ASecondAttachIsRefusedAndTheFirstKeepsWorking)
{
    FakeEditorHost host(OUTPUT);
    RecordingClient client(host);
    X11EditorWindow window(client);
    ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
    const uint32_t other = screen.topLevel(0, 640, 960, 300); // not over the first: X keeps no hidden pixels
    EXPECT_FALSE(window.attach(asParent(other), kType, &loop));
    EXPECT_TRUE(screen.childless(other));
    EXPECT_EQ(loop.timers.size(), 1u);
    loop.tick();
    screen.sync();
    EXPECT_EQ(differenceFrom(window.windowId(), standIn(host)), 0u);
}

TEST_F(X11Window, EveryEndLeavesNothingBehind)
{
    FakeEditorHost host(SUMMING);
    {
        SCOPED_TRACE("torn down while the timer is registered");
        RecordingClient client(host);
        X11EditorWindow window(client);
        ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
        window.teardown();
        window.teardown(); // again: nothing more happens
        expectNothingLeft(parent);
    }
    {
        SCOPED_TRACE("destroyed without a teardown");
        RecordingClient client(host);
        auto window = std::make_unique<X11EditorWindow>(client);
        ASSERT_TRUE(window->attach(asParent(parent), kType, &loop));
        window.reset();
        expectNothingLeft(parent);
    }
    {
        SCOPED_TRACE("the host's window destroyed first");
        const uint32_t doomed = screen.topLevel();
        RecordingClient client(host);
        X11EditorWindow window(client);
        ASSERT_TRUE(window.attach(asParent(doomed), kType, &loop));
        screen.destroy(doomed);
        loop.run(50);
        loop.tick(); // nothing to draw into, nothing drawn
        EXPECT_EQ(window.windowId(), 0u);
        window.teardown();
        expectNothingLeft(parent);
    }
    {
        SCOPED_TRACE("the X connection closes under the window");
        RecordingClient client(host);
        X11EditorWindow window(client);
        ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
        screen.killClientOf(window.windowId());
        // The broken connection is noticed on its descriptor, and everything is given back.
        EXPECT_TRUE(loop.runUntil([&] { return loop.watches.empty(); }, 2000));
        EXPECT_FALSE(window.attached());
        loop.tick();
        window.teardown();
        expectNothingLeft(parent);
        EXPECT_EQ(client.holds, 0);
    }
}

TEST_F(X11Window, TwoWindowsLiveSideBySide)
{
    FakeEditorHost outputHost(OUTPUT);
    FakeEditorHost faderHost(FADER_BANK);
    RecordingClient outputClient(outputHost);
    RecordingClient faderClient(faderHost);
    const uint32_t secondParent = screen.topLevel(0, 0, 960, 580);
    auto first = std::make_unique<X11EditorWindow>(outputClient);
    X11EditorWindow second(faderClient);
    ASSERT_TRUE(first->attach(asParent(parent), kType, &loop));
    ASSERT_TRUE(second.attach(asParent(secondParent), kType, &loop));
    EXPECT_EQ(loop.watches.size(), 2u);
    EXPECT_EQ(loop.timers.size(), 2u);
    first.reset();
    EXPECT_EQ(loop.timers.size(), 1u);
    faderHost.set(kFaderGainParamBase, 0.5);
    loop.tick();
    screen.sync();
    EXPECT_EQ(differenceFrom(second.windowId(), standIn(faderHost)), 0u);
}

TEST_F(X11Window, ANoticeCoversTheBottomUntilTheNextPress)
{
    FakeEditorHost host(PLAYER);
    RecordingClient client(host);
    X11EditorWindow window(client);
    ASSERT_TRUE(window.attach(asParent(parent), kType, &loop));
    window.showNotice(u"Install the zenity package");
    loop.tick();
    screen.sync();
    std::vector<uint32_t> shown;
    for (int attempt = 0; attempt < 100; ++attempt) {
        shown = screen.pixels(window.windowId(), 960, 580);
        if (shown.size() == 960u * 580u && shown[size_t{575} * 960 + 2] == 0xFF96281Eu)
            break;
        ::usleep(10000);
    }
    ASSERT_EQ(shown.size(), 960u * 580u);
    const auto plain = standIn(host);
    EXPECT_EQ(shown[size_t{575} * 960 + 2], 0xFF96281Eu); // the notice bar
    EXPECT_EQ(differingPixels(std::vector<uint32_t>(shown.begin(), shown.begin() + 540 * 960),
                              std::vector<uint32_t>(plain.begin(), plain.begin() + 540 * 960)),
              0u);
    screen.moveTo(window.windowId(), 400, 100);
    screen.press();
    screen.releaseButton();
    loop.run(50);
    EXPECT_TRUE(window.notice().empty());
    loop.tick();
    screen.sync();
    EXPECT_EQ(differenceFrom(window.windowId(), plain), 0u);
}

} // namespace
} // namespace kestravel::plugins::testing
