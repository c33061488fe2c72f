// The view as a host and the command-line host see it, without a parent window.

#include <gtest/gtest.h>

#include <vector>

#include "counted_owner.h"
#include "editor/view.h"
#include "fake_editor_host.h"
#include "kestravel/ieditorsnapshot.h"
#include "pluginterfaces/base/ipluginbase.h"
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
        view = createEditorView(host, &owner);
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

    CountedOwner owner;
    FakeEditorHost host;
    IPlugView* view = nullptr;
    IEditorSnapshot* snapshot = nullptr;
};

TEST(EditorView, AcceptsOnlyTheHwndPlatformType)
{
    ViewFixture f(OUTPUT);
    const struct {
        const char* type;
        Steinberg::tresult result;
    } cases[] = {{"HWND", kResultTrue},  {"hwnd", kResultFalse},   {"HWND ", kResultFalse},
                 {"", kResultFalse},     {nullptr, kResultFalse},  {"NSView", kResultFalse},
                 {"X11EmbedWindowID", kResultFalse}};
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
    IPlugView* view = createEditorView(host, &owner);
    EXPECT_EQ(owner.references, 2);
    void* obj = nullptr;
    ASSERT_EQ(view->queryInterface(IEditorSnapshot::iid, &obj), kResultOk);
    auto* snapshot = static_cast<IEditorSnapshot*>(obj);
    EXPECT_EQ(view->release(), 1u); // the snapshot reference keeps the view
    EXPECT_EQ(owner.references, 2);
    snapshot->release();
    EXPECT_EQ(owner.references, 1);

    // Released without ever being attached: only the owner reference goes.
    IPlugView* unowned = createEditorView(host, nullptr);
    EXPECT_EQ(unowned->release(), 0u);
}

TEST(EditorView, AnswersItsInterfaces)
{
    ViewFixture f(OUTPUT);
    ASSERT_NE(f.snapshot, nullptr);
    for (const Steinberg::FUID* iid : {&IPlugView::iid, &Steinberg::FUnknown::iid}) {
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
