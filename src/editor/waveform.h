#pragma once
// The PLAYER's overview of its loaded clip.

#include <array>
#include <cstdint>

#include "editor/canvas.h"
#include "fileaudio/preloaded_audio.h"

namespace kestravel::plugins {

inline constexpr int32_t kWaveformFirstColumn = 30;
inline constexpr int32_t kWaveformColumns = 898;
inline constexpr int32_t kWaveformCentre = 340;
inline constexpr int32_t kWaveformHalfHeight = 95;

// Half-height in pixels (0..95) of every column. Each column looks at no more than about
// 32 frames, so the cost does not grow with the clip's length. An empty clip gives zeros.
std::array<int32_t, kWaveformColumns> waveformColumnHeights(const PreloadedAudio& clip) noexcept;

// [UI thread] One accent line per column, centred on y = 340.
void drawWaveform(Canvas& canvas, const PreloadedAudio& clip);

} // namespace kestravel::plugins
