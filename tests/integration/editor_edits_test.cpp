// Edits made in a module's editor reach the host's component handler as complete
// begin-perform-end groups, a drag as one group with a performEdit per motion, and the value
// the host is told is the value the module holds.
#include "bundle_test_support.h"
#include "kestravel/ieditorsnapshot.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins {
DEF_CLASS_IID(IEditorSnapshot)
} // namespace kestravel::plugins

namespace kestravel::plugins::testing_support {
namespace {

using namespace Steinberg;
using Kind = HandlerCall::Kind;

struct Gesture
{
    enum Type { Press, Drag, Release } type;
    int32 x = 0;
    int32 y = 0;
};

struct EditCase
{
    const char* name;
    int kind;
    std::vector<Gesture> gestures;
    std::vector<HandlerCall> expected;
    const char* message = nullptr; // the message box the press shows, if any
};

std::vector<HandlerCall> group(Vst::ParamID id, double value)
{
    return {{Kind::BeginEdit, id, 0.0, 0}, {Kind::PerformEdit, id, value, 0}, {Kind::EndEdit, id, 0.0, 0}};
}

// A drag: one begin, a perform for the press and for every motion, one end.
std::vector<HandlerCall> gesture(Vst::ParamID id, const std::vector<double>& values)
{
    std::vector<HandlerCall> calls{{Kind::BeginEdit, id, 0.0, 0}};
    for (double v : values)
        calls.push_back({Kind::PerformEdit, id, v, 0});
    calls.push_back({Kind::EndEdit, id, 0.0, 0});
    return calls;
}

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class EditorEdits : public ::testing::TestWithParam<EditCase>
{
};

TEST_P(EditorEdits, ReachTheHostAsGroupsAndGestures)
{
    const EditCase& c = GetParam();
    LoadedPlugin loaded = loadKind(kindByCode(c.kind));
    auto view = Ref<IPlugView>::adopt(loaded.plugin->controller()->createView("editor"));
    ASSERT_TRUE(view);
    auto editor = queryRef<IEditorSnapshot>(view.get());
    ASSERT_TRUE(editor) << "the editor view offers no snapshot interface";
    // No modal boxes or dialogs in a test: they are remembered instead (always so on Linux).
    ASSERT_EQ(editor->setDialogAnswer(nullptr), kResultOk);
    for (const Gesture& g : c.gestures)
    {
        switch (g.type)
        {
        case Gesture::Press: ASSERT_EQ(editor->mouseDown(g.x, g.y), kResultOk); break;
        case Gesture::Drag: ASSERT_EQ(editor->mouseDrag(g.x, g.y), kResultOk); break;
        case Gesture::Release: ASSERT_EQ(editor->mouseUp(), kResultOk); break;
        }
    }
    const std::vector<HandlerCall> calls = loaded.plugin->handler().calls();
    ASSERT_EQ(calls.size(), c.expected.size());
    for (std::size_t i = 0; i < calls.size(); ++i)
    {
        SCOPED_TRACE("call " + std::to_string(i));
        EXPECT_EQ(static_cast<int>(calls[i].kind), static_cast<int>(c.expected[i].kind));
        EXPECT_EQ(calls[i].id, c.expected[i].id);
        EXPECT_DOUBLE_EQ(calls[i].value, c.expected[i].value);
    }
    char shown[256] = {};
    const tresult hadMessage = editor->getLastMessage(shown, static_cast<int32>(sizeof shown));
    if (c.message != nullptr)
    {
        EXPECT_EQ(hadMessage, kResultTrue);
        EXPECT_STREQ(shown, c.message);
    }
    else
        EXPECT_EQ(hadMessage, kResultFalse) << shown;
    // The module holds what the host was last told.
    if (!c.expected.empty())
    {
        const HandlerCall& lastPerform = c.expected[c.expected.size() - 2];
        ASSERT_EQ(static_cast<int>(lastPerform.kind), static_cast<int>(Kind::PerformEdit));
        EXPECT_DOUBLE_EQ(loaded.plugin->controller()->getParamNormalized(lastPerform.id), lastPerform.value);
    }
}

// The gain fader of the routing kinds runs from x = 37 (value 0) over 863 pixels; a press
// away from the knob jumps it to the pointer, a drag moves it one pixel per 1/863.
INSTANTIATE_TEST_SUITE_P(
    Presses, EditorEdits,
    ::testing::Values(
        EditCase{"OutputGainPressAndDrag", 2,
                 {{Gesture::Press, 468, 400}, {Gesture::Drag, 555, 400}, {Gesture::Release}},
                 gesture(1, {431.0 / 863.0, 518.0 / 863.0})},
        // Strip 1 of FADER BANK at 0 dB (knob row 280), grabbed and moved over five motions.
        EditCase{"FaderBankStripDragOverFiveMotions", 7,
                 {{Gesture::Press, 78, 280},
                  {Gesture::Drag, 78, 270},
                  {Gesture::Drag, 78, 260},
                  {Gesture::Drag, 78, 250},
                  {Gesture::Drag, 78, 240},
                  {Gesture::Drag, 78, 230},
                  {Gesture::Release}},
                 gesture(100, {15.0 / 17.0, 15.0 / 17.0 + 10 / 187.0, 15.0 / 17.0 + 20 / 187.0, 1.0, 1.0, 1.0})},
        EditCase{"FaderBankFirstMute", 7, {{Gesture::Press, 60, 220}, {Gesture::Release}}, group(200, 1.0)},
        EditCase{"FaderBankOneStripMore", 7, {{Gesture::Press, 720, 120}, {Gesture::Release}}, group(0, 8.0 / 63.0)},
        EditCase{"PlayerFollowSwitchedOff", 5, {{Gesture::Press, 600, 130}, {Gesture::Release}}, group(2, 0.0)},
        EditCase{"PlayerPlayWithoutFileIsRefused", 5, {{Gesture::Press, 280, 130}, {Gesture::Release}}, {},
                 "Choose a WAV file first."}),
    [](const ::testing::TestParamInfo<EditCase>& i) { return std::string(i.param.name); });

} // namespace
} // namespace kestravel::plugins::testing_support
