// Presses and drags of every kind, checked as the groups of edits the module receives.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "editor/layout.h"
#include "editor_fixture.h"

namespace kestravel::plugins::testing {
namespace {

using ::testing::ElementsAre;

constexpr double kTol = 1e-12;

void expectEdits(const std::vector<Edit>& actual, const std::vector<Edit>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].id, expected[i].id) << "edit " << i;
        EXPECT_NEAR(actual[i].value, expected[i].value, kTol) << "edit " << i;
    }
}

// ---------------------------------------------------------------- FADER BANK

struct CountCase {
    int32_t strips;
    int32_t x, y;
    std::vector<Edit> edits;
};

TEST(FaderBankPress, StripCountButtonsStepWithinOneTo64)
{
    const CountCase cases[] = {
        {8, 650, 101, {{kActiveStripsParam, 6 / 63.0}}},    // "-" top-left pixel
        {8, 693, 134, {{kActiveStripsParam, 6 / 63.0}}},    // "-" last pixel inside
        {8, 694, 120, {}},                                  // right edge is outside
        {8, 660, 135, {}},                                  // bottom edge is outside
        {8, 700, 101, {{kActiveStripsParam, 8 / 63.0}}},    // "+"
        {64, 720, 120, {{kActiveStripsParam, 1.0}}},        // "+" at 64: a full group, count stays
        {1, 670, 120, {{kActiveStripsParam, 0.0}}},         // "-" at 1: a full group, count stays
        {2, 670, 120, {{kActiveStripsParam, 0.0}}},
    };
    for (const auto& c : cases) {
        EditorFixture f(FADER_BANK);
        f.setStrips(c.strips);
        f.press(c.x, c.y);
        SCOPED_TRACE(::testing::Message() << c.strips << " strips, press " << c.x << "," << c.y);
        expectEdits(f.host.edits, c.edits);
        EXPECT_EQ(f.window.invalidations, 1);
    }
}

TEST(FaderBankPress, PageButtonsStopAtFirstAndLastPage)
{
    EditorFixture f(FADER_BANK);
    f.setStrips(17); // pages 0, 1, 2
    const int32_t next[2] = {100, 540};
    const int32_t prev[2] = {40, 540};
    const uint32_t afterNext[] = {1, 2, 2};
    for (uint32_t expected : afterNext) {
        f.press(next[0], next[1]);
        EXPECT_EQ(f.state.faderPage, expected);
    }
    const uint32_t afterPrev[] = {1, 0, 0};
    for (uint32_t expected : afterPrev) {
        f.press(prev[0], prev[1]);
        EXPECT_EQ(f.state.faderPage, expected);
    }
    EXPECT_TRUE(f.host.edits.empty());
}

TEST(FaderBankPress, MuteTogglesTheStripOfTheShownPage)
{
    EditorFixture f(FADER_BANK);
    f.setStrips(12);
    f.state.faderPage = 1;
    const int32_t x = layout::slotColumn(2); // strip index 10
    f.press(x - 76, 204);
    f.press(x - 1, 234); // a double click arrives as two presses
    expectEdits(f.host.edits, {{kFaderMuteParamBase + 10, 1.0}, {kFaderMuteParamBase + 10, 0.0}});

    // Slot 4 of page 1 would be strip 12, which does not exist.
    f.host.edits.clear();
    f.press(layout::slotColumn(4) - 40, 220);
    EXPECT_TRUE(f.host.edits.empty());
}

TEST(FaderBankPress, StalePageBeyondTheCountReachesNoStrip)
{
    // The count was lowered by automation and no paint has clamped the page yet.
    EditorFixture f(FADER_BANK);
    f.setStrips(8);
    f.state.faderPage = 1;
    f.press(layout::slotColumn(0) - 40, 220);
    f.press(layout::slotColumn(0) - 36, 300);
    EXPECT_TRUE(f.host.edits.empty());
    EXPECT_EQ(f.state.dragStrip, -1);
}

struct GrabCase {
    double value;
    int32_t y;
    double startValue; // expected value applied at once
};

TEST(FaderBankPress, FaderPressGrabsNearTheKnobAndJumpsFarFromIt)
{
    // v = 0.5 puts the knob centre at 258 + trunc(93.5) = 351.
    const GrabCase cases[] = {
        {0.5, 351 + 20, 0.5},
        {0.5, 351 - 24, 0.5},
        {0.5, 351 + 24, 0.5},
        {0.5, 351 + 25, 1.0 - (376 - 258) / 187.0},
        {0.5, 351 + 30, 1.0 - (381 - 258) / 187.0},
        {1.0, 462, 0.0},          // far below the knob, below the travel: clamped
        {0.0, 240, 1.0},          // far above the knob, above the travel: clamped
        {1.0, 240, 1.0},          // grabbed above the travel: stays
    };
    for (const auto& c : cases) {
        EditorFixture f(FADER_BANK);
        const int32_t x = layout::slotColumn(3);
        f.host.set(kFaderGainParamBase + 3, c.value);
        f.press(x - 36, c.y);
        SCOPED_TRACE(::testing::Message() << "value " << c.value << " press y " << c.y);
        expectEdits(f.host.edits, {{kFaderGainParamBase + 3, c.startValue}});
        EXPECT_EQ(f.state.dragStrip, 3);
        EXPECT_EQ(f.window.captures, 1);
        EXPECT_EQ(f.state.dragStartPixel, c.y);
    }
}

TEST(FaderBankPress, FaderAreaEdges)
{
    // The area is (x - 71, 240, x - 1, 463), right and bottom exclusive.
    const int32_t x = layout::slotColumn(0);
    const struct {
        int32_t px, py;
        bool drags;
    } cases[] = {{x - 71, 240, true}, {x - 2, 462, true}, {x - 1, 300, false}, {x - 72, 300, false},
                 {x - 30, 463, false}, {x - 30, 239, false}};
    for (const auto& c : cases) {
        EditorFixture f(FADER_BANK);
        f.press(c.px, c.py);
        EXPECT_EQ(f.state.dragStrip >= 0, c.drags) << c.px << "," << c.py;
        EXPECT_EQ(f.host.edits.size(), c.drags ? 1u : 0u);
    }
}

TEST(FaderBankDrag, FollowsThePointerFromTheStartOfTheDrag)
{
    EditorFixture f(FADER_BANK);
    const int32_t x = layout::slotColumn(1);
    f.host.set(kFaderGainParamBase + 1, 0.0); // knob at 445
    f.press(x - 36, 445);                     // grabbed: starts at 0
    f.drag(x - 36, 145);                      // 300 up: pinned at the top
    f.drag(x - 36, 200);                      // still above the point of 1.0
    f.drag(x - 36, 258);                      // exactly the point of 1.0
    f.drag(x - 36, 270);                      // below it: lowers again
    f.drag(x + 500, 445);                     // sideways motion does not matter
    expectEdits(f.host.edits, {{101, 0.0}, {101, 1.0}, {101, 1.0}, {101, 1.0}, {101, (445 - 270) / 187.0}, {101, 0.0}});
    EXPECT_EQ(f.window.invalidations, 7); // 6 motions (the press's own included) and the press

    f.release();
    f.drag(x - 36, 300);
    EXPECT_EQ(f.host.edits.size(), 6u);
    EXPECT_EQ(f.window.invalidations, 8); // motion without a drag still repaints
}

// ---------------------------------------------------------------- routing kinds

TEST(RoutingPress, GainPressJumpsFarFromTheKnobAndGrabsNearIt)
{
    const struct {
        double value;
        int32_t x;
        double start;
    } cases[] = {
        {15.0 / 17.0, 253, (253 - 37) / 863.0}, // knob at 798: jumps to about 0.250
        {0.5, 468 + 22, 0.5},                   // knob at 468
        {0.5, 468 - 22, 0.5},
        {0.5, 468 + 23, (491 - 37) / 863.0},
        {1.0, 17, 0.0},                          // far left, left of the travel: clamped
        {0.0, 923, 1.0},                         // far right, right of the travel: clamped
        {0.0, 17, 0.0},                          // grabbed left of the travel: stays
    };
    for (const auto& c : cases) {
        EditorFixture f(OUTPUT);
        f.host.set(kGainParam, c.value);
        f.press(c.x, 400);
        SCOPED_TRACE(::testing::Message() << "value " << c.value << " press x " << c.x);
        expectEdits(f.host.edits, {{kGainParam, c.start}});
        EXPECT_TRUE(f.state.dragGain);
        EXPECT_EQ(f.window.captures, 1);
    }
    EXPECT_NEAR((253 - 37) / 863.0, 0.250, 0.001);
}

TEST(RoutingDrag, HorizontalDragMovesTheGainOneToOne)
{
    EditorFixture f(INPUT);
    f.host.set(kGainParam, 0.5);
    f.press(468, 380);
    f.drag(468 + 100, 10); // vertical position does not matter
    f.drag(468 - 1000, 380);
    f.drag(468 + 1000, 380);
    f.host.edits.erase(f.host.edits.begin());
    expectEdits(f.host.edits, {{kGainParam, 0.5 + 100 / 863.0}, {kGainParam, 0.0}, {kGainParam, 1.0}});
}

TEST(RoutingPress, GainAreaEdges)
{
    const struct {
        int32_t x, y;
        bool drags;
    } cases[] = {{17, 365, true}, {923, 439, true}, {924, 400, false}, {16, 400, false}, {500, 440, false},
                 {500, 364, false}};
    for (const auto& c : cases) {
        EditorFixture f(DISTRIBUTOR);
        f.press(c.x, c.y);
        EXPECT_EQ(f.state.dragGain, c.drags) << c.x << "," << c.y;
    }
}

TEST(RoutingPress, CountButtonsIncludeTheirRightAndBottomEdges)
{
    const struct {
        ModuleKind kind;
        int32_t x, y;
        std::vector<Edit> edits;
    } cases[] = {
        {SUMMING, 29, 222, {{kActiveStripsParam, 6 / 63.0}}},
        {SUMMING, 98, 266, {{kActiveStripsParam, 6 / 63.0}}},
        {BREAKOUT, 112, 222, {{kActiveStripsParam, 8 / 63.0}}},
        {DISTRIBUTOR, 181, 266, {{kActiveStripsParam, 8 / 63.0}}},
        {SUMMING, 99, 240, {}},
        {SUMMING, 60, 267, {}},
        {SUMMING, 60, 221, {}},
        {INPUT, 60, 240, {}},  // no count
        {OUTPUT, 140, 240, {}},
    };
    for (const auto& c : cases) {
        EditorFixture f(c.kind);
        f.press(c.x, c.y);
        SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " press " << c.x << "," << c.y);
        expectEdits(f.host.edits, c.edits);
        EXPECT_FALSE(f.state.dragGain);
    }
}

// ---------------------------------------------------------------- PLAYER / RECORDER

TEST(FilePanelPress, StartNeedsAFileOrAPreparedDestination)
{
    const std::u16string playerText = u"Choose a WAV file first.";
    const std::u16string recorderText =
        u"Choose a new WAV destination first. The recorder prepares it before recording starts.";
    const struct {
        ModuleKind kind;
        uint64_t frames;
        bool ready, failed;
        const std::u16string* refusal; // null: the start is allowed
    } cases[] = {
        {PLAYER, 0, false, false, &playerText},
        {PLAYER, 1, false, false, nullptr},
        {RECORDER, 0, false, false, &recorderText},
        {RECORDER, 0, true, true, &recorderText},
        {RECORDER, 0, false, true, &recorderText},
        {RECORDER, 0, true, false, nullptr},
        {RECORDER, 5, false, false, &recorderText}, // player frames do not count for RECORDER
    };
    for (const auto& c : cases) {
        EditorFixture f(c.kind);
        f.host.totalFrames = c.frames;
        f.host.ready = c.ready;
        f.host.failed = c.failed;
        f.press(222, 112);
        SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " frames " << c.frames << " ready " << c.ready
                                          << " failed " << c.failed);
        if (c.refusal) {
            EXPECT_TRUE(f.host.edits.empty());
            ASSERT_EQ(f.dialogs.boxes.size(), 1u);
            const auto& box = f.dialogs.boxes[0];
            EXPECT_TRUE(box.wide);
            EXPECT_EQ(box.text, *c.refusal);
            EXPECT_EQ(box.caption, u"KESTRAVEL");
            EXPECT_EQ(box.type, kMbOk | kMbIconInformation);
            EXPECT_EQ(box.owner, f.window.owner);
        } else {
            // A manual start switches transport following off first.
            expectEdits(f.host.edits, {{kFollowTransportParam, 0.0}, {kPlayRecordParam, 1.0}});
            EXPECT_TRUE(f.dialogs.boxes.empty());
        }
    }
}

TEST(FilePanelPress, StopAndFollowButtons)
{
    EditorFixture f(PLAYER);
    f.press(362, 112); // Stop, even with nothing running
    expectEdits(f.host.edits, {{kPlayRecordParam, 0.0}, {kFollowTransportParam, 0.0}});

    f.host.edits.clear();
    f.host.set(kFollowTransportParam, 1.0);
    f.press(769, 154); // Follow: last pixel inside
    f.press(700, 130);
    f.press(770, 130); // right edge: outside
    expectEdits(f.host.edits, {{kFollowTransportParam, 0.0}, {kFollowTransportParam, 1.0}});
}

// PLAYER's chase switch sits at the row's free end; RECORDER has nothing there.
TEST(FilePanelPress, ChaseSwitchTogglesOnPlayerOnly)
{
    EditorFixture f(PLAYER);
    f.host.set(kChasePositionParam, 1.0);
    f.press(782, 112); // first pixel inside
    f.press(929, 154); // last pixel inside
    f.press(776, 130); // the gap after Follow: nothing
    expectEdits(f.host.edits, {{kChasePositionParam, 0.0}, {kChasePositionParam, 1.0}});

    EditorFixture recorder(RECORDER);
    recorder.press(850, 130);
    expectEdits(recorder.host.edits, {});
}

TEST(FilePanelPress, TailButtonsStepFiveSecondsWithinOneTo3600)
{
    const struct {
        double seconds;
        int32_t x, y;
        std::vector<Edit> edits;
    } cases[] = {
        {3, 30, 421, {{kMaximumTailParam, 1 / 3600.0}}},
        {30, 168, 460, {{kMaximumTailParam, 25 / 3600.0}}}, // the right and bottom edges count
        {3598, 181, 440, {{kMaximumTailParam, 1.0}}},
        {3600, 319, 460, {{kMaximumTailParam, 1.0}}},      // at the top: sent again
        {30, 200, 421, {{kMaximumTailParam, 35 / 3600.0}}},
        {30, 169, 440, {}},
        {30, 320, 440, {}},
        {30, 100, 461, {}},
        {30, 100, 420, {}},
    };
    for (const auto& c : cases) {
        EditorFixture f(RECORDER);
        f.host.set(kMaximumTailParam, c.seconds / 3600.0);
        f.press(c.x, c.y);
        SCOPED_TRACE(::testing::Message() << c.seconds << " s, press " << c.x << "," << c.y);
        expectEdits(f.host.edits, c.edits);
    }

    EditorFixture player(PLAYER); // no tail buttons
    player.press(100, 440);
    EXPECT_TRUE(player.host.edits.empty());
}

TEST(FilePanelPress, FileButtonRunsTheDialogOwnedByTheWindow)
{
    EditorFixture f(PLAYER);
    f.dialogs.fileAnswers.push_back(u"C:\\clips\\loop.wav");
    f.press(205, 154);
    ASSERT_EQ(f.dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(f.dialogs.fileDialogs[0].request.owner, f.window.owner);
    EXPECT_THAT(f.host.filesSet, ElementsAre(u"C:\\clips\\loop.wav"));
    EXPECT_TRUE(f.host.edits.empty());
    EXPECT_EQ(f.window.invalidations, 1);

    f.press(206, 130); // right edge: outside
    EXPECT_EQ(f.dialogs.fileDialogs.size(), 1u);
}

TEST(AnyPress, OutsideEveryAreaOnlyRepaints)
{
    for (ModuleKind kind : {INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, RECORDER, FADER_BANK, DISTRIBUTOR}) {
        EditorFixture f(kind);
        f.press(5, 5);
        f.press(-3, 700);
        EXPECT_TRUE(f.host.edits.empty()) << kind;
        EXPECT_TRUE(f.dialogs.boxes.empty());
        EXPECT_EQ(f.window.invalidations, 2);
        EXPECT_EQ(f.window.captures, 0);
    }
}

} // namespace
} // namespace kestravel::plugins::testing
