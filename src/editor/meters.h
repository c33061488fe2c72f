#pragma once
// The level meters of an editor: where each kind shows them, what each one reads, and how a
// bar, its peak-hold line and its clip light move between looks.

#include <cstdint>
#include <vector>

#include "editor/canvas.h"
#include "editor/editor_host.h"
#include "editor/geometry.h"

namespace kestravel::plugins {

struct EditorState;

// How often the editor looks while a meter moves, and when all are still.
inline constexpr double kMeterMovingPeriodSeconds = 1.0 / 30.0;
inline constexpr double kMeterIdlePeriodSeconds = 0.1;

// The scale and the ballistics.
inline constexpr double kMeterFloorDb = -60.0;
inline constexpr double kMeterFallDbPerSecond = 20.0;
inline constexpr double kMeterHoldSeconds = 1.5;
inline constexpr double kMeterTicksDb[] = {0.0, -6.0, -12.0, -24.0, -48.0};

// One meter: where it is and what it reads (the largest of its channels).
struct MeterSpot {
    Rect box;   // the whole meter, light included: a press here puts the light out
    Rect bar;   // the track the bar grows in
    Rect light; // the clip light
    bool vertical = true;
    bool labels = false; // tick labels below a horizontal bar
    bool onPanel = false; // drawn on a FADER BANK strip's panel rather than the background
    MeterSide side = MeterSide::Output;
    int32_t bus = 0;
    int32_t firstChannel = 0;
    int32_t channels = 1;
};

// What a meter shows, in dB.
struct MeterReading {
    double barDb = -1000.0;
    double holdDb = -1000.0;
    double holdSince = 0.0;
    bool clip = false;
};

// The meters of the module as it is now. FADER BANK shows the strips of page.
std::vector<MeterSpot> meterSpots(const EditorHost& host, uint32_t faderPage);

// RECORDER's "clipped during this take" light and its label.
inline constexpr Rect kTakeClipLight{730, 398, 746, 414};
inline constexpr Rect kTakeClipLabel{752, 394, 916, 419};

// [UI thread]
class MeterBoard {
public:
    // Takes the peaks gathered since the last look and moves every meter on to nowSeconds (a
    // steady clock). The set of meters follows the module as it is now (kind, bus channels,
    // strip count, FADER BANK page). True when any meter's picture changed.
    bool sample(const EditorHost& host, const EditorState& state, double nowSeconds);
    // A bar or a hold line is still on its way down, so the next look should come soon.
    bool moving() const noexcept;
    // Editor-pixel rectangles of the meters whose picture changed at the last sample.
    const std::vector<Rect>& changed() const noexcept { return changedAreas; }
    // Every meter, each over its own background, so this alone repaints them over an earlier
    // frame.
    void paint(Canvas& canvas) const;
    // A press at editor pixels (x, y): a clip light (or its meter) there goes out. True when
    // the press was on a meter.
    bool press(int32_t x, int32_t y);

    const std::vector<MeterSpot>& spots() const noexcept { return meterSpotsNow; }
    const std::vector<MeterReading>& readings() const noexcept { return meterReadings; }

private:
    std::vector<MeterSpot> meterSpotsNow;
    std::vector<MeterReading> meterReadings;
    std::vector<Rect> changedAreas;
    bool takeLightShown = false; // RECORDER only
    bool takeClipped = false;
    double lastLook = -1.0;
};

} // namespace kestravel::plugins
