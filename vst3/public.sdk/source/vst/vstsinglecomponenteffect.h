// SingleComponentEffect: one object that is component, audio processor and edit controller.
#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"

// IComponent and IEditController both declare setState/getState (IBStream*). While the controller
// headers are read, its pair is renamed to setEditorState/getEditorState, so a plug-in's
// setState/getState override the component's pair only. This header must therefore come before
// anything else that includes pluginterfaces/vst/ivsteditcontroller.h.
#define setState setEditorState
#define getState getEditorState
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#undef setState
#undef getState

#if !KESTRAVEL_VST3_CONTROLLER_STATE_RENAMED
#error "include public.sdk/source/vst/vstsinglecomponenteffect.h before any header that includes pluginterfaces/vst/ivsteditcontroller.h (or vstparameters.h / vsteditcontroller.h)"
#endif

#include "public.sdk/source/vst/utility/processcontextrequirements.h"
#include "public.sdk/source/vst/vstbus.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace Steinberg {
namespace Vst {

class SingleComponentEffect : public EditControllerEx1,
                              public IComponent,
                              public IAudioProcessor,
                              public IProcessContextRequirements
{
public:
	SingleComponentEffect ();
	~SingleComponentEffect () override;

	// [UI thread]
	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;
	// [UI thread] Removes parameters and all buses, then the controller's state.
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;

	// IComponent [UI thread]
	tresult PLUGIN_API getControllerClassId (TUID /*classID*/) SMTG_OVERRIDE { return kNotImplemented; }
	tresult PLUGIN_API setIoMode (IoMode /*mode*/) SMTG_OVERRIDE { return kNotImplemented; }
	int32 PLUGIN_API getBusCount (MediaType type, BusDirection dir) SMTG_OVERRIDE;
	// kInvalidArgument for an unknown type or direction or an index outside the list.
	tresult PLUGIN_API getBusInfo (MediaType type, BusDirection dir, int32 index, BusInfo& bus) SMTG_OVERRIDE;
	tresult PLUGIN_API getRoutingInfo (RoutingInfo& /*inInfo*/, RoutingInfo& /*outInfo*/) SMTG_OVERRIDE
	{
		return kNotImplemented;
	}
	tresult PLUGIN_API activateBus (MediaType type, BusDirection dir, int32 index, TBool state) SMTG_OVERRIDE;
	tresult PLUGIN_API setActive (TBool /*state*/) SMTG_OVERRIDE { return kResultOk; }
	tresult PLUGIN_API setState (IBStream* /*state*/) SMTG_OVERRIDE { return kNotImplemented; }
	tresult PLUGIN_API getState (IBStream* /*state*/) SMTG_OVERRIDE { return kNotImplemented; }

	// Buses are appended in call order; the returned pointer stays owned by the list.
	AudioBus* addAudioInput (const TChar* name, SpeakerArrangement arr, BusType busType = kMain,
	                         int32 flags = BusInfo::kDefaultActive);
	AudioBus* addAudioOutput (const TChar* name, SpeakerArrangement arr, BusType busType = kMain,
	                          int32 flags = BusInfo::kDefaultActive);
	EventBus* addEventInput (const TChar* name, int32 channels = 16, BusType busType = kMain,
	                         int32 flags = BusInfo::kDefaultActive);
	EventBus* addEventOutput (const TChar* name, int32 channels = 16, BusType busType = kMain,
	                          int32 flags = BusInfo::kDefaultActive);

	tresult removeAudioBusses ();
	tresult removeEventBusses ();
	tresult removeAllBusses ();

	// IAudioProcessor
	// [UI thread, not processing] Stores the first numIns/numOuts arrangements on the buses;
	// kResultFalse when more are given than there are buses.
	tresult PLUGIN_API setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
	                                       SpeakerArrangement* outputs, int32 numOuts) SMTG_OVERRIDE;
	tresult PLUGIN_API getBusArrangement (BusDirection dir, int32 index, SpeakerArrangement& arr) SMTG_OVERRIDE;
	// The base processes 32-bit samples only.
	tresult PLUGIN_API canProcessSampleSize (int32 symbolicSampleSize) SMTG_OVERRIDE;
	uint32 PLUGIN_API getLatencySamples () SMTG_OVERRIDE { return 0; }
	// Stores the set-up when canProcessSampleSize accepts its sample size, else kResultFalse.
	tresult PLUGIN_API setupProcessing (ProcessSetup& setup) SMTG_OVERRIDE;
	tresult PLUGIN_API setProcessing (TBool /*state*/) SMTG_OVERRIDE { return kNotImplemented; }
	tresult PLUGIN_API process (ProcessData& /*data*/) SMTG_OVERRIDE { return kNotImplemented; }
	uint32 PLUGIN_API getTailSamples () SMTG_OVERRIDE { return kNoTail; }

	// IProcessContextRequirements
	uint32 PLUGIN_API getProcessContextRequirements () SMTG_OVERRIDE
	{
		return processContextRequirements.flags;
	}

	OBJ_METHODS (SingleComponentEffect, EditControllerEx1)
	// Answers IComponent, IAudioProcessor, IProcessContextRequirements and the controller's
	// interfaces. IConnectionPoint is refused, so a host does not connect the object to itself.
	tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) SMTG_OVERRIDE;
	REFCOUNT_METHODS (EditControllerEx1)

protected:
	BusList* getBusList (MediaType type, BusDirection dir);

	ProcessSetup processSetup;
	ProcessContextRequirements processContextRequirements;

	BusList audioInputs;
	BusList audioOutputs;
	BusList eventInputs;
	BusList eventOutputs;
};

} // namespace Vst
} // namespace Steinberg
