// The modules' editors as a Linux DAW shows them: each bundle loaded through its factory, its
// view attached to the test host's X11 window with the host's run loop, real pointer input
// (the X test extension) and the host's component handler at the other end.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "editor/editor_looks.h"
#include "kestravel/ieditorsnapshot.h"
#include "../editor/fake_menu_host.h"
#include "kestravel_host/plugin_instance.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "test_run_loop.h"
#include "test_screen.h"

namespace kestravel::plugins {
DEF_CLASS_IID(IEditorSnapshot)
} // namespace kestravel::plugins

namespace kestravel::plugins::testing {
namespace {

using namespace Steinberg;
using Kind = HandlerCall::Kind;

constexpr const char* kType = "X11EmbedWindowID";
const char* const kBundles[] = {"KestravelInput",  "KestravelOutput",   "KestravelSumming",   "KestravelBreakout",
                                "KestravelPlayer", "KestravelRecorder", "KestravelFaderBank", "KestravelDistributor"};

void* asParent(uint32_t window) { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }

LoadedPlugin load(const std::string& bundle)
{
    return loadPlugin(std::filesystem::path(KESTRAVEL_BUNDLE_DIR) / (bundle + ".vst3"));
}

// One module's editor view, released (removed or not, as the test says) at the end.
struct Editor {
    explicit Editor(const std::string& bundle) : loaded(load(bundle))
    {
        view = Ref<IPlugView>::adopt(loaded.plugin->controller()->createView("editor"));
    }
    LoadedPlugin loaded;
    Ref<IPlugView> view;

    std::vector<uint32_t> standIn()
    {
        std::vector<uint32_t> pixels(960u * 580u);
        auto snapshot = queryRef<IEditorSnapshot>(view.get());
        EXPECT_TRUE(snapshot);
        if (snapshot) {
            EXPECT_EQ(snapshot->renderPixels(pixels.data(), 960, 580), kResultOk);
        }
        return pixels;
    }
    // The begin/perform/end calls the host's handler received.
    std::vector<HandlerCall> edits()
    {
        std::vector<HandlerCall> out;
        for (const HandlerCall& c : loaded.plugin->handler().calls())
            if (c.kind != Kind::RestartComponent)
                out.push_back(c);
        return out;
    }
};

class X11View : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X server (scripts/test.sh starts Xvfb)";
        ASSERT_TRUE(screen.ok());
        parent = screen.topLevel();
    }
    void TearDown() override
    {
        if (screen.ok())
            screen.releaseButton();
    }

    bool attach(Editor& e, uint32_t into)
    {
        e.view->setFrame(&frame);
        return e.view->attached(asParent(into), kType) == kResultOk;
    }
    uint32_t child(uint32_t of)
    {
        const auto c = screen.children(of);
        return c.size() == 1 ? c[0] : 0;
    }
    size_t differenceFrom(uint32_t w, const std::vector<uint32_t>& expected)
    {
        size_t different = 0;
        screen.eventually([&] {
            const auto shown = screen.pixels(w, 960, 580);
            different = 0;
            for (size_t i = 0; i < expected.size(); ++i)
                different += shown.size() != expected.size() || shown[i] != expected[i];
            return different == 0;
        });
        return different;
    }
    void expectNothingLeft(uint32_t of)
    {
        EXPECT_TRUE(screen.childless(of));
        EXPECT_TRUE(loop.watches.empty());
        EXPECT_TRUE(loop.timers.empty());
        EXPECT_EQ(loop.references, 1);
    }

    TestScreen screen;
    TestRunLoop loop;
    TestFrame frame{&loop};
    uint32_t parent = 0;
};

TEST_F(X11View, OffersTheX11EmbedWindowTypeOnly)
{
    Editor e("KestravelOutput");
    const struct {
        const char* type;
        tresult result;
    } cases[] = {{"X11EmbedWindowID", kResultTrue}, {"x11embedwindowid", kResultFalse}, {"X11EmbedWindowID ", kResultFalse},
                 {"HWND", kResultFalse},            {"", kResultFalse},                 {nullptr, kResultFalse}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type ? c.type : "(null)");
        EXPECT_EQ(e.view->isPlatformTypeSupported(c.type), c.result);
    }
}

TEST_F(X11View, EveryModuleShowsItsPictureAndFollowsItsParameters)
{
    for (const char* bundle : kBundles) {
        SCOPED_TRACE(bundle);
        Editor e(bundle);
        ASSERT_TRUE(attach(e, parent));
        const uint32_t w = child(parent);
        ASSERT_NE(w, 0u);
        const auto g = screen.geometry(w);
        ASSERT_TRUE(g);
        EXPECT_EQ(g->width, 960);
        EXPECT_EQ(g->height, 580);
        EXPECT_EQ(screen.property(w, "_XEMBED_INFO"), (std::vector<uint32_t>{0, 1}));
        loop.tick();
        EXPECT_EQ(differenceFrom(w, e.standIn()), 0u);

        // A change made by the host (automation) shows at the next look: an idle editor looks
        // every third tick (10 times a second).
        const Vst::ParamID id = std::string(bundle) == "KestravelFaderBank" ? 100 : 1;
        if (std::string(bundle) != "KestravelPlayer" && std::string(bundle) != "KestravelRecorder") {
            const auto before = e.standIn();
            e.loaded.plugin->controller()->setParamNormalized(id, 0.3);
            const auto after = e.standIn();
            EXPECT_NE(before, after);
            for (int32_t t = 0; t < kIdleTicksPerLook; ++t)
                loop.tick();
            EXPECT_EQ(differenceFrom(w, after), 0u);
        }
        EXPECT_EQ(e.view->removed(), kResultOk);
        e.view->setFrame(nullptr);
        expectNothingLeft(parent);
    }
}

TEST_F(X11View, PointerInputArrivesAsCompleteGestures)
{
    Editor e("KestravelFaderBank");
    ASSERT_TRUE(attach(e, parent));
    const uint32_t w = child(parent);
    ASSERT_NE(w, 0u);
    // A drag on the first strip's fader, then a click on its mute button.
    screen.moveTo(w, 80, 300);
    screen.press();
    loop.run(30);
    screen.moveTo(w, 80, 330);
    loop.run(30);
    screen.moveTo(w, 80, 360);
    loop.run(30);
    screen.releaseButton();
    loop.run(30);
    screen.moveTo(w, 76, 220);
    screen.press();
    screen.releaseButton();
    loop.run(50);

    const auto calls = e.edits();
    ASSERT_GE(calls.size(), 6u);
    // One gesture for the whole drag: begin, its performs, end; all on strip 1's gain.
    EXPECT_EQ(calls.front().kind, Kind::BeginEdit);
    EXPECT_EQ(calls.front().id, 100u);
    size_t i = 1;
    while (i < calls.size() && calls[i].kind == Kind::PerformEdit) {
        EXPECT_EQ(calls[i].id, 100u);
        ++i;
    }
    EXPECT_GE(i, 3u); // the press and at least one motion
    ASSERT_LT(i, calls.size());
    EXPECT_EQ(calls[i].kind, Kind::EndEdit);
    EXPECT_EQ(calls[i].id, 100u);
    // Dragged down: the gain fell.
    EXPECT_LT(calls[i - 1].value, calls[1].value);
    // The mute click: one complete group switching it on.
    ASSERT_EQ(calls.size(), i + 4);
    EXPECT_EQ(calls[i + 1].kind, Kind::BeginEdit);
    EXPECT_EQ(calls[i + 2].kind, Kind::PerformEdit);
    EXPECT_EQ(calls[i + 2].id, 200u);
    EXPECT_EQ(calls[i + 2].value, 1.0);
    EXPECT_EQ(calls[i + 3].kind, Kind::EndEdit);
    e.view->removed();
}

// A right-click on a control asks the host for the menu of its parameter and pops it up at
// the pointer; elsewhere, or with a host that offers no menus, nothing happens.
TEST_F(X11View, RightClickOpensTheHostsMenuOfTheControl)
{
    FakeMenuHost menus; // outlives the module, which holds it as its handler
    Editor e("KestravelFaderBank");
    ASSERT_EQ(e.loaded.plugin->controller()->setComponentHandler(&menus), kResultTrue);
    ASSERT_TRUE(attach(e, parent));
    const uint32_t w = child(parent);
    ASSERT_NE(w, 0u);
    const auto rightClick = [&](int32_t x, int32_t y) {
        screen.moveTo(w, x, y);
        screen.press(3);
        screen.releaseButton(3);
        loop.run(50);
    };
    rightClick(74, 300); // strip 1's fader
    rightClick(5, 5);    // the title: no control
    rightClick(60, 220); // strip 1's mute
    ASSERT_EQ(menus.requests.size(), 2u);
    const Vst::ParamID ids[] = {100, 200}; // strip 1's gain and mute
    const int32_t rows[] = {300, 220};
    for (size_t i = 0; i < 2; ++i) {
        const MenuRequest& r = menus.requests[i];
        EXPECT_EQ(r.view, e.view.get());
        EXPECT_TRUE(r.forParameter);
        EXPECT_EQ(r.id, ids[i]);
        EXPECT_EQ(r.popups, 1);
        EXPECT_EQ(r.x, i == 0 ? 74 : 60);
        EXPECT_EQ(r.y, rows[i]);
    }
    EXPECT_EQ(menus.menusAlive, 0);
    EXPECT_EQ(menus.edits, 0); // a right-click edits nothing itself

    menus.offersMenus = false;
    rightClick(74, 300);
    EXPECT_EQ(menus.requests.size(), 2u);
    EXPECT_EQ(menus.edits, 0);
    // The left button still works as before.
    screen.moveTo(w, 60, 220);
    screen.press();
    screen.releaseButton();
    loop.run(50);
    EXPECT_EQ(menus.edits, 3);
    e.view->removed();
}

// A host that sets the scale before the view has a frame and sizes its window from the
// getSize it asked earlier learns the new size as soon as the view is attached.
TEST_F(X11View, AViewScaledBeforeItHadAFrameTellsItsSizeOnAttaching)
{
    for (bool asksAgain : {false, true}) {
        SCOPED_TRACE(asksAgain ? "the host asks getSize after scaling" : "the host never asks again");
        Editor e("KestravelOutput");
        TestFrame sized{&loop};
        ViewRect r;
        ASSERT_EQ(e.view->getSize(&r), kResultTrue);
        auto scaling = queryRef<IPlugViewContentScaleSupport>(e.view.get());
        ASSERT_TRUE(scaling);
        ASSERT_EQ(scaling->setContentScaleFactor(2.0f), kResultTrue);
        if (asksAgain) {
            ASSERT_EQ(e.view->getSize(&r), kResultTrue);
        }
        e.view->setFrame(&sized);
        ASSERT_EQ(e.view->attached(asParent(parent), kType), kResultOk);
        if (asksAgain) {
            EXPECT_TRUE(sized.resizes.empty());
        } else {
            ASSERT_EQ(sized.resizes.size(), 1u);
            EXPECT_EQ(sized.resizes[0].getWidth(), 1920);
            EXPECT_EQ(sized.resizes[0].getHeight(), 1160);
        }
        const auto g = screen.geometry(child(parent));
        ASSERT_TRUE(g);
        EXPECT_EQ(g->width, 1920);
        // Attached again at the size told: nothing more to say.
        EXPECT_EQ(e.view->removed(), kResultOk);
        ASSERT_EQ(e.view->attached(asParent(parent), kType), kResultOk);
        EXPECT_EQ(sized.resizes.size(), asksAgain ? 0u : 1u);
        EXPECT_EQ(e.view->removed(), kResultOk);
        e.view->setFrame(nullptr);
    }
}

TEST_F(X11View, EveryWayOfEndingLeavesNothingBehind)
{
    {
        SCOPED_TRACE("removed while the timer is registered, mid-drag");
        Editor e("KestravelOutput");
        ASSERT_TRUE(attach(e, parent));
        screen.moveTo(child(parent), 300, 400);
        screen.press();
        loop.run(30);
        EXPECT_EQ(e.view->removed(), kResultOk);
        screen.releaseButton();
        expectNothingLeft(parent);
        // The drag's gesture was closed.
        const auto calls = e.edits();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().kind, Kind::EndEdit);
    }
    {
        SCOPED_TRACE("released without removed");
        Editor e("KestravelSumming");
        ASSERT_TRUE(attach(e, parent));
        e.view.reset();
        expectNothingLeft(parent);
    }
    {
        SCOPED_TRACE("a host without IRunLoop");
        Editor e("KestravelSumming");
        TestFrame bare(nullptr);
        e.view->setFrame(&bare);
        EXPECT_EQ(e.view->attached(asParent(parent), kType), kResultFalse);
        e.view->setFrame(nullptr);
        expectNothingLeft(parent);
    }
    {
        SCOPED_TRACE("no frame at all, a null parent, a wrong type");
        Editor e("KestravelSumming");
        EXPECT_EQ(e.view->attached(asParent(parent), kType), kResultFalse);
        e.view->setFrame(&frame);
        EXPECT_EQ(e.view->attached(nullptr, kType), kResultFalse);
        EXPECT_EQ(e.view->attached(asParent(parent), "HWND"), kResultFalse);
        EXPECT_EQ(e.view->attached(asParent(parent), nullptr), kResultFalse);
        expectNothingLeft(parent);
    }
    {
        SCOPED_TRACE("a second attach");
        Editor e("KestravelSumming");
        ASSERT_TRUE(attach(e, parent));
        const uint32_t other = screen.topLevel(0, 640, 960, 300);
        EXPECT_EQ(e.view->attached(asParent(other), kType), kResultFalse);
        EXPECT_TRUE(screen.childless(other));
        e.view->removed();
        expectNothingLeft(parent);
    }
    {
        SCOPED_TRACE("the X connection closing under the view");
        Editor e("KestravelPlayer");
        ASSERT_TRUE(attach(e, parent));
        screen.killClientOf(child(parent));
        EXPECT_TRUE(loop.runUntil([&] { return loop.watches.empty() && loop.timers.empty(); }, 2000));
        loop.tick();
        EXPECT_EQ(e.view->removed(), kResultOk);
        expectNothingLeft(parent);
    }
}

TEST_F(X11View, TwoModulesAtOnce)
{
    const uint32_t second = screen.topLevel(0, 0, 960, 580);
    Editor a("KestravelOutput");
    Editor b("KestravelFaderBank");
    ASSERT_TRUE(attach(a, parent));
    ASSERT_TRUE(attach(b, second));
    EXPECT_EQ(loop.timers.size(), 2u);
    a.view.reset(); // released without removed
    EXPECT_EQ(loop.timers.size(), 1u);
    b.loaded.plugin->controller()->setParamNormalized(100, 0.2);
    for (int32_t t = 0; t < kIdleTicksPerLook; ++t) // the next look of an idle editor
        loop.tick();
    EXPECT_EQ(differenceFrom(child(second), b.standIn()), 0u);
    b.view->removed();
    expectNothingLeft(second);
    EXPECT_TRUE(screen.childless(parent));
}

// A PNG's pixels as 0xFFRRGGBB, empty when it cannot be read.
std::vector<uint32_t> pngPixels(const std::string& path, int& width, int& height)
{
    std::vector<uint32_t> out;
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS) {
        width = cairo_image_surface_get_width(png);
        height = cairo_image_surface_get_height(png);
        const int stride = cairo_image_surface_get_stride(png);
        const unsigned char* data = cairo_image_surface_get_data(png);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                out.push_back(0xFF000000u | reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(stride) * y)[x]);
    }
    cairo_surface_destroy(png);
    return out;
}

TEST(RackhostShow, TheScreenshotIsTheWindowAsTheSnapshotDrawsIt)
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "this test needs an X server (scripts/test.sh starts Xvfb)";
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kestravel-show-test";
    std::filesystem::create_directories(dir);
    const std::string bundle = (std::filesystem::path(KESTRAVEL_BUNDLE_DIR) / "KestravelFaderBank.vst3").string();
    const std::string shown = (dir / "shown.png").string();
    const std::string drawn = (dir / "drawn.png").string();
    const std::string rackhost = KESTRAVEL_RACKHOST;
    ASSERT_EQ(std::system((rackhost + " show '" + bundle + "' --seconds 0.5 --param 100=0.25 --param 0=0.5" +
                           " --screenshot '" + shown + "' > /dev/null")
                              .c_str()),
              0);
    ASSERT_EQ(std::system((rackhost + " snapshot '" + bundle + "' --param 100=0.25 --param 0=0.5 --out '" + drawn +
                           "' > /dev/null")
                              .c_str()),
              0);
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    const auto a = pngPixels(shown, w1, h1);
    const auto b = pngPixels(drawn, w2, h2);
    EXPECT_EQ(w1, 960);
    EXPECT_EQ(h1, 580);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);
    // Without a display it says so instead of failing obscurely.
    const std::string noDisplay = "env -u DISPLAY " + rackhost + " show '" + bundle + "' --seconds 0.1 2>&1";
    FILE* p = ::popen(noDisplay.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string said;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p))
        said += buffer;
    EXPECT_NE(::pclose(p), 0);
    EXPECT_NE(said.find("No X display"), std::string::npos) << said;
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace kestravel::plugins::testing
