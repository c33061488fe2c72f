#include "engine/meter_peaks.h"

#include "engine/bus_channels.h"
#include "engine/module_core.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// With the sign cleared, the bits order as the magnitudes do, and every non-finite value
// (infinity, NaN) sorts above every finite one: one integer max finds both, and vectorises.
template <typename S, typename Bits>
float peakByBits(const S* x, int32_t n) noexcept
{
    constexpr Bits magnitude = ~Bits{0} >> 1;
    constexpr Bits infinity = std::bit_cast<Bits>(std::numeric_limits<S>::infinity());
    Bits most = 0;
    for (int32_t i = 0; i < n; ++i) {
        const Bits b = std::bit_cast<Bits>(x[i]) & magnitude;
        most = b > most ? b : most;
    }
    if (most >= infinity)
        return std::numeric_limits<float>::infinity();
    return static_cast<float>(std::bit_cast<S>(most));
}

void raise(std::atomic<float>& slot, float peak) noexcept
{
    // One writer: a plain load and store keep the larger; the editor's exchange may lose one
    // block's peak to a race, which only shows it one look later.
    if (peak > slot.load(std::memory_order_relaxed))
        slot.store(peak, std::memory_order_relaxed);
}

template <typename S>
void meterBuses(std::array<std::atomic<float>, kMeterBuses * kMeterChannels>& slots, const AudioBusBuffers* buses,
                int32 count, int32 frames, float* busPeaks) noexcept
{
    for (int32 b = 0; b < std::min(count, kMeterBuses); ++b) {
        S** rows = channelArray<S>(buses[b]);
        float busPeak = 0.0f;
        if (rows != nullptr)
            for (int32 c = 0; c < std::min(buses[b].numChannels, kMeterChannels); ++c) {
                if (rows[c] == nullptr)
                    continue;
                const float p = peakOf(rows[c], frames);
                busPeak = std::max(busPeak, p);
                raise(slots[static_cast<size_t>(b * kMeterChannels + c)], p);
            }
        if (busPeaks != nullptr && b == 0)
            *busPeaks = busPeak;
    }
}

template <typename S>
void meterAll(ModuleCore& core, const ProcessData& data, bool inputs) noexcept
{
    if (inputs) {
        if (data.inputs == nullptr)
            return;

        meterBuses<S>(core.meters.input, data.inputs, data.numInputs, data.numSamples, &core.meters.blockInputPeak);
        return;
    }
    if (data.outputs != nullptr)
        meterBuses<S>(core.meters.output, data.outputs, data.numOutputs, data.numSamples, nullptr);
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

float peakOf(const float* x, int32_t n) noexcept { return peakByBits<float, uint32_t>(x, n); }
float peakOf(const double* x, int32_t n) noexcept { return peakByBits<double, uint64_t>(x, n); }

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
