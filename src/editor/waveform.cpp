#include "editor/waveform.h"

#include <algorithm>

#include "editor/palette.h"

namespace kestravel::plugins {

std::array<int32_t, kWaveformColumns> waveformColumnHeights(const WaveformOverview& overview) noexcept
{
    std::array<int32_t, kWaveformColumns> heights{};
    if (overview.frames == 0 || overview.channels == 0)
        return heights;
    for (size_t j = 0; j < heights.size(); ++j) {
        const double peak = overview.peaks[j];
        heights[j] = peak > 0.0 ? static_cast<int32_t>(std::min(peak, 1.0) * kWaveformHalfHeight) : 0;
    }
    return heights;
}

void drawWaveform(Canvas& canvas, const WaveformOverview& overview)
{
    const auto heights = waveformColumnHeights(overview);
    for (int32_t i = 0; i < kWaveformColumns; ++i) {
        const int32_t x = kWaveformFirstColumn + i;
        const int32_t h = heights[static_cast<size_t>(i)];
        canvas.drawLine(x, kWaveformCentre - h, x, kWaveformCentre + h, palette::kAccent, 1);
    }
}

} // namespace kestravel::plugins
