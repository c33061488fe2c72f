// The block frame under libFuzzer: random kinds, set-ups and tables of channel loops, random
// ProcessData (counts, null pointers, huge offsets, non-finite samples, lying queue and event
// counts, malformed sync messages) into processBlock. Every buffer is allocated to exactly its
// declared size, so AddressSanitizer catches any access past it. The result code, the clock,
// the written samples and the silence flags are checked against the rules.

#include "engine/block_processor.h"
#include "engine/channel_kernels.h"
#include "engine/engine_state.h"
#include "engine/module_core.h"
#include "fileaudio/preloaded_audio.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace kestravel::plugins;

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition))                                                                       \
            std::abort();                                                                       \
    } while (0)

template <typename Interface>
class Uncounted : public Interface {
public:
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

struct Point {
    int32 offset;
    double value;
    tresult result;
};

// Counts may claim more (or fewer) entries than exist; indices past the real ones fail.
class Queue final : public Uncounted<IParamValueQueue> {
public:
    ParamID id = 0;
    int32 claimed = 0;
    std::vector<Point> points;
    ParamID PLUGIN_API getParameterId() override { return id; }
    int32 PLUGIN_API getPointCount() override { return claimed; }
    tresult PLUGIN_API getPoint(int32 index, int32& offset, ParamValue& value) override
    {
        if (index < 0 || static_cast<size_t>(index) >= points.size())
            return kInvalidArgument;
        offset = points[static_cast<size_t>(index)].offset;
        value = points[static_cast<size_t>(index)].value;
        return points[static_cast<size_t>(index)].result;
    }
    tresult PLUGIN_API addPoint(int32, ParamValue, int32&) override { return kResultFalse; }
};

class Changes final : public Uncounted<IParameterChanges> {
public:
    int32 claimed = 0;
    std::vector<std::unique_ptr<Queue>> queues; // null entries are null answers
    int32 PLUGIN_API getParameterCount() override { return claimed; }
    IParamValueQueue* PLUGIN_API getParameterData(int32 index) override
    {
        if (index < 0 || static_cast<size_t>(index) >= queues.size())
            return nullptr;
        return queues[static_cast<size_t>(index)].get();
    }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID&, int32&) override { return nullptr; }
};

class Events final : public Uncounted<IEventList> {
public:
    int32 claimed = 0;
    std::vector<Event> events;
    std::vector<tresult> results;
    std::vector<std::vector<uint8>> payloads; // each exactly its declared size
    int added = 0;
    int32 PLUGIN_API getEventCount() override { return claimed; }
    tresult PLUGIN_API getEvent(int32 index, Event& e) override
    {
        if (index < 0 || static_cast<size_t>(index) >= events.size())
            return kInvalidArgument;
        e = events[static_cast<size_t>(index)];
        return results[static_cast<size_t>(index)];
    }
    tresult PLUGIN_API addEvent(Event& e) override
    {
        // What the module emits must be a well-formed message inside the block.
        FUZZ_CHECK(e.type == Event::kDataEvent && e.data.size == 7 && e.data.bytes != nullptr);
        FUZZ_CHECK(e.data.bytes[0] == 0xF0 && e.data.bytes[6] == 0xF7);
        FUZZ_CHECK(e.sampleOffset >= 0 && e.sampleOffset < blockSamples);
        ++added;
        return kResultOk;
    }
    int32 blockSamples = 0;
};

double sampleValue(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return std::numeric_limits<double>::infinity();
    case 2: return -std::numeric_limits<double>::infinity();
    case 3: return in.ConsumeBool() ? 1.0e300 : 3.0e38;
    case 4: return 1.0e-310;
    case 5: return 0.0;
    default: return in.ConsumeFloatingPointInRange<double>(-2.0, 2.0);
    }
}

int32 count(FuzzedDataProvider& in, int32 typical)
{
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: return -1 - in.ConsumeIntegralInRange<int32>(0, 5);
    case 1: return 65 + in.ConsumeIntegralInRange<int32>(0, 3);
    case 2: return std::numeric_limits<int32>::max();
    default: return in.ConsumeIntegralInRange<int32>(0, typical);
    }
}

template <typename S>
struct HostBuses {
    std::vector<AudioBusBuffers> buses;
    std::vector<std::unique_ptr<S*[]>> pointerArrays;
    std::vector<std::unique_ptr<S[]>> channels;
    std::vector<std::vector<S*>> written; // output channel pointers the module may write
};

// Buses for a block of n samples; n <= 0 gets buffers of one sample that must stay untouched.
template <typename S>
void makeBuses(FuzzedDataProvider& in, HostBuses<S>& host, int32 declared, int32 samples,
               bool fill)
{
    const int32 built = std::clamp(declared, 0, 64);
    host.buses.resize(static_cast<size_t>(built));
    host.written.resize(static_cast<size_t>(built));
    const size_t length = samples > 0 ? static_cast<size_t>(samples) : 1;
    for (int32 b = 0; b < built; ++b) {
        AudioBusBuffers& bus = host.buses[static_cast<size_t>(b)];
        bus.numChannels = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? count(in, 66)
                                                                       : in.ConsumeIntegralInRange<int32>(0, 3);
        bus.silenceFlags = in.ConsumeIntegral<uint64>();
        bus.channelBuffers32 = nullptr;
        if (bus.numChannels < 0 || bus.numChannels > 64 || in.ConsumeIntegralInRange<int>(0, 15) == 0)
            continue; // invalid count, or no array at all
        auto pointers = std::make_unique<S*[]>(static_cast<size_t>(bus.numChannels));
        for (int32 c = 0; c < bus.numChannels; ++c) {
            pointers[static_cast<size_t>(c)] = nullptr;
            if (in.ConsumeIntegralInRange<int>(0, 15) == 0)
                continue;
            auto buffer = std::make_unique<S[]>(length);
            for (size_t i = 0; i < length; ++i)
                buffer[i] = fill ? static_cast<S>(sampleValue(in)) : S(7);
            pointers[static_cast<size_t>(c)] = buffer.get();
            host.channels.push_back(std::move(buffer));
        }
        if constexpr (std::is_same_v<S, float>)
            bus.channelBuffers32 = pointers.get();
        else
            bus.channelBuffers64 = pointers.get();
        for (int32 c = 0; c < bus.numChannels; ++c)
            host.written[static_cast<size_t>(b)].push_back(pointers[static_cast<size_t>(c)]);
        host.pointerArrays.push_back(std::move(pointers));
    }
}

template <typename S>
void runBlock(FuzzedDataProvider& in, ModuleCore& core, int32 sampleSize)
{
    ProcessData data;
    data.symbolicSampleSize = sampleSize;
    data.numSamples = in.ConsumeIntegralInRange<int>(0, 7) == 0
                          ? count(in, core.maxBlockSize + 2)
                          : in.ConsumeIntegralInRange<int32>(0, core.maxBlockSize);
    const int32 samples = data.numSamples >= 0 && data.numSamples <= core.maxBlockSize ? data.numSamples : 0;
    data.numInputs = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? count(in, 66)
                                                                : in.ConsumeIntegralInRange<int32>(0, 3);
    data.numOutputs = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? count(in, 66)
                                                                 : in.ConsumeIntegralInRange<int32>(0, 4);
    HostBuses<S> inputs, outputs;
    makeBuses(in, inputs, data.numInputs, samples, true);
    makeBuses(in, outputs, data.numOutputs, samples, false);
    data.inputs = inputs.buses.empty() || in.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : inputs.buses.data();
    data.outputs = outputs.buses.empty() || in.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : outputs.buses.data();

    Changes changes;
    if (in.ConsumeBool()) {
        const int32 queues = in.ConsumeIntegralInRange<int32>(0, 6);
        for (int32 q = 0; q < queues; ++q) {
            if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
                changes.queues.push_back(nullptr);
                continue;
            }
            auto queue = std::make_unique<Queue>();
            queue->id = in.ConsumeBool() ? in.ConsumeIntegralInRange<ParamID>(0, 700) : in.ConsumeIntegral<ParamID>();
            const int32 points = in.ConsumeIntegralInRange<int32>(0, 6);
            for (int32 k = 0; k < points; ++k) {
                const int32 offset = in.ConsumeIntegralInRange<int>(0, 7) == 0
                                         ? in.ConsumeIntegral<int32>()
                                         : in.ConsumeIntegralInRange<int32>(-1, samples + 1);
                const double value = in.ConsumeBool() ? sampleValue(in) : in.ConsumeProbability<double>();
                queue->points.push_back({offset, value, in.ConsumeIntegralInRange<int>(0, 7) == 0 ? kResultFalse : kResultOk});
            }
            queue->claimed = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? count(in, 8) : points;
            changes.queues.push_back(std::move(queue));
        }
        changes.claimed = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? count(in, 8) : queues;
        data.inputParameterChanges = &changes;
    }

    Events events;
    events.blockSamples = samples;
    if (in.ConsumeBool()) {
        const int32 n = in.ConsumeIntegralInRange<int32>(0, 4);
        events.payloads.reserve(static_cast<size_t>(n));
        for (int32 e = 0; e < n; ++e) {
            Event ev;
            std::memset(&ev, 0, sizeof(ev));
            ev.busIndex = in.ConsumeIntegralInRange<int32>(-1, 2);
            ev.sampleOffset = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? in.ConsumeIntegral<int32>()
                                                                        : in.ConsumeIntegralInRange<int32>(-1, samples);
            ev.type = in.ConsumeBool() ? static_cast<uint16>(Event::kDataEvent) : in.ConsumeIntegral<uint16>();
            ev.data.type = in.ConsumeBool() ? 0u : in.ConsumeIntegral<uint32>();
            const auto size = in.ConsumeIntegralInRange<uint32>(0, 9);
            std::vector<uint8> payload(size);
            for (uint32 i = 0; i < size; ++i) {
                static const uint8 message[] = {0xF0, 0x7D, 'K', 'T', 'S', 0x01, 0xF7, 0x00, 0x00};
                payload[i] = in.ConsumeBool() ? message[i] : in.ConsumeIntegral<uint8>();
            }
            if (size == 7 && in.ConsumeBool())
                payload[5] = in.ConsumeIntegralInRange<uint8>(0, 3);
            events.payloads.push_back(std::move(payload));
            ev.data.size = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? in.ConsumeIntegralInRange<uint32>(0, size) : size;
            ev.data.bytes = in.ConsumeIntegralInRange<int>(0, 7) == 0 || size == 0 ? nullptr : events.payloads.back().data();
            events.events.push_back(ev);
            events.results.push_back(in.ConsumeIntegralInRange<int>(0, 7) == 0 ? kResultFalse : kResultOk);
        }
        events.claimed = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? count(in, 8) : n;
        data.inputEvents = &events;
    }
    Events emitted;
    emitted.blockSamples = samples;
    if (in.ConsumeBool())
        data.outputEvents = &emitted;

    ProcessContext context;
    std::memset(&context, 0, sizeof(context));
    if (in.ConsumeBool()) {
        context.state = in.ConsumeIntegral<uint32>();
        context.continousTimeSamples = in.ConsumeBool() ? in.ConsumeIntegral<int64>()
                                                        : in.ConsumeIntegralInRange<int64>(-10, 1 << 20);
        data.processContext = &context;
    }

    // The rules, worked out before the call.
    bool valid = data.numSamples >= 0 && data.numSamples <= core.maxBlockSize && data.numInputs >= 0 &&
                 data.numInputs <= 64 && data.numOutputs >= 0 && data.numOutputs <= 64 &&
                 (data.numInputs == 0 || data.inputs != nullptr) && (data.numOutputs == 0 || data.outputs != nullptr);
    for (int32 b = 0; valid && b < data.numInputs; ++b)
        valid = static_cast<uint32>(data.inputs[b].numChannels) <= 64u;
    for (int32 b = 0; valid && b < data.numOutputs; ++b)
        valid = static_cast<uint32>(data.outputs[b].numChannels) <= 64u;
    int64 clock = core.sampleClock;
    if (valid && data.processContext && (context.state & ProcessContext::kContTimeValid) &&
        context.continousTimeSamples >= 0)
        clock = context.continousTimeSamples;
    const bool renders = valid && data.numSamples > 0;
    const bool knownSize = sampleSize == kSample32 || sampleSize == kSample64;
    std::vector<uint64> flagsBefore;
    for (auto& bus : outputs.buses)
        flagsBefore.push_back(bus.silenceFlags);

    const tresult result = processBlock(core, data);

    if (!valid) {
        FUZZ_CHECK(result == kInvalidArgument);
        return;
    }
    if (renders && !knownSize) {
        FUZZ_CHECK(result == kInvalidArgument);
        return;
    }
    FUZZ_CHECK(result == kResultOk);
    const int64 expected = clock > std::numeric_limits<int64>::max() - data.numSamples
                               ? std::numeric_limits<int64>::max()
                               : clock + data.numSamples;
    FUZZ_CHECK(core.sampleClock == expected);
    for (int32 b = 0; b < data.numOutputs && renders; ++b) {
        const AudioBusBuffers& bus = data.outputs[b];
        uint64 mayBeSet = 0;
        for (int32 c = 0; c < bus.numChannels; ++c) {
            const S* channel = outputs.written[static_cast<size_t>(b)].empty()
                                   ? nullptr
                                   : outputs.written[static_cast<size_t>(b)][static_cast<size_t>(c)];
            if (channel == nullptr || bus.channelBuffers32 == nullptr)
                continue;
            bool allZero = true;
            for (int32 i = 0; i < data.numSamples; ++i) {
                FUZZ_CHECK(std::isfinite(channel[i])); // never NaN or infinite, never left at 7
                FUZZ_CHECK(channel[i] != S(7));
                allZero = allZero && channel[i] == S(0);
            }
            if (allZero)
                mayBeSet |= uint64{1} << c;
            FUZZ_CHECK(((bus.silenceFlags >> c) & 1u) == (allZero ? 1u : 0u));
        }
        FUZZ_CHECK((bus.silenceFlags & ~mayBeSet) == 0);
    }
    if (!renders)
        for (size_t b = 0; b < outputs.buses.size(); ++b)
            FUZZ_CHECK(outputs.buses[b].silenceFlags == flagsBefore[b]);
}

// One module per kind code, reused: constructing one (its recorder ring and the engine's
// tables) costs more than a fuzz run. Everything a run depends on is reset first; the engine's
// own caches are keyed by the values they hold, so a reused module behaves as a new one.
ModuleCore& moduleFor(int32 code)
{
    static std::unique_ptr<ModuleCore> modules[10];
    auto& module = modules[code];
    if (!module)
        module = std::make_unique<ModuleCore>(static_cast<ModuleKind>(code));
    ModuleCore& core = *module;
    resetParamDefaults(core.paramValues);
    core.syncRunning = false;
    core.gainStatePrimed = false;
    core.masterGainState = 1.0;
    core.stripGainState.fill(0.0);
    core.player.stopPlayback();
    PreloadedAudio nothing; // no file: zero frames
    nothing.channels = 1;
    nothing.sampleRate = 48000;
    core.player.install(std::move(nothing));
    return core;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider in(bytes, size);
    const int32 code = in.ConsumeIntegralInRange<int32>(0, 9);
    ModuleCore& core = moduleFor(code);
    // Any table this processor runs: they share their source but not their code.
    const size_t set = in.ConsumeIntegralInRange<size_t>(0, kInstructionSets.size() - 1);
    const ChannelKernels* table = channelKernelsFor(kInstructionSets[set]);
    core.engine->kernels = table != nullptr ? table : &baselineChannelKernels();
    core.sampleRate = in.ConsumeBool() ? 48000.0 : in.ConsumeFloatingPointInRange<double>(8000.0, 384000.0);
    core.maxBlockSize = in.ConsumeIntegralInRange<int32>(1, 600);
    // Scratch rows as set-up leaves them, or too short, or never sized.
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: core.resizeScratch(0); break;
    case 1: core.resizeScratch(in.ConsumeIntegralInRange<int32>(1, core.maxBlockSize)); break;
    default: core.resizeScratch(core.maxBlockSize); break;
    }
    for (auto& active : core.inputBusActive)
        active.store(in.ConsumeIntegralInRange<int>(0, 7) != 0);
    for (auto& active : core.outputBusActive)
        active.store(in.ConsumeIntegralInRange<int>(0, 7) != 0);
    const int settings = in.ConsumeIntegralInRange<int>(0, 12);
    for (int s = 0; s < settings; ++s)
        storeParamValue(core.paramValues, in.ConsumeIntegralInRange<uint32_t>(0, 511), in.ConsumeProbability<double>());
    if (core.kind == PLAYER && in.ConsumeBool()) {
        PreloadedAudio audio;
        audio.channels = in.ConsumeIntegralInRange<uint32_t>(1, 4);
        audio.sampleRate = in.ConsumeIntegralInRange<uint32_t>(8000, 384000);
        audio.samples.resize(audio.channels * in.ConsumeIntegralInRange<uint32_t>(0, 300), 0.5f);
        core.player.install(std::move(audio));
    }
    core.recorder.sampleRate.store(48000);
    core.sampleClock = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<int64>(0, std::numeric_limits<int64>::max());

    const int blocks = in.ConsumeIntegralInRange<int>(1, 4);
    for (int n = 0; n < blocks && in.remaining_bytes() > 0; ++n) {
        const int32 sampleSize = in.ConsumeIntegralInRange<int>(0, 9) == 0 ? in.ConsumeIntegralInRange<int32>(-1, 3)
                                                                             : in.ConsumeIntegralInRange<int32>(0, 1);
        if (sampleSize == kSample64)
            runBlock<double>(in, core, sampleSize);
        else
            runBlock<float>(in, core, sampleSize);
    }
    return 0;
}
