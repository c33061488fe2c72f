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

private:
    std::vector<Rect> changedAreas;
};

} // namespace kestravel::plugins
