// Which parameter a host finds under the pointer, checked against what a press or a wheel
// notch at the same pixel actually edits.

#include <gtest/gtest.h>

#include <set>

#include "editor/layout.h"
#include "editor_fixture.h"

namespace kestravel::plugins::testing {
namespace {

constexpr ModuleKind kKinds[] = {INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, RECORDER, FADER_BANK, DISTRIBUTOR};

// A module where every button acts: a PLAYER with a file, a RECORDER with a destination,
// FADER BANK with twelve strips on its second page.
void makeEverythingAct(EditorFixture& f)
{
    f.host.totalFrames = 48000;
    f.host.ready = true;
    if (f.host.kind == FADER_BANK) {
        f.setStrips(12);
        f.state.faderPage = 1;
    }
}

std::set<uint32_t> idsEditedBy(ModuleKind kind, int32_t x, int32_t y, bool wheel)
{
    EditorFixture f(kind);
    makeEverythingAct(f);
    if (wheel)
        f.wheel(x, y, 1.0);
    else
        f.press(x, y);
    std::set<uint32_t> ids;
    for (const HostCall& c : f.host.calls)
        ids.insert(c.id);
    return ids;
}

TEST(ParameterFinder, FindsExactlyWhatAPressOrTheWheelEditsThere)
{
    for (ModuleKind kind : kKinds) {
        EditorFixture f(kind);
        makeEverythingAct(f);
        std::set<uint32_t> found;
        for (int32_t y = 0; y < kEditorHeight; y += 4) {
            for (int32_t x = 0; x < kEditorWidth; x += 4) {
                uint32_t id = 0xFFFFFFFF;
                const bool hit = parameterAt(f.context, x, y, id);
                std::set<uint32_t> edited = idsEditedBy(kind, x, y, false);
                if (edited.empty())
                    edited = idsEditedBy(kind, x, y, true); // a count or tail label
                SCOPED_TRACE(::testing::Message() << "kind " << kind << " at " << x << "," << y);
                if (hit) {
                    EXPECT_EQ(edited.count(id), 1u) << "found " << id;
                    found.insert(id);
                } else {
                    EXPECT_TRUE(edited.empty()) << "nothing found where " << *edited.begin() << " is edited";
                }
            }
        }
        // Every control of the layout shows up somewhere.
        std::set<uint32_t> expected;
        switch (kind) {
        case INPUT:
        case OUTPUT: expected = {kGainParam}; break;
        case SUMMING:
        case BREAKOUT:
        case DISTRIBUTOR: expected = {kGainParam, kActiveStripsParam}; break;
        case PLAYER: expected = {kPlayRecordParam, kFollowTransportParam, kChasePositionParam}; break;
        case RECORDER: expected = {kPlayRecordParam, kFollowTransportParam, kMaximumTailParam}; break;
        case FADER_BANK:
            expected = {kActiveStripsParam};
            for (uint32_t strip = 8; strip < 12; ++strip) {
                expected.insert(kFaderGainParamBase + strip);
                expected.insert(kFaderMuteParamBase + strip);
            }
            break;
        }
        EXPECT_EQ(found, expected) << "kind " << kind;
    }
}

struct FinderCase {
    ModuleKind kind;
    int32_t x, y; // editor pixels
    bool hit;
    uint32_t id;
};

TEST(ParameterFinder, ControlsAndTheirNeighboursAtEveryScale)
{
    const FinderCase cases[] = {
        {FADER_BANK, 114 - 76, 204, true, kFaderMuteParamBase + 8},  // first mute of page 2, top left
        {FADER_BANK, 459 - 1, 234, true, kFaderMuteParamBase + 11},  // slot 3, bottom right
        {FADER_BANK, 919 - 1, 234, false, 0},                          // slot 7 is past strip 12
        {FADER_BANK, 229 - 40, 300, true, kFaderGainParamBase + 9},
        {FADER_BANK, 800, 120, true, kActiveStripsParam},              // the "N strips" label
        {FADER_BANK, 30, 530, false, 0},                               // page button: no parameter
        {SUMMING, 29, 222, true, kActiveStripsParam},
        {SUMMING, 890, 266, true, kActiveStripsParam},                 // inclusive far corner
        {INPUT, 29, 222, false, 0},                                    // no count on INPUT
        {OUTPUT, 17, 365, true, kGainParam},
        {OUTPUT, 924, 440, false, 0},                                  // exclusive far corner
        {PLAYER, 30, 120, false, 0},                                   // the file button
        {PLAYER, 300, 130, true, kPlayRecordParam},
        {PLAYER, 400, 130, true, kPlayRecordParam},                    // stop
        {PLAYER, 600, 130, true, kFollowTransportParam},
        {PLAYER, 800, 130, true, kChasePositionParam},
        {RECORDER, 800, 130, false, 0},                                // no chase on RECORDER
        {PLAYER, 100, 440, false, 0},                                  // no tail on PLAYER
        {RECORDER, 922, 460, true, kMaximumTailParam},
        {RECORDER, 959, 579, false, 0},
    };
    for (double scale : {1.0, 1.5, 2.0, 4.0}) {
        for (const FinderCase& c : cases) {
            EditorFixture f(c.kind);
            makeEverythingAct(f);
            f.state.scale = scale;
            // The middle of the device pixels that show editor pixel (x, y).
            const auto dx = static_cast<int32_t>((c.x + 0.5) * scale);
            const auto dy = static_cast<int32_t>((c.y + 0.5) * scale);
            uint32_t id = 0xFFFFFFFF;
            SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " at " << c.x << "," << c.y << " x" << scale);
            EXPECT_EQ(parameterAt(f.context, dx, dy, id), c.hit);
            if (c.hit) {
                EXPECT_EQ(id, c.id);
            }
        }
    }
    EditorFixture f(OUTPUT);
    uint32_t id = 0;
    EXPECT_FALSE(parameterAt(f.context, -1, 400, id));
    EXPECT_FALSE(parameterAt(f.context, 400, 100000, id));
}

// ---------------------------------------------------------------- knob rows

TEST(StripKnob, ValuesThatReadTheSameSitOnTheSamePixel)
{
    struct Case {
        double a, b; // a value and its 32-bit float as a host stores it
        int32_t row;
    };
    const Case cases[] = {
        {15.0 / 17.0, static_cast<double>(static_cast<float>(15.0 / 17.0)), 280}, // 0.0 dB
        {0.8823529412, 0.88235295, 280},
        {1.0, static_cast<double>(1.0f), 258},
        {0.0, 0.0, 445},
        {(90.0 - 6.0) / 102.0, static_cast<double>(static_cast<float>((90.0 - 6.0) / 102.0)), 291}, // -6.0 dB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.a << " and " << c.b);
        EXPECT_EQ(layout::stripKnobCentre(c.a), c.row);
        EXPECT_EQ(layout::stripKnobCentre(c.b), c.row);
    }
    // The row moves down monotonically with the value's text, a tenth of a dB at a time.
    int32_t previous = layout::stripKnobCentre(1.0);
    for (int32_t tenths = 119; tenths >= -900; --tenths) {
        const double v = (tenths / 10.0 + 90.0) / 102.0;
        const int32_t row = layout::stripKnobCentre(v);
        EXPECT_GE(row, previous);
        EXPECT_LE(row - previous, 1);
        EXPECT_EQ(row, layout::stripKnobCentre(static_cast<double>(static_cast<float>(v)))) << tenths;
        previous = row;
    }
}

} // namespace
} // namespace kestravel::plugins::testing
