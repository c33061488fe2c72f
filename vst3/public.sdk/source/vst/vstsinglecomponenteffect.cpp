#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

namespace Steinberg {
namespace Vst {

SingleComponentEffect::SingleComponentEffect ()
: audioInputs (kAudio, kInput)
, audioOutputs (kAudio, kOutput)
, eventInputs (kEvent, kInput)
, eventOutputs (kEvent, kOutput)
{
	processSetup.maxSamplesPerBlock = 1024;
	processSetup.processMode = kRealtime;
	processSetup.sampleRate = 44100.0;
	processSetup.symbolicSampleSize = kSample32;
}

SingleComponentEffect::~SingleComponentEffect () = default;

tresult PLUGIN_API SingleComponentEffect::initialize (FUnknown* context)
{
	return EditControllerEx1::initialize (context);
}

tresult PLUGIN_API SingleComponentEffect::terminate ()
{
	parameters.removeAll ();
	removeAllBusses ();
	return EditControllerEx1::terminate ();
}

int32 PLUGIN_API SingleComponentEffect::getBusCount (MediaType type, BusDirection dir)
{
	BusList* busList = getBusList (type, dir);
	return busList ? static_cast<int32> (busList->size ()) : 0;
}

tresult PLUGIN_API SingleComponentEffect::getBusInfo (MediaType type, BusDirection dir, int32 index,
                                                      BusInfo& info)
{
	BusList* busList = getBusList (type, dir);
	if (!busList || index < 0 || index >= static_cast<int32> (busList->size ()))
		return kInvalidArgument;
	Bus* bus = (*busList)[static_cast<size_t> (index)];
	if (!bus)
		return kResultFalse;
	info.mediaType = type;
	info.direction = dir;
	return bus->getInfo (info) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API SingleComponentEffect::activateBus (MediaType type, BusDirection dir, int32 index,
                                                       TBool state)
{
	BusList* busList = getBusList (type, dir);
	if (!busList || index < 0 || index >= static_cast<int32> (busList->size ()))
		return kInvalidArgument;
	Bus* bus = (*busList)[static_cast<size_t> (index)];
	if (!bus)
		return kResultFalse;
	bus->setActive (state);
	return kResultTrue;
}

AudioBus* SingleComponentEffect::addAudioInput (const TChar* name, SpeakerArrangement arr,
                                                BusType busType, int32 flags)
{
	auto* bus = new AudioBus (name, busType, flags, arr);
	audioInputs.push_back (IPtr<Bus> (bus, false));
	return bus;
}

AudioBus* SingleComponentEffect::addAudioOutput (const TChar* name, SpeakerArrangement arr,
                                                 BusType busType, int32 flags)
{
	auto* bus = new AudioBus (name, busType, flags, arr);
	audioOutputs.push_back (IPtr<Bus> (bus, false));
	return bus;
}

EventBus* SingleComponentEffect::addEventInput (const TChar* name, int32 channels, BusType busType,
                                                int32 flags)
{
	auto* bus = new EventBus (name, busType, flags, channels);
	eventInputs.push_back (IPtr<Bus> (bus, false));
	return bus;
}

EventBus* SingleComponentEffect::addEventOutput (const TChar* name, int32 channels, BusType busType,
                                                 int32 flags)
{
	auto* bus = new EventBus (name, busType, flags, channels);
	eventOutputs.push_back (IPtr<Bus> (bus, false));
	return bus;
}

tresult SingleComponentEffect::removeAudioBusses ()
{
	audioInputs.clear ();
	audioOutputs.clear ();
	return kResultOk;
}

tresult SingleComponentEffect::removeEventBusses ()
{
	eventInputs.clear ();
	eventOutputs.clear ();
	return kResultOk;
}

tresult SingleComponentEffect::removeAllBusses ()
{
	removeAudioBusses ();
	removeEventBusses ();
	return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                              SpeakerArrangement* outputs, int32 numOuts)
{
	if (numIns < 0 || numOuts < 0)
		return kInvalidArgument;
	if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
		return kInvalidArgument;
	if (numIns > static_cast<int32> (audioInputs.size ()) || numOuts > static_cast<int32> (audioOutputs.size ()))
		return kResultFalse;

	for (int32 i = 0; i < numIns; ++i)
		if (auto* bus = FCast<AudioBus> (audioInputs[static_cast<size_t> (i)].get ()))
			bus->setArrangement (inputs[i]);
	for (int32 i = 0; i < numOuts; ++i)
		if (auto* bus = FCast<AudioBus> (audioOutputs[static_cast<size_t> (i)].get ()))
			bus->setArrangement (outputs[i]);
	return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::getBusArrangement (BusDirection dir, int32 index,
                                                             SpeakerArrangement& arr)
{
	BusList* busList = getBusList (kAudio, dir);
	if (!busList || index < 0 || index >= static_cast<int32> (busList->size ()))
		return kInvalidArgument;
	if (auto* audioBus = FCast<AudioBus> ((*busList)[static_cast<size_t> (index)].get ()))
	{
		arr = audioBus->getArrangement ();
		return kResultTrue;
	}
	return kResultFalse;
}

tresult PLUGIN_API SingleComponentEffect::setupProcessing (ProcessSetup& newSetup)
{
	if (canProcessSampleSize (newSetup.symbolicSampleSize) != kResultTrue)
		return kResultFalse;
	processSetup = newSetup;
	return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::canProcessSampleSize (int32 symbolicSampleSize)
{
	return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

BusList* SingleComponentEffect::getBusList (MediaType type, BusDirection dir)
{
	if (dir != kInput && dir != kOutput)
		return nullptr;
	if (type == kAudio)
		return dir == kInput ? &audioInputs : &audioOutputs;
	if (type == kEvent)
		return dir == kInput ? &eventInputs : &eventOutputs;
	return nullptr;
}

tresult PLUGIN_API SingleComponentEffect::queryInterface (const TUID _iid, void** obj)
{
	if (FUnknownPrivate::iidEqual (_iid, IConnectionPoint::iid))
	{
		*obj = nullptr;
		return kNoInterface;
	}
	QUERY_INTERFACE (_iid, obj, IComponent::iid, IComponent)
	QUERY_INTERFACE (_iid, obj, IAudioProcessor::iid, IAudioProcessor)
	QUERY_INTERFACE (_iid, obj, IProcessContextRequirements::iid, IProcessContextRequirements)
	return EditControllerEx1::queryInterface (_iid, obj);
}

} // namespace Vst
} // namespace Steinberg
