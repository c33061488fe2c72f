// Malformed host calls: each returns its result code and leaves the module as it was.
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

#include "bundle_test_support.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/memory_stream.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/parameter_changes.h"

namespace kestravel::plugins::testing_support {
namespace {

using namespace Steinberg;
using Arrangements = std::vector<Vst::SpeakerArrangement>;

// Everything a host can read back without processing.
struct Observation
{
    Arrangements inputs;
    Arrangements outputs;
    std::vector<int32> channelCounts;
    std::vector<double> values;
    std::vector<std::uint8_t> state;

    bool operator==(const Observation&) const = default;
};

Arrangements arrangementsOf(const PluginInstance& plugin, Vst::BusDirection dir)
{
    Arrangements result;
    for (const BusDescription& b : plugin.buses(Vst::kAudio, dir))
        result.push_back(b.arrangement.value_or(0));
    return result;
}

Observation observe(const PluginInstance& plugin)
{
    Observation o;
    o.inputs = arrangementsOf(plugin, Vst::kInput);
    o.outputs = arrangementsOf(plugin, Vst::kOutput);
    for (Vst::BusDirection dir : {Vst::kInput, Vst::kOutput})
        for (const BusDescription& b : plugin.buses(Vst::kAudio, dir))
            o.channelCounts.push_back(b.channelCount);
    for (Vst::ParamID id = 0; id < 520; ++id)
        o.values.push_back(plugin.controller()->getParamNormalized(id));
    o.state = plugin.saveState();
    return o;
}

struct Call
{
    const char* name;
    std::function<bool(const KindInfo&)> appliesTo; // empty: every kind
    bool processing;                                 // processing is switched on before the call
    std::function<tresult(PluginInstance&, const KindInfo&)> call;
    std::optional<tresult> expected; // empty: any result, as long as nothing changes
};

Arrangements defaultsIn(const KindInfo& k) { return Arrangements(static_cast<std::size_t>(k.audioInputs), Vst::SpeakerArr::kStereo); }
Arrangements defaultsOut(const KindInfo& k) { return Arrangements(static_cast<std::size_t>(k.audioOutputs), k.outputArrangement); }

tresult propose(PluginInstance& p, Arrangements ins, int32 numIns, Arrangements outs, int32 numOuts)
{
    ins.resize(std::max<std::size_t>(ins.size(), 70), Vst::SpeakerArr::kStereo);
    outs.resize(std::max<std::size_t>(outs.size(), 70), Vst::SpeakerArr::kStereo);
    return p.processor()->setBusArrangements(ins.data(), numIns, outs.data(), numOuts);
}

tresult setup(PluginInstance& p, int32 block, double rate, int32 sampleSize)
{
    Vst::ProcessSetup s{Vst::kRealtime, sampleSize, block, rate};
    return p.processor()->setupProcessing(s);
}

const std::vector<Call>& calls()
{
    auto withInputs = [](const KindInfo& k) { return k.audioInputs > 0; };
    auto narrowInputs = [](const KindInfo& k) { return k.audioInputs > 0 && k.inputLimit < 64; };
    auto narrowOutputs = [](const KindInfo& k) { return k.outputLimit < 64; };
    auto faderBank = [](const KindInfo& k) { return k.code == 7; };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    static const std::vector<Call> table{
        {"getBusArrangement with a negative index", {}, false,
         [](PluginInstance& p, const KindInfo&) { Vst::SpeakerArrangement a = 0; return p.processor()->getBusArrangement(Vst::kOutput, -1, a); },
         kInvalidArgument},
        {"getBusArrangement past the last input", {}, false,
         [](PluginInstance& p, const KindInfo& k) { Vst::SpeakerArrangement a = 0; return p.processor()->getBusArrangement(Vst::kInput, k.audioInputs, a); },
         kInvalidArgument},
        {"getBusArrangement past the last output", {}, false,
         [](PluginInstance& p, const KindInfo& k) { Vst::SpeakerArrangement a = 0; return p.processor()->getBusArrangement(Vst::kOutput, k.audioOutputs, a); },
         kInvalidArgument},
        {"getBusArrangement in an unknown direction", {}, false,
         [](PluginInstance& p, const KindInfo&) { Vst::SpeakerArrangement a = 0; return p.processor()->getBusArrangement(2, 0, a); },
         kInvalidArgument},
        {"getBusArrangement in a negative direction", {}, false,
         [](PluginInstance& p, const KindInfo&) { Vst::SpeakerArrangement a = 0; return p.processor()->getBusArrangement(-1, 0, a); },
         kInvalidArgument},
        {"getBusInfo with a negative index", {}, false,
         [](PluginInstance& p, const KindInfo&) { Vst::BusInfo i{}; return p.component()->getBusInfo(Vst::kAudio, Vst::kOutput, -1, i); },
         kInvalidArgument},
        {"getBusInfo past the last output", {}, false,
         [](PluginInstance& p, const KindInfo& k) { Vst::BusInfo i{}; return p.component()->getBusInfo(Vst::kAudio, Vst::kOutput, k.audioOutputs, i); },
         kInvalidArgument},
        {"getBusInfo of an unknown media type", {}, false,
         [](PluginInstance& p, const KindInfo&) { Vst::BusInfo i{}; return p.component()->getBusInfo(7, Vst::kOutput, 0, i); },
         kInvalidArgument},
        {"activateBus with a negative index", {}, false,
         [](PluginInstance& p, const KindInfo&) { return p.component()->activateBus(Vst::kAudio, Vst::kOutput, -1, true); },
         kInvalidArgument},
        {"activateBus past the last output", {}, false,
         [](PluginInstance& p, const KindInfo& k) { return p.component()->activateBus(Vst::kAudio, Vst::kOutput, k.audioOutputs, true); },
         kInvalidArgument},
        {"setBusArrangements with null inputs", withInputs, false,
         [](PluginInstance& p, const KindInfo& k) {
             auto outs = defaultsOut(k);
             return p.processor()->setBusArrangements(nullptr, k.audioInputs, outs.data(), k.audioOutputs);
         },
         kResultFalse},
        {"setBusArrangements with null outputs", {}, false,
         [](PluginInstance& p, const KindInfo& k) {
             auto ins = defaultsIn(k);
             ins.push_back(0);
             return p.processor()->setBusArrangements(ins.data(), k.audioInputs, nullptr, k.audioOutputs);
         },
         kResultFalse},
        {"setBusArrangements with a negative input count", {}, false,
         [](PluginInstance& p, const KindInfo& k) { return propose(p, defaultsIn(k), -1, defaultsOut(k), k.audioOutputs); },
         kResultFalse},
        {"setBusArrangements with a negative output count", {}, false,
         [](PluginInstance& p, const KindInfo& k) { return propose(p, defaultsIn(k), k.audioInputs, defaultsOut(k), -1); },
         kResultFalse},
        {"setBusArrangements with one input bus too few", withInputs, false,
         [](PluginInstance& p, const KindInfo& k) { return propose(p, defaultsIn(k), k.audioInputs - 1, defaultsOut(k), k.audioOutputs); },
         kResultFalse},
        {"setBusArrangements with one output bus too many", {}, false,
         [](PluginInstance& p, const KindInfo& k) { return propose(p, defaultsIn(k), k.audioInputs, defaultsOut(k), k.audioOutputs + 1); },
         kResultFalse},
        {"setBusArrangements with an empty input arrangement", withInputs, false,
         [](PluginInstance& p, const KindInfo& k) {
             auto ins = defaultsIn(k);
             ins[0] = 0;
             return propose(p, ins, k.audioInputs, defaultsOut(k), k.audioOutputs);
         },
         kResultFalse},
        {"setBusArrangements with an empty last output arrangement", {}, false,
         [](PluginInstance& p, const KindInfo& k) {
             auto outs = defaultsOut(k);
             outs.back() = 0;
             return propose(p, defaultsIn(k), k.audioInputs, outs, k.audioOutputs);
         },
         kResultFalse},
        {"setBusArrangements with an input wider than the kind takes", narrowInputs, false,
         [](PluginInstance& p, const KindInfo& k) {
             auto ins = defaultsIn(k);
             ins.back() = arrangementFor(k.inputLimit + 1);
             return propose(p, ins, k.audioInputs, defaultsOut(k), k.audioOutputs);
         },
         kResultFalse},
        {"setBusArrangements with an output wider than the kind takes", narrowOutputs, false,
         [](PluginInstance& p, const KindInfo& k) {
             auto outs = defaultsOut(k);
             outs.back() = arrangementFor(k.outputLimit + 1);
             return propose(p, defaultsIn(k), k.audioInputs, outs, k.audioOutputs);
         },
         kResultFalse},
        {"setBusArrangements with a strip whose output differs from its input", faderBank, false,
         [](PluginInstance& p, const KindInfo& k) {
             auto ins = defaultsIn(k);
             auto outs = defaultsOut(k);
             ins[5] = arrangementFor(1);
             return propose(p, ins, k.audioInputs, outs, k.audioOutputs);
         },
         kResultFalse},
        {"setBusArrangements while processing, even unchanged", {}, true,
         [](PluginInstance& p, const KindInfo& k) { return propose(p, defaultsIn(k), k.audioInputs, defaultsOut(k), k.audioOutputs); },
         kResultFalse},
        {"setupProcessing with a block of 0", {}, false, [](PluginInstance& p, const KindInfo&) { return setup(p, 0, 48000, Vst::kSample32); }, kInvalidArgument},
        {"setupProcessing with a block of 65537", {}, false, [](PluginInstance& p, const KindInfo&) { return setup(p, 65537, 48000, Vst::kSample32); }, kInvalidArgument},
        {"setupProcessing with a negative block", {}, false, [](PluginInstance& p, const KindInfo&) { return setup(p, -512, 48000, Vst::kSample32); }, kInvalidArgument},
        {"setupProcessing just below 8000 Hz", {}, false, [](PluginInstance& p, const KindInfo&) { return setup(p, 512, 7999.999, Vst::kSample32); }, kInvalidArgument},
        {"setupProcessing just above 384000 Hz", {}, false, [](PluginInstance& p, const KindInfo&) { return setup(p, 512, 384000.001, Vst::kSample32); }, kInvalidArgument},
        {"setupProcessing at a NaN rate", {}, false, [nan](PluginInstance& p, const KindInfo&) { return setup(p, 512, nan, Vst::kSample32); }, kInvalidArgument},
        {"setupProcessing with an unknown sample size", {}, false, [](PluginInstance& p, const KindInfo&) { return setup(p, 512, 48000, 2); }, kInvalidArgument},
        {"canProcessSampleSize of an unknown size", {}, false, [](PluginInstance& p, const KindInfo&) { return p.processor()->canProcessSampleSize(2); }, kResultFalse},
        {"canProcessSampleSize of a negative size", {}, false, [](PluginInstance& p, const KindInfo&) { return p.processor()->canProcessSampleSize(-1); }, kResultFalse},
        {"getState into a null stream", {}, false, [](PluginInstance& p, const KindInfo&) { return p.component()->getState(nullptr); }, kInvalidArgument},
        {"setState from a null stream", {}, false, [](PluginInstance& p, const KindInfo&) { return p.component()->setState(nullptr); }, kResultFalse},
        {"setComponentState from a null stream", {}, false, [](PluginInstance& p, const KindInfo&) { return p.controller()->setComponentState(nullptr); }, kResultFalse},
        {"setParamNormalized of id 512", {}, false, [](PluginInstance& p, const KindInfo&) { return p.controller()->setParamNormalized(512, 0.5); }, kResultFalse},
        {"setParamNormalized of the largest id", {}, false, [](PluginInstance& p, const KindInfo&) { return p.controller()->setParamNormalized(0xFFFFFFFFu, 0.5); }, kResultFalse},
        {"setParamNormalized of a NaN", {}, false, [nan](PluginInstance& p, const KindInfo& k) { return p.controller()->setParamNormalized(k.parameters[0], nan); }, std::nullopt},
        {"setParamNormalized of an infinity", {}, false, [inf](PluginInstance& p, const KindInfo& k) { return p.controller()->setParamNormalized(k.parameters[0], -inf); }, std::nullopt},
        {"getParameterInfo with a negative index", {}, false,
         [](PluginInstance& p, const KindInfo&) { Vst::ParameterInfo i{}; return p.controller()->getParameterInfo(-1, i); }, kResultFalse},
        {"getParameterInfo past the last parameter", {}, false,
         [](PluginInstance& p, const KindInfo& k) { Vst::ParameterInfo i{}; return p.controller()->getParameterInfo(static_cast<int32>(k.parameters.size()), i); },
         kResultFalse},
        {"getParamStringByValue of an unknown id", {}, false,
         [](PluginInstance& p, const KindInfo&) { Vst::String128 s{}; return p.controller()->getParamStringByValue(99, 0.5, s); }, kResultFalse},
    };
    return table;
}

class MalformedCalls : public ::testing::TestWithParam<KindInfo>
{
};

TEST_P(MalformedCalls, ReturnTheirCodeAndChangeNothing)
{
    const KindInfo& kind = GetParam();
    for (const Call& c : calls())
    {
        if (c.appliesTo && !c.appliesTo(kind))
            continue;
        SCOPED_TRACE(c.name);
        LoadedPlugin loaded = loadKind(kind);
        PluginInstance& p = *loaded.plugin;
        if (c.processing)
        {
            ASSERT_EQ(setup(p, 512, 48000, Vst::kSample32), kResultOk);
            ASSERT_EQ(p.component()->setActive(true), kResultOk);
            ASSERT_EQ(p.processor()->setProcessing(true), kResultOk);
        }
        const Observation before = observe(p);
        const tresult result = c.call(p, kind);
        if (c.expected)
        {
            EXPECT_EQ(resultName(result), resultName(*c.expected));
        }
        EXPECT_TRUE(observe(p) == before) << "the call changed what the host can read back";
        if (c.processing)
        {
            p.processor()->setProcessing(false);
            p.component()->setActive(false);
        }
    }
}

// A malformed block is refused before anything happens: no parameter change, no output.
struct BadBlock
{
    const char* name;
    std::function<void(Vst::ProcessData&)> spoil;
};

TEST_P(MalformedCalls, MalformedBlocksAreRefusedUntouched)
{
    const KindInfo& kind = GetParam();
    LoadedPlugin loaded = loadKind(kind);
    PluginInstance& p = *loaded.plugin;
    constexpr int32 kBlock = 256;
    ASSERT_EQ(setup(p, kBlock, 48000, Vst::kSample32), kResultOk);
    ASSERT_EQ(p.component()->setActive(true), kResultOk);
    ASSERT_EQ(p.processor()->setProcessing(true), kResultOk);

    // Buffers for every bus at its default width, and more than any bus count, so the
    // malformed counts below cannot make the module read outside what it was given.
    constexpr float kSentinel = 0.125f;
    std::vector<std::vector<float>> storage;
    std::vector<std::vector<float*>> pointers(140);
    std::vector<Vst::AudioBusBuffers> ins(70), outs(70);
    auto wire = [&](std::vector<Vst::AudioBusBuffers>& side, std::size_t base, const Arrangements& arrs) {
        for (std::size_t b = 0; b < side.size(); ++b)
        {
            const int32 channels = b < arrs.size() ? arrangementChannels(arrs[b]) : 2;
            for (int32 c = 0; c < 66; ++c)
            {
                storage.emplace_back(static_cast<std::size_t>(kBlock) + 1, kSentinel);
                pointers[base + b].push_back(storage.back().data());
            }
            side[b].numChannels = channels;
            side[b].silenceFlags = 0;
        }
    };
    storage.reserve(140 * 66);
    wire(ins, 0, defaultsIn(kind));
    wire(outs, 70, defaultsOut(kind));
    for (std::size_t b = 0; b < 70; ++b)
    {
        ins[b].channelBuffers32 = pointers[b].data();
        outs[b].channelBuffers32 = pointers[70 + b].data();
    }
    ParameterChanges changes;
    const Vst::ParamID probe = kind.parameters[0];
    const double probeBefore = p.controller()->getParamNormalized(probe);

    const std::vector<BadBlock> blocks{
        {"more samples than the set-up's block", [](Vst::ProcessData& d) { d.numSamples = kBlock + 1; }},
        {"a negative sample count", [](Vst::ProcessData& d) { d.numSamples = -1; }},
        {"65 input buses", [](Vst::ProcessData& d) { d.numInputs = 65; }},
        {"65 output buses", [](Vst::ProcessData& d) { d.numOutputs = 65; }},
        {"a negative bus count", [](Vst::ProcessData& d) { d.numOutputs = -1; }},
        {"outputs missing", [](Vst::ProcessData& d) { d.outputs = nullptr; }},
        {"inputs missing", [](Vst::ProcessData& d) { d.numInputs = 1; d.inputs = nullptr; }},
        {"a bus of 65 channels", [](Vst::ProcessData& d) { d.outputs[0].numChannels = 65; }},
        {"a bus of -1 channels", [](Vst::ProcessData& d) { d.outputs[0].numChannels = -1; }},
    };
    for (const BadBlock& bad : blocks)
    {
        SCOPED_TRACE(bad.name);
        for (auto& s : storage)
            std::fill(s.begin(), s.end(), kSentinel);
        std::vector<Vst::AudioBusBuffers> inCopy = ins, outCopy = outs;
        changes.clear();
        ASSERT_TRUE(changes.add(probe, 0, probeBefore > 0.5 ? 0.0 : 1.0));
        Vst::ProcessData d{};
        d.processMode = Vst::kRealtime;
        d.symbolicSampleSize = Vst::kSample32;
        d.numSamples = kBlock;
        d.numInputs = kind.audioInputs;
        d.numOutputs = kind.audioOutputs;
        d.inputs = kind.audioInputs > 0 ? inCopy.data() : nullptr;
        d.outputs = outCopy.data();
        d.inputParameterChanges = &changes;
        bad.spoil(d);
        EXPECT_EQ(resultName(p.processor()->process(d)), resultName(kInvalidArgument));
        EXPECT_EQ(p.controller()->getParamNormalized(probe), probeBefore);
        bool untouched = true;
        for (const auto& s : storage)
            for (float v : s)
                untouched = untouched && v == kSentinel;
        EXPECT_TRUE(untouched) << "a refused block wrote into a buffer";
    }
    p.processor()->setProcessing(false);
    p.component()->setActive(false);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, MalformedCalls, ::testing::ValuesIn(allKinds()), kindTestName);

} // namespace
} // namespace kestravel::plugins::testing_support
