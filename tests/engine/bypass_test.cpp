// Bypass: outputs carry their matching inputs, crossfaded with the 3 ms smoothing, while the
// kernel keeps running underneath.
#include "engine_fixture.h"
#include "host_fakes.h"

#include "engine/gain_smoothing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

float testSample(size_t b, size_t c, size_t i)
{
    return static_cast<float>(static_cast<int>((i * 7 + c * 131 + b * 17) % 200) - 100) / 128.0f;
}

template <typename S>
void fillInputs(HostBlock<S>& host)
{
    for (size_t b = 0; b < host.inputs.size(); ++b)
        for (size_t c = 0; c < static_cast<size_t>(host.inputs[b].numChannels); ++c)
            host.fillInput(b, c, [&](size_t i) { return testSample(b, c, i); });
}

struct Layout {
    ModuleKind kind;
    std::vector<int32> inputs, outputs;
    bool inPlace; // output bus 0 channel 0 written over input bus 0 channel 0
};

// Settled bypass: output bus b, channel c is input bus b, channel c bit for bit; everything else
// is silent. Gains, mutes, sums and splits are all out of the way.
TEST(Bypass, SettledOutputsAreTheirMatchingInputsExactly)
{
    const Layout layouts[] = {
        {OUTPUT, {2}, {2}, false},
        {INPUT, {2}, {2}, true},
        {SUMMING, {2, 2, 1}, {2}, false},
        {BREAKOUT, {4}, {1, 1, 1, 1}, false},
        {DISTRIBUTOR, {2}, {2, 2, 2}, true},
        {FADER_BANK, {2, 2, 2}, {2, 2, 2}, true},
        {PLAYER, {}, {2}, false},
        {OUTPUT, {1}, {2}, false}, // the second output channel has no input
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(kindDisplayName(l.kind));
        auto core = makeCore(l.kind, 64);
        core->paramValues[kGainParam].store(0.3);
        core->paramValues[kFaderGainParamBase].store(0.2);
        core->paramValues[kFaderMuteParamBase + 1].store(1.0);
        core->paramValues[kActiveStripsParam].store(1.0);
        core->paramValues[kBypassParam].store(1.0);
        HostBlock<double> host(64, l.inputs, l.outputs);
        fillInputs(host);
        if (l.inPlace)
            host.setOutputPointer(0, 0, host.in(0, 0));
        host.fillOutputs(9.0);
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        for (size_t b = 0; b < l.outputs.size(); ++b)
            for (size_t c = 0; c < static_cast<size_t>(l.outputs[b]); ++c) {
                const bool matched = b < l.inputs.size() && c < static_cast<size_t>(l.inputs[b]);
                const double* out = l.inPlace && b == 0 && c == 0 ? host.in(0, 0) : host.out(b, c);
                for (size_t i = 0; i < 64; ++i)
                    ASSERT_EQ(out[i], matched ? testSample(b, c, i) : 0.0) << "bus " << b << " channel " << c << " sample " << i;
            }
    }
}

// Switched on at a sample inside a block: the samples before it are the module's own output,
// the ones after move toward the input with the gains' 3 ms one-pole, starting at that sample.
TEST(Bypass, SwitchingCrossfadesFromTheChangeSampleWithTheGainSmoothing)
{
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "switched on" : "switched off");
        auto core = makeCore(OUTPUT, 1024);
        auto reference = makeCore(OUTPUT, 1024);
        for (auto* c : {core.get(), reference.get()})
            c->paramValues[kGainParam].store(0.5); // -39 dB, settled from the first call
        core->paramValues[kBypassParam].store(on ? 0.0 : 1.0);
        HostBlock<float> host(1024, {2}, {2}), plain(1024, {2}, {2});
        fillInputs(host);
        fillInputs(plain);
        ASSERT_EQ(processBlock(*core, host.data), kResultOk); // primes at the old setting
        ASSERT_EQ(processBlock(*reference, plain.data), kResultOk);

        constexpr int32 at = 100;
        FakeChanges changes{FakeQueue(kBypassParam, {{at, on ? 1.0 : 0.0}})};
        host.data.inputParameterChanges = &changes;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        ASSERT_EQ(processBlock(*reference, plain.data), kResultOk);

        const double w = 1.0 - refCoefficient(48000.0);
        for (size_t c = 0; c < 2; ++c) {
            double m = on ? 0.0 : 1.0;
            for (size_t i = 0; i < 1024; ++i) {
                const double dry = testSample(0, c, i), wet = plain.out(0, c, i);
                if (i >= static_cast<size_t>(at)) {
                    const double target = on ? 1.0 : 0.0;
                    m = std::abs(target - m) < 1e-7 ? target : m + (target - m) * w;
                }
                const double want = m == 1.0 ? dry : wet + (dry - wet) * m;
                ASSERT_EQ(host.out(0, c, i), static_cast<float>(want)) << "channel " << c << " sample " << i;
            }
        }
        // Within -140 dB of the end the mix is taken as arrived: a settled bypass is an exact
        // copy and a settled off is the module's own output, bit for bit.
        host.data.inputParameterChanges = nullptr;
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(processBlock(*core, host.data), kResultOk);
            ASSERT_EQ(processBlock(*reference, plain.data), kResultOk);
        }
        for (size_t i = 0; i < 1024; ++i)
            ASSERT_EQ(host.out(0, 1, i), on ? testSample(0, 1, i) : plain.out(0, 1, i)) << i;
    }
}

// A bypassed PLAYER is silent, yet its transport runs: it starts with the host and its position
// moves on, so switching bypass off mid-song plays from where the song is.
TEST(Bypass, PlayerIsSilentButKeepsItsPlace)
{
    auto core = makeCore(PLAYER, 256);
    PreloadedAudio audio;
    audio.channels = 1;
    audio.sampleRate = 48000;
    audio.samples.assign(48000, 0.5f);
    core->player.install(std::move(audio));
    core->paramValues[kBypassParam].store(1.0);
    HostBlock<float> host(256, {}, {1});
    host.useContext(ProcessContext::kContTimeValid | ProcessContext::kPlaying, 0);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_TRUE(core->player.playing.load());
    for (size_t i = 0; i < 256; ++i)
        ASSERT_EQ(host.out(0, 0, i), 0.0f);
    EXPECT_EQ(core->sampleClock, 256);
}

// RECORDER's output is its input either way; bypass never touches the take.
TEST(Bypass, RecorderPassesItsInputEitherWay)
{
    auto core = makeCore(RECORDER, 64);
    core->paramValues[kBypassParam].store(1.0);
    HostBlock<float> host(64, {2}, {2});
    fillInputs(host);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    for (size_t c = 0; c < 2; ++c)
        for (size_t i = 0; i < 64; ++i)
            ASSERT_EQ(host.out(0, c, i), testSample(0, c, i));
}

// The dry path keeps the kernel's promises: a non-finite input sample comes out as 0, and the
// silence flags describe what the host reads after the mix, not the kernel's own output.
TEST(Bypass, DryPathWritesFiniteSamplesAndTrueSilenceFlags)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        double bypass; // switch value for the block under test, after a priming block at 0
        std::vector<float> channel0, channel1; // input samples, repeated over the block
        uint64_t flags;
    };
    const Case cases[] = {
        {"settled, one silent input", 1.0, {0.25f}, {0.0f}, 0b10},
        {"settled, non-finite inputs", 1.0, {std::nanf(""), inf, -inf}, {0.5f}, 0b01},
        {"crossfading in", 1.0, {0.0f}, {0.0f}, 0b11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto core = makeCore(OUTPUT, 64);
        HostBlock<float> host(64, {2}, {2});
        const bool crossfade = std::string(c.name).starts_with("crossfading");
        core->paramValues[kBypassParam].store(crossfade ? 0.0 : c.bypass);
        host.fillInput(0, 0, [&](size_t i) { return c.channel0[i % c.channel0.size()]; });
        host.fillInput(0, 1, [&](size_t i) { return c.channel1[i % c.channel1.size()]; });
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        if (crossfade)
            core->paramValues[kBypassParam].store(c.bypass);
        host.fillOutputs(7.0f);
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        for (size_t ch = 0; ch < 2; ++ch)
            for (size_t i = 0; i < 64; ++i)
                ASSERT_TRUE(std::isfinite(host.out(0, ch, i)) && host.out(0, ch, i) != 7.0f) << ch << " " << i;
        EXPECT_EQ(host.flags(0), c.flags);
    }
}

// A denormal the host sends is sound to the host, although the block's float mode reads it as 0.
TEST(Bypass, ADenormalPassedThroughIsNotFlaggedSilent)
{
    auto core = makeCore(OUTPUT, 16);
    core->paramValues[kBypassParam].store(1.0);
    HostBlock<double> host(16, {2}, {2});
    host.fillInput(0, 0, [](size_t) { return 1.0e-310; });
    host.fillInput(0, 1, [](size_t) { return 0.0; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(host.out(0, 0, 3), 1.0e-310);
    EXPECT_EQ(host.flags(0), 0b10u);
}

} // namespace
} // namespace kestravel::plugins::test
