// The view as a host and the command-line host see it, without a parent window.

#include <gtest/gtest.h>

#include <vector>

#include <algorithm>
#include <cmath>
#include <memory>
#include <limits>

#include "counted_owner.h"
#include "editor/palette.h"
#include "editor/view.h"
#include "fake_plug_frame.h"
#ifdef _WIN32
#include "editor/platform/gdi_canvas.h"
#else
#include "editor/platform/cairo_canvas.h"
#endif
#include "fake_editor_host.h"
#include "kestravel/ieditorsnapshot.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivstplugview.h"
#include "picture_checks.h"

namespace kestravel::plugins::testing {
namespace {

using Steinberg::IPlugView;
using Steinberg::kInvalidArgument;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;

// One view of a fake module, released at the end.
struct ViewFixture {
    explicit ViewFixture(ModuleKind kind) : host(kind)
    {
        view = createEditorView(host, host, &owner);
        void* obj = nullptr;
        if (view->queryInterface(IEditorSnapshot::iid, &obj) == kResultOk)
            snapshot = static_cast<IEditorSnapshot*>(obj);
    }
    ~ViewFixture()
    {
        if (snapshot)
            snapshot->release();
        view->release();
    }

    std::vector<uint32_t> picture()
    {
        std::vector<uint32_t> pixels(960u * 580u);
        EXPECT_EQ(snapshot->renderPixels(pixels.data(), 960, 580), kResultOk);
        return pixels;
    }

    // The picture at the view's current size.
    std::vector<uint32_t> scaledPicture(int32_t& width, int32_t& height)
    {
        Steinberg::ViewRect r;
        view->getSize(&r);
        width = r.getWidth();
        height = r.getHeight();
        std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
        EXPECT_EQ(snapshot->renderPixels(pixels.data(), width, height), kResultOk);
        return pixels;
    }

    Steinberg::tresult setScale(float factor)
    {
        Steinberg::IPlugViewContentScaleSupport* scaling = nullptr;
        if (view->queryInterface(Steinberg::IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scaling)) !=
            kResultOk)
            return Steinberg::kNoInterface;
        const Steinberg::tresult r = scaling->setContentScaleFactor(factor);
        scaling->release();
        return r;
    }

    CountedOwner owner;
    FakeEditorHost host;
    IPlugView* view = nullptr;
    IEditorSnapshot* snapshot = nullptr;
};

// HWND on Windows, X11EmbedWindowID on Linux, each spelt exactly; nothing else anywhere.
TEST(EditorView, AcceptsOnlyThePlatformsOwnWindowType)
{
    ViewFixture f(OUTPUT);
#ifdef _WIN32
    const Steinberg::tresult hwnd = kResultTrue, x11 = kResultFalse;
#else
    const Steinberg::tresult hwnd = kResultFalse, x11 = kResultTrue;
#endif
    const struct {
        const char* type;
        Steinberg::tresult result;
    } cases[] = {{"HWND", hwnd},           {"hwnd", kResultFalse},    {"HWND ", kResultFalse},
                 {"", kResultFalse},       {nullptr, kResultFalse},   {"NSView", kResultFalse},
                 {"X11EmbedWindowID", x11}, {"X11EmbedWindowId", kResultFalse}};
    for (const auto& c : cases)
        EXPECT_EQ(f.view->isPlatformTypeSupported(c.type), c.result) << (c.type ? c.type : "null");
}

TEST(EditorView, IsFixedAt960By580)
{
    ViewFixture f(PLAYER);
    Steinberg::ViewRect r;
    ASSERT_EQ(f.view->getSize(&r), kResultTrue);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 960);
    EXPECT_EQ(r.bottom, 580);
    EXPECT_EQ(f.view->canResize(), kResultFalse);
}

TEST(EditorView, HoldsItsOwnerForItsWholeLife)
{
    CountedOwner owner;
    FakeEditorHost host(INPUT);
    IPlugView* view = createEditorView(host, host, &owner);
    EXPECT_EQ(owner.references, 2);
    void* obj = nullptr;
    ASSERT_EQ(view->queryInterface(IEditorSnapshot::iid, &obj), kResultOk);
    auto* snapshot = static_cast<IEditorSnapshot*>(obj);
    EXPECT_EQ(view->release(), 1u); // the snapshot reference keeps the view
    EXPECT_EQ(owner.references, 2);
    snapshot->release();
    EXPECT_EQ(owner.references, 1);

    // Released without ever being attached: only the owner reference goes.
    IPlugView* unowned = createEditorView(host, host, nullptr);
    EXPECT_EQ(unowned->release(), 0u);
}

TEST(EditorView, AnswersItsInterfaces)
{
    ViewFixture f(OUTPUT);
    ASSERT_NE(f.snapshot, nullptr);
    for (const Steinberg::FUID* iid :
         {&IPlugView::iid, &Steinberg::FUnknown::iid, &Steinberg::IPlugViewContentScaleSupport::iid,
          &Steinberg::Vst::IParameterFinder::iid}) {
        void* obj = nullptr;
        ASSERT_EQ(f.view->queryInterface(*iid, &obj), kResultOk);
        static_cast<Steinberg::FUnknown*>(obj)->release();
    }
    void* obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(f.view->queryInterface(Steinberg::IPluginBase::iid, &obj), Steinberg::kNoInterface);
    EXPECT_EQ(obj, nullptr);
}

TEST(EditorSnapshot, RendersThePictureOfTheModule)
{
    for (const auto& c : pictureCases()) {
        ViewFixture f(c.kind);
        EditorState page;
        c.setUp(f.host, page);
        if (page.faderPage != 0)
            continue; // the page lives inside the view; see PageClampsAfterTheCountIsLowered
        SCOPED_TRACE(c.name);
        const auto pixels = f.picture();
        for (const auto& check : c.checks)
            EXPECT_EQ(pixels[static_cast<size_t>(check.y) * 960 + static_cast<size_t>(check.x)], check.colour.argb())
                << check.what << " at " << check.x << "," << check.y;
    }

    ViewFixture f(OUTPUT);
    std::vector<uint32_t> pixels(960u * 580u);
    EXPECT_EQ(f.snapshot->renderPixels(pixels.data(), 959, 580), kInvalidArgument);
    EXPECT_EQ(f.snapshot->renderPixels(nullptr, 960, 580), kInvalidArgument);
    EXPECT_EQ(f.snapshot->renderPng(nullptr), kInvalidArgument);
    EXPECT_EQ(f.snapshot->renderPng("/nonexistent-dir/x.png"), kResultFalse);
}

TEST(EditorSnapshot, PageClampsAfterTheCountIsLowered)
{
    ViewFixture f(FADER_BANK);
    f.host.set(kActiveStripsParam, 8 / 63.0); // 9 strips
    f.snapshot->mouseDown(100, 540);           // page 1: strip 9 alone
    auto pixels = f.picture();
    EXPECT_EQ(pixels[300u * 960u + 30u], palette::kStripPanel.argb());
    EXPECT_EQ(pixels[300u * 960u + 150u], palette::kBackground.argb());

    f.host.set(kActiveStripsParam, 7 / 63.0); // automation lowers the count to 8
    pixels = f.picture();
    EXPECT_EQ(pixels[300u * 960u + 150u], palette::kStripPanel.argb()); // page 0 again

    f.host.set(kActiveStripsParam, 8 / 63.0); // and the page stays 0 when the count returns
    pixels = f.picture();
    EXPECT_EQ(pixels[300u * 960u + 150u], palette::kStripPanel.argb());
}

TEST(EditorSnapshot, MouseDrivesTheEditor)
{
    ViewFixture f(FADER_BANK);
    f.host.set(kActiveStripsParam, 16 / 63.0); // 17 strips
    f.snapshot->mouseDown(100, 540);            // page 1: strips 9 to 16
    f.snapshot->mouseDown(114 + 115 * 2 - 36, 445); // strip 11's fader, far from its knob at 0 dB
    f.snapshot->mouseDrag(0, 445 - 187);
    f.snapshot->mouseUp();
    f.snapshot->mouseDrag(0, 300); // released: no more edits
    ASSERT_EQ(f.host.edits.size(), 2u);
    EXPECT_EQ(f.host.edits[0], (Edit{kFaderGainParamBase + 10, 0.0}));
    EXPECT_EQ(f.host.edits[1], (Edit{kFaderGainParamBase + 10, 1.0}));

    // The page stays with the view between pictures: slot 7 of page 1 is shown, strip 17 is not.
    const auto pixels = f.picture();
    EXPECT_EQ(pixels[300u * 960u + 840u], palette::kStripPanel.argb());
}

TEST(EditorSnapshot, ScriptedDialogsAnswerAndRemember)
{
    ViewFixture f(PLAYER);
    char message[64] = "untouched";
    EXPECT_EQ(f.snapshot->setDialogAnswer(nullptr), kResultOk); // cancel; no system dialogs from here on
    EXPECT_EQ(f.snapshot->getLastMessage(message, sizeof message), kResultFalse);
    EXPECT_STREQ(message, "");

    f.snapshot->mouseDown(300, 130); // Play without a file
    EXPECT_EQ(f.snapshot->getLastMessage(message, sizeof message), kResultTrue);
    EXPECT_STREQ(message, "Choose a WAV file first.");
    char small[7];
    f.snapshot->getLastMessage(small, sizeof small);
    EXPECT_STREQ(small, "Choose");
    EXPECT_EQ(f.snapshot->getLastMessage(nullptr, 4), kInvalidArgument);

    f.snapshot->mouseDown(100, 130); // Open: cancelled
    EXPECT_TRUE(f.host.filesSet.empty());

    f.snapshot->setDialogAnswer("/clips/t\xc3\xa4ke.wav");
    f.host.setFileRefusal = "Cannot open WAV file";
    f.snapshot->mouseDown(100, 130);
    ASSERT_EQ(f.host.filesSet.size(), 1u);
    EXPECT_EQ(f.host.filesSet[0], u"/clips/t\u00e4ke.wav");
    f.snapshot->getLastMessage(message, sizeof message);
    EXPECT_STREQ(message, "Cannot open WAV file");
}

TEST(ContentScale, AcceptsOneToFourAndAsksTheFrameToResize)
{
    const struct {
        float factor;
        int32_t width, height;
    } cases[] = {{2.0f, 1920, 1160}, {1.5f, 1440, 870}, {4.0f, 3840, 2320}, {1.25f, 1200, 725}, {1.0f, 960, 580}};
    ViewFixture f(OUTPUT);
    FakePlugFrame frame;
    f.view->setFrame(&frame);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.factor);
        frame.resizes.clear();
        EXPECT_EQ(f.setScale(c.factor), kResultTrue);
        Steinberg::ViewRect r;
        f.view->getSize(&r);
        EXPECT_EQ(r.getWidth(), c.width);
        EXPECT_EQ(r.getHeight(), c.height);
        ASSERT_EQ(frame.resizes.size(), 1u);
        EXPECT_EQ(frame.resizes[0].right, c.width);
        EXPECT_EQ(frame.resizes[0].bottom, c.height);
        std::vector<uint32_t> pixels(static_cast<size_t>(c.width) * static_cast<size_t>(c.height));
        EXPECT_EQ(f.snapshot->renderPixels(pixels.data(), c.width, c.height), kResultOk);
        if (c.factor != 1.0f) {
            EXPECT_EQ(f.snapshot->renderPixels(pixels.data(), 960, 580), kInvalidArgument);
        }
    }
    frame.resizes.clear();
    EXPECT_EQ(f.setScale(1.0f), kResultTrue); // the same size again: nothing to resize
    EXPECT_TRUE(frame.resizes.empty());
    f.view->setFrame(nullptr);

    // Before a frame is set the size is still reported.
    ViewFixture g(INPUT);
    EXPECT_EQ(g.setScale(3.0f), kResultTrue);
    Steinberg::ViewRect r;
    g.view->getSize(&r);
    EXPECT_EQ(r.getWidth(), 2880);
}

TEST(ContentScale, RefusesFactorsOutsideOneToFourAndChangesNothing)
{
    const float bad[] = {0.0f, -1.0f, -0.0f, 0.5f, 0.999f, 4.001f, 100.0f, std::nanf(""),
                         std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    ViewFixture f(FADER_BANK);
    FakePlugFrame frame;
    f.view->setFrame(&frame);
    ASSERT_EQ(f.setScale(2.0f), kResultTrue);
    frame.resizes.clear();
    for (float factor : bad) {
        EXPECT_EQ(f.setScale(factor), kResultFalse) << factor;
        Steinberg::ViewRect r;
        f.view->getSize(&r);
        EXPECT_EQ(r.getWidth(), 1920) << factor;
    }
    EXPECT_TRUE(frame.resizes.empty());
    f.view->setFrame(nullptr);
}

TEST(ContentScale, TwiceIsTheSamePictureDrawnLargerNotBlurred)
{
    ViewFixture one(FADER_BANK);
    ViewFixture two(FADER_BANK);
    for (ViewFixture* f : {&one, &two}) {
        f->host.set(kFaderGainParamBase + 2, 0.3);
        f->host.set(kFaderMuteParamBase + 4, 1.0);
    }
    ASSERT_EQ(two.setScale(2.0f), kResultTrue);
    const auto small = one.picture();
    int32_t w = 0, h = 0;
    const auto large = two.scaledPicture(w, h);
    ASSERT_EQ(w, 1920);
    // Between the mute buttons and the dB labels there is no text: faders, ticks, knobs and
    // their edges. Each editor pixel is exactly a 2 x 2 block of the same colour.
    for (int32_t y = 236; y < 460; ++y)
        for (int32_t x = 20; x < 940; ++x) {
            const uint32_t expected = small[static_cast<size_t>(y) * 960 + static_cast<size_t>(x)];
            for (int32_t d = 0; d < 4; ++d) {
                const size_t i = static_cast<size_t>(2 * y + d / 2) * 1920 + static_cast<size_t>(2 * x + d % 2);
                ASSERT_EQ(large[i], expected) << "editor pixel " << x << "," << y;
            }
        }
    // Text is set at twice the size, not stretched: the title's ink reaches about twice as far,
    // and it has detail finer than a 2 x 2 block.
    auto inkRight = [](const std::vector<uint32_t>& px, int32_t width, int32_t row0, int32_t row1) {
        int32_t right = 0;
        for (int32_t y = row0; y < row1; ++y)
            for (int32_t x = 0; x < width; ++x)
                if (px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] !=
                    palette::kHeaderBand.argb())
                    right = std::max(right, x);
        return right;
    };
    const int32_t r1 = inkRight(small, 960, 13, 46);
    const int32_t r2 = inkRight(large, 1920, 26, 92);
    EXPECT_GT(r1, 200);
    EXPECT_NEAR(r2, 2 * r1, r1 / 25);
    int32_t detailedBlocks = 0;
    for (int32_t y = 13; y < 46; ++y)
        for (int32_t x = 26; x < r1; ++x) {
            const size_t i = static_cast<size_t>(2 * y) * 1920 + static_cast<size_t>(2 * x);
            if (large[i] != large[i + 1] || large[i] != large[i + 1920] || large[i] != large[i + 1921])
                ++detailedBlocks;
        }
    EXPECT_GT(detailedBlocks, 100);
}

// Width of one line of text as the platform's canvas sets it at scale 1.
double labelWidthAtOne(std::u16string_view text, int32_t size)
{
#ifdef _WIN32
    GdiBitmap bitmap;
    GdiCanvas canvas(bitmap.context());
    return canvas.textWidth(text, size, false);
#else
    CairoImage image;
    return image.canvas().textWidth(text, size, false);
#endif
}

TEST(ContentScale, TextKeepsItsWidthSoNoLabelOutgrowsItsBox)
{
    // The tightest label of all: "STEREO → STEREO" in its strip, about 3 pixels to spare at 1.
    ViewFixture one(FADER_BANK);
    ViewFixture two(FADER_BANK);
    ASSERT_EQ(two.setScale(2.0f), kResultTrue);
    const auto small = one.picture();
    int32_t w = 0, h = 0;
    const auto large = two.scaledPicture(w, h);
    auto inkRight = [](const std::vector<uint32_t>& px, int32_t width, const Rect& box) {
        int32_t right = 0;
        for (int32_t y = box.top; y < box.bottom; ++y)
            for (int32_t x = box.left; x < box.right; ++x)
                if (px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] !=
                    palette::kStripPanel.argb())
                    right = std::max(right, x);
        return right;
    };
    const int32_t r1 = inkRight(small, 960, {30, 181, 124, 201});
    const int32_t r2 = inkRight(large, 1920, {60, 362, 248, 402});
    ASSERT_GT(r1, 100);
    if (labelWidthAtOne(u"STEREO \u2192 STEREO", 10) > 94)
        GTEST_SKIP() << "this system's font is too wide for the label already at 1";
    EXPECT_LE(r2, 2 * r1 + 2);
    EXPECT_GE(r2, 2 * r1 - 12);
}

TEST(ContentScale, PointerWorksInScaledPixels)
{
    ViewFixture f(OUTPUT);
    ASSERT_EQ(f.setScale(2.0f), kResultTrue);
    f.host.set(kGainParam, 0.5);
    f.snapshot->pointerPress(2 * 468, 2 * 400, 0, false);
    f.snapshot->pointerMove(2 * 568, 2 * 400, kEditorModifierShift);
    f.snapshot->mouseUp();
    ASSERT_EQ(f.host.edits.size(), 2u);
    EXPECT_NEAR(f.host.edits[1].value, 0.5 + 10 / 863.0, 1e-12);
    EXPECT_TRUE(f.host.gesturesBalanced());
}

// What a host's "automate/learn the control under the mouse" gets from the view.
TEST(ParameterFinder, FindsTheControlUnderThePointerInTheViewsPixels)
{
    ViewFixture f(FADER_BANK);
    f.host.set(kActiveStripsParam, 11 / 63.0); // 12 strips
    void* obj = nullptr;
    ASSERT_EQ(f.view->queryInterface(Steinberg::Vst::IParameterFinder::iid, &obj), kResultOk);
    auto* finder = static_cast<Steinberg::Vst::IParameterFinder*>(obj);
    struct Case {
        int32_t x, y;       // editor pixels
        Steinberg::tresult result;
        Steinberg::Vst::ParamID id;
    };
    const Case cases[] = {
        {229 - 40, 300, kResultTrue, kFaderGainParamBase + 1}, // strip 2's fader
        {229 - 40, 220, kResultTrue, kFaderMuteParamBase + 1}, // and its mute
        {670, 120, kResultTrue, kActiveStripsParam},           // the count's "-"
        {60, 540, kResultFalse, 0},                            // a page button
        {5, 5, kResultFalse, 0},
    };
    for (int32_t scale : {1, 2}) {
        ASSERT_EQ(f.setScale(static_cast<float>(scale)), kResultTrue);
        for (const Case& c : cases) {
            Steinberg::Vst::ParamID id = 12345;
            const int32_t x = c.x * scale;
            const int32_t y = c.y * scale;
            EXPECT_EQ(finder->findParameter(x, y, id), c.result) << c.x << "," << c.y << " x" << scale;
            EXPECT_EQ(id, c.result == kResultTrue ? c.id : 12345u) << c.x << "," << c.y << " x" << scale;
        }
    }
    // The second page shows strips 9 to 12: the same place is another strip.
    f.snapshot->mouseDown(2 * 100, 2 * 540);
    f.snapshot->mouseUp();
    Steinberg::Vst::ParamID id = 0;
    EXPECT_EQ(finder->findParameter(2 * (229 - 40), 2 * 300, id), kResultTrue);
    EXPECT_EQ(id, kFaderGainParamBase + 9);
    finder->release();
}

TEST(EditorSnapshot, GesturesCloseWhenTheDragIsCutShort)
{
    // Removed from the host, or released, in the middle of a drag: endEdit still comes, once.
    for (bool release : {false, true}) {
        SCOPED_TRACE(release ? "view released" : "view removed");
        auto f = std::make_unique<ViewFixture>(FADER_BANK);
        FakeEditorHost& host = f->host;
        host.set(kFaderGainParamBase, 0.0);
        f->snapshot->mouseDown(114 - 36, 445);
        f->snapshot->mouseDrag(114 - 36, 400);
        if (release) {
            // The module outlives its view here; the fixture's host goes with it.
            FakeEditorHost* keep = &host;
            f->snapshot->release();
            f->snapshot = nullptr;
            f->view->release();
            f->view = nullptr;
            ASSERT_EQ(keep->calls.size(), 4u);
            EXPECT_EQ(keep->calls.back(), (HostCall{Call::End, kFaderGainParamBase}));
            f->view = createEditorView(host, host, &f->owner); // for the fixture to release
        } else {
            f->view->removed();
            f->snapshot->pointerCaptureLost();
            f->snapshot->mouseUp();
            ASSERT_EQ(host.calls.size(), 4u);
            EXPECT_EQ(host.calls.back(), (HostCall{Call::End, kFaderGainParamBase}));
        }
        EXPECT_TRUE(host.gesturesBalanced());
    }
}

TEST(EditorSnapshot, KeysDoubleClicksAndTheWheel)
{
    ViewFixture f(OUTPUT);
    f.host.set(kGainParam, 0.25);
    EXPECT_EQ(f.snapshot->pointerPress(300, 400, kEditorModifierControl, false), kResultOk);
    EXPECT_EQ(f.host.get(kGainParam), 15.0 / 17.0);
    f.host.set(kGainParam, 0.25);
    f.snapshot->pointerPress(300, 400, 0, true);
    EXPECT_EQ(f.host.get(kGainParam), 15.0 / 17.0);

    EXPECT_EQ(f.snapshot->pointerWheel(300, 400, 2.0f, 0), kResultTrue);
    EXPECT_NEAR(f.host.get(kGainParam), 15.0 / 17.0 + 1.0 / 102.0, 1e-12);
    EXPECT_EQ(f.snapshot->pointerWheel(300, 100, 2.0f, 0), kResultFalse);
    // A host that forwards the wheel without a position: where the pointer was last.
    f.snapshot->pointerMove(300, 400, 0);
    EXPECT_EQ(f.view->onWheel(-1.0f), kResultTrue);
    EXPECT_NEAR(f.host.get(kGainParam), 15.0 / 17.0 + 0.5 / 102.0, 1e-12);
    EXPECT_TRUE(f.host.gesturesBalanced());
}

#ifndef _WIN32
TEST(EditorView, WithoutWindowSystemAttachingIsRefused)
{
    ViewFixture f(OUTPUT);
    int parent = 0;
    EXPECT_EQ(f.view->attached(&parent, "HWND"), kResultFalse);
    EXPECT_EQ(f.view->removed(), kResultOk);
}
#endif

} // namespace
} // namespace kestravel::plugins::testing
