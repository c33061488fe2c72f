// Per-kind routing of inputs to outputs, and the corners of host buffers: inactive buses, null
// pointers, host silence flags, non-finite samples, in-place buffers, both sample widths.

#include "engine_fixture.h"
#include "host_fakes.h"

#include "engine/channel_kernels.h"
#include "engine/engine_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

using Sources = std::vector<std::pair<int32, int32>>; // (input bus, channel) pairs summed

// Distinct per bus, channel and sample, so a wrong route shows.
double probe(size_t j, size_t c, size_t i)
{
    return static_cast<double>(j * 64 + c + 1) * 0.001 + static_cast<double>(i) * 1.0e-5;
}

struct RoutingCase {
    std::string name;
    ModuleKind kind;
    std::vector<int32> inputs, outputs;
    double active;   // normalized "Active strips / branches"
    double gain;     // normalized "Gain"
    std::function<void(ParamValues&)> extra = [](ParamValues&) {};
};

// The routing table, written out directly from its definition.
Sources expectedSources(const RoutingCase& c, int32 b, int32 ch, int32 active)
{
    const auto inChannels = [&](int32 j) {
        return j < static_cast<int32>(c.inputs.size()) ? c.inputs[static_cast<size_t>(j)] : 0;
    };
    const auto clampedChannel = [&](int32 j, int32 x) { return std::min(x, inChannels(j) - 1); };
    Sources s;
    switch (c.kind) {
    case INPUT:
    case OUTPUT:
    case RECORDER:
        if (b == 0 && ch < inChannels(0))
            s.push_back({0, ch});
        break;
    case SUMMING:
        if (b == 0)
            for (int32 j = 0; j < std::min(static_cast<int32>(c.inputs.size()), active); ++j)
                if (inChannels(j) > 0)
                    s.push_back({j, clampedChannel(j, ch)});
        break;
    case BREAKOUT:
        if (b < active && b < inChannels(0))
            s.push_back({0, b});
        break;
    case DISTRIBUTOR:
        if (b < active && inChannels(0) > 0)
            s.push_back({0, clampedChannel(0, ch)});
        break;
    case PLAYER: break; // no file: silence
    default: // FADER BANK, and every code without a kind of its own
        if (ch < inChannels(b))
            s.push_back({b, ch});
        break;
    }
    return s;
}

ModuleKind routingKindOf(ModuleKind kind)
{
    return kind >= INPUT && kind <= DISTRIBUTOR ? kind : FADER_BANK;
}

template <typename S>
void checkRouting(const RoutingCase& c)
{
    SCOPED_TRACE(c.name + (std::is_same_v<S, float> ? " (32-bit)" : " (64-bit)"));
    auto core = makeCore(c.kind, 512);
    core->paramValues[kActiveStripsParam].store(c.active);
    core->paramValues[kGainParam].store(c.gain);
    c.extra(core->paramValues);
    HostBlock<S> host(96, c.inputs, c.outputs);
    for (size_t j = 0; j < c.inputs.size(); ++j)
        for (size_t ch = 0; ch < static_cast<size_t>(c.inputs[j]); ++ch)
            host.fillInput(j, ch, [&](size_t i) { return probe(j, ch, i); });
    host.fillOutputs(S(7));
    for (auto& bus : host.outputs)
        bus.silenceFlags = ~uint64_t{0};
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);

    // A parameter of 63 steps as a host reads it: step k covers [k/64, (k+1)/64).
    const int32 active = std::min(63, static_cast<int32>(c.active * 64.0)) + 1;
    for (int32 b = 0; b < static_cast<int32>(c.outputs.size()); ++b) {
        // RECORDER has no "Gain": slot 1 never reaches its output.
        double gain = c.kind == RECORDER ? 1.0 : refLinear(c.gain);
        if (routingKindOf(c.kind) == FADER_BANK) {
            const bool open = b < active && core->paramValues[kFaderMuteParamBase + static_cast<uint32_t>(b)].load() < 0.5;
            gain = open ? refLinear(core->paramValues[kFaderGainParamBase + static_cast<uint32_t>(b)].load()) : 0.0;
        }
        uint64_t silent = 0;
        for (int32 ch = 0; ch < c.outputs[static_cast<size_t>(b)]; ++ch) {
            const Sources sources = expectedSources(c, b, ch, active);
            bool allZero = true;
            for (size_t i = 0; i < 96; ++i) {
                double sum = 0.0;
                for (const auto& [j, k] : sources)
                    sum += static_cast<double>(host.in(static_cast<size_t>(j), static_cast<size_t>(k), i));
                const S expected = refWritten<S>(gain * sum);
                ASSERT_TRUE(sameBits(host.out(static_cast<size_t>(b), static_cast<size_t>(ch), i), expected))
                    << "bus " << b << " channel " << ch << " sample " << i << ": "
                    << host.out(static_cast<size_t>(b), static_cast<size_t>(ch), i) << " vs " << expected;
                allZero = allZero && expected == S(0);
            }
            if (allZero)
                silent |= uint64_t{1} << ch;
        }
        EXPECT_EQ(host.flags(static_cast<size_t>(b)), silent) << "bus " << b;
    }
}

std::vector<int32> repeat(int32 channels, int32 buses)
{
    return std::vector<int32>(static_cast<size_t>(buses), channels);
}

const std::vector<RoutingCase>& routingCases()
{
    static const std::vector<RoutingCase> cases = {
        {"INPUT stereo through the gain", INPUT, {2}, {2}, 0.0, 0.8},
        {"INPUT 64 channels", INPUT, {64}, {64}, 0.0, 0.3},
        {"OUTPUT with more outputs than inputs", OUTPUT, {2}, {3}, 0.0, 0.9},
        {"RECORDER at unity", RECORDER, {4}, {4}, 0.0, 15.0 / 17.0},
        {"RECORDER at unity whatever slot 1 holds", RECORDER, {2}, {2}, 0.0, 0.0},
        {"SUMMING: mono and stereo, first two inputs", SUMMING, {1, 2, 2, 2}, {2}, 1.0 / 63.0, 0.85},
        {"SUMMING: all 64 stereo inputs", SUMMING, repeat(2, 64), {2}, 1.0, 0.7},
        {"SUMMING: empty input buses contribute nothing", SUMMING, {0, 2, 1}, {2}, 1.0, 0.8},
        {"BREAKOUT: 8 channels, 4 lanes", BREAKOUT, {8}, repeat(1, 64), 3.0 / 63.0, 0.88},
        {"BREAKOUT: more lanes than channels", BREAKOUT, {2}, repeat(1, 64), 1.0, 0.5},
        // Between the editor's steps the count is the one a host shows.
        {"BREAKOUT: 0.01 is one lane", BREAKOUT, {8}, repeat(1, 64), 0.01, 0.88},
        {"BREAKOUT: just under 2/64 is two lanes", BREAKOUT, {8}, repeat(1, 64), 0.03124, 0.88},
        {"BREAKOUT: 0.99 is all 64 lanes", BREAKOUT, {64}, repeat(1, 64), 0.99, 0.88},
        {"DISTRIBUTOR: stereo to 3 branches", DISTRIBUTOR, {2}, repeat(2, 64), 2.0 / 63.0, 0.75},
        {"DISTRIBUTOR: mono feeds both sides", DISTRIBUTOR, {1}, repeat(2, 4), 1.0, 0.95},
        {"FADER BANK: 8 strips, one faded, one muted", FADER_BANK, repeat(2, 64), repeat(2, 64),
         7.0 / 63.0, 0.0,
         [](ParamValues& v) {
             v[kFaderGainParamBase + 2].store(0.5);
             v[kFaderMuteParamBase + 5].store(1.0);
             v[kFaderGainParamBase + 40].store(0.1); // above N: closed anyway
         }},
        {"FADER BANK: a mono strip among stereo ones", FADER_BANK, {2, 2, 2, 2, 2, 1}, {2, 2, 2, 2, 2, 1},
         1.0, 0.0, [](ParamValues& v) { v[kFaderMuteParamBase + 4].store(0.5); }},
        {"PLAYER without a file", PLAYER, {}, {2}, 0.0, 0.8},
        {"an unknown kind code routes as FADER BANK", static_cast<ModuleKind>(9), repeat(2, 3),
         repeat(2, 3), 1.0 / 63.0, 0.0},
    };
    return cases;
}

TEST(Routing, EveryKindRoutesByItsTableInBothWidths)
{
    for (const auto& c : routingCases()) {
        checkRouting<float>(c);
        checkRouting<double>(c);
    }
}

// In-place hosts hand the same buffer as input and output channel; kinds that fan one input out
// to several outputs must still read every input before it is overwritten.
TEST(Routing, InPlaceBuffersGiveTheSameResult)
{
    struct InPlaceCase {
        std::string name;
        ModuleKind kind;
        std::vector<int32> inputs, outputs;
        int32 inactiveOutput = -1;
    };
    const std::vector<InPlaceCase> cases = {
        {"DISTRIBUTOR stereo", DISTRIBUTOR, {2}, repeat(2, 8)},
        {"DISTRIBUTOR with bus 0 switched off", DISTRIBUTOR, {2}, repeat(2, 8), 0},
        {"DISTRIBUTOR mono into stereo", DISTRIBUTOR, {1}, repeat(2, 8)},
        {"SUMMING mono first input", SUMMING, {1, 2}, {2}},
        {"SUMMING stereo", SUMMING, {2, 2}, {2}},
        {"BREAKOUT", BREAKOUT, {4}, repeat(1, 8)},
        {"INPUT", INPUT, {2}, {2}},
        {"FADER BANK", FADER_BANK, repeat(2, 4), repeat(2, 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto separate = makeCore(c.kind, 512);
        auto inPlace = makeCore(c.kind, 512);
        for (auto* core : {separate.get(), inPlace.get()}) {
            core->paramValues[kActiveStripsParam].store(1.0);
            core->paramValues[kGainParam].store(0.7);
            if (c.inactiveOutput >= 0)
                core->outputBusActive[static_cast<size_t>(c.inactiveOutput)].store(false);
        }
        HostBlock<float> a(64, c.inputs, c.outputs);
        HostBlock<float> b(64, c.inputs, c.outputs);
        for (auto* host : {&a, &b})
            for (size_t j = 0; j < c.inputs.size(); ++j)
                for (size_t ch = 0; ch < static_cast<size_t>(c.inputs[j]); ++ch)
                    host->fillInput(j, ch, [&](size_t i) { return probe(j, ch, i); });
        // Same bus and channel index share one buffer.
        for (size_t bus = 0; bus < std::min(c.inputs.size(), c.outputs.size()); ++bus)
            for (size_t ch = 0; ch < static_cast<size_t>(std::min(c.inputs[bus], c.outputs[bus])); ++ch)
                b.setOutputPointer(bus, ch, b.in(bus, ch));
        // A ramp too: the curve must be applied once per sample, not twice.
        for (int block = 0; block < 2; ++block) {
            ASSERT_EQ(processBlock(*separate, a.data), kResultOk);
            ASSERT_EQ(processBlock(*inPlace, b.data), kResultOk);
            for (size_t bus = 0; bus < c.outputs.size(); ++bus) {
                for (size_t ch = 0; ch < static_cast<size_t>(c.outputs[bus]); ++ch) {
                    const bool shared = bus < c.inputs.size() && ch < static_cast<size_t>(c.inputs[bus]);
                    const float* got = shared ? b.in(bus, ch) : b.out(bus, ch);
                    for (size_t i = 0; i < 64; ++i)
                        ASSERT_EQ(got[i], a.out(bus, ch, i)) << "bus " << bus << " ch " << ch << " i " << i;
                }
                EXPECT_EQ(a.flags(bus), b.flags(bus));
            }
            // Refill the shared buffers for the next block and move the gain.
            for (auto* host : {&a, &b})
                for (size_t j = 0; j < c.inputs.size(); ++j)
                    for (size_t ch = 0; ch < static_cast<size_t>(c.inputs[j]); ++ch)
                        host->fillInput(j, ch, [&](size_t i) { return probe(j, ch, i); });
            separate->paramValues[kGainParam].store(0.2);
            inPlace->paramValues[kGainParam].store(0.2);
            separate->paramValues[kFaderGainParamBase + 1].store(0.2);
            inPlace->paramValues[kFaderGainParamBase + 1].store(0.2);
        }
    }
}

TEST(Routing, HostSilenceFlagWinsOverBufferContents)
{
    auto core = makeCore(BREAKOUT, 512);
    core->paramValues[kActiveStripsParam].store(1.0);
    HostBlock<float> host(64, {4}, repeat(1, 4));
    for (size_t c = 0; c < 4; ++c)
        host.fillInput(0, c, [](size_t) { return 0.5; });
    host.inputs[0].silenceFlags = 0x4; // channel 2 declared silent, though it holds data
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(host.out(2, 0, 10), 0.0f);
    EXPECT_EQ(host.flags(2), 1u);
    EXPECT_EQ(host.out(3, 0, 10), 0.5f);
    EXPECT_EQ(host.flags(3), 0u);
}

TEST(Routing, InactiveBusesAndNullPointers)
{
    auto core = makeCore(FADER_BANK, 512);
    core->paramValues[kActiveStripsParam].store(1.0);
    core->inputBusActive[1].store(false);  // reads as silence
    core->outputBusActive[2].store(false); // written with zeros
    HostBlock<float> host(64, repeat(2, 5), repeat(2, 5));
    for (size_t b = 0; b < 5; ++b)
        for (size_t c = 0; c < 2; ++c)
            host.fillInput(b, c, [](size_t) { return 0.25; });
    host.fillOutputs(7.0f);
    for (auto& bus : host.outputs)
        bus.silenceFlags = ~uint64_t{0};
    host.setOutputPointer(3, 1, nullptr);
    host.outputs[4].channelBuffers32 = nullptr;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);

    EXPECT_EQ(host.out(0, 1, 5), 0.25f);
    EXPECT_EQ(host.flags(0), 0u);
    EXPECT_EQ(host.out(1, 0, 5), 0.0f);
    EXPECT_EQ(host.flags(1), 3u);
    EXPECT_EQ(host.out(2, 1, 5), 0.0f);
    EXPECT_EQ(host.flags(2), 3u);
    EXPECT_EQ(host.out(3, 0, 5), 0.25f);
    EXPECT_EQ(host.out(3, 1, 5), 7.0f); // never written
    EXPECT_EQ(host.flags(3), 0u);       // and not flagged
    EXPECT_EQ(host.out(4, 0, 5), 7.0f);
    EXPECT_EQ(host.flags(4), 0u);
}

TEST(Routing, BusesPastTheModulesOwnReadAndWriteSilence)
{
    auto core = makeCore(INPUT, 512);
    HostBlock<float> host(32, {2, 2}, {2, 2});
    host.fillInput(0, 0, [](size_t) { return 0.5; });
    host.fillInput(1, 0, [](size_t) { return 0.5; });
    host.fillOutputs(7.0f);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(host.out(0, 0, 3), 0.5f);
    EXPECT_EQ(host.out(1, 0, 3), 0.0f); // INPUT has one output bus
    EXPECT_EQ(host.flags(1), 3u);
}

template <typename S>
void checkNonFinite()
{
    SCOPED_TRACE((std::is_same_v<S, float> ? "32-bit" : "64-bit"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto core = makeCore(OUTPUT, 512);
    core->paramValues[kGainParam].store(1.0); // +12 dB
    HostBlock<S> host(16, {4}, {4});
    host.fillInput(0, 0, [&](size_t i) { return i == 3 ? nan : 0.0; });           // only a NaN
    host.fillInput(0, 1, [&](size_t i) { return i == 3 ? -inf : 0.25; });          // NaN in signal
    host.fillInput(0, 2, [&](size_t i) { return i == 3 ? 3.0e38 : 0.0; });          // overflows float
    host.fillInput(0, 3, [&](size_t i) { return i == 3 ? -0.0 : 0.0; });           // signed zeros
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    const double g = refLinear(1.0);
    EXPECT_EQ(host.out(0, 0, 3), S(0));
    EXPECT_EQ(host.out(0, 1, 3), S(0));
    EXPECT_EQ(host.out(0, 1, 4), refWritten<S>(0.25 * g));
    EXPECT_EQ(host.out(0, 2, 3), refWritten<S>(3.0e38 * g));
    uint64_t expected = 0x1 | 0x8;
    if (std::is_same_v<S, float>)
        expected |= 0x4; // 1.2e39 does not fit a float: written as 0
    EXPECT_EQ(host.flags(0), expected);
}

TEST(Routing, NonFiniteResultsAreWrittenAsZero)
{
    checkNonFinite<float>();
    checkNonFinite<double>();
}

// One flag verdict for the whole host block, across its sub-blocks.
TEST(Routing, SilenceFlagsCoverTheWholeBlock)
{
    struct FlagCase {
        std::string name;
        std::function<double(size_t)> signal;
        bool flagged;
    };
    const std::vector<FlagCase> cases = {
        {"signal in the first part only", [](size_t i) { return i < 100 ? 0.5 : 0.0; }, false},
        {"signal in the last sample only", [](size_t i) { return i == 255 ? 0.5 : 0.0; }, false},
        {"zero throughout", [](size_t) { return 0.0; }, true},
    };
    for (const auto& c : cases) {
        auto core = makeCore(INPUT, 512);
        HostBlock<float> host(256, {1}, {1});
        host.fillInput(0, 0, c.signal);
        FakeChanges changes{FakeQueue(kGainParam, {{128, 0.5}, {200, 0.7}})};
        host.data.inputParameterChanges = &changes;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk) << c.name;
        EXPECT_EQ(host.flags(0), c.flagged ? 1u : 0u) << c.name;
        // The next block starts a fresh verdict.
        host.fillInput(0, 0, [](size_t) { return 0.0; });
        host.data.inputParameterChanges = nullptr;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk) << c.name;
        EXPECT_EQ(host.flags(0), 1u) << c.name;
    }
}

// A wider table's loops and the baseline ones must write the same bits: same operations, same
// order.
void expectTheBaselinesBits(const ChannelKernels& wider)
{
    for (const auto& c : routingCases()) {
        SCOPED_TRACE(c.name);
        auto wide = makeCore(c.kind, 512);
        auto narrow = makeCore(c.kind, 512);
        wide->engine->kernels = &wider;
        narrow->engine->kernels = &baselineChannelKernels();
        for (auto* core : {wide.get(), narrow.get()}) {
            core->paramValues[kActiveStripsParam].store(c.active);
            core->paramValues[kGainParam].store(c.gain);
            c.extra(core->paramValues);
        }
        HostBlock<float> a(301, c.inputs, c.outputs);
        HostBlock<float> b(301, c.inputs, c.outputs);
        HostBlock<double> a64(301, c.inputs, c.outputs);
        HostBlock<double> b64(301, c.inputs, c.outputs);
        for (size_t j = 0; j < c.inputs.size(); ++j)
            for (size_t ch = 0; ch < static_cast<size_t>(c.inputs[j]); ++ch) {
                auto f = [&](size_t i) {
                    return i % 37 == 5 ? std::numeric_limits<double>::infinity()
                                       : std::sin(static_cast<double>(i * (ch + 1) + j)) * 3.0e37;
                };
                a.fillInput(j, ch, f);
                b.fillInput(j, ch, f);
                a64.fillInput(j, ch, f);
                b64.fillInput(j, ch, f);
            }
        for (int block = 0; block < 4; ++block) {
            ASSERT_EQ(processBlock(*wide, a.data), kResultOk);
            ASSERT_EQ(processBlock(*narrow, b.data), kResultOk);
            ASSERT_EQ(processBlock(*wide, a64.data), kResultOk);
            ASSERT_EQ(processBlock(*narrow, b64.data), kResultOk);
            for (size_t bus = 0; bus < c.outputs.size(); ++bus) {
                for (size_t ch = 0; ch < static_cast<size_t>(c.outputs[bus]); ++ch)
                    for (size_t i = 0; i < 301; ++i) {
                        ASSERT_TRUE(sameBits(a.out(bus, ch, i), b.out(bus, ch, i))) << bus << " " << ch << " " << i;
                        ASSERT_TRUE(sameBits(a64.out(bus, ch, i), b64.out(bus, ch, i))) << bus << " " << ch << " " << i;
                    }
                EXPECT_EQ(a.flags(bus), b.flags(bus));
                EXPECT_EQ(a64.flags(bus), b64.flags(bus));
            }
            // Move every gain so the next block ramps.
            for (auto* core : {wide.get(), narrow.get()}) {
                core->paramValues[kGainParam].store(0.3 + 0.2 * block);
                for (uint32_t k = 0; k < kMaxStrips; ++k)
                    core->paramValues[kFaderGainParamBase + k].store(0.9 - 0.1 * block - 0.01 * k);
            }
        }
    }
}

TEST(Routing, InstructionSetsWriteTheSameBits)
{
    bool compared = false;
    for (const InstructionSet set : kInstructionSets)
        if (const ChannelKernels* table = channelKernelsFor(set); table != nullptr && set != InstructionSet::Baseline) {
            SCOPED_TRACE(instructionSetName(set));
            expectTheBaselinesBits(*table);
            compared = true;
        }
    if (!compared)
        GTEST_SKIP() << "no wider instruction set on this processor";
}

} // namespace
} // namespace kestravel::plugins::test
