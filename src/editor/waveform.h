#pragma once
// The PLAYER's overview of its loaded file.

#include <array>
#include <cstdint>

#include "core/waveform_overview.h"
#include "editor/canvas.h"

namespace kestravel::plugins {

inline constexpr int32_t kWaveformFirstColumn = 30;
inline constexpr int32_t kWaveformColumns = static_cast<int32_t>(kOverviewColumns);
inline constexpr int32_t kWaveformCentre = 340;
inline constexpr int32_t kWaveformHalfHeight = 95;

// Half-height in pixels (0..95) of every column, from the peaks worked out when the file was
// loaded: painting costs the same whatever the file's length. No frames give zeros.
std::array<int32_t, kWaveformColumns> waveformColumnHeights(const WaveformOverview& overview) noexcept;

// [UI thread] One accent line per column, centred on y = 340.
void drawWaveform(Canvas& canvas, const WaveformOverview& overview);

} // namespace kestravel::plugins
