// The module frame as a host drives it: parameters, arrangements, set-up and switching.

#include "plugin_fixture.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(KindNames, FallBackToFaderBankForEveryUnknownCode)
{
    const std::vector<std::pair<int32_t, const char*>> cases = {
        {1, "KESTRAVEL INPUT"},       {2, "KESTRAVEL OUTPUT"},      {3, "KESTRAVEL SUMMING"},
        {4, "KESTRAVEL BREAKOUT"},    {5, "KESTRAVEL PLAYER"},      {6, "KESTRAVEL RECORDER"},
        {7, "KESTRAVEL FADER BANK"},  {8, "KESTRAVEL DISTRIBUTOR"}, {0, "KESTRAVEL FADER BANK"},
        {9, "KESTRAVEL FADER BANK"},  {-1, "KESTRAVEL FADER BANK"},
    };
    for (const auto& [code, name] : cases)
        EXPECT_STREQ(kindDisplayName(code), name) << code;
}

struct StoreCase {
    ParamID id;
    double value;
    double stored;  // what getParamNormalized reads afterwards
    tresult result; // what setParamNormalized returns
};

TEST(Parameters, StoreRuleClampsDropsAndIgnoresIds)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<StoreCase> cases = {
        {1, 0.25, 0.25, kResultTrue},
        {1, 1.7, 1.0, kResultTrue},
        {1, -3.0, 0.0, kResultTrue},
        {1, nan, 15.0 / 17.0, kResultTrue}, // dropped: the slot keeps its value
        {1, inf, 15.0 / 17.0, kResultTrue},
        {5, 0.25, 0.25, kResultFalse},      // a slot without a parameter is still written
        {2, 0.0, 0.0, kResultFalse},        // OUTPUT has no transport switch
        {511, 0.5, 0.5, kResultFalse},
        {512, 0.5, 0.0, kResultFalse},
        {100000, 0.5, 0.0, kResultFalse},
    };
    for (const auto& c : cases) {
        Module output(OUTPUT);
        EXPECT_EQ(output->setParamNormalized(c.id, c.value), c.result) << c.id << " " << c.value;
        EXPECT_EQ(output->getParamNormalized(c.id), c.stored) << c.id << " " << c.value;
    }
}

TEST(Parameters, FreshObjectHoldsEveryDefaultWhateverTheKind)
{
    Module output(OUTPUT);
    EXPECT_EQ(output->getParamNormalized(kGainParam), 15.0 / 17.0);
    EXPECT_EQ(output->getParamNormalized(kFollowTransportParam), 1.0);
    EXPECT_EQ(output->getParamNormalized(kActiveStripsParam), 1.0 / 9.0);
    EXPECT_EQ(output->getParamNormalized(kFaderGainParamBase + 63), 15.0 / 17.0);
    EXPECT_EQ(output->getParamNormalized(kMaximumTailParam), 1.0 / 120.0);
    EXPECT_EQ(output->getParamNormalized(kChasePositionParam), 1.0);
    EXPECT_EQ(output->getParamNormalized(7), 0.0);
    EXPECT_EQ(activeStripCount(1.0 / 9.0), 8);
    EXPECT_EQ(activeStripCount(0.0), 1);
    EXPECT_EQ(activeStripCount(1.0), 64);
}

// "Active strips / branches" between the editor's steps: the engine, the value text and the
// plain value all read step k on [k/64, (k+1)/64), as a host reads a parameter of 63 steps.
TEST(Parameters, StripCountIsTheHostsReadingEverywhere)
{
    Module fader(FADER_BANK);
    auto text = [&](double v) {
        String128 string{};
        EXPECT_EQ(fader->getParamStringByValue(kActiveStripsParam, v, string), kResultTrue);
        std::string narrow;
        for (const TChar* c = string; *c != 0; ++c)
            narrow += static_cast<char>(*c);
        return narrow;
    };
    const std::vector<std::pair<double, int32_t>> cases = {
        {0.0, 1},       {0.01, 1},       {0.0156249, 1}, {1.0 / 64.0, 2}, {1.0 / 9.0, 8},
        {7.0 / 63.0, 8}, {0.5, 33},      {0.984374, 63}, {63.0 / 64.0, 64}, {0.99, 64},
        {1.0, 64},
    };
    for (const auto& [v, count] : cases) {
        EXPECT_EQ(activeStripCount(v), count) << v;
        EXPECT_EQ(text(v), std::to_string(count)) << v;
        EXPECT_EQ(fader->normalizedParamToPlain(kActiveStripsParam, v), count) << v;
    }
    // Stored values from the editor sit on k/63 and keep their meaning.
    for (int32_t k = 0; k < 64; ++k)
        EXPECT_EQ(activeStripCount(k / 63.0), k + 1) << k;
    for (int32_t i = 0; i <= 4096; ++i) {
        const double v = i / 4096.0;
        ASSERT_EQ(text(v), std::to_string(activeStripCount(v))) << v;
    }
}

// A text is a value only when it reads as a finite number; the range clamp must not turn
// "inf" into the top of the range.
TEST(Parameters, ValueTextMustBeAFiniteNumber)
{
    struct Case {
        ModuleKind kind;
        ParamID id;
        const char* text;
        tresult result;
        double value; // when accepted
    };
    const std::vector<Case> cases = {
        {OUTPUT, kGainParam, "0", kResultTrue, 90.0 / 102.0},
        {OUTPUT, kGainParam, "12", kResultTrue, 1.0},
        {OUTPUT, kGainParam, "nan", kResultFalse, 0.0},
        {OUTPUT, kGainParam, "inf", kResultFalse, 0.0},
        {OUTPUT, kGainParam, "-infinity", kResultFalse, 0.0},
        {OUTPUT, kGainParam, "1e999", kResultFalse, 0.0},
        {OUTPUT, kGainParam, "loud", kResultFalse, 0.0},
        {PLAYER, kPlayRecordParam, "1", kResultTrue, 1.0},
        {PLAYER, kPlayRecordParam, "nan", kResultFalse, 0.0},
        {PLAYER, kPlayRecordParam, "inf", kResultFalse, 0.0},
        {RECORDER, kMaximumTailParam, "NAN", kResultFalse, 0.0},
        {FADER_BANK, kActiveStripsParam, "8", kResultTrue, 7.0 / 63.0},
        {FADER_BANK, kActiveStripsParam, "nan", kResultFalse, 0.0},
        {FADER_BANK, kFaderGainParamBase + 3, "inf", kResultFalse, 0.0},
    };
    for (const Case& c : cases) {
        Module module(c.kind);
        std::u16string text(c.text, c.text + std::strlen(c.text));
        ParamValue value = -1.0;
        EXPECT_EQ(module->getParamValueByString(c.id, text.data(), value), c.result) << c.text;
        if (c.result == kResultTrue)
            EXPECT_DOUBLE_EQ(value, c.value) << c.text;
        else
            EXPECT_EQ(value, -1.0) << c.text << ": a refusal leaves the value alone";
    }
}

TEST(Parameters, EditorEditIsOneCompleteGroupAroundTheStore)
{
    RecordingHandler handler; // outlives the module, which releases it on terminate
    Module player(PLAYER);
    player->setComponentHandler(&handler);
    EXPECT_EQ(player->applyEditorEdit(kPlayRecordParam, 1.0), kResultOk);
    EXPECT_EQ(handler.calls, (std::vector<std::string>{"begin 3", "perform 3 1", "end 3"}));
    EXPECT_EQ(player->getParamNormalized(kPlayRecordParam), 1.0);
    EXPECT_EQ(player->getParameterObject(kPlayRecordParam)->getNormalized(), 1.0);

    Module noHandler(PLAYER);
    EXPECT_EQ(noHandler->applyEditorEdit(kPlayRecordParam, 1.0), kResultFalse);
    EXPECT_EQ(noHandler->getParamNormalized(kPlayRecordParam), 1.0);
}

SpeakerArrangement bits(int count)
{
    return count >= 64 ? ~SpeakerArrangement{0} : (SpeakerArrangement{1} << count) - 1;
}

struct ArrangementCase {
    const char* name;
    ModuleKind kind;
    std::vector<SpeakerArrangement> inputs;
    std::vector<SpeakerArrangement> outputs;
    tresult expected;
};

TEST(Arrangements, AcceptOrRefusePerKind)
{
    const auto stereo = SpeakerArr::kStereo;
    const auto mono = SpeakerArr::kMono;
    std::vector<SpeakerArrangement> stereo64(64, stereo);
    std::vector<SpeakerArrangement> mono64(64, mono);
    auto faderMixed = stereo64;
    faderMixed[5] = mono;
    auto faderMismatch = faderMixed;
    auto faderMismatchOut = stereo64;
    auto summingThree = stereo64;
    summingThree[7] = bits(3);
    auto breakoutStereo = mono64;
    breakoutStereo[9] = stereo;
    auto zeroInside = stereo64;
    zeroInside[63] = 0;

    const std::vector<ArrangementCase> cases = {
        {"input takes 64 speakers", INPUT, {bits(64)}, {bits(64)}, kResultTrue},
        {"output stereo", OUTPUT, {stereo}, {stereo}, kResultTrue},
        {"zero arrangement", OUTPUT, {0}, {stereo}, kResultFalse},
        {"zero output", OUTPUT, {stereo}, {0}, kResultFalse},
        {"too few buses", OUTPUT, {}, {stereo}, kResultFalse},
        {"too many buses", OUTPUT, {stereo, stereo}, {stereo}, kResultFalse},
        {"breakout mono lanes", BREAKOUT, {bits(64)}, mono64, kResultTrue},
        {"breakout stereo lane", BREAKOUT, {stereo}, breakoutStereo, kResultFalse},
        {"fader mono strip 5", FADER_BANK, faderMixed, faderMixed, kResultTrue},
        {"fader out differs from in", FADER_BANK, faderMismatch, faderMismatchOut, kResultFalse},
        {"summing three channels", SUMMING, summingThree, {stereo}, kResultFalse},
        {"summing 63 inputs", SUMMING, std::vector<SpeakerArrangement>(63, stereo), {stereo}, kResultFalse},
        {"summing zero in last", SUMMING, zeroInside, {stereo}, kResultFalse},
        {"distributor stereo", DISTRIBUTOR, {stereo}, stereo64, kResultTrue},
        {"distributor 3ch out", DISTRIBUTOR, {stereo}, std::vector<SpeakerArrangement>(64, bits(3)), kResultFalse},
        {"player no inputs", PLAYER, {}, {bits(64)}, kResultTrue},
        {"recorder 64", RECORDER, {bits(64)}, {bits(64)}, kResultTrue},
    };
    for (const auto& c : cases) {
        Module module(c.kind);
        auto ins = c.inputs;
        auto outs = c.outputs;
        EXPECT_EQ(module->setBusArrangements(ins.data(), static_cast<int32>(ins.size()), outs.data(),
                                             static_cast<int32>(outs.size())),
                  c.expected)
            << c.name;
        // A refusal leaves every bus on its previous arrangement.
        SpeakerArrangement arr = 0;
        if (!outs.empty() && c.expected != kResultTrue &&
            module->getBusArrangement(kOutput, 0, arr) == kResultTrue) {
            EXPECT_EQ(arr, c.kind == BREAKOUT ? mono : stereo) << c.name;
        }
    }
}

TEST(Arrangements, MalformedProposalsAreRefused)
{
    Module output(OUTPUT);
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    EXPECT_EQ(output->setBusArrangements(nullptr, 1, &stereo, 1), kResultFalse);
    EXPECT_EQ(output->setBusArrangements(&stereo, 1, nullptr, 1), kResultFalse);
    EXPECT_EQ(output->setBusArrangements(&stereo, -1, &stereo, 1), kResultFalse);
    EXPECT_EQ(output->setBusArrangements(&stereo, 1, &stereo, -5), kResultFalse);

    output->setProcessing(true);
    EXPECT_EQ(output->setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse);
    output->setProcessing(false);
    SpeakerArrangement mono = SpeakerArr::kMono;
    EXPECT_EQ(output->setBusArrangements(&mono, 1, &mono, 1), kResultTrue);
    SpeakerArrangement arr = 0;
    EXPECT_EQ(output->getBusArrangement(kInput, 0, arr), kResultTrue);
    EXPECT_EQ(arr, mono);
}

TEST(Arrangements, GetRefusesBadDirectionsAndIndices)
{
    Module player(PLAYER);
    SpeakerArrangement arr = 0;
    EXPECT_EQ(player->getBusArrangement(kInput, 0, arr), kInvalidArgument);
    EXPECT_EQ(player->getBusArrangement(kOutput, 0, arr), kResultTrue);
    EXPECT_EQ(player->getBusArrangement(kOutput, 1, arr), kInvalidArgument);
    EXPECT_EQ(player->getBusArrangement(kOutput, -1, arr), kInvalidArgument);
    EXPECT_EQ(player->getBusArrangement(2, 0, arr), kInvalidArgument);
    EXPECT_EQ(player->getBusArrangement(-1, 0, arr), kInvalidArgument);
    Module fader(FADER_BANK);
    EXPECT_EQ(fader->getBusArrangement(kInput, 63, arr), kResultTrue);
    EXPECT_EQ(fader->getBusArrangement(kInput, 64, arr), kInvalidArgument);
}

struct SetupCase {
    int32 block;
    double rate;
    int32 width;
    tresult expected;
};

TEST(Setup, LimitsAndScratchRows)
{
    const std::vector<SetupCase> cases = {
        {0, 48000.0, kSample32, kInvalidArgument},
        {65537, 48000.0, kSample32, kInvalidArgument},
        {-4, 48000.0, kSample32, kInvalidArgument},
        {512, 7999.999, kSample32, kInvalidArgument},
        {512, 384000.001, kSample32, kInvalidArgument},
        {512, std::numeric_limits<double>::quiet_NaN(), kSample32, kInvalidArgument},
        {512, 48000.0, 2, kInvalidArgument},
        {1, 8000.0, kSample32, kResultOk},
        {65536, 384000.0, kSample64, kResultOk},
        {1024, 44100.0, kSample32, kResultOk},
    };
    for (const auto& c : cases) {
        Module output(OUTPUT);
        ProcessSetup setup{kRealtime, c.width, c.block, c.rate};
        EXPECT_EQ(output->setupProcessing(setup), c.expected) << c.block << " " << c.rate;
        if (c.expected != kResultOk) {
            EXPECT_EQ(output->maxBlockSize, 512);
            EXPECT_EQ(output->sampleRate, 48000.0);
            EXPECT_TRUE(output->scratchBuffer.empty());
            continue;
        }
        EXPECT_EQ(output->maxBlockSize, c.block);
        EXPECT_EQ(output->sampleRate, c.rate);
        ASSERT_EQ(output->scratchBuffer.size(), static_cast<size_t>(64 * c.block));
        for (size_t ch = 0; ch < 64; ++ch) {
            EXPECT_EQ(output->playerChannels[ch], output->scratchBuffer.data() + ch * static_cast<size_t>(c.block));
            EXPECT_EQ(output->recorderChannels[ch], output->playerChannels[ch]);
        }
    }
}

TEST(Setup, SampleSizesAndContextRequirements)
{
    Module output(OUTPUT);
    EXPECT_EQ(output->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(output->canProcessSampleSize(kSample64), kResultTrue);
    EXPECT_EQ(output->canProcessSampleSize(2), kResultFalse);
    EXPECT_EQ(output->getProcessContextRequirements(),
              static_cast<uint32>(IProcessContextRequirements::kNeedContinousTimeSamples |
                                  IProcessContextRequirements::kNeedTransportState));
    EXPECT_EQ(output->getLatencySamples(), 0u);
}

TEST(Processing, SwitchingOffResetsTheTransportState)
{
    Module recorder(RECORDER);
    recorder->setParamNormalized(kPlayRecordParam, 1.0);
    recorder->setProcessing(true);
    EXPECT_TRUE(recorder->isProcessing.load());
    recorder->syncRunning = true;
    recorder->gainStatePrimed = true;
    recorder->player.playing.store(true);
    EXPECT_EQ(recorder->setProcessing(false), kResultOk);
    EXPECT_FALSE(recorder->isProcessing.load());
    EXPECT_EQ(recorder->getParamNormalized(kPlayRecordParam), 0.0);
    EXPECT_FALSE(recorder->syncRunning);
    EXPECT_FALSE(recorder->gainStatePrimed);
    EXPECT_FALSE(recorder->player.playing.load());
    EXPECT_TRUE(recorder->recorder.stopRequested.load());
}

TEST(Processing, BusActivationIsMirroredForTheAudioPath)
{
    Module fader(FADER_BANK);
    EXPECT_FALSE(fader->outputBusActive[3].load());
    EXPECT_EQ(fader->activateBus(kAudio, kOutput, 3, true), kResultTrue);
    EXPECT_TRUE(fader->outputBusActive[3].load());
    EXPECT_EQ(fader->activateBus(kAudio, kInput, 64, true), kInvalidArgument);
    EXPECT_EQ(fader->activateBus(kAudio, kInput, -1, true), kInvalidArgument);
    EXPECT_EQ(fader->activateBus(kAudio, kOutput, 3, false), kResultTrue);
    EXPECT_FALSE(fader->outputBusActive[3].load());
}

TEST(Views, OnlyTheEditorNameGivesAView)
{
    Module output(OUTPUT);
    IPlugView* view = output->createView("editor");
    ASSERT_NE(view, nullptr);
#ifdef _WIN32
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
#else
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
#endif
    view->release();
    EXPECT_EQ(output->createView("Editor"), nullptr);
    EXPECT_EQ(output->createView(""), nullptr);
    EXPECT_EQ(output->createView(nullptr), nullptr);
}

} // namespace
} // namespace kestravel::plugins::test
