#include "core/waveform_overview.h"

#include <algorithm>
#include <cmath>

namespace kestravel::plugins {

namespace {

float largestMagnitude(const float* s, uint64_t n, float peak) noexcept
{
    for (uint64_t i = 0; i < n; ++i) {
        const float m = std::fabs(s[i]);
        peak = m > peak ? m : peak; // a NaN never wins
    }
    return peak;
}

} // namespace

WaveformOverview WaveformOverview::empty(uint64_t frames, uint32_t channels, uint32_t rate) noexcept
{
    WaveformOverview o;
    o.frames = frames;
    o.channels = channels;
    o.sampleRate = rate;
    return o;
}

uint64_t overviewColumnBegin(uint64_t frames, uint32_t column) noexcept
{
    return frames * column / kOverviewColumns;
}

uint64_t overviewColumnEnd(uint64_t frames, uint32_t column) noexcept
{
    const uint64_t begin = overviewColumnBegin(frames, column);
    return std::min(frames, std::max(begin + 1, frames * (column + 1) / kOverviewColumns));
}

void addOverviewFrames(WaveformOverview& overview, const float* interleaved, uint64_t from,
                       uint64_t count) noexcept
{
    const uint64_t frames = overview.frames;
    const uint64_t channels = overview.channels;
    if (frames == 0 || channels == 0 || from >= frames)
        return;
    count = std::min(count, frames - from);
    const uint64_t to = from + count;
    // The first column that reaches past `from`; columns only move forward with their index.
    auto j = static_cast<uint32_t>(std::min<uint64_t>(from * kOverviewColumns / frames, kOverviewColumns - 1));
    while (j > 0 && overviewColumnEnd(frames, j - 1) > from)
        --j;
    for (; j < kOverviewColumns; ++j) {
        const uint64_t begin = overviewColumnBegin(frames, j);
        if (begin >= to)
            break;
        const uint64_t lo = std::max(begin, from);
        const uint64_t hi = std::min(overviewColumnEnd(frames, j), to);
        if (lo < hi)
            overview.peaks[j] = largestMagnitude(interleaved + (lo - from) * channels, (hi - lo) * channels,
                                                 overview.peaks[j]);
    }
}

WaveformOverview computeOverview(const float* interleaved, uint64_t frames, uint32_t channels,
                                 uint32_t rate) noexcept
{
    WaveformOverview o = WaveformOverview::empty(frames, channels, rate);
    addOverviewFrames(o, interleaved, 0, frames);
    return o;
}

} // namespace kestravel::plugins
