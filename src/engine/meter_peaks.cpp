#include "engine/meter_peaks.h"

#include "engine/bus_channels.h"
#include "engine/channel_kernels.h"
#include "engine/engine_state.h"
#include "engine/module_core.h"

#include <algorithm>
#include <bit>
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
    // Beyond the float range (infinity included) reads as infinity, which clips. The low bits
    // go first, as in the kernel's peaks, so a value just below full scale cannot round up to it.
    if (nan || most > std::numeric_limits<float>::max())
        return std::numeric_limits<float>::infinity();
    return static_cast<float>(std::bit_cast<double>(std::bit_cast<uint64_t>(most) & 0xFFFFFFFF00000000u));
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
    auto take = [](KeyLanes& lanes) noexcept {
        const int32_t key = *std::max_element(lanes.key.begin(), lanes.key.end());
        lanes = KeyLanes{};
        return key;
    };
    m.anyUnread = false;
    for (int32 b = 0; b < m.inputBuses; ++b) {
        uint64_t unread = 0;
        for (int32 c = 0; c < std::min(data.inputs[b].numChannels, kMaxChannels); ++c) {
            const int32_t key = take(m.inputKeys[MeterPeaks::slot(b, c)]);
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
            if (const int32_t key = take(m.outputKeys[MeterPeaks::slot(b, c)]); key > kReadKey)
                m.raiseOutput(b, c, peakOfKey<S>(key));
    if (m.branchesOpen == 0)
        return;
    std::array<float, kMaxChannels> stage{};
    for (size_t c = 0; c < stage.size(); ++c)
        if (const int32_t key = take(m.stageKeys[c]); key > kReadKey)
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

float peakOf(const float* x, int32_t n) noexcept { return peakFloats(x, n); }
float peakOf(const double* x, int32_t n) noexcept { return peakDoubles(x, n); }

void MeterPeaks::startTake() noexcept
{
    takeClipped.store(false, std::memory_order_relaxed);
    for (int32 c = 0; c < kMaxChannels; ++c) {
        KeyLanes& lanes = inputKeys[slot(0, c)];
        const int32_t key = *std::max_element(lanes.key.begin(), lanes.key.end());
        lanes = KeyLanes{};
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
