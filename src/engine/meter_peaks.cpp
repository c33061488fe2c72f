#include "engine/meter_peaks.h"

#include "engine/bus_channels.h"
#include "engine/channel_kernels.h"
#include "engine/engine_state.h"
#include "engine/module_core.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// A channel's largest key; its lanes start again.
int32_t takeKey(KeyLanes& lanes) noexcept
{
    const int32_t key = *std::max_element(lanes.key.begin(), lanes.key.end());
    lanes = KeyLanes{};
    return key;
}

// The largest key of n samples, as the kernel's loops keep them: the same peaks, and a NaN or
// infinity reads as a clip without a test of its own. The integer max vectorises.
template <typename S>
float largestPeak(const S* x, int32_t n) noexcept
{
    int32_t key = 0;
    for (int32_t i = 0; i < n; ++i)
        key = std::max(key, keyOfMagnitude(std::fabs(x[i])));
    return peakOfKey<S>(key);
}

// The buses the editor shows, and only those. Inputs: SUMMING's inputs, and the one input of
// BREAKOUT, DISTRIBUTOR and RECORDER. Outputs: every branch, lane and strip, the main output of
// the other kinds, none of RECORDER's (they are its input).
int32 inputBusesShown(ModuleKind kind, int32 count) noexcept
{
    switch (kind) {
    case SUMMING: return std::min(count, kMaxBuses);
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
    case FADER_BANK: return std::min(count, kMaxBuses);
    case RECORDER: return 0;
    default: return std::min(count, 1);
    }
}

// A channel the host flags silent, or a bus that is off, reads as silence, as in the kernel.
template <typename S>
void meterUnreadInputs(ModuleCore& core, const ProcessData& data) noexcept
{
    MeterPeaks& m = core.meters;
    for (int32 b = 0; b < m.inputBuses; ++b) {
        const auto i = static_cast<size_t>(b);
        const AudioBusBuffers& bus = data.inputs[b];
        uint64_t unread = m.inputsUnread[i] & ~bus.silenceFlags;
        S** rows = channelArray<S>(bus);
        if (unread == 0 || rows == nullptr || b >= core.numInputBuses || !core.inputBusActive[i].load())
            continue;
        for (; unread != 0; unread &= unread - 1) {
            const int32 c = std::countr_zero(unread);
            if (c < bus.numChannels && rows[c] != nullptr)
                m.raiseInput(b, c, peakOf(rows[c], data.numSamples));
        }
    }
}

template <typename S>
void meterOutputPass(MeterPeaks& m, const ProcessData& data) noexcept
{
    for (int32 b = 0; b < m.outputBuses; ++b) {
        S** rows = channelArray<S>(data.outputs[b]);
        if (rows == nullptr)
            continue;
        for (int32 c = 0; c < std::min(data.outputs[b].numChannels, kMaxChannels); ++c)
            if (rows[c] != nullptr)
                m.raiseOutput(b, c, peakOf(rows[c], data.numSamples));
    }
}

// Reduces the lanes of the shown channels to peaks for the editor and starts them again; notes
// which shown input channels the kernel left unread meanwhile.
template <typename S>
void publishKeys(MeterPeaks& m, const ProcessData& data) noexcept
{
    m.anyUnread = false;
    for (int32 b = 0; b < m.inputBuses; ++b) {
        uint64_t unread = 0;
        for (int32 c = 0; c < std::min(data.inputs[b].numChannels, kMaxChannels); ++c) {
            const int32_t key = takeKey(m.inputKeys[MeterPeaks::slot(b, c)]);
            if (key > kReadKey)
                m.raiseInput(b, c, peakOfKey<S>(key));
            else if (key == 0)
                unread |= uint64_t{1} << c;
        }
        m.inputsUnread[static_cast<size_t>(b)] = unread;
        m.anyUnread = m.anyUnread || unread != 0;
    }
    for (int32 b = 0; b < m.outputBuses; ++b)
        for (int32 c = 0; c < std::min(data.outputs[b].numChannels, kMaxChannels); ++c)
            if (const int32_t key = takeKey(m.outputKeys[MeterPeaks::slot(b, c)]); key > kReadKey)
                m.raiseOutput(b, c, peakOfKey<S>(key));
    if (m.branchesOpen == 0)
        return;
    std::array<float, kMaxChannels> stage{};
    for (size_t c = 0; c < stage.size(); ++c)
        if (const int32_t key = takeKey(m.stageKeys[c]); key > kReadKey)
            stage[c] = peakOfKey<S>(key);
    for (int32 b = 0; b < m.outputBuses; ++b)
        if (((m.branchesOpen >> b) & 1u) != 0)
            for (int32 c = 0; c < std::min(data.outputs[b].numChannels, kMaxChannels); ++c)
                if (stage[static_cast<size_t>(c)] > 0.0f)
                    m.raiseOutput(b, c, stage[static_cast<size_t>(c)]);
    m.branchesOpen = 0;
}

// Often enough that a look sees what was played up to the block after the previous look, or
// at most this long ago (21 ms at 48 kHz).
constexpr int64_t kPublishSamples = 1024;

} // namespace

void beginMeterBlock(ModuleCore& core, const ProcessData& data) noexcept
{
    MeterPeaks& m = core.meters;
    m.blockInputPeak = 0.0f;
    m.kernelOutputs = true;
    const bool on = m.enabled && data.numSamples > 0 &&
                    (data.symbolicSampleSize == kSample32 || data.symbolicSampleSize == kSample64);
    m.inputBuses = on && data.inputs != nullptr ? inputBusesShown(core.kind, data.numInputs) : 0;
    m.outputBuses = on && data.outputs != nullptr ? outputBusesShown(core.kind, data.numOutputs) : 0;
    if (on && data.symbolicSampleSize != m.keySampleSize) {
        // Keys of the other width would read as other peaks. A host switches only at set-up.
        m.inputKeys.fill(KeyLanes{});
        m.outputKeys.fill(KeyLanes{});
        m.keySampleSize = data.symbolicSampleSize;
    }
    if (!m.anyUnread || m.inputBuses == 0)
        return;
    if (data.symbolicSampleSize == kSample32)
        meterUnreadInputs<Sample32>(core, data);
    else
        meterUnreadInputs<Sample64>(core, data);
}

void finishMeterBlock(ModuleCore& core, const ProcessData& data) noexcept
{
    MeterPeaks& m = core.meters;
    const bool wide = data.symbolicSampleSize == kSample64;
    if (core.engine->bypassMixed && m.outputBuses > 0) {
        if (wide)
            meterOutputPass<Sample64>(m, data);
        else
            meterOutputPass<Sample32>(m, data);
    }
    m.unpublishedSamples += data.numSamples;
    // Every block while RECORDER records: its take light asks about this block's input alone.
    const bool recording = core.kind == RECORDER && core.recorder.recording.load(std::memory_order_relaxed);
    if (recording || m.unpublishedSamples >= kPublishSamples || m.taken.load(std::memory_order_relaxed)) {
        m.taken.store(false, std::memory_order_relaxed);
        m.unpublishedSamples = 0;
        if (wide)
            publishKeys<Sample64>(m, data);
        else
            publishKeys<Sample32>(m, data);
    }
    // Asked after the kernel, so a take that starts inside this block counts it from its start.
    if (recording && m.blockInputPeak >= kMeterClipPeak)
        m.takeClipped.store(true, std::memory_order_relaxed);
}

float peakOf(const float* x, int32_t n) noexcept { return largestPeak(x, n); }
float peakOf(const double* x, int32_t n) noexcept { return largestPeak(x, n); }

void MeterPeaks::startTake() noexcept
{
    takeClipped.store(false, std::memory_order_relaxed);
    for (int32 c = 0; c < kMaxChannels; ++c) {
        const int32_t key = takeKey(inputKeys[slot(0, c)]);
        if (key > kReadKey)
            raise(input[slot(0, c)], keySampleSize == kSample64 ? peakOfKey<double>(key) : peakOfKey<float>(key));
    }
    blockInputPeak = 0.0f;
}

float MeterPeaks::take(MeterSide side, int32_t bus, int32_t channel) noexcept
{
    if (bus < 0 || bus >= kMaxBuses || channel < 0 || channel >= kMaxChannels)
        return 0.0f;
    auto& slots = side == MeterSide::Input ? input : output;
    taken.store(true, std::memory_order_relaxed);
    return slots[slot(bus, channel)].exchange(0.0f, std::memory_order_relaxed);
}

} // namespace kestravel::plugins
