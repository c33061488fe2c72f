// The meters: where each kind shows them, how bars, hold lines and clip lights move, and what
// a press on them does.
#include "editor/editor_looks.h"
#include "editor/layout.h"
#include "editor/meters.h"
#include "editor/paint_view.h"
#include "editor/palette.h"
#include "editor_fixture.h"
#include "recording_canvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kestravel::plugins::testing {
namespace {

constexpr bool overlap(const Rect& a, const Rect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// OUTPUT with a stereo main output: meter 0 reads channel 0, meter 1 channel 1.
struct Stereo : EditorFixture {
    Stereo() : EditorFixture(OUTPUT) { host.outputChannels = {2}; }
    bool look(double t, float left = 0.0f, float right = 0.0f)
    {
        host.peaks[{MeterSide::Output, 0, 0}] = left;
        host.peaks[{MeterSide::Output, 0, 1}] = right;
        return state.meters.sample(host, state, t);
    }
    const MeterReading& reading(size_t i) const { return state.meters.readings().at(i); }
};

TEST(Meters, ClipLightLatchesAtFullScaleAndOnNonFiniteUntilPressed)
{
    struct Case {
        const char* name;
        float peak;
        bool clip;
    };
    const Case cases[] = {
        {"just under full scale", 0.999f, false},
        {"full scale", 1.0f, true},
        {"over", 3.0f, true},
        {"not finite", std::numeric_limits<float>::infinity(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Stereo e;
        e.look(0.0, c.peak);
        e.look(5.0); // long after: the bar and hold have gone, the light stays
        EXPECT_EQ(e.reading(0).clip, c.clip);
        EXPECT_FALSE(e.reading(1).clip);
        if (!c.clip)
            continue;
        const Rect box = e.state.meters.spots()[0].box;
        e.press(box.left + 1, box.top + 1);
        EXPECT_FALSE(e.reading(0).clip);
        EXPECT_TRUE(e.host.edits.empty()); // a meter is no control
        EXPECT_GT(e.window.invalidations, 0);
    }
}

TEST(Meters, PressAtTwiceTheScaleFindsTheSameMeter)
{
    Stereo e;
    e.state.scale = 2.0;
    e.look(0.0, 0.0f, 1.0f);
    const Rect box = e.state.meters.spots()[1].box;
    e.press(box.left * 2 + 3, box.top * 2 + 3);
    EXPECT_FALSE(e.reading(1).clip);
}

TEST(Meters, BarFallsAndTheHoldLineFallsBackAfterItsTime)
{
    Stereo e;
    e.look(0.0, 0.5f); // -6 dB
    EXPECT_NEAR(e.reading(0).barDb, -6.02, 0.01);
    e.look(0.5);
    EXPECT_NEAR(e.reading(0).barDb, -6.02 - 0.5 * kMeterFallDbPerSecond, 0.01);
    EXPECT_NEAR(e.reading(0).holdDb, -6.02, 0.01); // held
    e.look(1.4);
    EXPECT_NEAR(e.reading(0).holdDb, -6.02, 0.01); // still held
    e.look(1.6);
    EXPECT_NEAR(e.reading(0).holdDb, e.reading(0).barDb, 1e-9); // fell back to the bar
    EXPECT_TRUE(e.state.meters.moving());
    e.look(5.0);
    EXPECT_FALSE(e.state.meters.moving()); // at rest: the editor looks slowly again
    EXPECT_FALSE(e.look(5.1));
    EXPECT_TRUE(e.state.meters.changed().empty());
}

TEST(Meters, OnlyTheMetersThatChangedAreReported)
{
    Stereo e;
    e.look(0.0);
    EXPECT_FALSE(e.look(0.1)); // silence stays silent
    EXPECT_TRUE(e.look(0.2, 0.0f, 0.25f));
    ASSERT_EQ(e.state.meters.changed().size(), 1u);
    EXPECT_EQ(e.state.meters.changed()[0], e.state.meters.spots()[1].box);
}

TEST(Meters, SilenceShowsAnEmptyMeterWithoutText)
{
    Stereo e;
    e.look(0.0);
    RecordingCanvas canvas;
    paintView(e.state, e.host, canvas, PaintParts::MetersOnly);
    for (const Fill& f : canvas.fills)
        EXPECT_TRUE(f.colour != palette::kMeterLow && f.colour != palette::kMeterHigh && f.colour != palette::kMeterHold);
    for (const Label& l : canvas.labels)
        EXPECT_EQ(l.text.find(u"inf"), std::u16string::npos);
}

TEST(Meters, RecorderTakeLightFollowsTheModuleAndResetsWithTheNextTake)
{
    EditorFixture e(RECORDER);
    e.state.meters.sample(e.host, e.state, 0.0);
    const auto shows = [&](Colour colour) {
        RecordingCanvas canvas;
        paintView(e.state, e.host, canvas, PaintParts::MetersOnly);
        for (const Fill& f : canvas.fills)
            if (f.box == kTakeClipLight)
                return f.colour == colour;
        return false;
    };
    EXPECT_TRUE(shows(palette::kClipOff));
    e.host.takeClipped = true;
    EXPECT_TRUE(e.state.meters.sample(e.host, e.state, 0.1));
    EXPECT_TRUE(shows(palette::kClipOn));
    EXPECT_FALSE(e.state.meters.sample(e.host, e.state, 0.2));
    e.host.takeClipped = false; // the next take armed
    EXPECT_TRUE(e.state.meters.sample(e.host, e.state, 0.3));
    EXPECT_TRUE(shows(palette::kClipOff));
}

// What a look tells the window: the first look and any change outside the meters repaint the
// whole picture, moving meters only themselves, an idle editor nothing; idle, it looks every
// third tick only.
TEST(EditorLooks, TellWholeMetersOrNothing)
{
    Stereo e;
    EditorLooks looks;
    double t = 0.0;
    const auto tick = [&] { return looks.tick(e.state, e.host, t += 0.033); };
    EXPECT_EQ(tick(), LookResult::Whole);
    const uint64_t first = looks.looks();
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(tick(), LookResult::Nothing);
    EXPECT_EQ(looks.looks(), first + 10);

    e.host.set(kGainParam, 0.3);
    LookResult r = LookResult::Nothing;
    for (int i = 0; i < kIdleTicksPerLook && r == LookResult::Nothing; ++i)
        r = tick();
    EXPECT_EQ(r, LookResult::Whole);

    e.host.peaks[{MeterSide::Output, 0, 1}] = 0.5f;
    r = LookResult::Nothing;
    for (int i = 0; i < kIdleTicksPerLook && r == LookResult::Nothing; ++i)
        r = tick();
    EXPECT_EQ(r, LookResult::Meters);
    const uint64_t moving = looks.looks();
    EXPECT_EQ(tick(), LookResult::Meters); // falling: a look every tick
    EXPECT_EQ(looks.looks(), moving + 1);
}

// Every kind at 1, 2, 8 and 64 channels or strips: meters stay clear of every text and control
// the editor had before them, of each other, and inside the editor.
TEST(Meters, EveryLayoutFitsTheFreeSpace)
{
    for (const ModuleKind kind : {INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, RECORDER, FADER_BANK, DISTRIBUTOR})
        for (const int32_t n : {1, 2, 8, 64}) {
            SCOPED_TRACE(std::string(kindDisplayName(kind)) + " x" + std::to_string(n));
            EditorFixture e(kind);
            e.setStrips(n);
            e.host.busChannels.assign(64, n);
            e.host.outputChannels.assign(64, n);
            e.state.faderPage = kind == FADER_BANK ? static_cast<uint32_t>((n - 1) / 8) : 0;
            e.state.meters.sample(e.host, e.state, 0.0);
            const auto& spots = e.state.meters.spots();
            ASSERT_FALSE(spots.empty());

            RecordingCanvas before;
            paintView(e.state, e.host, before, PaintParts::AllButMeters);
            std::vector<Rect> taken;
            for (const Label& l : before.labels)
                taken.push_back(l.box);
            const bool files = kind == PLAYER || kind == RECORDER;
            const std::vector<Rect> controls =
                kind == FADER_BANK ? std::vector<Rect>{layout::kStripMinusButton, layout::kStripPlusButton,
                                                       layout::kPagePrevButton, layout::kPageNextButton}
                : files ? std::vector<Rect>{layout::kFileButton, layout::kPlayButton, layout::kStopButton,
                                            layout::kFollowButton, layout::kChaseButton, layout::kTailMinusButton,
                                            layout::kTailPlusButton}
                        : std::vector<Rect>{layout::kCountMinusButton, layout::kCountPlusButton, layout::kGainArea};
            taken.insert(taken.end(), controls.begin(), controls.end());
            if (kind == PLAYER)
                taken.push_back({28, 230, 930, 450}); // the waveform
            if (kind == RECORDER)
                taken.push_back(layout::kTakePanel);
            if (kind == FADER_BANK)
                for (uint32_t slot = 0; slot < layout::kStripsPerPage; ++slot) {
                    const int32_t x = layout::slotColumn(slot);
                    taken.push_back(layout::stripFaderArea(x));
                    taken.push_back(layout::muteButton(x));
                    taken.push_back(layout::stripKnobBox(x, 1.0));
                    taken.push_back(layout::stripKnobBox(x, 0.0));
                }
            for (size_t i = 0; i < spots.size(); ++i) {
                const Rect& m = spots[i].box;
                EXPECT_TRUE(m.left >= 0 && m.top >= 88 && m.right <= kEditorWidth && m.bottom <= kEditorHeight);
                EXPECT_GT(m.right - m.left, 1);
                for (const Rect& t : taken)
                    EXPECT_FALSE(overlap(m, t)) << "meter " << i << " at " << m.left << "," << m.top << " meets "
                                                << t.left << "," << t.top << "," << t.right << "," << t.bottom;
                for (size_t j = i + 1; j < spots.size(); ++j)
                    EXPECT_FALSE(overlap(m, spots[j].box)) << i << " and " << j;
            }
            const size_t want = kind == SUMMING                               ? static_cast<size_t>(n) + 2
                                : kind == BREAKOUT || kind == DISTRIBUTOR     ? static_cast<size_t>(n) + 1
                                : kind == FADER_BANK                          ? static_cast<size_t>((n - 1) % 8 + 1)
                                                                              : static_cast<size_t>(n);
            EXPECT_EQ(spots.size(), want);
        }
}

} // namespace
} // namespace kestravel::plugins::testing
