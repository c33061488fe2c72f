// Cost of one host block per kind, at 48 kHz, for 32/128/512-sample blocks, in a stereo and a
// 64-channel layout, with steady and with moving gains. Next to every case the same run times
// baselines over the same buffers: a memcpy of each input channel to the output channel(s) it
// feeds (x_memcpy), a plain vectorised gain loop doing the same with one float multiply per
// sample (x_gain), and that loop in the engine's arithmetic, widened to double and narrowed
// back (x_dgain). ns_per_sc is the cost per sample-channel (one input channel feeding one
// output channel for one sample); rt_load the share of real time one block takes at 48 kHz.
// BM_Subnormal runs every kind in both sample widths on input (or file audio) below the
// smallest normal number of its width and reports the cost against the same rig on normal
// input (x_normal).

#include "engine/block_processor.h"
#include "engine/channel_kernels.h"
#include "engine/engine_state.h"
#include "engine/module_core.h"
#include "fileaudio/preloaded_audio.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace kestravel::plugins {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr double kRate = 48000.0;

enum Layout { kStereo = 0, kWide = 1 };
enum Motion { kSteady = 0, kRamping = 1 };
enum Signal { kNormal = 0, kSubnormal = 1 };

// Input noise of either kind: subnormal input is noise scaled below the smallest normal.
template <typename S>
S signalScale(Signal signal)
{
    return signal == kSubnormal ? std::numeric_limits<S>::min() / S(4) : S(1);
}

// One channel's samples, page aligned. With every channel at the same place within a 4 KiB
// page, no store to an output is mistaken for the same address as a later load of an input
// a few cache lines on (which costs some processors a stall, and would make the timings
// depend on where the heap happened to put each buffer).
template <typename S>
class Channel {
public:
    static constexpr std::align_val_t kPage{4096};
    Channel(size_t n, S value)
        : samples(static_cast<S*>(::operator new(std::max<size_t>(n, 1) * sizeof(S), kPage))), count(n)
    {
        std::fill_n(samples.get(), n, value);
    }
    S* data() const { return samples.get(); }
    S* begin() const { return samples.get(); }
    S* end() const { return samples.get() + count; }

private:
    struct Release {
        void operator()(S* p) const { ::operator delete(p, kPage); }
    };
    std::unique_ptr<S, Release> samples;
    size_t count;
};

template <typename S>
struct Buses {
    std::vector<Channel<S>> store;
    std::vector<S*> pointers;
    size_t firstOfBus(size_t b, const std::vector<int32>& counts) const
    {
        size_t n = 0;
        for (size_t i = 0; i < b; ++i)
            n += static_cast<size_t>(counts[i]);
        return n;
    }
};

// One module with host buffers of one width for one layout, plus the channel pairs the
// baselines copy.
template <typename S>
class Rig {
public:
    Rig(ModuleKind moduleKind, int32 blockSize, Layout layout, Signal signal = kNormal)
        : kind(moduleKind), block(blockSize)
    {
        const bool wide = layout == kWide;
        switch (kind) {
        case SUMMING: inCounts.assign(wide ? 64 : 1, 2), outCounts = {2}; break;
        case BREAKOUT: inCounts = {wide ? 64 : 2}, outCounts.assign(wide ? 64 : 2, 1); break;
        case DISTRIBUTOR: inCounts = {2}, outCounts.assign(wide ? 64 : 1, 2); break;
        case FADER_BANK: inCounts.assign(wide ? 64 : 1, 2), outCounts = inCounts; break;
        case PLAYER: outCounts = {wide ? 64 : 2}; break;
        default: inCounts = {wide ? 64 : 2}, outCounts = inCounts; break;
        }
        core = std::make_unique<ModuleCore>(kind);
        core->sampleRate = kRate;
        core->maxBlockSize = block;
        core->resizeScratch(block);
        for (auto& a : core->inputBusActive)
            a.store(true);
        for (auto& a : core->outputBusActive)
            a.store(true);
        // As many strips or branches as the layout has buses: one stereo FADER BANK strip is
        // one active strip.
        const size_t lanes = kind == SUMMING ? inCounts.size() : outCounts.size();
        core->paramValues[kActiveStripsParam].store(static_cast<double>(lanes - 1) / 63.0);
        setGains(kSteadyGain);

        std::mt19937 random(7);
        std::uniform_real_distribution<S> noise(S(-0.5), S(0.5));
        const S scale = signalScale<S>(signal);
        build(inCounts, inputs, inBuses, [&] { return noise(random) * scale; });
        build(outCounts, outputs, outBuses, [] { return S(0); });
        data.symbolicSampleSize = std::is_same_v<S, float> ? kSample32 : kSample64;
        data.numSamples = block;
        data.numInputs = static_cast<int32>(inBuses.size());
        data.numOutputs = static_cast<int32>(outBuses.size());
        data.inputs = inBuses.empty() ? nullptr : inBuses.data();
        data.outputs = outBuses.data();
        std::memset(&context, 0, sizeof(context));
        context.state = ProcessContext::kContTimeValid | ProcessContext::kPlaying;
        data.processContext = &context;

        if (kind == PLAYER) {
            // A long file with as many channels as the output, already playing.
            PreloadedAudio audio;
            audio.channels = static_cast<uint32_t>(outCounts[0]);
            audio.sampleRate = 48000;
            audio.samples.resize(audio.channels * 48000u * 4u);
            const float fileScale = signalScale<float>(signal);
            for (size_t i = 0; i < audio.samples.size(); ++i)
                audio.samples[i] =
                    (static_cast<float>((i * 2654435761u) % 65536) / 65536.0f - 0.5f) * fileScale;
            core->player.install(std::move(audio));
            for (int32 c = 0; c < outCounts[0]; ++c)
                fileRows.emplace_back(static_cast<size_t>(block), S(0.25));
        }
        pairUp();
    }

    // One host block, with the clock running on; moving gains change target every 2048 samples.
    void meter(bool on) { core->meters.enabled = on; }

    void process(Motion motion)
    {
        if (motion == kRamping && (clock / 2048) != ((clock + block) / 2048)) {
            flip = !flip;
            setGains(flip ? kLowGain : kSteadyGain);
        }
        context.continousTimeSamples = clock;
        processBlock(*core, data);
        clock += block;
        if (kind == PLAYER && clock > 48000 * 3)
            clock = 0; // stays inside the file
    }

    void baselineCopy()
    {
        for (const auto& [src, dst] : pairs)
            std::memcpy(dst, src, static_cast<size_t>(block) * sizeof(S));
    }

    void baselineGain(S g)
    {
        for (const auto& [src, dst] : pairs)
            gainLoop(dst, src, g, block, kind == SUMMING && src != pairs.front().first);
    }

    // The same in the engine's arithmetic: widened to double, multiplied, narrowed.
    void baselineDoubleGain(double g)
    {
        for (const auto& [src, dst] : pairs)
            doubleGainLoop(dst, src, g, block);
    }

    size_t sampleChannels() const { return pairs.size() * static_cast<size_t>(block); }
    void useKernels(const ChannelKernels& table) { core->engine->kernels = &table; }

    const ModuleKind kind;
    const int32 block;

private:
    static constexpr double kSteadyGain = 0.8235294117647058; // -6 dB
    static constexpr double kLowGain = 0.5882352941176471;    // -30 dB

    static void gainLoop(S* dst, const S* src, S g, int32 n, bool add)
    {
        if (add)
            for (int32 i = 0; i < n; ++i)
                dst[i] += src[i] * g;
        else
            for (int32 i = 0; i < n; ++i)
                dst[i] = src[i] * g;
        benchmark::ClobberMemory();
    }

    static void doubleGainLoop(S* dst, const S* src, double g, int32 n)
    {
        for (int32 i = 0; i < n; ++i)
            dst[i] = static_cast<S>(static_cast<double>(src[i]) * g);
        benchmark::ClobberMemory();
    }

    void setGains(double v)
    {
        core->paramValues[kGainParam].store(v);
        for (uint32_t k = 0; k < kMaxStrips; ++k)
            core->paramValues[kFaderGainParamBase + k].store(v);
        if (kind == RECORDER)
            core->paramValues[kGainParam].store(v == kSteadyGain ? 15.0 / 17.0 : v);
    }

    template <typename F>
    void build(const std::vector<int32>& counts, std::vector<Buses<S>>& store,
               std::vector<AudioBusBuffers>& buses, F fill)
    {
        store.resize(counts.size());
        buses.resize(counts.size());
        for (size_t b = 0; b < counts.size(); ++b) {
            for (int32 c = 0; c < counts[b]; ++c) {
                Channel<S> ch(static_cast<size_t>(block), S(0));
                for (auto& s : ch)
                    s = fill();
                store[b].store.push_back(std::move(ch));
            }
            for (auto& ch : store[b].store)
                store[b].pointers.push_back(ch.data());
            buses[b].numChannels = counts[b];
            if constexpr (std::is_same_v<S, float>)
                buses[b].channelBuffers32 = store[b].pointers.data();
            else
                buses[b].channelBuffers64 = store[b].pointers.data();
        }
    }

    // The input channel each output channel is fed from, as the kind routes them.
    void pairUp()
    {
        auto in = [&](size_t b, size_t c) { return static_cast<const S*>(inputs[b].store[c].data()); };
        auto out = [&](size_t b, size_t c) { return outputs[b].store[c].data(); };
        switch (kind) {
        case SUMMING:
            for (size_t j = 0; j < inputs.size(); ++j)
                for (size_t c = 0; c < 2; ++c)
                    pairs.push_back({in(j, c), out(0, c)});
            break;
        case BREAKOUT:
            for (size_t b = 0; b < outputs.size(); ++b)
                pairs.push_back({in(0, b), out(b, 0)});
            break;
        case DISTRIBUTOR:
            for (size_t b = 0; b < outputs.size(); ++b)
                for (size_t c = 0; c < 2; ++c)
                    pairs.push_back({in(0, c), out(b, c)});
            break;
        case FADER_BANK:
            for (size_t b = 0; b < outputs.size(); ++b)
                for (size_t c = 0; c < 2; ++c)
                    pairs.push_back({in(b, c), out(b, c)});
            break;
        case PLAYER:
            for (size_t c = 0; c < fileRows.size(); ++c)
                pairs.push_back({fileRows[c].data(), out(0, c)});
            break;
        default:
            for (size_t c = 0; c < inputs[0].store.size(); ++c)
                pairs.push_back({in(0, c), out(0, c)});
            break;
        }
    }

    std::unique_ptr<ModuleCore> core;
    std::vector<int32> inCounts, outCounts;
    std::vector<Buses<S>> inputs, outputs;
    std::vector<AudioBusBuffers> inBuses, outBuses;
    std::vector<Channel<S>> fileRows;
    std::vector<std::pair<const S*, S*>> pairs;
    ProcessData data;
    ProcessContext context;
    int64_t clock = 0;
    bool flip = false;
};

template <typename F>
double secondsPerCall(F&& f, int calls)
{
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        f();
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(t1 - t0).count() / calls;
}

// Kernel and baselines interleaved, best of several rounds each: the machine is shared.
template <typename S>
void measure(benchmark::State& state, Rig<S>& rig, Motion motion)
{
    const int calls = std::max(64, static_cast<int>(200000 / rig.sampleChannels()));
    double kernel = 1e9, copy = 1e9, gain = 1e9, doubleGain = 1e9;
    for (int round = 0; round < 15; ++round) {
        kernel = std::min(kernel, secondsPerCall([&] { rig.process(motion); }, calls));
        copy = std::min(copy, secondsPerCall([&] { rig.baselineCopy(); }, calls));
        gain = std::min(gain, secondsPerCall([&] { rig.baselineGain(S(0.5)); }, calls));
        doubleGain = std::min(doubleGain, secondsPerCall([&] { rig.baselineDoubleGain(0.5); }, calls));
    }
    for (auto _ : state)
        rig.process(motion);
    const double perSampleChannel = kernel / static_cast<double>(rig.sampleChannels());
    state.counters["ns_per_sc"] = perSampleChannel * 1e9;
    state.counters["x_memcpy"] = kernel / copy;
    state.counters["x_gain"] = kernel / gain;
    state.counters["x_dgain"] = kernel / doubleGain;
    state.counters["rt_load"] = kernel / (rig.block / kRate);
}

// The rig runs the loops of set; a row for a set this processor lacks is skipped.
template <typename S>
bool useInstructionSet(benchmark::State& state, Rig<S>& rig, InstructionSet set)
{
    const ChannelKernels* table = channelKernelsFor(set);
    if (table == nullptr) {
        state.SkipWithError((std::string("no ") + instructionSetName(set) + " on this processor").c_str());
        return false;
    }
    rig.useKernels(*table);
    return true;
}

void BM_Kind(benchmark::State& state)
{
    const auto kind = static_cast<ModuleKind>(state.range(0));
    Rig<float> rig(kind, static_cast<int32>(state.range(1)), static_cast<Layout>(state.range(2)));
    measure(state, rig, static_cast<Motion>(state.range(3)));
}

void kindArguments(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"kind", "block", "wide", "ramp"});
    for (int64_t kind : {INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, RECORDER, FADER_BANK, DISTRIBUTOR})
        for (int64_t block : {32, 128, 512})
            for (int64_t layout : {kStereo, kWide})
                for (int64_t motion : {kSteady, kRamping}) {
                    if (kind == PLAYER && motion == kRamping)
                        continue; // PLAYER has no gain
                    b->Args({kind, block, layout, motion});
                }
}
BENCHMARK(BM_Kind)->Apply(kindArguments)->MinTime(0.05);

// Metering's share: the same kernel with the meters on and off, interleaved in one run. The
// difference is a few percent of a short call, so each side gets many long rounds and keeps
// its best.
void BM_Metering(benchmark::State& state)
{
    const auto kind = static_cast<ModuleKind>(state.range(0));
    Rig<float> rig(kind, static_cast<int32>(state.range(1)), static_cast<Layout>(state.range(2)));
    if (!useInstructionSet(state, rig, static_cast<InstructionSet>(state.range(3))))
        return;
    const int calls = std::max(64, static_cast<int>(1000000 / rig.sampleChannels()));
    // Both sides go through one timed loop: two copies of it, placed apart in the binary, have
    // timed the same short block up to twice apart.
    auto timed = [&](bool meters) {
        rig.meter(meters);
        return secondsPerCall([&] { rig.process(kSteady); }, calls);
    };
    double on = 1e9, off = 1e9, copy = 1e9;
    for (int round = 0; round < 30; ++round) {
        on = std::min(on, timed(true));
        off = std::min(off, timed(false));
        copy = std::min(copy, secondsPerCall([&] { rig.baselineCopy(); }, calls));
    }
    rig.meter(true);
    for (auto _ : state)
        rig.process(kSteady);
    state.counters["x_meters"] = on / off;
    state.counters["x_memcpy_on"] = on / copy;
    state.counters["x_memcpy_off"] = off / copy;
}

// Every kind and layout with the widest loops, then with the narrower ones a processor
// without AVX2 runs.
void meteringArguments(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"kind", "block", "wide", "isa"});
    for (auto set = kInstructionSets.rbegin(); set != kInstructionSets.rend(); ++set)
        for (int64_t kind : {INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, RECORDER, FADER_BANK, DISTRIBUTOR})
            for (int64_t block : {32, 512})
                for (int64_t layout : {kStereo, kWide})
                    b->Args({kind, block, layout, static_cast<int64_t>(*set)});
}
BENCHMARK(BM_Metering)->Apply(meteringArguments)->MinTime(0.05);

// The same cases with each instruction set's loops (0 baseline x86-64, 1 SSE4.1, 2 AVX2).
void BM_InstructionSet(benchmark::State& state)
{
    Rig<float> rig(static_cast<ModuleKind>(state.range(0)), 512, kWide);
    if (useInstructionSet(state, rig, static_cast<InstructionSet>(state.range(1))))
        measure(state, rig, static_cast<Motion>(state.range(2)));
}

void instructionSetArguments(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"kind", "isa", "ramp"});
    for (int64_t kind : {INPUT, FADER_BANK, SUMMING})
        for (const InstructionSet set : kInstructionSets)
            for (int64_t motion : {kSteady, kRamping})
                b->Args({kind, static_cast<int64_t>(set), motion});
}
BENCHMARK(BM_InstructionSet)->Apply(instructionSetArguments)->MinTime(0.05);

// The load case: FADER BANK, 64 stereo strips at 48 kHz in 32-sample blocks.
void BM_FaderBankLoad(benchmark::State& state)
{
    Rig<float> rig(FADER_BANK, 32, kWide);
    measure(state, rig, static_cast<Motion>(state.range(0)));
}
BENCHMARK(BM_FaderBankLoad)->ArgName("ramp")->Arg(kSteady)->Arg(kRamping)->MinTime(0.2);

// Subnormal against normal input, per kind and width, stereo at 512 samples, at a steady
// gain of -6 dB (a real multiply). x_normal is the subnormal rig's cost over the normal one's.
template <typename S>
void subnormalCase(benchmark::State& state, ModuleKind kind)
{
    Rig<S> normal(kind, 512, kStereo, kNormal);
    Rig<S> subnormal(kind, 512, kStereo, kSubnormal);
    const int calls = std::max(64, static_cast<int>(200000 / normal.sampleChannels()));
    double fast = 1e9, slow = 1e9, gain = 1e9;
    auto timed = [&](Rig<S>& rig) { return secondsPerCall([&] { rig.process(kSteady); }, calls); };
    for (int round = 0; round < 15; ++round) {
        fast = std::min(fast, timed(normal));
        slow = std::min(slow, timed(subnormal));
        gain = std::min(gain, secondsPerCall([&] { normal.baselineGain(S(0.5)); }, calls));
    }
    for (auto _ : state)
        subnormal.process(kSteady);
    state.counters["x_normal"] = slow / fast;
    state.counters["x_gain"] = slow / gain;
    state.counters["ns_per_sc"] = slow / static_cast<double>(normal.sampleChannels()) * 1e9;
}

void BM_Subnormal(benchmark::State& state)
{
    const auto kind = static_cast<ModuleKind>(state.range(0));
    if (state.range(1) == 64)
        subnormalCase<double>(state, kind);
    else
        subnormalCase<float>(state, kind);
}
BENCHMARK(BM_Subnormal)
    ->ArgNames({"kind", "bits"})
    ->ArgsProduct({{INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, RECORDER, FADER_BANK, DISTRIBUTOR},
                   {32, 64}})
    ->MinTime(0.05);

} // namespace
} // namespace kestravel::plugins

BENCHMARK_MAIN();
