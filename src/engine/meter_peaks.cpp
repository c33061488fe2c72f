#include "engine/meter_peaks.h"

#include "engine/bus_channels.h"
#include "engine/module_core.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Largest magnitude by max over |x| four (two) lanes at a time, in four running maxima; a NaN
// slips past max, so the lanes also keep whether any was unordered. Infinity needs nothing.
float peakFloats(const float* x, int32_t n) noexcept
{
    int32_t i = 0;
    float most = 0.0f;
    bool nan = false;
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 m0 = _mm_setzero_ps(), m1 = m0, m2 = m0, m3 = m0, u = m0;
    for (; i + 16 <= n; i += 16) {
        const __m128 a0 = _mm_and_ps(_mm_loadu_ps(x + i), magnitude);
        const __m128 a1 = _mm_and_ps(_mm_loadu_ps(x + i + 4), magnitude);
        const __m128 a2 = _mm_and_ps(_mm_loadu_ps(x + i + 8), magnitude);
        const __m128 a3 = _mm_and_ps(_mm_loadu_ps(x + i + 12), magnitude);
        m0 = _mm_max_ps(m0, a0);
        m1 = _mm_max_ps(m1, a1);
        m2 = _mm_max_ps(m2, a2);
        m3 = _mm_max_ps(m3, a3);
        u = _mm_or_ps(u, _mm_or_ps(_mm_cmpunord_ps(a0, a1), _mm_cmpunord_ps(a2, a3)));
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, _mm_max_ps(_mm_max_ps(m0, m1), _mm_max_ps(m2, m3)));
    most = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    nan = _mm_movemask_ps(u) != 0;
#endif
    for (; i < n; ++i) {
        const float a = std::fabs(x[i]);
        most = a > most ? a : most;
        nan = nan || a != a;
    }
    return nan ? std::numeric_limits<float>::infinity() : most;
}

float peakDoubles(const double* x, int32_t n) noexcept
{
    int32_t i = 0;
    double most = 0.0;
    bool nan = false;
#if defined(__SSE2__)
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    __m128d m0 = _mm_setzero_pd(), m1 = m0, u = m0;
    for (; i + 4 <= n; i += 4) {
        const __m128d a0 = _mm_and_pd(_mm_loadu_pd(x + i), magnitude);
        const __m128d a1 = _mm_and_pd(_mm_loadu_pd(x + i + 2), magnitude);
        m0 = _mm_max_pd(m0, a0);
        m1 = _mm_max_pd(m1, a1);
        u = _mm_or_pd(u, _mm_cmpunord_pd(a0, a1));
    }
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, _mm_max_pd(m0, m1));
    most = std::max(lanes[0], lanes[1]);
    nan = _mm_movemask_pd(u) != 0;
#endif
    for (; i < n; ++i) {
        const double a = std::fabs(x[i]);
        most = a > most ? a : most;
        nan = nan || a != a;
    }
    // Beyond the float range (infinity included) reads as infinity, which clips.
    return nan || most > std::numeric_limits<float>::max() ? std::numeric_limits<float>::infinity()
                                                          : static_cast<float>(most);
}

void raise(std::atomic<float>& slot, float peak) noexcept
{
    // One writer: a plain load and store keep the larger; the editor's exchange may lose one
    // block's peak to a race, which only shows it one look later.
    if (peak > slot.load(std::memory_order_relaxed))
        slot.store(peak, std::memory_order_relaxed);
}

// The buses the editor shows, and only those: a pass over a bus costs a good part of what the
// kernel spends on it. Inputs: SUMMING's inputs, and the one input of BREAKOUT, DISTRIBUTOR and
// RECORDER. Outputs: every branch, lane and strip, the main output of the other kinds, none of
// RECORDER's (they are its input).
int32 inputBusesShown(ModuleKind kind, int32 count) noexcept
{
    switch (kind) {
    case SUMMING: return count;
    case BREAKOUT:
    case DISTRIBUTOR:
    case RECORDER: return std::min(count, 1);
    default: return 0;
    }
}

int32 outputBusesShown(ModuleKind kind, int32 count) noexcept
{
    switch (kind) {
    case BREAKOUT:
    case DISTRIBUTOR:
    case FADER_BANK: return count;
    case RECORDER: return 0;
    default: return std::min(count, 1);
    }
}

template <typename S>
float meterBuses(std::array<std::atomic<float>, kMeterBuses * kMeterChannels>& slots, const AudioBusBuffers* buses,
                 int32 count, int32 frames) noexcept
{
    float first = 0.0f; // bus 0's peak
    for (int32 b = 0; b < std::min(count, kMeterBuses); ++b) {
        S** rows = channelArray<S>(buses[b]);
        if (rows == nullptr)
            continue;
        for (int32 c = 0; c < std::min(buses[b].numChannels, kMeterChannels); ++c) {
            if (rows[c] == nullptr)
                continue;
            const float p = peakOf(rows[c], frames);
            if (b == 0)
                first = std::max(first, p);
            raise(slots[static_cast<size_t>(b * kMeterChannels + c)], p);
        }
    }
    return first;
}

template <typename S>
void meterAll(ModuleCore& core, const ProcessData& data, bool inputs) noexcept
{
    if (inputs) {
        if (data.inputs != nullptr)
            core.meters.blockInputPeak = meterBuses<S>(core.meters.input, data.inputs,
                                                       inputBusesShown(core.kind, data.numInputs), data.numSamples);
        return;
    }
    if (data.outputs != nullptr)
        meterBuses<S>(core.meters.output, data.outputs, outputBusesShown(core.kind, data.numOutputs), data.numSamples);
    // Asked after the kernel, so a take that starts inside this block counts it.
    if (core.kind == RECORDER && core.meters.blockInputPeak >= kMeterClipPeak &&
        core.recorder.recording.load(std::memory_order_relaxed))
        core.meters.takeClipped.store(true, std::memory_order_relaxed);
}

void meter(ModuleCore& core, const ProcessData& data, bool inputs) noexcept
{
    if (inputs)
        core.meters.blockInputPeak = 0.0f;
    if (!core.meters.enabled || data.numSamples <= 0)
        return;
    if (data.symbolicSampleSize == kSample32)
        meterAll<Sample32>(core, data, inputs);
    else if (data.symbolicSampleSize == kSample64)
        meterAll<Sample64>(core, data, inputs);
}

} // namespace

float peakOf(const float* x, int32_t n) noexcept { return peakFloats(x, n); }
float peakOf(const double* x, int32_t n) noexcept { return peakDoubles(x, n); }

float MeterPeaks::take(MeterSide side, int32_t bus, int32_t channel) noexcept
{
    if (bus < 0 || bus >= kMeterBuses || channel < 0 || channel >= kMeterChannels)
        return 0.0f;
    auto& slots = side == MeterSide::Input ? input : output;
    return slots[static_cast<size_t>(bus * kMeterChannels + channel)].exchange(0.0f, std::memory_order_relaxed);
}

void meterInputs(ModuleCore& core, const ProcessData& data) noexcept { meter(core, data, true); }
void meterOutputs(ModuleCore& core, const ProcessData& data) noexcept { meter(core, data, false); }

} // namespace kestravel::plugins
