#include "engine/bypass.h"

#include "engine/bus_channels.h"
#include "engine/channel_ops.h"
#include "engine/engine_state.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Closer than this (-140 dB) the mix is taken as arrived, so a settled bypass is an exact copy
// and a settled off is the kernel's output bit for bit.
constexpr double kMixArrived = 1e-7;

double bypassTarget(const ModuleCore& core) noexcept
{
    return core.paramValues[kBypassParam].load() > 0.5 ? 1.0 : 0.0;
}

template <typename S>
S* channelOf(const AudioBusBuffers& bus, int32 ch) noexcept
{
    S** rows = channelArray<S>(bus);
    return rows != nullptr && ch < bus.numChannels ? rows[ch] : nullptr;
}

double* dryRow(EngineState& engine, int32 bus, int32 ch) noexcept
{
    return engine.bypassDry.data() + (static_cast<size_t>(bus) * kMaxChannels + static_cast<size_t>(ch)) * kBypassChunk;
}

template <typename S>
void keep(ModuleCore& core, const ProcessData& data, int32_t start, int32_t length) noexcept
{
    EngineState& engine = *core.engine;
    const int32 buses = std::min({data.numInputs, data.numOutputs, kMaxBuses});
    for (int32 b = 0; b < buses; ++b)
        for (int32 ch = 0; ch < std::min(data.inputs[b].numChannels, kMaxChannels); ++ch) {
            const S* in = channelOf<S>(data.inputs[b], ch);
            double* row = dryRow(engine, b, ch);
            for (int32 i = 0; i < length; ++i)
                row[i] = in != nullptr && std::isfinite(in[start + i]) ? static_cast<double>(in[start + i]) : 0.0;
        }
}

template <typename S>
void mix(ModuleCore& core, ProcessData& data, int32_t start, int32_t length) noexcept
{
    EngineState& engine = *core.engine;
    const double target = bypassTarget(core);
    const double w = engine.coefficients.w;
    double share[kBypassChunk];
    double m = engine.bypassMix;
    for (int32 i = 0; i < length; ++i) {
        m = std::abs(target - m) < kMixArrived ? target : m + (target - m) * w;
        share[i] = m;
    }
    engine.bypassMix = m;

    for (int32 b = 0; b < data.numOutputs; ++b) {
        const bool matched = b < data.numInputs && b < kMaxBuses;
        for (int32 ch = 0; ch < data.outputs[b].numChannels; ++ch) {
            S* out = channelOf<S>(data.outputs[b], ch);
            if (out == nullptr)
                continue;
            const double* dry = matched && ch < std::min(data.inputs[b].numChannels, kMaxChannels)
                                    ? dryRow(engine, b, ch)
                                    : nullptr;
            for (int32 i = 0; i < length; ++i) {
                const double d = dry != nullptr ? dry[i] : 0.0;
                const double p = static_cast<double>(out[start + i]);
                out[start + i] = finiteOrZero<S>(share[i] == 1.0 ? d : p + (d - p) * share[i]);
            }
        }
    }
    engine.bypassMixed = true;
}

template <typename S>
void flagSilence(ProcessData& data) noexcept
{
    for (int32 b = 0; b < data.numOutputs; ++b) {
        AudioBusBuffers& bus = data.outputs[b];
        uint64_t silent = 0;
        for (int32 ch = 0; ch < std::min(bus.numChannels, kMaxChannels); ++ch) {
            const S* out = channelOf<S>(bus, ch);
            if (out == nullptr)
                continue;
            // By the bits, as the kernel flags: denormals flushed to zero in this block's
            // float mode are still sound to the host.
            SampleBits<S> bits = 0;
            for (int32 i = 0; i < data.numSamples; ++i)
                bits |= std::bit_cast<SampleBits<S>>(out[i]);
            if (!anyNonZero<S>(bits))
                silent |= uint64_t{1} << ch;
        }
        bus.silenceFlags = silent;
    }
}

} // namespace

void beginBypassBlock(ModuleCore& core) noexcept
{
    core.engine->bypassMixed = false;
}

void finishBypassBlock(ModuleCore& core, ProcessData& data) noexcept
{
    if (!core.engine->bypassMixed)
        return;
    if (data.symbolicSampleSize == kSample32)
        flagSilence<Sample32>(data);
    else
        flagSilence<Sample64>(data);
}

bool bypassSettledOff(ModuleCore& core) noexcept
{
    EngineState& engine = *core.engine;
    const double target = bypassTarget(core);
    if (core.kind == RECORDER)
        return true;
    if (!core.gainStatePrimed) // after a reset the switch takes effect without a ramp, as gains do
        engine.bypassMix = target;
    return target == 0.0 && engine.bypassMix == 0.0;
}

void keepDryInputs(ModuleCore& core, const ProcessData& data, int32_t start, int32_t length) noexcept
{
    if (data.symbolicSampleSize == kSample32)
        keep<Sample32>(core, data, start, length);
    else
        keep<Sample64>(core, data, start, length);
}

void mixBypass(ModuleCore& core, ProcessData& data, int32_t start, int32_t length) noexcept
{
    if (data.symbolicSampleSize == kSample32)
        mix<Sample32>(core, data, start, length);
    else
        mix<Sample64>(core, data, start, length);
}

} // namespace kestravel::plugins
