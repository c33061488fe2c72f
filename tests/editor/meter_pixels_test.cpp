// Meters as the platform draws them (Cairo on Linux, GDI on Windows), at 1x and 2x: bars, tick
// gaps, hold lines and clip lights land on the same pixels on both.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "editor/meters.h"
#include "editor/paint_view.h"
#include "editor/palette.h"
#include "fake_editor_host.h"

#ifdef _WIN32
#include "editor/platform/gdi_canvas.h"
#else
#include "editor/platform/cairo_canvas.h"
#endif

namespace kestravel::plugins::testing {
namespace {

using namespace palette;

struct Picture {
    int32_t width = 0;
    std::vector<uint32_t> argb;
    double scale = 1.0;
    // The device pixel at the top left of editor pixel (x, y).
    uint32_t at(int32_t x, int32_t y) const
    {
        const auto px = static_cast<size_t>(scaledLength(x, scale));
        const auto py = static_cast<size_t>(scaledLength(y, scale));
        return argb[py * static_cast<size_t>(width) + px];
    }
};

Picture paint(EditorState& state, const FakeEditorHost& host, double scale, PaintParts parts)
{
    Picture p;
    p.scale = scale;
    p.width = scaledLength(kEditorWidth, scale);
    p.argb.assign(static_cast<size_t>(p.width) * static_cast<size_t>(scaledLength(kEditorHeight, scale)), 0);
#ifdef _WIN32
    GdiBitmap bitmap(p.width, scaledLength(kEditorHeight, scale));
    GdiCanvas canvas(bitmap.context(), scale);
    paintView(state, host, canvas, parts);
    bitmap.copyTo(p.argb.data());
#else
    CairoImage image(scale);
    paintView(state, host, image.canvas(), parts);
    image.copyTo(p.argb.data());
#endif
    return p;
}

std::string hex(uint32_t argb)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06X", argb & 0xFFFFFFu);
    return buffer;
}

struct Check {
    int32_t x, y;
    Colour colour;
    const char* what;
};

struct MeterPicture {
    const char* name;
    ModuleKind kind;
    void (*setUp)(FakeEditorHost&);
    std::vector<Check> checks;
};

std::vector<MeterPicture> meterPictures()
{
    return {
        // Strip 0 at -6 dB: bar from row 277 down, hold line on rows 276-277. Strip 1 met a
        // non-finite sample: full bar, the top part above -6 dB in the warm colour, light on.
        {"fader bank strips", FADER_BANK,
         [](FakeEditorHost& h) {
             h.set(kActiveStripsParam, 1.0 / 63.0);
             h.peaks[{MeterSide::Output, 0, 0}] = 0.5f;
             h.peaks[{MeterSide::Output, 1, 1}] = std::numeric_limits<float>::infinity();
         },
         {{119, 440, kMeterLow, "strip 0 bar"},
          {119, 278, kMeterLow, "strip 0 bar top"},
          {119, 276, kMeterHold, "strip 0 hold line"},
          {119, 270, kMeterTrack, "strip 0 above the bar"},
          {114, 408, kMeterTick, "strip 0 -48 dB tick"},
          {119, 245, kClipOff, "strip 0 light off"},
          {126, 300, kStripPanel, "panel right of the meter"},
          {113, 300, kStripPanel, "panel between fader and meter"},
          {234, 245, kClipOn, "strip 1 light on"},
          {234, 265, kMeterHigh, "strip 1 above -6 dB"},
          {234, 300, kMeterLow, "strip 1 below -6 dB"}}},
        // Two horizontal bars: left at -12 dB (to x 725, hold there), right silent.
        {"output, stereo", OUTPUT,
         [](FakeEditorHost& h) {
             h.outputChannels = {2};
             h.peaks[{MeterSide::Output, 0, 0}] = 0.25f;
         },
         {{400, 275, kMeterLow, "left bar"},
          {723, 275, kMeterLow, "left bar end"},
          {724, 275, kMeterHold, "left hold line"},
          {760, 275, kMeterTrack, "left after the bar"},
          {202, 284, kMeterTick, "-48 dB tick"},
          {915, 280, kClipOff, "left light"},
          {400, 292, kMeterTrack, "right bar empty"},
          {400, 287, kBackground, "between the bars"}}},
        {"recorder take light", RECORDER, [](FakeEditorHost& h) { h.takeClipped = true; },
         {{738, 405, kClipOn, "take light on"}, {31, 410, kMeterTrack, "input meter empty"}}},
    };
}

TEST(MeterPixels, BarsHoldLinesAndLightsAtOneAndTwiceTheSize)
{
    for (const double scale : {1.0, 2.0})
        for (const MeterPicture& c : meterPictures()) {
            SCOPED_TRACE(std::string(c.name) + (scale == 1.0 ? " at 1x" : " at 2x"));
            FakeEditorHost host(c.kind);
            c.setUp(host);
            EditorState state;
            state.scale = scale;
            state.meters.sample(host, state, 0.0);
            const Picture whole = paint(state, host, scale, PaintParts::Everything);
            for (const Check& k : c.checks)
                EXPECT_EQ(hex(whole.at(k.x, k.y)), hex(k.colour.argb())) << k.what << " at " << k.x << "," << k.y;
            // The meters alone put the same pixels in their boxes.
            const Picture alone = paint(state, host, scale, PaintParts::MetersOnly);
            for (const Check& k : c.checks) {
                bool inside = contains(kTakeClipLight, k.x, k.y);
                for (const MeterSpot& spot : state.meters.spots())
                    inside = inside || contains(spot.box, k.x, k.y);
                if (inside) {
                    EXPECT_EQ(hex(alone.at(k.x, k.y)), hex(whole.at(k.x, k.y))) << k.what << ", meters alone";
                }
            }
        }
}

} // namespace
} // namespace kestravel::plugins::testing
