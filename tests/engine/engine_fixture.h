#pragma once
// A module core as a host would have set it up, host buffers of either width, and the
// reference definitions the kernel is checked against.

#include "engine/block_processor.h"
#include "engine/module_core.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

namespace kestravel::plugins::test {

using Steinberg::int32;

// What setupProcessing and the host's bus activation leave behind.
inline std::unique_ptr<ModuleCore> makeCore(ModuleKind kind, int32 maxBlock = 512,
                                            double rate = 48000.0)
{
    auto core = std::make_unique<ModuleCore>(kind);
    core->sampleRate = rate;
    core->maxBlockSize = maxBlock;
    core->resizeScratch(maxBlock);
    for (int32 b = 0; b < core->numInputBuses; ++b)
        core->inputBusActive[static_cast<size_t>(b)].store(true);
    for (int32 b = 0; b < core->numOutputBuses; ++b)
        core->outputBusActive[static_cast<size_t>(b)].store(true);
    return core;
}

// Host buffers sized exactly to the block, one vector per channel.
template <typename S>
class HostBlock {
public:
    HostBlock(int32 numSamples, const std::vector<int32>& inputChannels,
              const std::vector<int32>& outputChannels)
        : samples(numSamples)
    {
        build(inputChannels, inStore, inPtrs, inputs);
        build(outputChannels, outStore, outPtrs, outputs);
        data.symbolicSampleSize = std::is_same_v<S, float> ? Steinberg::Vst::kSample32
                                                           : Steinberg::Vst::kSample64;
        data.numSamples = numSamples;
        data.numInputs = static_cast<int32>(inputs.size());
        data.numOutputs = static_cast<int32>(outputs.size());
        data.inputs = inputs.empty() ? nullptr : inputs.data();
        data.outputs = outputs.empty() ? nullptr : outputs.data();
        std::memset(&context, 0, sizeof(context));
    }

    S* in(size_t b, size_t c) { return inStore[b][c].data(); }
    S* out(size_t b, size_t c) { return outStore[b][c].data(); }
    S& in(size_t b, size_t c, size_t i) { return inStore[b][c][i]; }
    S out(size_t b, size_t c, size_t i) const { return outStore[b][c][i]; }
    uint64_t flags(size_t b) const { return outputs[b].silenceFlags; }
    // Repoints one channel, e.g. at an input buffer for in-place processing, or at null.
    void setOutputPointer(size_t b, size_t c, S* p) { outPtrs[b][c] = p; }
    void setInputPointer(size_t b, size_t c, S* p) { inPtrs[b][c] = p; }

    template <typename F>
    void fillInput(size_t b, size_t c, F f)
    {
        for (size_t i = 0; i < inStore[b][c].size(); ++i)
            inStore[b][c][i] = static_cast<S>(f(i));
    }
    void fillOutputs(S value)
    {
        for (auto& bus : outStore)
            for (auto& ch : bus)
                std::fill(ch.begin(), ch.end(), value);
    }
    // Hands the context to the block with the given state bits and continuous time.
    void useContext(uint32_t state, int64_t time = 0)
    {
        context.state = state;
        context.continousTimeSamples = time;
        context.sampleRate = 48000.0;
        data.processContext = &context;
    }

    const int32 samples;
    Steinberg::Vst::ProcessData data;
    Steinberg::Vst::ProcessContext context;
    std::vector<Steinberg::Vst::AudioBusBuffers> inputs, outputs;

private:
    using Store = std::vector<std::vector<std::vector<S>>>;
    using Pointers = std::vector<std::vector<S*>>;

    void build(const std::vector<int32>& channels, Store& store, Pointers& pointers,
               std::vector<Steinberg::Vst::AudioBusBuffers>& buses)
    {
        store.resize(channels.size());
        pointers.resize(channels.size());
        buses.resize(channels.size());
        for (size_t b = 0; b < channels.size(); ++b) {
            store[b].assign(static_cast<size_t>(channels[b]),
                            std::vector<S>(static_cast<size_t>(samples), S(0)));
            for (auto& ch : store[b])
                pointers[b].push_back(ch.data());
            buses[b].numChannels = channels[b];
            buses[b].silenceFlags = 0;
            if constexpr (std::is_same_v<S, float>)
                buses[b].channelBuffers32 = pointers[b].data();
            else
                buses[b].channelBuffers64 = pointers[b].data();
        }
    }

    Store inStore, outStore;
    Pointers inPtrs, outPtrs;
};

// ---- Reference definitions, written out literally ----

// The library functions are called at run time, as the engine calls them: a value folded by
// the compiler is correctly rounded, while a platform's exp and pow may differ in the last bit.
inline double refLinear(double normalized)
{
    volatile double v = normalized;
    return std::pow(10.0, (v * 102.0 - 90.0) / 20.0);
}

inline double refCoefficient(double rate)
{
    volatile double r = rate;
    return std::exp(-1.0 / (r * 0.003));
}

// One smoothed gain: per call, sample i carries the value after i + 1 steps of
// g <- g + (T - g) * w from the call's start value, and the stored value then moves to
// T + (start - T) * a^L. Values under 2^-1000 count as 0.
inline const double kRefGainFloor = std::ldexp(1.0, -1000);

struct RefSmoother {
    double value;
    double rate = 48000.0;

    std::vector<double> call(double target, int32 length)
    {
        const double a = refCoefficient(rate);
        const double w = 1.0 - a;
        std::vector<double> curve;
        double g = value;
        for (int32 i = 0; i < length; ++i) {
            g = g + (target - g) * w;
            if (g < kRefGainFloor)
                g = 0.0;
            curve.push_back(g);
        }
        volatile double steps = static_cast<double>(length);
        value = target + (value - target) * std::pow(a, steps);
        if (value < kRefGainFloor)
            value = 0.0;
        return curve;
    }
};

// What the host receives for x: narrowed to S, a non-finite result as 0, and a result below
// the smallest normal number of S as a zero of its sign (processing flushes to zero).
template <typename S>
S refFlushed(S y)
{
    return std::fabs(y) < std::numeric_limits<S>::min() ? std::copysign(S(0), y) : y;
}

template <typename S>
S refWritten(double x)
{
    if (!std::isfinite(x))
        return S(0);
    if constexpr (std::is_same_v<S, float>) {
        // Out-of-range doubles round to infinity in IEEE arithmetic; written as 0.
        const float limitAbove = std::numeric_limits<float>::max();
        if (std::fabs(x) > limitAbove) {
            const double half = std::ldexp(1.0, 103); // half an ulp above FLT_MAX
            if (std::fabs(x) >= static_cast<double>(limitAbove) + half)
                return 0.0f;
            return std::copysign(limitAbove, static_cast<float>(std::copysign(1.0, x)));
        }
    }
    return refFlushed(static_cast<S>(x));
}

template <typename S>
bool sameBits(S a, S b)
{
    return std::memcmp(&a, &b, sizeof(S)) == 0;
}

} // namespace kestravel::plugins::test
