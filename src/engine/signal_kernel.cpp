// The signal kernel: one sub-block of one host block, for every kind, as one template over the
// host's sample type.

#include "engine/block_processor.h"
#include "engine/bus_channels.h"
#include "engine/channel_kernels.h"
#include "engine/engine_state.h"
#include "engine/gain_smoothing.h"
#include "engine/transport_sync.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr std::array<float*, kMaxChannels> kNoRows{};
constexpr size_t kGainCount = kMaxStrips + 1; // 64 strips, then the master

// Parameter slots only ever hold 0..1, but the kernel must not turn anything else into NaN.
double unitValue(double v) noexcept
{
    return v >= 0.0 ? (v <= 1.0 ? v : 1.0) : 0.0;
}

// dbToLinear through a one-entry cache per slot: an unchanged value costs no pow().
double cachedGain(uint64_t& keyBits, double& linear, double normalized) noexcept
{
    const auto bits = std::bit_cast<uint64_t>(normalized);
    if (bits != keyBits) {
        keyBits = bits;
        linear = dbToLinear(normalized);
    }
    return linear;
}

// Codes without a kind of their own route as FADER BANK, as they are named and sized.
ModuleKind routingKind(ModuleKind kind) noexcept
{
    switch (kind) {
    case INPUT:
    case OUTPUT:
    case SUMMING:
    case BREAKOUT:
    case PLAYER:
    case RECORDER:
    case DISTRIBUTOR: return kind;
    default: return FADER_BANK;
    }
}

// The kinds that register "Gain" (id 1).
bool hasGainParameter(ModuleKind kind) noexcept
{
    switch (kind) {
    case INPUT:
    case OUTPUT:
    case SUMMING:
    case BREAKOUT:
    case DISTRIBUTOR: return true;
    default: return false;
    }
}

// The curves of the smoothers that move during this call, one per gain in use.
struct RampPlan {
    int32_t count = 0;
    bool lookahead = false; // one full-length curve from the lookahead store
    // Filled as far as used; left uninitialised because clearing them costs more per call
    // than a short block's samples.
    std::array<double, kGainCount> value; // running value while curves are made piecewise
    std::array<double, kGainCount> target;
    std::array<int32_t, kGainCount> slot; // by gain index: -1 steady, else the ramp's slot
    std::array<double, kGainCount> steady;
    const double* fullCurve = nullptr;
};

template <typename S>
class SubBlock {
public:
    SubBlock(ModuleCore& module, ProcessData& block, int32_t first, int32_t count) noexcept
        : core(module), engine(*module.engine), ops(*module.engine->kernels), meters(module.meters), data(block),
          kind(routingKind(module.kind)), start(first), length(count),
          scratchUsable(count <= module.scratchRowLength)
    {
    }

    void run() noexcept
    {
        if (start == 0)
            beginBlockBookkeeping();
        const SmoothingCoefficients coefficients = smoothing();
        const double aPowL = powerOfA(coefficients.a);
        advanceGains(aPowL);
        planRamps(coefficients.w, aPowL);
        transportStep(core, data, start);
        if (kind == PLAYER)
            renderPlayer();
        if (kind == RECORDER)
            feedRecorder();
        writeOutputs(coefficients.w);
        for (int32 b = 0; b < data.numOutputs; ++b) {
            const auto i = static_cast<size_t>(b);
            data.outputs[b].silenceFlags = engine.writtenChannels[i] & ~engine.nonZeroChannels[i];
        }
    }

private:
    void beginBlockBookkeeping() noexcept
    {
        for (int32 b = 0; b < data.numOutputs; ++b) {
            engine.writtenChannels[static_cast<size_t>(b)] = 0;
            engine.nonZeroChannels[static_cast<size_t>(b)] = 0;
        }
    }

    SmoothingCoefficients smoothing() noexcept
    {
        if (engine.coefficientRate != core.sampleRate) {
            engine.coefficients = smoothingCoefficients(core.sampleRate);
            engine.coefficientRate = core.sampleRate;
        }
        return engine.coefficients;
    }

    double powerOfA(double a) const noexcept
    {
        const auto index = static_cast<size_t>(length);
        if (engine.powersRate == core.sampleRate && index < engine.powers.size())
            return engine.powers[index];
        return std::pow(a, static_cast<double>(length));
    }

    bool usesMaster() const noexcept { return kind != PLAYER && kind != FADER_BANK; }
    bool usesStrips() const noexcept { return !usesMaster() && kind != PLAYER; }

    // Targets, priming and the closed-form advance of the stored state. Only FADER BANK hears
    // its strips, so only FADER BANK pays for keeping them, and only for the strips that are
    // open or still fading: one past the last of them, a strip is closed and settled at
    // exactly 0, and a call would leave it there.
    void advanceGains(double aPowL) noexcept
    {
        const ParamValues& values = core.paramValues;
        const double active = unitValue(values[kActiveStripsParam].load());
        if (std::bit_cast<uint64_t>(active) != engine.activeValueBits) {
            engine.activeValueBits = std::bit_cast<uint64_t>(active);
            engine.activeCount =
                std::clamp(activeStripCount(active), 1, static_cast<int32_t>(kMaxStrips));
        }
        activeCount = engine.activeCount;
        // A kind without a "Gain" parameter never hears slot 1, whatever a host or a saved
        // state put there: RECORDER passes its input through at unity.
        targets[kMasterGainIndex] =
            hasGainParameter(kind) ? cachedGain(engine.masterValueBits, engine.masterLinear,
                                                unitValue(values[kGainParam].load()))
                                   : 1.0;
        if (usesStrips()) {
            // Priming sets every strip, so every strip takes part.
            stripLimit = core.gainStatePrimed ? std::max(activeCount, engine.stripBound)
                                              : static_cast<int32_t>(kMaxStrips);
            for (size_t k = 0; k < static_cast<size_t>(stripLimit); ++k) {
                const bool open = static_cast<int32_t>(k) < activeCount &&
                                  unitValue(values[kFaderMuteParamBase + k].load()) < 0.5;
                targets[k] = open ? cachedGain(engine.stripValueBits[k], engine.stripLinear[k],
                                               unitValue(values[kFaderGainParamBase + k].load()))
                                  : 0.0;
            }
        }
        if (!core.gainStatePrimed) {
            core.masterGainState = targets[kMasterGainIndex];
            if (usesStrips())
                std::copy_n(targets.begin(), kMaxStrips, core.stripGainState.begin());
            core.gainStatePrimed = true;
        }
        starts[kMasterGainIndex] = core.masterGainState;
        core.masterGainState = smoothedAfter(core.masterGainState, targets[kMasterGainIndex], aPowL);
        if (usesStrips()) {
            for (size_t k = 0; k < static_cast<size_t>(stripLimit); ++k) {
                starts[k] = core.stripGainState[k];
                core.stripGainState[k] = smoothedAfter(starts[k], targets[k], aPowL);
            }
            int32_t bound = activeCount;
            for (int32_t k = stripLimit - 1; k >= activeCount; --k)
                if (core.stripGainState[static_cast<size_t>(k)] != 0.0) {
                    bound = k + 1;
                    break;
                }
            engine.stripBound = bound;
        }
    }

    bool outputLive(int32 b) const noexcept
    {
        return b < core.numOutputBuses && core.outputBusActive[static_cast<size_t>(b)].load();
    }

    // A gain is steady when one step leaves it where it is: then every step does, and a
    // constant gives the curve exactly.
    void planRamps(double w, double aPowL) noexcept
    {
        plan.slot[kMasterGainIndex] = -1;
        plan.steady[kMasterGainIndex] = starts[kMasterGainIndex];
        auto consider = [&](size_t gi) {
            plan.slot[gi] = -1;
            if (smoothingStep(starts[gi], targets[gi], w) == starts[gi]) {
                plan.steady[gi] = starts[gi];
                return;
            }
            const auto n = static_cast<size_t>(plan.count++);
            plan.slot[gi] = static_cast<int32_t>(n);
            plan.value[n] = starts[gi];
            plan.target[n] = targets[gi];
        };
        if (usesMaster() && data.numOutputs > 0)
            consider(kMasterGainIndex);
        if (usesStrips()) {
            for (int32 b = 0; b < data.numOutputs; ++b) {
                const auto gi = static_cast<size_t>(b);
                if (b < stripLimit && outputLive(b) && channelArray<S>(data.outputs[b]) != nullptr) {
                    consider(gi);
                } else {
                    plan.slot[gi] = -1; // writes zeros: closed and silent, or not heard
                    plan.steady[gi] = 0.0;
                }
            }
        }
        plan.lookahead = plan.count == 1 && length <= SmootherLookahead::kMaxLength;
        if (plan.lookahead)
            plan.fullCurve = lookaheadCurve(plan.value[0], plan.target[0], w, aPowL);
    }

    // The curve of a lone moving smoother: taken from the store when an earlier call made it,
    // otherwise made together with the curves of the next calls.
    const double* lookaheadCurve(double from, double target, double w, double aPowL) noexcept
    {
        SmootherLookahead& store = engine.lookahead;
        constexpr size_t stride = SmootherLookahead::kStride;
        if (store.w == w && store.target == target && store.length == length) {
            for (int32_t j = 0; j < store.count; ++j)
                if (store.starts[static_cast<size_t>(j)] == from)
                    return store.rows.data() + static_cast<size_t>(j) * stride;
        }
        // Every curve costs the same chain latency, so make a few; but not so many that the
        // rows leave the cache before the calls that need them come.
        const int32_t depth = std::clamp(SmootherLookahead::kFillSamples / length, 8,
                                         SmootherLookahead::kDepth);
        std::array<double, SmootherLookahead::kDepth> gains;
        std::array<double, SmootherLookahead::kDepth> sameTarget;
        for (size_t j = 0; j < static_cast<size_t>(depth); ++j) {
            store.starts[j] = j == 0 ? from : smoothedAfter(store.starts[j - 1], target, aPowL);
            gains[j] = store.starts[j];
            sameTarget[j] = target;
        }
        runSmoothers(gains.data(), sameTarget.data(), depth, w, length, store.rows.data(), stride);
        store.w = w;
        store.target = target;
        store.length = length;
        store.count = depth;
        return store.rows.data();
    }

    // Piecewise curves for several moving smoothers: the next n steps of each, side by side.
    void advanceChunkCurves(double w, int32_t n) noexcept
    {
        for (int32_t first = 0; first < plan.count; first += kSmootherLanes) {
            const int32_t lanes = std::min(kSmootherLanes, plan.count - first);
            runSmoothers(plan.value.data() + first, plan.target.data() + first, lanes, w, n,
                         engine.chunkCurves.data() + static_cast<size_t>(first) * kChunkStride,
                         kChunkStride);
        }
    }

    GainView gainAt(size_t gi, int32_t chunkStart) const noexcept
    {
        const int32_t slot = plan.slot[gi];
        if (slot < 0)
            return {nullptr, plan.steady[gi]};
        if (plan.lookahead)
            return {plan.fullCurve + chunkStart, 0.0};
        return {engine.chunkCurves.data() + static_cast<size_t>(slot) * kChunkStride, 0.0};
    }

    // in(j, c): a null pointer whenever the sample reads as silence.
    const S* input(int32 j, int32 c) const noexcept
    {
        if (j >= data.numInputs || j >= core.numInputBuses ||
            !core.inputBusActive[static_cast<size_t>(j)].load())
            return nullptr;
        AudioBusBuffers& bus = data.inputs[j];
        if (c < 0 || c >= bus.numChannels || ((bus.silenceFlags >> c) & 1u) != 0)
            return nullptr;
        S** channels = channelArray<S>(bus);
        return channels != nullptr ? channels[c] : nullptr;
    }

    S* output(int32 b, int32 ch) const noexcept
    {
        S** channels = channelArray<S>(data.outputs[b]);
        return channels != nullptr ? channels[ch] : nullptr;
    }

    // The meters' keys of input (j, c) and output (b, ch), where they are shown; a negative
    // bus is not metered at that loop.
    KeyLanes* inKeys(int32 j, int32 c) noexcept { return j >= 0 ? meters.inputLanes(j, c) : nullptr; }
    KeyLanes* outKeys(int32 b, int32 ch) noexcept { return b >= 0 ? meters.outputLanes(b, ch) : nullptr; }

    void note(int32 b, int32 ch, bool nonZero) noexcept
    {
        const uint64_t bit = uint64_t{1} << ch;
        engine.writtenChannels[static_cast<size_t>(b)] |= bit;
        if (nonZero)
            engine.nonZeroChannels[static_cast<size_t>(b)] |= bit;
    }

    void renderPlayer() noexcept
    {
        FilePlayer& player = core.player;
        const bool wasPlaying = player.playing.load();
        const auto channels =
            static_cast<uint32_t>(data.numOutputs > 0 ? data.outputs[0].numChannels : 0);
        // Chasing, the player runs on the timeline clock; otherwise on the continuous one.
        const int64_t at = core.chasing ? core.timelinePosition : core.sampleClock;
        player.render(scratchUsable ? core.playerChannels.data() : kNoRows.data(), channels,
                      static_cast<uint32_t>(length), core.sampleRate, at);
        core.timelineNext = core.timelinePosition > std::numeric_limits<int64_t>::max() - length
                                ? std::numeric_limits<int64_t>::max()
                                : core.timelinePosition + length;
        if (!wasPlaying || player.playing.load())
            return;
        // The file ran out inside this call: announce the stop at that very sample.
        const auto clock = static_cast<uint64_t>(at);
        const uint64_t end = player.endPosition.load();
        if (end >= clock && end - clock < static_cast<uint64_t>(length))
            emitSyncMessage(data.outputEvents, kSyncStopMessage,
                            start + static_cast<int32_t>(end - clock));
    }

    // The input goes to the recorder as float, non-finite samples as 0, like the output.
    void feedRecorder() noexcept
    {
        const int32 channels =
            data.numInputs > 0 ? std::min(data.inputs[0].numChannels, kMaxChannels) : 0;
        if (scratchUsable) {
            for (int32 c = 0; c < channels; ++c) {
                const S* in = input(0, c);
                ops.scale<float, S>(core.playerChannels[static_cast<size_t>(c)], in ? in + start : nullptr,
                                    length, GainView{}, in != nullptr ? inKeys(0, c) : nullptr);
            }
        }
        // An offline bounce may wait for the writer rather than drop.
        core.recorder.pushBlock(scratchUsable ? core.recorderChannels.data() : kNoRows.data(),
                                static_cast<uint32_t>(channels), static_cast<uint32_t>(length),
                                static_cast<uint64_t>(core.sampleClock),
                                data.processMode == kOffline);
    }

    void writeOutputs(double w) noexcept
    {
        const bool piecewise = plan.count > 0 && !plan.lookahead;
        const bool staged = kind == SUMMING || kind == DISTRIBUTOR;
        const int32_t chunk = piecewise || staged ? std::min(kCurveChunk, length) : length;
        for (int32_t c0 = 0; c0 < length; c0 += chunk) {
            const int32_t n = std::min(chunk, length - c0);
            if (piecewise)
                advanceChunkCurves(w, n);
            switch (kind) {
            case INPUT:
            case OUTPUT:
            case RECORDER: writeStraight(c0, n); break;
            case PLAYER: writePlayer(c0, n); break;
            case SUMMING: writeSumming(c0, n); break;
            case BREAKOUT: writeBreakout(c0, n); break;
            case DISTRIBUTOR: writeDistributor(c0, n); break;
            default: writeFaderBank(c0, n); break;
            }
        }
    }

    // out(b, ch) = gain * in(j, c) for one channel, silence when src is null.
    void writeChannel(int32 b, int32 ch, const S* src, int32 j, int32 c, GainView gain, int32_t c0, int32_t n) noexcept
    {
        S* out = output(b, ch);
        if (out == nullptr)
            return;
        const int32_t at = start + c0;
        if (src == nullptr) {
            // Silence in place of an absent input or an inactive bus: a few stores inline cost
            // less than a call per channel, and a module with 64 buses has many of them.
            std::fill_n(out + at, n, S(0));
            note(b, ch, false);
            return;
        }
        note(b, ch, ops.scale<S, S>(out + at, src + at, n, gain, inKeys(j, c), outKeys(b, ch)));
    }

    void writeStraight(int32_t c0, int32_t n) noexcept
    {
        const GainView gain = gainAt(kMasterGainIndex, c0);
        for (int32 b = 0; b < data.numOutputs; ++b) {
            const bool live = outputLive(b);
            // RECORDER's input is metered as the recorder is fed; the others' is not shown.
            for (int32 ch = 0; ch < data.outputs[b].numChannels; ++ch)
                writeChannel(b, ch, live ? input(0, ch) : nullptr, -1, ch, gain, c0, n);
        }
    }

    void writeFaderBank(int32_t c0, int32_t n) noexcept
    {
        for (int32 b = 0; b < data.numOutputs; ++b) {
            const bool live = outputLive(b);
            const GainView gain = gainAt(static_cast<size_t>(b), c0);
            for (int32 ch = 0; ch < data.outputs[b].numChannels; ++ch)
                writeChannel(b, ch, live ? input(b, ch) : nullptr, b, ch, gain, c0, n);
        }
    }

    void writePlayer(int32_t c0, int32_t n) noexcept
    {
        const int32_t at = start + c0;
        for (int32 b = 0; b < data.numOutputs; ++b) {
            const bool live = outputLive(b) && scratchUsable;
            for (int32 ch = 0; ch < data.outputs[b].numChannels; ++ch) {
                S* out = output(b, ch);
                if (out == nullptr)
                    continue;
                const float* row = live ? core.playerChannels[static_cast<size_t>(ch)] : nullptr;
                note(b, ch, ops.scale<S, float>(out + at, row ? row + c0 : nullptr, n, GainView{}, nullptr,
                                                row ? outKeys(b, ch) : nullptr));
            }
        }
    }

    // Lane b carries input channel b. Bus 0 goes last and its channels from the top, so an
    // in-place host's input channel is read by every lane before its own output overwrites it.
    void writeBreakout(int32_t c0, int32_t n) noexcept
    {
        const GainView gain = gainAt(kMasterGainIndex, c0);
        for (int32 step = 1; step <= data.numOutputs; ++step) {
            const int32 b = step % data.numOutputs;
            const bool carries = outputLive(b) && b < activeCount;
            const S* src = carries ? input(0, b) : nullptr;
            for (int32 ch = data.outputs[b].numChannels - 1; ch >= 0; --ch)
                writeChannel(b, ch, src, 0, b, gain, c0, n);
        }
    }

    // Every open branch gets the same samples: made once per channel, before any branch of
    // that channel is written, then copied. Channels go from the top so that a high channel fed
    // from a lower input channel reads it before an in-place host's bus 0 overwrites it.
    void writeDistributor(int32_t c0, int32_t n) noexcept
    {
        const GainView gain = gainAt(kMasterGainIndex, c0);
        const int32_t at = start + c0;
        const int32 inChannels = data.numInputs > 0 ? data.inputs[0].numChannels : 0;
        int32 widest = 0;
        for (int32 b = 0; b < data.numOutputs; ++b)
            widest = std::max(widest, data.outputs[b].numChannels);
        auto open = [&](int32 b) { return outputLive(b) && b < activeCount; };
        alignas(64) std::array<S, kCurveChunk> stage;
        uint64_t opened = 0;
        for (int32 ch = widest - 1; ch >= 0; --ch) {
            bool needed = false;
            for (int32 b = 0; b < data.numOutputs && !needed; ++b)
                needed = ch < data.outputs[b].numChannels && open(b) && output(b, ch) != nullptr;
            // The stage's keys are the branches': every open branch is a copy of it.
            bool nonZero = false;
            if (needed) {
                const int32 c = std::min(ch, inChannels - 1);
                const S* src = inChannels > 0 ? input(0, c) : nullptr;
                nonZero = ops.scale<S, S>(stage.data(), src ? src + at : nullptr, n, gain,
                                          src != nullptr ? inKeys(0, c) : nullptr, meters.stageLanes(ch));
            }
            for (int32 b = 0; b < data.numOutputs; ++b) {
                if (ch >= data.outputs[b].numChannels)
                    continue;
                S* out = output(b, ch);
                if (out == nullptr)
                    continue;
                if (open(b)) {
                    std::memcpy(out + at, stage.data(), static_cast<size_t>(n) * sizeof(S));
                    note(b, ch, nonZero);
                    if (b < 64)
                        opened |= uint64_t{1} << b;
                } else {
                    note(b, ch, ops.scale<S, S>(out + at, nullptr, n, gain));
                }
            }
        }
        meters.branchesOpen |= opened;
    }

    // The sum of the first N inputs, each through its clamped channel, in double. Channels go
    // from the top for the same in-place reason as above.
    void writeSumming(int32_t c0, int32_t n) noexcept
    {
        const GainView gain = gainAt(kMasterGainIndex, c0);
        const int32_t at = start + c0;
        const int32 summed = std::min(data.numInputs, activeCount);
        alignas(64) std::array<double, kCurveChunk> sum;
        for (int32 b = 0; b < data.numOutputs; ++b) {
            const bool live = outputLive(b);
            for (int32 ch = data.outputs[b].numChannels - 1; ch >= 0; --ch) {
                S* out = output(b, ch);
                if (out == nullptr)
                    continue;
                if (!live) {
                    note(b, ch, ops.scale<S, S>(out + at, nullptr, n, gain));
                    continue;
                }
                std::fill_n(sum.data(), n, 0.0);
                // Two inputs per pass, in their order: the same sums, bit for bit.
                const S* held = nullptr;
                KeyLanes* heldKeys = nullptr;
                for (int32 j = 0; j < summed; ++j) {
                    const int32 channels = data.inputs[j].numChannels;
                    const int32 c = std::min(ch, channels - 1);
                    const S* src = channels > 0 ? input(j, c) : nullptr;
                    if (src == nullptr)
                        continue;
                    if (held == nullptr) {
                        held = src;
                        heldKeys = inKeys(j, c);
                        continue;
                    }
                    ops.accumulatePair(sum.data(), held + at, src + at, n, heldKeys, inKeys(j, c));
                    held = nullptr;
                }
                if (held != nullptr)
                    ops.accumulate(sum.data(), held + at, n, heldKeys);
                note(b, ch, ops.scale<S, double>(out + at, sum.data(), n, gain, nullptr, outKeys(b, ch)));
            }
        }
    }

    ModuleCore& core;
    EngineState& engine;
    const ChannelKernels& ops;
    MeterPeaks& meters;
    ProcessData& data;
    const ModuleKind kind;
    const int32_t start;
    const int32_t length;
    const bool scratchUsable;
    int32_t activeCount = 1;
    int32_t stripLimit = 0; // strips past it are closed and at 0 (FADER BANK)
    std::array<double, kGainCount> targets; // master always, strips for FADER BANK only
    std::array<double, kGainCount> starts;
    RampPlan plan;
};

} // namespace

void processSubBlock32(ModuleCore& core, ProcessData& data, int32_t start, int32_t length) noexcept
{
    SubBlock<Sample32>(core, data, start, length).run();
}

void processSubBlock64(ModuleCore& core, ProcessData& data, int32_t start, int32_t length) noexcept
{
    SubBlock<Sample64>(core, data, start, length).run();
}

} // namespace kestravel::plugins
