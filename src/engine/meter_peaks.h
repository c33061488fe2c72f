#pragma once
// Per-channel peaks for the editor's meters. The kernel's loops keep magnitude keys in lanes
// the audio thread alone touches; the audio thread publishes them as peaks into one relaxed
// atomic per channel, which the editor takes. Nothing waits on either side.

#include "core/meter_tap.h"
#include "engine/bus_limits.h"
#include "engine/channel_kernels.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace kestravel::plugins {

struct ModuleCore;

struct MeterPeaks {
    std::array<std::atomic<float>, kMaxBuses * kMaxChannels> input{};
    std::array<std::atomic<float>, kMaxBuses * kMaxChannels> output{};
    // RECORDER: the take being written met a sample at 0 dBFS or beyond (or not finite).
    std::atomic<bool> takeClipped{false};
    // The editor took peaks since the audio thread last published them.
    std::atomic<bool> taken{true};
    // Benchmarks only: the modules always meter.
    bool enabled = true;

    // [audio thread] The block under way. The kernel's loops raise the keys of what they read
    // and write; the buses past these counts are not shown, so they are not metered.
    int32_t inputBuses = 0;
    int32_t outputBuses = 0;
    bool kernelOutputs = true; // false while a bypass mix will change what the kernel wrote
    float blockInputPeak = 0.0f; // input bus 0's peak (RECORDER publishes every block)
    // Per input bus: the channels the kernel left unread between the last two publications
    // (their keys stayed 0), which are read on their own before a kernel may overwrite them.
    std::array<uint64_t, kMaxBuses> inputsUnread = allChannels();
    bool anyUnread = true;
    // [audio thread] Keys gathered since they were last published, of samples of keySampleSize.
    std::array<KeyLanes, kMaxBuses * kMaxChannels> inputKeys{};
    std::array<KeyLanes, kMaxBuses * kMaxChannels> outputKeys{};
    int32_t keySampleSize = Steinberg::Vst::kSample32;
    int64_t unpublishedSamples = 0;

    // DISTRIBUTOR: every open branch is a copy of one stage per channel, so the stage's keys
    // stand for all of them, with the branches that were open since the last publication.
    std::array<KeyLanes, kMaxChannels> stageKeys{};
    uint64_t branchesOpen = 0;

    // [any thread but audio] The channel's peak since the last take, then 0 again.
    float take(MeterSide side, int32_t bus, int32_t channel) noexcept;

    // [audio thread] A take starts here: the input's keys so far are published, so that the
    // take's light sees only the take's own samples.
    void startTake() noexcept;

    // [audio thread] Where the kernel keeps the keys of a shown channel; null when it is not.
    KeyLanes* inputLanes(int32_t bus, int32_t channel) noexcept
    {
        return bus < inputBuses && channel < kMaxChannels ? &inputKeys[slot(bus, channel)] : nullptr;
    }
    KeyLanes* outputLanes(int32_t bus, int32_t channel) noexcept
    {
        return kernelOutputs && bus < outputBuses && channel < kMaxChannels ? &outputKeys[slot(bus, channel)] : nullptr;
    }
    KeyLanes* stageLanes(int32_t channel) noexcept
    {
        return kernelOutputs && outputBuses > 0 && channel < kMaxChannels ? &stageKeys[static_cast<size_t>(channel)] : nullptr;
    }
    // [audio thread] A peak read on its own, past the lanes.
    void raiseInput(int32_t bus, int32_t channel, float peak) noexcept
    {
        raise(input[slot(bus, channel)], peak);
        if (bus == 0)
            blockInputPeak = peak > blockInputPeak ? peak : blockInputPeak;
    }
    void raiseOutput(int32_t bus, int32_t channel, float peak) noexcept { raise(output[slot(bus, channel)], peak); }

    static size_t slot(int32_t bus, int32_t channel) noexcept
    {
        return static_cast<size_t>(bus * kMaxChannels + channel);
    }

private:
    static constexpr std::array<uint64_t, kMaxBuses> allChannels() noexcept
    {
        std::array<uint64_t, kMaxBuses> all{};
        all.fill(~uint64_t{0});
        return all;
    }
    static void raise(std::atomic<float>& slot, float peak) noexcept
    {
        // One writer: a plain load and store keep the larger. Racing the editor's exchange, a
        // publication smaller than the peak the editor just took can be dropped; that look
        // showed the larger one.
        if (peak > slot.load(std::memory_order_relaxed))
            slot.store(peak, std::memory_order_relaxed);
    }
};

// [audio thread, never allocates] Before the kernel: which buses this block meters, and the
// input channels the kernel has left unread of late, before it may overwrite them in place.
void beginMeterBlock(ModuleCore& core, const Steinberg::Vst::ProcessData& data) noexcept;
// [audio thread, never allocates] After the block: the outputs again where a bypass mixed them,
// the keys published when the editor has looked or enough samples have passed, and RECORDER's
// take light.
void finishMeterBlock(ModuleCore& core, const Steinberg::Vst::ProcessData& data) noexcept;

// Largest |x| of n samples; +infinity when any is not finite.
float peakOf(const float* x, int32_t n) noexcept;
float peakOf(const double* x, int32_t n) noexcept;

} // namespace kestravel::plugins
