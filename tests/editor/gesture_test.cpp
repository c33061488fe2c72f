// Drags as host gestures, Shift, Ctrl+click and double-click resets, the wheel, the knob's
// whole face, and hit tests at a display scale: checked as the calls a host's component
// handler receives.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "editor/layout.h"
#include "editor_fixture.h"

namespace kestravel::plugins::testing {
namespace {

constexpr double kTol = 1e-12;
constexpr double kHalfDecibel = 0.5 / 102.0;

HostCall begin(uint32_t id) { return {Call::Begin, id}; }
HostCall perform(uint32_t id, double v) { return {Call::Perform, id, v}; }
HostCall end(uint32_t id) { return {Call::End, id}; }

void expectCalls(const std::vector<HostCall>& actual, const std::vector<HostCall>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].call, expected[i].call) << "call " << i;
        EXPECT_EQ(actual[i].id, expected[i].id) << "call " << i;
        EXPECT_NEAR(actual[i].value, expected[i].value, kTol) << "call " << i;
    }
}

// Strip 1 of the first page, its knob at the bottom (value 0, centre row 445).
constexpr uint32_t kStrip1 = kFaderGainParamBase + 1;
int32_t strip1X() { return layout::slotColumn(1) - 36; }

// ---------------------------------------------------------------- one gesture per drag

TEST(DragGesture, OneBeginManyPerformsOneEnd)
{
    EditorFixture f(FADER_BANK);
    f.host.set(kStrip1, 0.0);
    f.press(strip1X(), 445); // grabbed where it is
    for (int32_t i = 1; i <= 5; ++i)
        f.drag(strip1X(), 445 - 10 * i);
    f.release();
    std::vector<HostCall> expected{begin(kStrip1), perform(kStrip1, 0.0)};
    for (int32_t i = 1; i <= 5; ++i)
        expected.push_back(perform(kStrip1, 10.0 * i / 187.0));
    expected.push_back(end(kStrip1));
    expectCalls(f.host.calls, expected);
}

TEST(DragGesture, EveryWayADragEndsClosesItExactlyOnce)
{
    const struct {
        const char* name;
        std::function<void(EditorFixture&)> finish;
    } cases[] = {
        {"release", [](EditorFixture& f) { f.release(); }},
        {"capture lost", [](EditorFixture& f) { pointerCaptureLost(f.context); }},
        {"release, then capture lost as the system follows up",
         [](EditorFixture& f) {
             f.release();
             pointerCaptureLost(f.context);
         }},
        {"capture lost twice, then a release",
         [](EditorFixture& f) {
             pointerCaptureLost(f.context);
             pointerCaptureLost(f.context);
             f.release();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EditorFixture f(OUTPUT);
        f.host.set(kGainParam, 0.5);
        f.press(468, 400);
        f.drag(478, 400);
        c.finish(f);
        f.drag(500, 400); // after the end: nothing more is sent
        expectCalls(f.host.calls, {begin(kGainParam), perform(kGainParam, 0.5), perform(kGainParam, 0.5 + 10 / 863.0),
                                   end(kGainParam)});
        EXPECT_EQ(f.state.dragGain, false);
    }
}

TEST(DragGesture, APressWithoutItsReleaseClosesTheOldGestureFirst)
{
    EditorFixture f(FADER_BANK);
    f.host.set(kStrip1, 0.0);
    const uint32_t strip2 = kFaderGainParamBase + 2;
    f.host.set(strip2, 0.0);
    f.press(strip1X(), 445);
    f.press(layout::slotColumn(2) - 36, 445); // the release was lost
    f.release();
    expectCalls(f.host.calls, {begin(kStrip1), perform(kStrip1, 0.0), end(kStrip1), begin(strip2),
                               perform(strip2, 0.0), end(strip2)});
}

TEST(DragGesture, ButtonsStayOneCompleteGroupEach)
{
    EditorFixture f(FADER_BANK);
    f.press(layout::slotColumn(0) - 40, 220); // mute of strip 1
    f.release();
    expectCalls(f.host.calls,
                {begin(kFaderMuteParamBase), perform(kFaderMuteParamBase, 1.0), end(kFaderMuteParamBase)});
}

// ---------------------------------------------------------------- Shift: ten times finer

TEST(FineDrag, ShiftDividesTheMotionByTenWithoutJumps)
{
    // Gain 0.5, knob at x = 468; each row: motions (x, Shift held) and the value after each.
    const struct {
        const char* name;
        bool shiftAtPress;
        std::vector<std::pair<int32_t, bool>> moves;
        std::vector<double> values;
    } cases[] = {
        {"held from the press", true, {{568, true}, {368, true}}, {0.5 + 10 / 863.0, 0.5 - 10 / 863.0}},
        {"pressed mid-drag", false, {{568, false}, {568, true}, {668, true}},
         {0.5 + 100 / 863.0, 0.5 + 100 / 863.0, 0.5 + 110 / 863.0}},
        // Shift arrives with a motion: that motion is already fine.
        {"pressed with a motion", false, {{568, true}, {668, true}}, {0.5 + 10 / 863.0, 0.5 + 20 / 863.0}},
        {"released mid-drag", true, {{568, true}, {568, false}, {668, false}},
         {0.5 + 10 / 863.0, 0.5 + 10 / 863.0, 0.5 + 110 / 863.0}},
        // Pinned at the top, Shift counts from the top, not from where the pointer went.
        {"pinned, then fine", false, {{2000, false}, {2000, true}, {1000, true}},
         {1.0, 1.0, 1.0 - 100 / 863.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EditorFixture f(INPUT);
        f.host.set(kGainParam, 0.5);
        f.press(468, 400, c.shiftAtPress ? kModifierShift : 0);
        for (size_t i = 0; i < c.moves.size(); ++i) {
            f.drag(c.moves[i].first, 400, c.moves[i].second ? kModifierShift : 0);
            EXPECT_NEAR(f.host.get(kGainParam), c.values[i], kTol) << "motion " << i;
        }
        f.release();
        EXPECT_TRUE(f.host.gesturesBalanced());
    }
}

TEST(FineDrag, StripFadersToo)
{
    EditorFixture f(FADER_BANK);
    f.host.set(kStrip1, 0.0);
    f.press(strip1X(), 445, kModifierShift);
    f.drag(strip1X(), 445 - 187, kModifierShift);
    EXPECT_NEAR(f.host.get(kStrip1), 0.1, kTol);
}

// ---------------------------------------------------------------- resets

TEST(Reset, CtrlClickOrDoubleClickPutsAGainAtZeroDecibels)
{
    const int32_t stripX = layout::slotColumn(3) - 36;
    const uint32_t strip3 = kFaderGainParamBase + 3;
    const struct {
        ModuleKind kind;
        int32_t x, y;
        uint32_t modifiers;
        bool doubleClick;
        uint32_t id;
    } cases[] = {
        {OUTPUT, 253, 400, kModifierControl, false, kGainParam},
        {INPUT, 900, 380, 0, true, kGainParam},
        {SUMMING, 17, 365, kModifierControl | kModifierShift, false, kGainParam},
        {FADER_BANK, stripX, 300, kModifierControl, false, strip3},
        {FADER_BANK, stripX, 462, 0, true, strip3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " at " << c.x << "," << c.y);
        EditorFixture f(c.kind);
        f.host.set(c.id, 0.25);
        f.press(c.x, c.y, c.modifiers, c.doubleClick);
        f.drag(c.x, c.y - 50); // no drag follows a reset
        f.release();
        expectCalls(f.host.calls, {begin(c.id), perform(c.id, 15.0 / 17.0), end(c.id)});
        EXPECT_EQ(f.window.captures, 0);
    }
}

TEST(Reset, DoubleClicksOnButtonsActAsPresses)
{
    // A double click on a toggle switches it twice; on "+" it steps twice.
    EditorFixture f(FADER_BANK);
    const int32_t muteX = layout::slotColumn(0) - 40;
    f.press(muteX, 220);
    f.release();
    f.press(muteX, 220, 0, true);
    f.press(720, 120, kModifierControl);
    f.press(720, 120, 0, true);
    ASSERT_EQ(f.host.edits.size(), 4u);
    EXPECT_EQ(f.host.edits[0], (Edit{kFaderMuteParamBase, 1.0}));
    EXPECT_EQ(f.host.edits[1], (Edit{kFaderMuteParamBase, 0.0}));
    EXPECT_EQ(f.host.edits[2], (Edit{kActiveStripsParam, 8 / 63.0}));
    EXPECT_EQ(f.host.edits[3], (Edit{kActiveStripsParam, 9 / 63.0}));
    EXPECT_TRUE(f.host.gesturesBalanced());
}

// ---------------------------------------------------------------- the wheel

TEST(Wheel, OneCompleteGroupPerNotch)
{
    const double tail30 = 30 / 3600.0;
    const struct {
        ModuleKind kind;
        int32_t x, y;
        uint32_t id;
        double start;
        double notches;
        std::vector<double> values; // one group each
    } cases[] = {
        {OUTPUT, 500, 400, kGainParam, 0.5, 2, {0.5 + kHalfDecibel, 0.5 + 2 * kHalfDecibel}},
        {INPUT, 17, 365, kGainParam, 0.5, -1, {0.5 - kHalfDecibel}},
        {FADER_BANK, strip1X(), 300, kStrip1, 0.5, 1, {0.5 + kHalfDecibel}},
        // the knob face below the track's end turns it too
        {FADER_BANK, strip1X(), 465, kStrip1, 0.0, 1, {kHalfDecibel}},
        {FADER_BANK, 800, 120, kActiveStripsParam, 7 / 63.0, 2, {8 / 63.0, 9 / 63.0}},
        {SUMMING, 500, 240, kActiveStripsParam, 7 / 63.0, -1, {6 / 63.0}},
        {RECORDER, 600, 440, kMaximumTailParam, tail30, 1, {35 / 3600.0}},
        {RECORDER, 100, 421, kMaximumTailParam, tail30, -3, {25 / 3600.0, 20 / 3600.0, 15 / 3600.0}},
        // at the ends: nothing is sent
        {OUTPUT, 500, 400, kGainParam, 1.0, 3, {}},
        {FADER_BANK, 660, 110, kActiveStripsParam, 0.0, -1, {}},
        {RECORDER, 600, 440, kMaximumTailParam, 1.0, 1, {}},
        {RECORDER, 600, 440, kMaximumTailParam, 3 / 3600.0, -5, {1 / 3600.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " at " << c.x << "," << c.y << " notches "
                                          << c.notches);
        EditorFixture f(c.kind);
        f.host.set(c.id, c.start);
        EXPECT_TRUE(f.wheel(c.x, c.y, c.notches));
        std::vector<HostCall> expected;
        for (double v : c.values)
            expected.insert(expected.end(), {begin(c.id), perform(c.id, v), end(c.id)});
        expectCalls(f.host.calls, expected);
    }
}

TEST(Wheel, FractionsAddUpAndATurnBackDropsThem)
{
    EditorFixture f(OUTPUT);
    f.host.set(kGainParam, 0.5);
    EXPECT_TRUE(f.wheel(500, 400, 0.4));
    EXPECT_TRUE(f.wheel(500, 400, 0.4));
    EXPECT_TRUE(f.host.calls.empty());
    f.wheel(500, 400, 0.4); // 1.2: one notch
    EXPECT_NEAR(f.host.get(kGainParam), 0.5 + kHalfDecibel, kTol);
    f.wheel(500, 400, -0.9); // the 0.2 left is dropped: still short of a notch
    EXPECT_EQ(f.host.edits.size(), 1u);
}

TEST(Wheel, NothingOutsideControlsNorDuringADrag)
{
    EditorFixture f(PLAYER);
    EXPECT_FALSE(f.wheel(500, 300, 3)); // the waveform is no control

    EditorFixture g(OUTPUT);
    EXPECT_FALSE(g.wheel(500, 200, 1));
    g.host.set(kGainParam, 0.5);
    g.press(468, 400);
    EXPECT_FALSE(g.wheel(468, 400, 5));
    g.release();
    expectCalls(g.host.calls, {begin(kGainParam), perform(kGainParam, 0.5), end(kGainParam)});
}

TEST(Wheel, WithoutAPositionItTurnsWhatThePointerWasLastOver)
{
    EditorFixture f(OUTPUT);
    f.host.set(kGainParam, 0.5);
    EXPECT_FALSE(pointerWheelAtHover(f.context, 1, 0)); // never seen: nothing under it
    pointerHover(f.context, 500, 400);
    EXPECT_TRUE(pointerWheelAtHover(f.context, 1, 0));
    pointerHover(f.context, 500, 100);
    EXPECT_FALSE(pointerWheelAtHover(f.context, 1, 0));
    EXPECT_EQ(f.host.edits.size(), 1u);
}

// ---------------------------------------------------------------- bad input

TEST(BadInput, AnyWheelAndAnyKeysKeepValuesInRangeAndGesturesBalanced)
{
    const double wheels[] = {1e300, -1e300, std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), std::nan(""), 1e-300, -7.5, 1e9};
    const uint32_t keys[] = {0, kModifierShift, kModifierControl, kModifierShift | kModifierControl, 0xFFFFFFFFu};
    for (ModuleKind kind : {OUTPUT, FADER_BANK, RECORDER, DISTRIBUTOR}) {
        EditorFixture f(kind);
        f.setStrips(12);
        for (double w : wheels) {
            f.wheel(500, 400, w);
            f.wheel(80, 300, w);
            f.wheel(800, 120, w);
            f.wheel(600, 440, w);
        }
        // Drags with the keys changing at every motion, ended in different ways.
        int32_t step = 0;
        for (uint32_t k : keys) {
            f.press(80 + step, 300, k & kModifierShift);
            for (int32_t i = 0; i < 20; ++i)
                f.drag(80 + 97 * i - 900, 300 + 61 * i - 600, keys[static_cast<size_t>(i + step) % 5]);
            if (step++ % 2)
                f.release();
            else
                pointerCaptureLost(f.context);
        }
        EXPECT_TRUE(f.host.gesturesBalanced()) << kind;
        for (const Edit& e : f.host.edits) {
            EXPECT_GE(e.value, 0.0) << kind;
            EXPECT_LE(e.value, 1.0) << kind;
        }
        EXPECT_GE(layout::tailSeconds(f.host.get(kMaximumTailParam)), 1);
    }
}

// ---------------------------------------------------------------- the knob's whole face

TEST(KnobFace, APressAnywhereOnTheDrawnKnobGrabsIt)
{
    // The knob is 44 rows high around its centre; at the ends of the track it reaches 4 rows
    // past the fader area (240..462).
    const struct {
        double value;
        int32_t y;
        bool grabs;
    } cases[] = {
        {0.0, 463, true}, {0.0, 466, true}, {0.0, 467, false}, // knob rows 423..466
        {1.0, 236, true}, {1.0, 239, true}, {1.0, 235, false}, // knob rows 236..279; 235 is the mute
        {0.5, 470, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "value " << c.value << " y " << c.y);
        EditorFixture f(FADER_BANK);
        f.host.set(kStrip1, c.value);
        f.press(strip1X(), c.y);
        EXPECT_EQ(f.state.dragStrip == 1, c.grabs);
        if (c.grabs) { // grabbed where it is, not moved
            EXPECT_EQ(f.host.edits.at(0), (Edit{kStrip1, c.value}));
        }
        f.release();
    }
    // Only the knob's columns reach past the area.
    EditorFixture f(FADER_BANK);
    f.host.set(kStrip1, 0.0);
    f.press(layout::slotColumn(1) - 60, 465);
    EXPECT_EQ(f.state.dragStrip, -1);
}

// ---------------------------------------------------------------- display scale

TEST(Scale, HitTestsAndDragsWorkInDevicePixels)
{
    for (double scale : {1.5, 2.0, 4.0}) {
        SCOPED_TRACE(::testing::Message() << "scale " << scale);
        auto at = [scale](double v) { return static_cast<int32_t>(std::floor(v * scale)); };
        EditorFixture f(OUTPUT);
        f.state.scale = scale;
        f.host.set(kGainParam, 0.5);
        f.press(at(468), at(400));
        f.drag(at(468 + 100), at(400));
        f.release();
        ASSERT_EQ(f.host.edits.size(), 2u);
        EXPECT_NEAR(f.host.edits[1].value, 0.5 + 100 / 863.0, 1.0 / (863.0 * scale));

        // Edges move with the scale: the gain area ends at x = 924 editor pixels.
        EditorFixture g(OUTPUT);
        g.state.scale = scale;
        g.press(at(924), at(400));
        EXPECT_FALSE(g.state.dragGain);
        g.press(at(923), at(400));
        EXPECT_TRUE(g.state.dragGain);
    }
}

TEST(Scale, ButtonsAndPagesAtTwice)
{
    EditorFixture f(FADER_BANK);
    f.state.scale = 2.0;
    f.setStrips(17);
    f.press(2 * 100, 2 * 540); // "›"
    EXPECT_EQ(f.state.faderPage, 1u);
    f.press(2 * 148, 2 * 540); // just right of it
    EXPECT_EQ(f.state.faderPage, 1u);
    EXPECT_TRUE(f.wheel(2 * 800, 2 * 120, 1));
    EXPECT_EQ(layout::stripCount(f.host.get(kActiveStripsParam)), 18);
}

} // namespace
} // namespace kestravel::plugins::testing
