#include "editor/waveform.h"

#include <algorithm>
#include <cmath>

#include "editor/palette.h"

namespace kestravel::plugins {

std::array<int32_t, kWaveformColumns> waveformColumnHeights(const PreloadedAudio& clip) noexcept
{
    std::array<int32_t, kWaveformColumns> heights{};
    const uint64_t channels = clip.channels;
    if (channels == 0)
        return heights;
    const uint64_t frames = clip.samples.size() / channels;
    if (frames == 0)
        return heights;
    const float* samples = clip.samples.data();
    constexpr uint64_t columns = kWaveformColumns;
    for (uint64_t j = 1; j <= columns; ++j) {
        const uint64_t first = frames * (j - 1) / columns;
        const uint64_t last = std::max(first + 1, frames * j / columns);
        const uint64_t step = std::max<uint64_t>(1, (last - first) / 32);
        const uint64_t end = std::min(frames, last);
        float peak = 0.0f;
        for (uint64_t f = first; f < end; f += step) {
            const float* frame = samples + f * channels;
            for (uint64_t ch = 0; ch < channels; ++ch) {
                const float magnitude = std::fabs(frame[ch]);
                if (magnitude > peak) // a NaN never wins
                    peak = magnitude;
            }
        }
        heights[j - 1] = static_cast<int32_t>(std::min(static_cast<double>(peak), 1.0) * kWaveformHalfHeight);
    }
    return heights;
}

void drawWaveform(Canvas& canvas, const PreloadedAudio& clip)
{
    const auto heights = waveformColumnHeights(clip);
    for (int32_t i = 0; i < kWaveformColumns; ++i) {
        const int32_t x = kWaveformFirstColumn + i;
        const int32_t h = heights[static_cast<size_t>(i)];
        canvas.drawLine(x, kWaveformCentre - h, x, kWaveformCentre + h, palette::kAccent, 1);
    }
}

} // namespace kestravel::plugins
