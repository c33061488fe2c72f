// Audio through the built modules, checked against expectations computed here.
#include <cmath>

#include "bundle_test_support.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"

namespace kestravel::plugins::testing_support {
namespace {

using namespace Steinberg;

// A reproducible test signal in [-1, 1).
float signal(std::uint32_t channel, std::int64_t frame)
{
    std::uint32_t x = static_cast<std::uint32_t>(frame) * 2654435761u ^ (channel + 1) * 40503u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return static_cast<float>(x >> 8) / 8388608.0f - 1.0f;
}

// Multiples of 1/256: sums of a few stay exact in float and double alike.
float coarse(std::uint32_t channel, std::int64_t frame)
{
    return std::round(signal(channel, frame) * 256.0f) / 256.0f;
}

TEST(Render, OutputAtZeroDecibelsPassesSignalBitExactlyIn32Bit)
{
    LoadedPlugin loaded = loadKind(kindByCode(2));
    ProcessConfig config;
    config.maxBlock = 512;
    BlockRunner run(*loaded.plugin, config);
    run.start();
    for (std::int64_t pos = 0; pos < 48000; pos += 480)
    {
        for (int32 c = 0; c < 2; ++c)
            for (int32 i = 0; i < 480; ++i)
                run.channel32(Vst::kInput, 0, c)[i] = signal(static_cast<std::uint32_t>(c), pos + i);
        ASSERT_EQ(run.process(480), kResultOk);
        for (int32 c = 0; c < 2; ++c)
            for (int32 i = 0; i < 480; ++i)
                ASSERT_EQ(run.channel32(Vst::kOutput, 0, c)[i], signal(static_cast<std::uint32_t>(c), pos + i))
                    << "channel " << c << ", frame " << pos + i;
        EXPECT_EQ(run.busBuffers(Vst::kOutput, 0).silenceFlags, 0u);
    }
}

TEST(Render, OutputAppliesItsGainIn64Bit)
{
    LoadedPlugin loaded = loadKind(kindByCode(2));
    const double v = normalizedForDb(-6.0);
    loaded.plugin->controller()->setParamNormalized(1, v);
    ProcessConfig config;
    config.sampleSize = Vst::kSample64;
    BlockRunner run(*loaded.plugin, config);
    run.start();
    run.inputChanges().add(1, 0, v);
    for (int32 i = 0; i < 512; ++i)
        run.channel64(Vst::kInput, 0, 0)[i] = signal(0, i);
    ASSERT_EQ(run.process(512), kResultOk);
    for (int32 i = 0; i < 512; ++i)
        ASSERT_NEAR(run.channel64(Vst::kOutput, 0, 0)[i], signal(0, i) * gainFactor(v), 1e-12) << "frame " << i;
}

TEST(Render, FaderBankStripsApplyTheirOwnGainMuteAndCount)
{
    LoadedPlugin loaded = loadKind(kindByCode(7));
    Vst::IEditController* controller = loaded.plugin->controller();
    // Strip 2 (id 101) at -6 dB, strip 4 muted (id 203), the default 8 active strips.
    const double minus6 = normalizedForDb(-6.0);
    controller->setParamNormalized(101, minus6);
    controller->setParamNormalized(203, 1.0);
    ProcessConfig config;
    config.allAudioBuses = true;
    BlockRunner run(*loaded.plugin, config);
    run.start();
    run.inputChanges().add(101, 0, minus6);
    run.inputChanges().add(203, 0, 1.0);
    for (int32 b = 0; b < 64; ++b)
        for (int32 c = 0; c < 2; ++c)
            for (int32 i = 0; i < 512; ++i)
                run.channel32(Vst::kInput, b, c)[i] = signal(static_cast<std::uint32_t>(b * 2 + c), i);
    ASSERT_EQ(run.process(512), kResultOk);

    for (int32 b = 0; b < 64; ++b)
    {
        SCOPED_TRACE("strip " + std::to_string(b + 1));
        const bool silent = b == 3 || b >= 8;
        const double gain = b == 1 ? gainFactor(minus6) : 1.0;
        for (int32 c = 0; c < 2; ++c)
            for (int32 i = 0; i < 512; ++i)
            {
                const float in = signal(static_cast<std::uint32_t>(b * 2 + c), i);
                const float out = run.channel32(Vst::kOutput, b, c)[i];
                if (silent)
                    ASSERT_EQ(out, 0.0f);
                else if (b == 1)
                    ASSERT_NEAR(out, in * gain, 1e-6);
                else
                    ASSERT_EQ(out, in);
            }
        EXPECT_EQ(run.busBuffers(Vst::kOutput, b).silenceFlags, silent ? 3u : 0u);
    }
}

TEST(Render, SummingAddsMonoAndStereoSourcesIntoOneStereoOutput)
{
    LoadedPlugin loaded = loadKind(kindByCode(3));
    ProcessConfig config;
    config.allAudioBuses = true;
    BlockRunner run(*loaded.plugin, config);
    auto ins = run.arrangements(Vst::kInput);
    ins[0] = arrangementFor(1);
    ASSERT_EQ(run.proposeArrangements(ins, run.arrangements(Vst::kOutput)), kResultOk);
    run.start();
    ASSERT_EQ(run.channelCount(Vst::kInput, 0), 1);
    for (int32 b = 0; b < 64; ++b)
        for (int32 c = 0; c < run.channelCount(Vst::kInput, b); ++c)
            for (int32 i = 0; i < 256; ++i)
                run.channel32(Vst::kInput, b, c)[i] = coarse(static_cast<std::uint32_t>(b * 2 + c), i);
    ASSERT_EQ(run.process(256), kResultOk);
    // The default 8 active inputs add up; input 0 is mono and feeds both sides.
    for (int32 c = 0; c < 2; ++c)
        for (int32 i = 0; i < 256; ++i)
        {
            double sum = coarse(0, i);
            for (int32 b = 1; b < 8; ++b)
                sum += coarse(static_cast<std::uint32_t>(b * 2 + c), i);
            ASSERT_EQ(run.channel32(Vst::kOutput, 0, c)[i], static_cast<float>(sum)) << "channel " << c << ", frame " << i;
        }
}

TEST(Render, AutomationPointTakesEffectAtItsSample)
{
    LoadedPlugin loaded = loadKind(kindByCode(1));
    ProcessConfig config;
    config.maxBlock = 256;
    BlockRunner run(*loaded.plugin, config);
    run.start();
    for (int32 c = 0; c < 2; ++c)
        std::fill_n(run.channel32(Vst::kInput, 0, c), 256, 0.5f);
    ASSERT_EQ(run.process(256), kResultOk);
    // Full gain from sample 128: before it the output stays at 0 dB, from it the ramp rises.
    run.inputChanges().add(1, 128, 1.0);
    ASSERT_EQ(run.process(256), kResultOk);
    const float* out = run.channel32(Vst::kOutput, 0, 0);
    for (int32 i = 0; i < 128; ++i)
        ASSERT_EQ(out[i], 0.5f) << "frame " << i;
    EXPECT_GT(out[128], 0.5f);
    EXPECT_GT(out[255], out[128]);
    EXPECT_EQ(loaded.plugin->controller()->getParamNormalized(1), 1.0);
}

// Automation between the steps of "Active strips / branches": BREAKOUT drives as many lanes as
// the host's text for that value says.
TEST(Render, BreakoutDrivesTheLaneCountTheHostShows)
{
    for (const double v : {0.01, 0.2, 0.5, 0.99})
    {
        SCOPED_TRACE(v);
        LoadedPlugin loaded = loadKind(kindByCode(4));
        Vst::IEditController* controller = loaded.plugin->controller();
        Vst::String128 text{};
        ASSERT_EQ(controller->getParamStringByValue(0, v, text), kResultTrue);
        int shown = 0;
        for (const Vst::TChar* c = text; *c != 0; ++c)
            shown = shown * 10 + (*c - u'0');
        ProcessConfig config;
        config.allAudioBuses = true;
        BlockRunner run(*loaded.plugin, config);
        auto outs = run.arrangements(Vst::kOutput);
        ASSERT_EQ(run.proposeArrangements({arrangementFor(64)}, outs), kResultOk);
        run.start();
        run.inputChanges().add(0, 0, v);
        for (int32 c = 0; c < 64; ++c)
            for (int32 i = 0; i < 64; ++i)
                run.channel32(Vst::kInput, 0, c)[i] = 0.5f;
        ASSERT_EQ(run.process(64), kResultOk);
        int driven = 0;
        for (int32 b = 0; b < 64; ++b)
            driven += run.channel32(Vst::kOutput, b, 0)[0] != 0.0f ? 1 : 0;
        EXPECT_EQ(driven, shown);
    }
}

// RECORDER has no "Gain": neither a stored slot 1 nor a point on id 1 reaches its output.
TEST(Render, RecorderPassesItsInputAtUnityWhateverSlotOneHolds)
{
    for (const int32 width : {Vst::kSample32, Vst::kSample64})
    {
        SCOPED_TRACE(width);
        LoadedPlugin loaded = loadKind(kindByCode(6));
        loaded.plugin->controller()->setParamNormalized(1, 0.0);
        ProcessConfig config;
        config.sampleSize = width;
        BlockRunner run(*loaded.plugin, config);
        run.start();
        run.inputChanges().add(1, 100, 0.3);
        for (int32 c = 0; c < 2; ++c)
            for (int32 i = 0; i < 512; ++i)
                run.setSample(Vst::kInput, 0, c, i, signal(static_cast<std::uint32_t>(c), i));
        ASSERT_EQ(run.process(512), kResultOk);
        for (int32 c = 0; c < 2; ++c)
            for (int32 i = 0; i < 512; ++i)
                ASSERT_EQ(run.sample(Vst::kOutput, 0, c, i), run.sample(Vst::kInput, 0, c, i))
                    << "channel " << c << ", frame " << i;
    }
}

TEST(Render, RefusedSetUpKeepsTheBlockLimitItHad)
{
    LoadedPlugin loaded = loadKind(kindByCode(2));
    Vst::IAudioProcessor* processor = loaded.plugin->processor();
    Vst::ProcessSetup good{Vst::kRealtime, Vst::kSample32, 256, 48000.0};
    Vst::ProcessSetup bad{Vst::kRealtime, Vst::kSample32, 65537, 48000.0};
    ASSERT_EQ(processor->setupProcessing(good), kResultOk);
    ASSERT_EQ(processor->setupProcessing(bad), kInvalidArgument);
    ASSERT_EQ(loaded.plugin->component()->setActive(true), kResultOk);
    ASSERT_EQ(processor->setProcessing(true), kResultOk);

    std::vector<float> in0(300, 0.25f), in1(300, 0.25f), out0(300), out1(300);
    float* ins[] = {in0.data(), in1.data()};
    float* outs[] = {out0.data(), out1.data()};
    Vst::AudioBusBuffers inBus{}, outBus{};
    inBus.numChannels = 2;
    inBus.channelBuffers32 = ins;
    outBus.numChannels = 2;
    outBus.channelBuffers32 = outs;
    Vst::ProcessData d{};
    d.symbolicSampleSize = Vst::kSample32;
    d.numInputs = 1;
    d.numOutputs = 1;
    d.inputs = &inBus;
    d.outputs = &outBus;
    d.numSamples = 257;
    EXPECT_EQ(resultName(processor->process(d)), resultName(kInvalidArgument)) << "the refused set-up raised the block limit";
    d.numSamples = 256;
    EXPECT_EQ(resultName(processor->process(d)), resultName(kResultOk));
    processor->setProcessing(false);
    loaded.plugin->component()->setActive(false);
}

} // namespace
} // namespace kestravel::plugins::testing_support
