#pragma once
// Which signal a meter reads: the module's input or output, by bus and channel. Shared by the
// audio path that gathers the peaks and the editor that shows them.

#include <cstdint>

namespace kestravel::plugins {

enum class MeterSide : uint8_t { Input, Output };

// A peak at or above this (0 dBFS) lights the clip light; a non-finite sample is reported as
// +infinity, so it clips too.
inline constexpr float kMeterClipPeak = 1.0f;

} // namespace kestravel::plugins
