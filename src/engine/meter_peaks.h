#pragma once
// Per-channel peaks for the editor's meters: the audio thread raises them, the editor takes
// them. One relaxed atomic per channel; nothing waits on either side.

#include "core/meter_tap.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace kestravel::plugins {

struct ModuleCore;

inline constexpr int32_t kMeterBuses = 64;
inline constexpr int32_t kMeterChannels = 64;

struct MeterPeaks {
    std::array<std::atomic<float>, kMeterBuses * kMeterChannels> input{};
    std::array<std::atomic<float>, kMeterBuses * kMeterChannels> output{};
    // RECORDER: the take being written met a sample at 0 dBFS or beyond (or not finite).
    std::atomic<bool> takeClipped{false};
    float blockInputPeak = 0.0f; // [audio thread] input bus 0's peak in the block under way
    // Benchmarks only: the modules always meter.
    bool enabled = true;

    // [any thread but audio] The channel's peak since the last take, then 0 again.
    float take(MeterSide side, int32_t bus, int32_t channel) noexcept;
};

// [audio thread, never allocates] The input buses the editor shows, before the kernel may overwrite them in place.
void meterInputs(ModuleCore& core, const Steinberg::Vst::ProcessData& data) noexcept;
// [audio thread, never allocates] The output buses the editor shows, as the host will read them.
void meterOutputs(ModuleCore& core, const Steinberg::Vst::ProcessData& data) noexcept;

// Largest |x| of n samples; +infinity when any is not finite.
float peakOf(const float* x, int32_t n) noexcept;
float peakOf(const double* x, int32_t n) noexcept;

} // namespace kestravel::plugins
