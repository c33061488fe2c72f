#include "plugins/utility_plugin.h"

#include "editor/view.h"
#include "engine/block_processor.h"
#include "plugins/strip_count_parameter.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <cmath>
#include <cstring>
#include <string>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Largest channel count a single bus of the kind accepts, per direction.
int32 maxInputChannels(ModuleKind kind)
{
    switch (kind) {
    case SUMMING:
    case FADER_BANK:
    case DISTRIBUTOR: return 2;
    default: return 64;
    }
}

int32 maxOutputChannels(ModuleKind kind)
{
    switch (kind) {
    case BREAKOUT: return 1;
    case SUMMING:
    case FADER_BANK:
    case DISTRIBUTOR: return 2;
    default: return 64;
    }
}

int32 speakerCount(SpeakerArrangement arr)
{
    int32 count = 0;
    for (uint64 bits = arr; bits != 0; bits &= bits - 1)
        ++count;
    return count;
}

// Names and titles are built as 8-bit text and widened to the SDK's 16-bit strings.
void widen(const std::string& text, String128 out)
{
    size_t i = 0;
    for (; i < text.size() && i + 1 < 128; ++i)
        out[i] = static_cast<TChar>(text[i]);
    out[i] = 0;
}

} // namespace

UtilityPlugin::UtilityPlugin(ModuleKind moduleKind)
    : ModuleCore(moduleKind)
{
    processContextRequirements = ProcessContextRequirements(
        IProcessContextRequirements::kNeedContinousTimeSamples |
        IProcessContextRequirements::kNeedTransportState);
}

UtilityPlugin::~UtilityPlugin()
{
    recorder.stopCapture();
    recorder.stopWriter();
}

FUnknown* UtilityPlugin::createInstance(ModuleKind moduleKind)
{
    auto* plugin = new UtilityPlugin(moduleKind);
    return static_cast<IComponent*>(plugin);
}

tresult PLUGIN_API UtilityPlugin::initialize(FUnknown* context)
{
    const tresult result = SingleComponentEffect::initialize(context);
    if (result != kResultOk)
        return result;
    createBuses();
    createParameters();
    return kResultOk;
}

tresult PLUGIN_API UtilityPlugin::terminate()
{
    for (auto& active : inputBusActive)
        active.store(false);
    for (auto& active : outputBusActive)
        active.store(false);
    return SingleComponentEffect::terminate();
}

void UtilityPlugin::createBuses()
{
    String128 name;
    for (int32 i = 0; i < audioInputBusCount(kind); ++i) {
        widen("Input " + std::to_string(i + 1), name);
        addAudioInput(name, SpeakerArr::kStereo, i == 0 ? kMain : kAux,
                      i == 0 ? BusInfo::kDefaultActive : 0);
    }
    const SpeakerArrangement outArr = kind == BREAKOUT ? SpeakerArr::kMono : SpeakerArr::kStereo;
    for (int32 i = 0; i < audioOutputBusCount(kind); ++i) {
        widen("Output " + std::to_string(i + 1), name);
        addAudioOutput(name, outArr, i == 0 ? kMain : kAux, i == 0 ? BusInfo::kDefaultActive : 0);
    }
    if (kind == PLAYER)
        addEventOutput(STR16("Player Sync"), 1, kMain, BusInfo::kDefaultActive);
    if (kind == RECORDER)
        addEventInput(STR16("Recorder Sync"), 1, kMain, BusInfo::kDefaultActive);
}

void UtilityPlugin::createParameters()
{
    const int32 automate = ParameterInfo::kCanAutomate;
    auto addRange = [&](const TChar* title, ParamID id, const TChar* unitText, double minPlain,
                        double maxPlain, double defPlain, int32 steps, UnitID unit = kRootUnitId) {
        parameters.addParameter(new RangeParameter(title, id, unitText, minPlain, maxPlain, defPlain,
                                                   steps, automate, unit));
    };
    auto addToggle = [&](const TChar* title, ParamID id, double defNormalized, UnitID unit = kRootUnitId,
                         int32 flags = 0) {
        parameters.addParameter(title, nullptr, 1, defNormalized, automate | flags, static_cast<int32>(id),
                                unit);
    };
    // Every kind lists the root unit its parameters sit in: hosts that walk units expect it.
    addUnit(new Unit(STR16("Root"), kRootUnitId, kNoParentUnitId));
    // Hosts list FADER BANK's 129 parameters as one group per strip instead of one long list.
    auto addStrips = [&]() {
        String128 title;
        for (uint32_t i = 0; i < kMaxStrips; ++i) {
            const std::string strip = "Fader " + std::to_string(i + 1);
            const auto unit = static_cast<UnitID>(i + 1);
            widen("Strip " + std::to_string(i + 1), title);
            addUnit(new Unit(title, unit, kRootUnitId));
            widen(strip + " gain", title);
            addRange(title, kFaderGainParamBase + i, STR16("dB"), -90.0, 12.0, 0.0, 0, unit);
            widen(strip + " mute", title);
            addToggle(title, kFaderMuteParamBase + i, 0.0, unit);
        }
    };
    auto addActive = [&]() {
        parameters.addParameter(
            new StripCountParameter(STR16("Active strips / branches"), kActiveStripsParam, automate));
    };
    auto addGain = [&]() {
        addRange(STR16("Gain"), kGainParam, STR16("dB"), -90.0, 12.0, 0.0, 0);
    };
    auto addTransport = [&]() {
        addToggle(STR16("Follow DAW transport"), kFollowTransportParam, 1.0);
        addToggle(STR16("Play / Record"), kPlayRecordParam, 0.0);
    };

    switch (kind) {
    case INPUT:
    case OUTPUT: addGain(); break;
    case SUMMING:
    case BREAKOUT:
    case DISTRIBUTOR:
        addActive();
        addGain();
        break;
    case FADER_BANK:
        addActive();
        addStrips();
        break;
    case PLAYER:
        addTransport();
        addToggle(STR16("Chase DAW position"), kChasePositionParam, 1.0);
        break;
    case RECORDER:
        addTransport();
        addRange(STR16("Tail silence time"), kTailSilenceTimeParam, STR16("s"), 0.0, 10.0, 0.5, 0);
        addRange(STR16("Maximum tail"), kMaximumTailParam, STR16("s"), 0.0, 3600.0, 30.0, 0);
        addToggle(STR16("Timestamp takes (BWF)"), kTimestampTakesParam, 1.0);
        break;
    }
    // Last, so the ids and order hosts already know stay as they were.
    addToggle(STR16("Bypass"), kBypassParam, 0.0, kRootUnitId, ParameterInfo::kIsBypass);
}

ParamValue PLUGIN_API UtilityPlugin::getParamNormalized(ParamID id)
{
    return readParamValue(paramValues, id);
}

tresult PLUGIN_API UtilityPlugin::setParamNormalized(ParamID id, ParamValue value)
{
    storeParamValue(paramValues, id, value);
    return SingleComponentEffect::setParamNormalized(id, value);
}

tresult PLUGIN_API UtilityPlugin::getParamValueByString(ParamID id, TChar* string,
                                                       ParamValue& valueNormalized)
{
    ParamValue parsed = 0.0;
    const tresult result = SingleComponentEffect::getParamValueByString(id, string, parsed);
    if (result != kResultTrue)
        return result;
    // "nan", "inf" or a number past the double range is no value, even where the range clamp
    // would turn it into one.
    double number = 0.0;
    const bool numberIsFinite =
        UString(string, static_cast<int32>(tstrlen(string))).scanFloat(number) &&
        std::isfinite(number);
    if (!numberIsFinite || !std::isfinite(parsed))
        return kResultFalse;
    valueNormalized = parsed;
    return kResultTrue;
}

tresult UtilityPlugin::applyEditorEdit(ParamID id, ParamValue value)
{
    beginEdit(id);
    storeParamValue(paramValues, id, value);
    SingleComponentEffect::setParamNormalized(id, value);
    performEdit(id, value);
    return endEdit(id);
}

void UtilityPlugin::beginEditorGesture(uint32_t id)
{
    beginEdit(id);
}

void UtilityPlugin::performEditorGesture(uint32_t id, double value)
{
    storeParamValue(paramValues, id, value);
    SingleComponentEffect::setParamNormalized(id, value);
    performEdit(id, value);
}

void UtilityPlugin::endEditorGesture(uint32_t id)
{
    endEdit(id);
}

IPlugView* PLUGIN_API UtilityPlugin::createView(FIDString name)
{
    if (name == nullptr || std::strcmp(name, "editor") != 0)
        return nullptr;
    return createEditorView(*this, *this, static_cast<IComponent*>(this), this);
}

int32_t UtilityPlugin::busChannelCount(BusDirection direction, int32_t busIndex) const
{
    BusInfo info{};
    auto* self = const_cast<UtilityPlugin*>(this);
    if (self->getBusInfo(kAudio, direction, busIndex, info) != kResultTrue)
        return 0;
    return info.channelCount;
}

tresult PLUGIN_API UtilityPlugin::activateBus(MediaType type, BusDirection dir, int32 index,
                                              TBool state)
{
    // Some SDK versions index their bus list unchecked and throw through the host call.
    if (index < 0)
        return kInvalidArgument;
    const tresult result = SingleComponentEffect::activateBus(type, dir, index, state);
    if (result == kResultTrue && type == kAudio && index < kMaxBuses) {
        auto& mirror = dir == kInput ? inputBusActive : outputBusActive;
        mirror[static_cast<size_t>(index)].store(state != 0);
    }
    return result;
}

tresult PLUGIN_API UtilityPlugin::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                     SpeakerArrangement* outputs, int32 numOuts)
{
    if (isProcessing.load())
        return kResultFalse;
    if (numIns < 0 || numOuts < 0 || (numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
        return kResultFalse;
    if (numIns != audioInputBusCount(kind) || numOuts != audioOutputBusCount(kind))
        return kResultFalse;
    for (int32 i = 0; i < numIns; ++i)
        if (inputs[i] == 0 || speakerCount(inputs[i]) > maxInputChannels(kind))
            return kResultFalse;
    for (int32 i = 0; i < numOuts; ++i)
        if (outputs[i] == 0 || speakerCount(outputs[i]) > maxOutputChannels(kind))
            return kResultFalse;
    if (kind == FADER_BANK)
        for (int32 i = 0; i < numIns; ++i)
            if (outputs[i] != inputs[i])
                return kResultFalse;
    return SingleComponentEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
}

tresult PLUGIN_API UtilityPlugin::getBusArrangement(BusDirection dir, int32 index,
                                                    SpeakerArrangement& arr)
{
    if (dir != kInput && dir != kOutput)
        return kInvalidArgument;
    const int32 count = dir == kInput ? audioInputBusCount(kind) : audioOutputBusCount(kind);
    if (index < 0 || index >= count)
        return kInvalidArgument;
    return SingleComponentEffect::getBusArrangement(dir, index, arr);
}

tresult PLUGIN_API UtilityPlugin::canProcessSampleSize(int32 symbolicSampleSize)
{
    return symbolicSampleSize == kSample32 || symbolicSampleSize == kSample64 ? kResultTrue
                                                                               : kResultFalse;
}

tresult PLUGIN_API UtilityPlugin::setupProcessing(ProcessSetup& setup)
{
    if (setup.maxSamplesPerBlock < 1 || setup.maxSamplesPerBlock > 65536 ||
        !(setup.sampleRate >= 8000.0 && setup.sampleRate <= 384000.0) ||
        (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64))
        return kInvalidArgument;
    const tresult result = SingleComponentEffect::setupProcessing(setup);
    if (result != kResultOk)
        return result;
    sampleRate = setup.sampleRate;
    maxBlockSize = setup.maxSamplesPerBlock;
    player.offline.store(setup.processMode == kOffline); // a bounce waits for a streamed file's reader
    resizeScratch(maxBlockSize);
    if (kind == RECORDER && !reserveRecorderRing())
        return kResultFalse;
    return kResultOk;
}

void UtilityPlugin::stopTransportState()
{
    isProcessing.store(false);
    player.stopPlayback();
    recorder.stopCapture();
}

tresult PLUGIN_API UtilityPlugin::setProcessing(TBool state)
{
    if (state) {
        isProcessing.store(true);
        return kResultOk;
    }
    stopTransportState();
    paramValues[kPlayRecordParam].exchange(0.0);
    syncRunning = false;
    gainStatePrimed = false;
    return kResultOk;
}

tresult PLUGIN_API UtilityPlugin::process(ProcessData& data)
{
    return processBlock(*this, data);
}

} // namespace kestravel::plugins
