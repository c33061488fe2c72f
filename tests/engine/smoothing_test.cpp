// The 3 ms gain smoothing: per-sample values exactly as the step recurrence gives them, the
// stored state advanced in closed form, priming, and mutes fading to true silence.

#include "engine_fixture.h"
#include "host_fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

struct CurveCase {
    std::string name;
    ModuleKind kind;
    double rate;
    double from, to; // normalized "Gain"
    std::vector<int32> blocks;
};

// Every output channel carries input * (the master's value after i + 1 steps), bit for bit,
// block after block, and the stored state is the closed form after each call.
template <typename S>
void checkMasterCurve(const CurveCase& c)
{
    SCOPED_TRACE(c.name + (std::is_same_v<S, float> ? " (32-bit)" : " (64-bit)"));
    const int32 maxBlock = *std::max_element(c.blocks.begin(), c.blocks.end());
    auto core = makeCore(c.kind, maxBlock, c.rate);
    core->paramValues[kActiveStripsParam].store(1.0);
    core->paramValues[kGainParam].store(c.from);
    const bool fanOut = c.kind == DISTRIBUTOR;
    {
        HostBlock<S> prime(16, {2}, fanOut ? std::vector<int32>{2, 2, 2} : std::vector<int32>{2});
        ASSERT_EQ(processBlock(*core, prime.data), kResultOk);
    }
    core->paramValues[kGainParam].store(c.to);
    RefSmoother ref{refLinear(c.from), c.rate};
    ASSERT_EQ(core->masterGainState, ref.value);
    size_t sample = 0;
    for (size_t n = 0; n < c.blocks.size(); ++n) {
        const int32 length = c.blocks[n];
        HostBlock<S> host(length, {2}, fanOut ? std::vector<int32>{2, 2, 2} : std::vector<int32>{2});
        host.fillInput(0, 0, [&](size_t i) { return 0.9 - 1.0e-4 * static_cast<double>((sample + i) % 97); });
        host.fillInput(0, 1, [&](size_t i) { return -0.3 + 1.0e-3 * static_cast<double>((sample + i) % 13); });
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        const std::vector<double> curve = ref.call(refLinear(c.to), length);
        for (size_t b = 0; b < host.outputs.size(); ++b)
            for (size_t ch = 0; ch < 2; ++ch)
                for (size_t i = 0; i < static_cast<size_t>(length); ++i)
                    ASSERT_TRUE(sameBits(host.out(b, ch, i),
                                         refWritten<S>(static_cast<double>(host.in(0, ch, i)) * curve[i])))
                        << "block " << n << " bus " << b << " channel " << ch << " sample " << i;
        ASSERT_EQ(core->masterGainState, ref.value) << "block " << n;
        sample += static_cast<size_t>(length);
    }
}

TEST(Smoothing, PerSampleGainsAreTheStepRecurrenceExactly)
{
    const std::vector<CurveCase> cases = {
        {"0 dB to -90 dB in 32-sample blocks", INPUT, 48000.0, 15.0 / 17.0, 0.0, std::vector<int32>(200, 32)},
        {"-90 dB to +12 dB in 512-sample blocks", OUTPUT, 48000.0, 0.0, 1.0, std::vector<int32>(20, 512)},
        {"long blocks at 44.1 kHz", INPUT, 44100.0, 0.3, 0.6, {2048, 2048, 1500}},
        {"changing lengths at 96 kHz", OUTPUT, 96000.0, 0.9, 0.2, {100, 37, 512, 512, 1, 3, 700, 100, 100}},
        {"one curve for every branch", DISTRIBUTOR, 48000.0, 0.5, 0.8, std::vector<int32>(30, 128)},
        {"8 kHz, a long way", INPUT, 8000.0, 1.0, 0.0, std::vector<int32>(40, 64)},
    };
    for (const auto& c : cases) {
        checkMasterCurve<float>(c);
        checkMasterCurve<double>(c);
    }
}

// The closed form a^(i+1) is the same curve in exact arithmetic but not in floating point: the
// output must follow the recurrence, which shows where the two differ.
TEST(Smoothing, ClosedFormWouldNotReproduceTheRecurrence)
{
    auto core = makeCore(INPUT, 512);
    HostBlock<double> prime(8, {1}, {1});
    ASSERT_EQ(processBlock(*core, prime.data), kResultOk);
    core->paramValues[kGainParam].store(0.0);
    HostBlock<double> host(512, {1}, {1});
    host.fillInput(0, 0, [](size_t) { return 1.0; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);

    const double a = refCoefficient(48000.0);
    const double target = refLinear(0.0);
    RefSmoother ref{1.0};
    const std::vector<double> curve = ref.call(target, 512);
    int differs = 0;
    for (size_t i = 0; i < 512; ++i) {
        ASSERT_EQ(host.out(0, 0, i), curve[i]) << i;
        const double closed = target + (1.0 - target) * std::pow(a, static_cast<double>(i + 1));
        EXPECT_NEAR(host.out(0, 0, i), closed, 1.0e-14) << i;
        differs += host.out(0, 0, i) != closed;
    }
    EXPECT_GT(differs, 0);
}

// 0 dB to -90 dB at 48 kHz: sample i carries 10^-4.5 + (1 - 10^-4.5) a^(i+1), a = exp(-1/144),
// so 1/e of the step is left after 144 samples.
TEST(Smoothing, ThreeMillisecondTimeConstant)
{
    auto core = makeCore(INPUT, 512);
    HostBlock<double> host(512, {1}, {1});
    host.fillInput(0, 0, [](size_t) { return 1.0; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(host.out(0, 0, i), 1.0); // steady 0 dB passes at unity

    core->paramValues[kGainParam].store(0.0);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    const double floor = std::pow(10.0, -4.5);
    for (size_t i = 0; i < 512; ++i)
        ASSERT_NEAR(host.out(0, 0, i), floor + (1.0 - floor) * std::exp(-static_cast<double>(i + 1) / 144.0),
                    1.0e-12);
    EXPECT_NEAR((host.out(0, 0, 143) - floor) / (1.0 - floor), std::exp(-1.0), 1.0e-12);
}

TEST(Smoothing, FirstBlockAfterRestartHasNoRamp)
{
    auto core = makeCore(OUTPUT, 512);
    HostBlock<float> host(64, {1}, {1});
    host.fillInput(0, 0, [](size_t) { return 0.5; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(host.out(0, 0, 0), 0.5f);

    core->paramValues[kGainParam].store(0.4);
    core->gainStatePrimed = false; // what switching processing off does
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    for (size_t i = 0; i < 64; ++i)
        ASSERT_EQ(host.out(0, 0, i), refWritten<float>(0.5 * refLinear(0.4))) << i;
    EXPECT_EQ(core->masterGainState, refLinear(0.4));
}

// Many strips moving at once, each on its own curve, over blocks long enough to be made in parts.
TEST(Smoothing, FaderStripsEachFollowTheirOwnCurve)
{
    for (int32 length : {512, 2048}) {
        SCOPED_TRACE(length);
        auto core = makeCore(FADER_BANK, length);
        core->paramValues[kActiveStripsParam].store(1.0);
        HostBlock<float> host(length, std::vector<int32>(64, 2), std::vector<int32>(64, 2));
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);

        std::vector<RefSmoother> strips(64, RefSmoother{1.0});
        std::vector<double> targets(64);
        for (uint32_t k = 0; k < 64; ++k) {
            const double v = 0.1 + 0.012 * k;
            const bool muted = k % 9 == 4;
            core->paramValues[kFaderGainParamBase + k].store(v);
            core->paramValues[kFaderMuteParamBase + k].store(muted ? 1.0 : 0.0);
            targets[k] = muted ? 0.0 : refLinear(v);
        }
        core->paramValues[kActiveStripsParam].store(47.0 / 63.0); // strips 48.. close
        for (size_t k = 48; k < 64; ++k)
            targets[k] = 0.0;
        for (size_t b = 0; b < 64; ++b)
            for (size_t ch = 0; ch < 2; ++ch)
                host.fillInput(b, ch, [&](size_t i) { return 0.5 + 0.001 * static_cast<double>(b) - 1e-5 * static_cast<double>(i); });
        for (int block = 0; block < 3; ++block) {
            ASSERT_EQ(processBlock(*core, host.data), kResultOk);
            for (size_t b = 0; b < 64; ++b) {
                const std::vector<double> curve = strips[b].call(targets[b], length);
                for (size_t ch = 0; ch < 2; ++ch)
                    for (size_t i = 0; i < static_cast<size_t>(length); ++i)
                        ASSERT_TRUE(sameBits(host.out(b, ch, i),
                                             refWritten<float>(static_cast<double>(host.in(b, ch, i)) * curve[i])))
                            << "block " << block << " strip " << b << " ch " << ch << " sample " << i;
                ASSERT_EQ(core->stripGainState[b], strips[b].value) << b;
            }
        }
    }
}

// Strips that close fade out to exactly 0 and reopen from there, each on its own curve at every
// block, also while the host hands over fewer buses than the module has (a strip it does not
// hear still moves) and while the count changes in the middle of a fade.
TEST(Smoothing, ClosingAndReopeningStripsFollowTheirCurves)
{
    constexpr int32 kLength = 32;
    auto core = makeCore(FADER_BANK, kLength);
    HostBlock<double> all(kLength, std::vector<int32>(64, 1), std::vector<int32>(64, 1));
    HostBlock<double> one(kLength, {1}, {1});
    for (size_t b = 0; b < 64; ++b)
        all.fillInput(b, 0, [](size_t) { return 1.0; });
    one.fillInput(0, 0, [](size_t) { return 1.0; });
    std::vector<double> open(64);
    for (uint32_t k = 0; k < 64; ++k) {
        core->paramValues[kFaderGainParamBase + k].store(0.5 + 0.007 * k);
        open[k] = refLinear(0.5 + 0.007 * k);
    }
    core->paramValues[kFaderMuteParamBase + 30].store(1.0);
    open[30] = 0.0;
    core->paramValues[kActiveStripsParam].store(1.0);
    ASSERT_EQ(processBlock(*core, all.data), kResultOk); // primes every strip at its target
    std::vector<RefSmoother> strips;
    for (size_t k = 0; k < 64; ++k)
        strips.push_back(RefSmoother{open[k]});

    struct Stretch {
        int32 count; // "Active strips / branches"
        int blocks;
        bool allBuses;
    };
    // Long enough at count 1 for the closed strips to reach exact 0 (about 3100 blocks).
    const Stretch stretches[] = {{1, 3500, false}, {40, 3, true}, {20, 60, false},
                                 {64, 10, true},   {8, 5, true},  {64, 1, false}};
    int n = 0;
    for (const Stretch& stretch : stretches) {
        core->paramValues[kActiveStripsParam].store((stretch.count - 1) / 63.0);
        for (int block = 0; block < stretch.blocks; ++block, ++n) {
            HostBlock<double>& host = stretch.allBuses ? all : one;
            ASSERT_EQ(processBlock(*core, host.data), kResultOk);
            for (size_t k = 0; k < 64; ++k) {
                const double target = static_cast<int32>(k) < stretch.count ? open[k] : 0.0;
                const std::vector<double> curve = strips[k].call(target, kLength);
                for (size_t i = 0; k < host.outputs.size() && i < static_cast<size_t>(kLength); ++i) {
                    ASSERT_TRUE(sameBits(host.out(k, 0, i), refWritten<double>(curve[i])))
                        << "block " << n << " strip " << k << " sample " << i;
                }
                ASSERT_EQ(core->stripGainState[k], strips[k].value) << "block " << n << " strip " << k;
            }
        }
        for (size_t k = 1; stretch.count == 1 && k < 64; ++k) {
            ASSERT_EQ(core->stripGainState[k], 0.0) << k;
        }
    }
}

// A muted strip decays with the 3 ms constant; its flag comes with the first block whose
// every written sample is exactly 0. With the gain floor it gets there in 64-bit too.
template <typename S>
void checkMuteFade(int32 length)
{
    SCOPED_TRACE(std::to_string(length) + (std::is_same_v<S, float> ? " (32-bit)" : " (64-bit)"));
    auto core = makeCore(FADER_BANK, length);
    core->paramValues[kActiveStripsParam].store(7.0 / 63.0);
    HostBlock<S> host(length, std::vector<int32>(8, 1), std::vector<int32>(8, 1));
    for (size_t b = 0; b < 8; ++b)
        host.fillInput(b, 0, [](size_t) { return 1.0; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(host.flags(3), 0u);

    core->paramValues[kFaderMuteParamBase + 3].store(1.0);
    RefSmoother ref{1.0};
    bool flagged = false;
    int blocks = 0;
    for (; blocks < 200000 && !flagged; ++blocks) {
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        const std::vector<double> curve = ref.call(0.0, length);
        bool allZero = true;
        for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
            const S expected = refWritten<S>(curve[i]);
            ASSERT_TRUE(sameBits(host.out(3, 0, i), expected)) << blocks << " " << i;
            allZero = allZero && expected == S(0);
        }
        flagged = host.flags(3) == 1u;
        ASSERT_EQ(flagged, allZero) << "block " << blocks;
        EXPECT_EQ(host.flags(2), 0u);
    }
    EXPECT_TRUE(flagged);
    EXPECT_EQ(core->stripGainState[3] == 0.0, ref.value == 0.0);
}

TEST(Smoothing, MutedStripFadesToExactSilence)
{
    checkMuteFade<float>(512);
    checkMuteFade<float>(32);
    checkMuteFade<double>(32);
    checkMuteFade<double>(512);
}

TEST(Smoothing, MuteDecaysToOneOverEInThreeMilliseconds)
{
    auto core = makeCore(FADER_BANK, 512);
    HostBlock<double> host(512, {1}, {1});
    host.fillInput(0, 0, [](size_t) { return 1.0; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    core->paramValues[kFaderMuteParamBase].store(1.0);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_NEAR(host.out(0, 0, 143), std::exp(-1.0), 1.0e-12);
    EXPECT_NEAR(host.out(0, 0, 287), std::exp(-2.0), 1.0e-12);
}

} // namespace
} // namespace kestravel::plugins::test
