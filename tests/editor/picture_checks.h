#pragma once
// Pixels that carry meaning in each layout, checked the same way on the Cairo and GDI pictures.
// Only pixels away from text: glyphs differ between the two renderers, fills and lines do not.

#include <functional>
#include <string>
#include <vector>

#include "editor/editor_state.h"
#include "editor/palette.h"
#include "fake_editor_host.h"

namespace kestravel::plugins::testing {

struct PixelCheck {
    int32_t x, y;
    Colour colour;
    const char* what;
};

struct PictureCase {
    std::string name;
    ModuleKind kind;
    std::function<void(FakeEditorHost&, EditorState&)> setUp;
    std::vector<PixelCheck> checks;
    uint32_t pageAfter = 0; // FADER BANK page after the paint
};

// A knob row's shade before the tint, computed here independently: bright at the top edge,
// darkest in the middle, brighter again below.
inline Colour knobRowColour(int32_t row, int32_t height)
{
    int32_t g = row < height / 2 ? 218 - 2 * row : 151 + 2 * (row - height / 2);
    g = g < 110 ? 110 : (g > 224 ? 224 : g);
    return {static_cast<uint8_t>(g - 11), static_cast<uint8_t>(g), static_cast<uint8_t>(g + 3)};
}

inline std::vector<PixelCheck> headerChecks()
{
    using namespace palette;
    return {{5, 5, kHeaderBand, "header band"},
            {959, 86, kHeaderBand, "header band bottom right"},
            {0, 87, kSeparator, "separator first pixel"},
            {959, 87, kSeparator, "separator last pixel"},
            {480, 88, kBackground, "below the separator"},
            {5, 575, kBackground, "background"}};
}

inline std::vector<PictureCase> pictureCases()
{
    using namespace palette;
    std::vector<PictureCase> cases;

    // Gain knob at 0.5: centre column 468, knob box (448, 375, 488, 430), centre row 402.
    cases.push_back({"gain knob at 0.5", OUTPUT, [](FakeEditorHost& h, EditorState&) { h.set(kGainParam, 0.5); },
                     {{468, 402, kKnobCentreLine, "centre line"},
                      {468, 401, kKnobCentreLine, "centre line is 3 rows"},
                      {468, 403, kKnobCentreLine, "centre line is 3 rows"},
                      {447, 402, kKnobCentreLine, "round end left"},
                      {488, 401, kKnobCentreLine, "the end pixel of a wide line is drawn"},
                      {489, 402, kKnobCentreLine, "round end right"},
                      {447, 401, kGainTrack, "no round end off the centre row"},
                      {490, 402, kGainTrack, "track right of the knob"},
                      {468, 374, kKnobTopEdge, "top edge, 2 rows"},
                      {468, 375, kKnobTopEdge, "top edge, 2 rows"},
                      {468, 373, kBackground, "above the knob"},
                      {468, 428, kKnobBottomEdge, "bottom edge, 2 rows"},
                      {468, 429, kKnobBottomEdge, "bottom edge, 2 rows"},
                      {468, 430, kBackground, "below the knob"},
                      {468, 380, knobRowColour(5, 55), "knob shade row 5"},
                      {460, 415, knobRowColour(40, 55), "knob shade row 40"},
                      {37, 397, kGainTrack, "track first pixel"},
                      {899, 405, kGainTrack, "track last pixel"},
                      {36, 400, kBackground, "left of the track"},
                      {900, 400, kBackground, "right of the track"},
                      {100, 396, kBackground, "above the track"},
                      {100, 406, kBackground, "below the track"}}});

    cases.push_back({"gain knob at the ends", INPUT, [](FakeEditorHost& h, EditorState&) { h.set(kGainParam, 0.0); },
                     {{37, 402, kKnobCentreLine, "centre at x = 37"},
                      {17, 380, knobRowColour(5, 55), "knob starts at 17"},
                      {15, 380, kBackground, "nothing left of the knob"},
                      {58, 380, kBackground, "nothing right of the knob"}}});

    cases.push_back({"summing count buttons", SUMMING, [](FakeEditorHost&, EditorState&) {},
                     {{35, 226, kButtonOffFace, "minus face"},
                      {50, 222, kButtonTopEdge, "minus top edge"},
                      {29, 240, kButtonLeftEdge, "minus left edge"},
                      {29, 222, kButtonLeftEdge, "left edge drawn over the top edge"},
                      {50, 264, kButtonBottomEdge, "bottom edge, 2 rows"},
                      {50, 265, kButtonBottomEdge, "bottom edge, 2 rows"},
                      {98, 265, kButtonBottomEdge, "bottom edge round end"},
                      {50, 266, kBackground, "below the button"},
                      {118, 226, kButtonOffFace, "plus face"}}});

    // Strips of page 0; slot s has its reference column at 114 + 115 s.
    cases.push_back({"fader bank strips", FADER_BANK,
                     [](FakeEditorHost& h, EditorState&) {
                         h.set(kFaderGainParamBase + 0, 1.0);
                         h.set(kFaderGainParamBase + 1, 0.0);
                         h.set(kFaderGainParamBase + 2, 0.5);
                         h.set(kFaderMuteParamBase + 1, 1.0);
                     },
                     {// slot 0, value 1: knob (58, 236, 97, 280), centre row 258
                      {77, 258, kKnobCentreLine, "value 1: centre at 258"},
                      {77, 235, kKnobTopEdge, "value 1: top edge"},
                      {77, 279, kKnobBottomEdge, "value 1: bottom edge"},
                      {77, 234, kButtonBottomEdge, "value 1: the mute button's edge meets the knob"},
                      {77, 281, kStripTrack, "value 1: track below the knob"},
                      {77, 444, kStripTrack, "track last row"},
                      {77, 445, kStripPanel, "below the track"},
                      {72, 300, kStripPanel, "left of the track"},
                      {73, 300, kStripTrack, "track first column"},
                      {80, 300, kStripTrack, "track last column"},
                      {81, 300, kStripPanel, "right of the track"},
                      // slot 1, value 0: knob (173, 423, 212, 467), centre row 445
                      {192, 445, kKnobCentreLine, "value 0: centre at 445"},
                      {192, 422, kKnobTopEdge, "value 0: top edge"},
                      {192, 430, knobRowColour(7, 44), "value 0: shade row 7"},
                      // slot 2, value 0.5: centre row 258 + trunc(93.5) = 351
                      {307, 351, kKnobCentreLine, "value 0.5: centre at 351"},
                      {307, 348, knobRowColour(19, 44), "value 0.5: shade above the centre"},
                      // panel, its accent top edge and the scale
                      {26, 300, kStripPanel, "panel first column"},
                      {127, 511, kStripPanel, "panel last pixel"},
                      {128, 300, kBackground, "gap between panels"},
                      {26, 512, kBackground, "below the panel"},
                      {60, 153, kAccent, "top edge, 3 rows"},
                      {60, 155, kAccent, "top edge, 3 rows"},
                      {60, 156, kStripPanel, "below the top edge"},
                      {60, 152, kBackground, "above the top edge"},
                      {43, 289, kScaleTick, "scale tick first pixel"},
                      {64, 444, kScaleTick, "last scale tick"},
                      {65, 289, kStripPanel, "tick end not drawn"},
                      {50, 290, kStripPanel, "between ticks"},
                      // mute buttons: off on slot 0, on on slot 1
                      {40, 207, kButtonOffFace, "mute off face"},
                      {155, 207, kButtonOnFace, "mute on face"},
                      {60, 204, kButtonTopEdge, "mute top edge"},
                      {38, 220, kButtonLeftEdge, "mute left edge"},
                      {60, 233, kButtonBottomEdge, "mute bottom edge"},
                      {37, 234, kButtonBottomEdge, "mute bottom edge round end"},
                      {40, 235, kStripPanel, "below the mute button"},
                      // the count and page buttons
                      {655, 105, kButtonOffFace, "minus face"},
                      {30, 530, kButtonOffFace, "page back face"},
                      {95, 530, kButtonOffFace, "page forward face"}}});

    cases.push_back({"fader bank page 1 of 9 strips", FADER_BANK,
                     [](FakeEditorHost& h, EditorState& s) {
                         h.set(kActiveStripsParam, 8 / 63.0);
                         s.faderPage = 1;
                     },
                     {{30, 300, kStripPanel, "strip 9 in slot 0"}, {150, 300, kBackground, "slot 1 empty"},
                      {840, 300, kBackground, "slot 7 empty"}},
                     1});

    cases.push_back({"fader bank page clamped after lowering the count", FADER_BANK,
                     [](FakeEditorHost& h, EditorState& s) {
                         h.set(kActiveStripsParam, 7 / 63.0);
                         s.faderPage = 1;
                     },
                     {{30, 300, kStripPanel, "slot 0"}, {150, 300, kStripPanel, "slot 1"},
                      {840, 300, kStripPanel, "slot 7"}},
                     0});

    cases.push_back({"player buttons and empty panel", PLAYER,
                     [](FakeEditorHost& h, EditorState&) {
                         h.set(kPlayRecordParam, 1.0);
                         h.set(kFollowTransportParam, 0.0);
                     },
                     {{31, 115, kButtonOffFace, "open face"},
                      {225, 115, kButtonOnFace, "play on"},
                      {365, 115, kButtonOffFace, "stop face"},
                      {501, 115, kButtonOffFace, "follow off"},
                      {28, 230, kWaveformPanel, "panel first pixel"},
                      {929, 449, kWaveformPanel, "panel last pixel"},
                      {930, 300, kBackground, "right of the panel"},
                      {100, 340, kWaveformPanel, "no waveform without a clip"},
                      {36, 461, kBackground, "no clip details"}}});

    cases.push_back({"recorder buttons", RECORDER,
                     [](FakeEditorHost& h, EditorState&) { h.set(kPlayRecordParam, 0.4); },
                     {{225, 115, kButtonOffFace, "record off at 0.4"},
                      {501, 115, kButtonOnFace, "follow on"},
                      {33, 424, kButtonOffFace, "tail minus"},
                      {184, 424, kButtonOffFace, "tail plus"},
                      {100, 240, kBackground, "no waveform panel"}}});

    for (auto& c : cases) {
        const auto header = headerChecks();
        c.checks.insert(c.checks.end(), header.begin(), header.end());
    }
    return cases;
}

// First and last row of the waveform's colour in column x, or {0, -1} when there is none.
inline std::pair<int32_t, int32_t> accentExtent(const std::function<uint32_t(int32_t, int32_t)>& pixel, int32_t x)
{
    int32_t first = 0, last = -1;
    for (int32_t y = 230; y < 450; ++y) {
        if (pixel(x, y) == palette::kAccent.argb()) {
            if (last < 0)
                first = y;
            last = y;
        }
    }
    return {first, last};
}

} // namespace kestravel::plugins::testing
