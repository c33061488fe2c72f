#pragma once
// Positions shared by painting and hit testing, and the fader arithmetic behind them.

#include <cmath>
#include <cstdint>

#include "editor/geometry.h"
#include "core/parameter_ids.h"

namespace kestravel::plugins::layout {

inline constexpr double kOnThreshold = 0.5;

// FADER BANK
inline constexpr uint32_t kStripsPerPage = 8;
inline constexpr Rect kStripMinusButton{650, 101, 694, 135};
inline constexpr Rect kStripPlusButton{700, 101, 744, 135};
inline constexpr Rect kPagePrevButton{28, 525, 85, 560};
inline constexpr Rect kPageNextButton{91, 525, 148, 560};
inline constexpr int32_t kStripFaderTop = 258;    // knob centre at value 1
inline constexpr int32_t kStripTravel = 187;      // pixels from value 1 to value 0
inline constexpr int32_t kStripGrabTolerance = 24;

// Reference column of a slot on the page: 114, 229, ..., 919.
constexpr int32_t slotColumn(uint32_t slot) noexcept { return 114 + 115 * static_cast<int32_t>(slot); }
constexpr Rect muteButton(int32_t x) noexcept { return {x - 76, 204, x, 235}; }
constexpr Rect stripFaderArea(int32_t x) noexcept { return {x - 71, 240, x - 1, 463}; }
// The count buttons and the "N strips" label beside them: the wheel steps the count there.
inline constexpr Rect kStripCountWheelArea{650, 101, 930, 135};
// The page's place among the strips, right of the hint below the faders.
inline constexpr Rect kPageLabel{770, 525, 930, 560};

// PLAYER / RECORDER
inline constexpr Rect kFileButton{28, 112, 206, 155};
inline constexpr Rect kPlayButton{222, 112, 349, 155};
inline constexpr Rect kStopButton{362, 112, 480, 155};
inline constexpr Rect kFollowButton{498, 112, 770, 155};
inline constexpr Rect kChaseButton{782, 112, 930, 155}; // PLAYER only, in the row's free end
inline constexpr Rect kTailMinusButton{30, 421, 168, 460}; // hit inclusive on all edges
inline constexpr Rect kTailPlusButton{181, 421, 319, 460}; // hit inclusive on all edges
inline constexpr double kTailStepSeconds = 5.0;
inline constexpr double kTailMinSeconds = 1.0;
inline constexpr double kTailMaxSeconds = 3600.0;
inline constexpr Rect kTailWheelArea{30, 421, 922, 460}; // both buttons and the label
// RECORDER's take panel: the free band between the tail row and the footer.
inline constexpr Rect kTakePanel{30, 468, 922, 518};

// Routing kinds
inline constexpr Rect kCountMinusButton{29, 222, 98, 266}; // hit inclusive on all edges
inline constexpr Rect kCountPlusButton{112, 222, 181, 266}; // hit inclusive on all edges
inline constexpr Rect kGainArea{17, 365, 924, 440};
inline constexpr int32_t kGainFaderLeft = 37;   // knob centre at value 0
inline constexpr int32_t kGainTravel = 863;     // pixels from value 0 to value 1
inline constexpr int32_t kGainGrabTolerance = 22;
inline constexpr Rect kCountWheelArea{29, 222, 890, 266}; // both buttons and the label
// 0 dB, where Ctrl+click and a double click put a gain.
inline constexpr double kGainDefault = 15.0 / 17.0;

// Values outside 0..1 never come from the module; NaN would make the pixel casts undefined.
inline double unitInterval(double v) noexcept
{
    if (!(v >= 0.0))
        return 0.0;
    return v > 1.0 ? 1.0 : v;
}

inline bool isOn(double v) noexcept { return v > kOnThreshold; }

// Strip count 1..64 from "Active strips / branches": nearest step, halves away from zero.
inline int32_t stripCount(double normalized) noexcept
{
    return activeStripCount(unitInterval(normalized));
}

// Knob centre rows and columns, truncated toward zero as drawn.
inline int32_t stripKnobCentre(double v) noexcept
{
    return kStripFaderTop + static_cast<int32_t>(kStripTravel * (1.0 - unitInterval(v)));
}

// The drawn knob of a strip fader at column x; a press anywhere on it grabs it, also where it
// reaches past the fader area at the ends of the track.
inline Rect stripKnobBox(int32_t x, double v) noexcept
{
    const int32_t k = stripKnobCentre(v);
    return {x - 56, k - 22, x - 17, k + 22};
}

inline int32_t gainKnobCentre(double v) noexcept
{
    return kGainFaderLeft + static_cast<int32_t>(kGainTravel * unitInterval(v));
}

// "Maximum tail" in whole seconds, as shown and stepped.
inline int32_t tailSeconds(double normalized) noexcept
{
    return static_cast<int32_t>(std::lround(unitInterval(normalized) * kTailMaxSeconds));
}

// The gain law the faders show: -90 dB at 0, +12 dB at 1.
inline double faderDecibels(double v) noexcept { return v * 102.0 - 90.0; }

} // namespace kestravel::plugins::layout
