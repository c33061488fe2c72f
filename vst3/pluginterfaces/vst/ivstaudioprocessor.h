// IAudioProcessor: bus arrangements, processing set-up and the per-block process call.
#pragma once

#include "ivstcomponent.h"
#include "vstspeaker.h"

#include "pluginterfaces/base/falignpush.h"

#ifndef kVstAudioEffectClass
#define kVstAudioEffectClass "Audio Module Class"
#endif

namespace Steinberg {
namespace Vst {

class IEventList;
class IParameterChanges;
struct ProcessContext;

// Sub-category strings of a class (joined with '|').
namespace PlugType {
constexpr const CString kFx = "Fx";
constexpr const CString kFxAnalyzer = "Fx|Analyzer";
constexpr const CString kFxDelay = "Fx|Delay";
constexpr const CString kFxDynamics = "Fx|Dynamics";
constexpr const CString kFxEQ = "Fx|EQ";
constexpr const CString kFxGenerator = "Fx|Generator";
constexpr const CString kFxMastering = "Fx|Mastering";
constexpr const CString kFxNetwork = "Fx|Network";
constexpr const CString kFxRestoration = "Fx|Restoration";
constexpr const CString kFxSpatial = "Fx|Spatial";
constexpr const CString kFxSurround = "Fx|Surround";
constexpr const CString kFxTools = "Fx|Tools";
constexpr const CString kInstrument = "Instrument";
constexpr const CString kAnalyzer = "Analyzer";
constexpr const CString kNoOfflineProcess = "NoOfflineProcess";
constexpr const CString kOnlyOfflineProcess = "OnlyOfflineProcess";
constexpr const CString kOnlyRealTime = "OnlyRT";
constexpr const CString kSpatial = "Spatial";
constexpr const CString kUpDownMix = "Up-Downmix";
constexpr const CString kMono = "Mono";
constexpr const CString kStereo = "Stereo";
constexpr const CString kSurround = "Surround";
} // namespace PlugType

enum ComponentFlags
{
	kDistributable = 1 << 0,
	kSimpleModeSupported = 1 << 1
};

enum SymbolicSampleSizes
{
	kSample32,
	kSample64
};

enum ProcessModes
{
	kRealtime,
	kPrefetch,
	kOffline
};

static const uint32 kNoTail = 0;
static const uint32 kInfiniteTail = kMaxInt32u;

struct ProcessSetup
{
	int32 processMode;
	int32 symbolicSampleSize;
	int32 maxSamplesPerBlock;
	SampleRate sampleRate;
};

// Channel buffers of one bus; which union member is valid follows ProcessData::symbolicSampleSize.
struct AudioBusBuffers
{
	AudioBusBuffers () : numChannels (0), silenceFlags (0), channelBuffers64 (nullptr) {}

	int32 numChannels;
	// Bit c set: channel c holds silence.
	uint64 silenceFlags;
	union
	{
		Sample32** channelBuffers32;
		Sample64** channelBuffers64;
	};
};

struct ProcessData
{
	ProcessData ()
	: processMode (0)
	, symbolicSampleSize (kSample32)
	, numSamples (0)
	, numInputs (0)
	, numOutputs (0)
	, inputs (nullptr)
	, outputs (nullptr)
	, inputParameterChanges (nullptr)
	, outputParameterChanges (nullptr)
	, inputEvents (nullptr)
	, outputEvents (nullptr)
	, processContext (nullptr)
	{
	}

	int32 processMode;
	int32 symbolicSampleSize;
	int32 numSamples;
	int32 numInputs;
	int32 numOutputs;
	AudioBusBuffers* inputs;
	AudioBusBuffers* outputs;

	IParameterChanges* inputParameterChanges;
	IParameterChanges* outputParameterChanges;
	IEventList* inputEvents;
	IEventList* outputEvents;
	ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown
{
public:
	virtual tresult PLUGIN_API setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
	                                               SpeakerArrangement* outputs, int32 numOuts) = 0;
	virtual tresult PLUGIN_API getBusArrangement (BusDirection dir, int32 index, SpeakerArrangement& arr) = 0;
	virtual tresult PLUGIN_API canProcessSampleSize (int32 symbolicSampleSize) = 0;
	virtual uint32 PLUGIN_API getLatencySamples () = 0;
	virtual tresult PLUGIN_API setupProcessing (ProcessSetup& setup) = 0;
	virtual tresult PLUGIN_API setProcessing (TBool state) = 0;
	virtual tresult PLUGIN_API process (ProcessData& data) = 0;
	virtual uint32 PLUGIN_API getTailSamples () = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IAudioProcessor, 0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D)

class IAudioPresentationLatency : public FUnknown
{
public:
	virtual tresult PLUGIN_API setAudioPresentationLatencySamples (BusDirection dir, int32 busIndex,
	                                                               uint32 latencyInSamples) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IAudioPresentationLatency, 0x309ECE78, 0xEB7D4FAE, 0x8B2225D9, 0x09FD08B6)

// Tells the host which ProcessContext fields the plug-in reads.
class IProcessContextRequirements : public FUnknown
{
public:
	enum Flags
	{
		kNeedSystemTime = 1 << 0,
		kNeedContinousTimeSamples = 1 << 1,
		kNeedProjectTimeMusic = 1 << 2,
		kNeedBarPositionMusic = 1 << 3,
		kNeedCycleMusic = 1 << 4,
		kNeedSamplesToNextClock = 1 << 5,
		kNeedTempo = 1 << 6,
		kNeedTimeSignature = 1 << 7,
		kNeedChord = 1 << 8,
		kNeedFrameRate = 1 << 9,
		kNeedTransportState = 1 << 10,
	};

	virtual uint32 PLUGIN_API getProcessContextRequirements () = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IProcessContextRequirements, 0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0)

} // namespace Vst
} // namespace Steinberg

#include "pluginterfaces/base/falignpop.h"
