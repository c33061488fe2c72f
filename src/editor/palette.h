#pragma once
// The editor's colours.

#include "editor/geometry.h"

namespace kestravel::plugins::palette {

inline constexpr Colour kBackground{18, 30, 36};
inline constexpr Colour kHeaderBand{33, 49, 57};
inline constexpr Colour kPrimaryText{237, 241, 235};
inline constexpr Colour kSecondaryText{151, 174, 185};
inline constexpr Colour kAccent{132, 203, 191};
inline constexpr Colour kSeparator{76, 97, 103};
inline constexpr Colour kStripPanel{33, 47, 55};
inline constexpr Colour kStripTrack{5, 12, 17};
inline constexpr Colour kGainTrack{6, 12, 17};
inline constexpr Colour kScaleTick{76, 95, 102};
inline constexpr Colour kWaveformPanel{10, 23, 30};
inline constexpr Colour kButtonOffFace{48, 64, 72};
inline constexpr Colour kButtonOnFace{169, 131, 81};
inline constexpr Colour kButtonTopEdge{111, 133, 140};
inline constexpr Colour kButtonLeftEdge{81, 100, 110};
inline constexpr Colour kButtonBottomEdge{10, 18, 24};
inline constexpr Colour kButtonOnText{10, 20, 23};
inline constexpr Colour kKnobTopEdge{237, 242, 241};
inline constexpr Colour kKnobBottomEdge{57, 76, 87};
inline constexpr Colour kKnobCentreLine{40, 59, 67};
inline constexpr Colour kDisabledText{92, 110, 118}; // a button's label while it cannot act
inline constexpr Colour kFailureText{240, 96, 84};   // a take that failed
inline constexpr Colour kWarningText{236, 184, 80};  // little time left on the disk

// Meters
inline constexpr Colour kMeterTrack{5, 12, 17};
inline constexpr Colour kMeterLow{84, 186, 120};    // below -6 dBFS
inline constexpr Colour kMeterHigh{226, 190, 86};   // -6 dBFS and above
inline constexpr Colour kMeterHold{237, 241, 235};
inline constexpr Colour kMeterTick{52, 68, 76};
inline constexpr Colour kClipOff{44, 30, 32};
inline constexpr Colour kClipOn{232, 64, 52};

} // namespace kestravel::plugins::palette
