// SingleComponentEffect as a host drives it: one object behind every interface, the bus lists,
// arrangements, set-up and the split of the two setState/getState pairs.
#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

#include "pluginterfaces/base/ibstream.h"

#include <gtest/gtest.h>

#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

class TestEffect : public SingleComponentEffect
{
public:
	TestEffect ()
	{
		processContextRequirements.needContinousTimeSamples ().needTransportState ();
	}

	tresult PLUGIN_API initialize (FUnknown* context) override
	{
		tresult result = SingleComponentEffect::initialize (context);
		if (result != kResultOk)
			return result;
		addAudioInput (u"Input 1", SpeakerArr::kStereo);
		addAudioInput (u"Input 2", SpeakerArr::kMono, kAux, 0);
		addAudioOutput (u"Output 1", SpeakerArr::kStereo);
		addEventOutput (u"Player Sync", 1);
		parameters.addParameter (new RangeParameter (u"Gain", 1, u"dB", -90., 12., 0.));
		return kResultOk;
	}

	// Component state only; the controller's pair must stay the base's.
	tresult PLUGIN_API setState (IBStream*) override
	{
		++componentSetStateCalls;
		return kResultOk;
	}

	int componentSetStateCalls = 0;

	// The module's own view of the base's lists and set-up.
	BusList& inputBuses () { return audioInputs; }
	BusList& eventOutputBuses () { return eventOutputs; }
	const ProcessSetup& storedSetup () const { return processSetup; }

	~TestEffect () override { ++destroyed; }
	static int destroyed;
};
int TestEffect::destroyed = 0;

class EffectTest : public ::testing::Test
{
protected:
	void SetUp () override
	{
		effect = new TestEffect;
		ASSERT_EQ (effect->initialize (nullptr), kResultOk);
	}
	void TearDown () override
	{
		if (effect)
		{
			effect->terminate ();
			effect->release ();
		}
	}

	FUnknown* query (const TUID iid)
	{
		void* obj = nullptr;
		if (effect->queryInterface (iid, &obj) != kResultOk)
			return nullptr;
		return static_cast<FUnknown*> (obj);
	}

	TestEffect* effect = nullptr;
};

TEST_F (EffectTest, EveryInterfaceLeadsBackToOneObjectAndOneCount)
{
	struct Case
	{
		const char* name;
		const TUID& iid;
	};
	const Case cases[] = {
	    {"FUnknown", FUnknown::iid},
	    {"IPluginBase", IPluginBase::iid},
	    {"IComponent", IComponent::iid},
	    {"IAudioProcessor", IAudioProcessor::iid},
	    {"IProcessContextRequirements", IProcessContextRequirements::iid},
	    {"IEditController", IEditController::iid},
	    {"IEditController2", IEditController2::iid},
	    {"IUnitInfo", IUnitInfo::iid},
	    {"IDependent", IDependent::iid},
	};
	FUnknown* identity = query (FUnknown::iid);
	ASSERT_NE (identity, nullptr);
	EXPECT_EQ (effect->getRefCount (), 2);
	for (const auto& c : cases)
	{
		SCOPED_TRACE (c.name);
		FUnknown* itf = query (c.iid);
		ASSERT_NE (itf, nullptr);
		EXPECT_EQ (effect->getRefCount (), 3);
		// COM identity: FUnknown asked through any interface is the same pointer.
		void* again = nullptr;
		ASSERT_EQ (itf->queryInterface (FUnknown::iid, &again), kResultOk);
		EXPECT_EQ (again, identity);
		EXPECT_EQ (static_cast<FUnknown*> (again)->release (), 3u);
		EXPECT_EQ (itf->release (), 2u);
	}
	EXPECT_EQ (identity->release (), 1u);

	// The FObject answer lets the module find its own object again.
	EXPECT_EQ (FObject::unknownToObject (effect->unknownCast ()), static_cast<FObject*> (effect));
	EXPECT_EQ (FCast<SingleComponentEffect> (static_cast<IAudioProcessor*> (effect)), effect);
	EXPECT_TRUE (effect->isTypeOf ("EditController"));
	EXPECT_FALSE (effect->isA ("EditController"));
}

TEST_F (EffectTest, RefusesConnectionPointAndUnknownInterfaces)
{
	for (const TUID* iid : {&IConnectionPoint::iid.toTUID (), &IPlugView::iid.toTUID (), &IBStream::iid.toTUID ()})
	{
		void* obj = nullptr;
		EXPECT_EQ (effect->queryInterface (*iid, &obj), kNoInterface);
		EXPECT_EQ (obj, nullptr);
	}
	EXPECT_EQ (effect->getRefCount (), 1);
#if KESTRAVEL_VST3_OWN_LAYER
	// The SDK leaves *obj untouched on this refusal; COM callers expect it cleared.
	void* obj = reinterpret_cast<void*> (0x1);
	EXPECT_EQ (effect->queryInterface (IConnectionPoint::iid, &obj), kNoInterface);
	EXPECT_EQ (obj, nullptr);
#endif
}

TEST_F (EffectTest, LastReleaseThroughAnyInterfaceDestroys)
{
	const int before = TestEffect::destroyed;
	IAudioProcessor* processor = nullptr;
	ASSERT_EQ (effect->queryInterface (IAudioProcessor::iid, reinterpret_cast<void**> (&processor)), kResultOk);
	effect->terminate ();
	effect->release ();
	effect = nullptr;
	EXPECT_EQ (TestEffect::destroyed, before);
	EXPECT_EQ (processor->release (), 0u);
	EXPECT_EQ (TestEffect::destroyed, before + 1);
}

TEST_F (EffectTest, ComponentStateAndControllerStateAreSeparate)
{
	IComponent* component = effect;
	IEditController* controller = effect;
	EXPECT_EQ (component->setState (nullptr), kResultOk);
	EXPECT_EQ (effect->componentSetStateCalls, 1);
	EXPECT_EQ (controller->setEditorState (nullptr), kNotImplemented);
	EXPECT_EQ (controller->getEditorState (nullptr), kNotImplemented);
	EXPECT_EQ (component->getState (nullptr), kNotImplemented);
	EXPECT_EQ (effect->componentSetStateCalls, 1);
}

TEST_F (EffectTest, BusesReportTheirDescriptions)
{
	EXPECT_EQ (effect->getBusCount (kAudio, kInput), 2);
	EXPECT_EQ (effect->getBusCount (kAudio, kOutput), 1);
	EXPECT_EQ (effect->getBusCount (kEvent, kInput), 0);
	EXPECT_EQ (effect->getBusCount (kEvent, kOutput), 1);
	EXPECT_EQ (effect->getBusCount (7, kInput), 0);

	struct Case
	{
		MediaType type;
		BusDirection dir;
		int32 index;
		int32 channels;
		const char16_t* name;
		BusType busType;
		uint32 flags;
	};
	for (const Case& c : {Case {kAudio, kInput, 0, 2, u"Input 1", kMain, BusInfo::kDefaultActive},
	                      Case {kAudio, kInput, 1, 1, u"Input 2", kAux, 0},
	                      Case {kAudio, kOutput, 0, 2, u"Output 1", kMain, BusInfo::kDefaultActive},
	                      Case {kEvent, kOutput, 0, 1, u"Player Sync", kMain, BusInfo::kDefaultActive}})
	{
		SCOPED_TRACE (c.index);
		BusInfo info {};
		ASSERT_EQ (effect->getBusInfo (c.type, c.dir, c.index, info), kResultTrue);
		EXPECT_EQ (info.mediaType, c.type);
		EXPECT_EQ (info.direction, c.dir);
		EXPECT_EQ (info.channelCount, c.channels);
		EXPECT_EQ (std::u16string (info.name), c.name);
		EXPECT_EQ (info.busType, c.busType);
		EXPECT_EQ (info.flags, c.flags);
	}

	BusInfo info {};
	for (int32 bad : {2, 1000})
		EXPECT_EQ (effect->getBusInfo (kAudio, kInput, bad, info), kInvalidArgument);
	EXPECT_EQ (effect->getBusInfo (kEvent, kInput, 0, info), kInvalidArgument);
	EXPECT_EQ (effect->getBusInfo (2, kInput, 0, info), kInvalidArgument);
}

#if KESTRAVEL_VST3_OWN_LAYER
// The SDK throws std::out_of_range for negative indices (an exception through a host call),
// treats any direction other than kInput as kOutput, and dereferences null arrangement arrays.
TEST_F (EffectTest, MalformedBusRequestsAreRefused)
{
	BusInfo info {};
	EXPECT_EQ (effect->getBusInfo (kAudio, kInput, -1, info), kInvalidArgument);
	EXPECT_EQ (effect->getBusInfo (kAudio, 2, 0, info), kInvalidArgument);
	EXPECT_EQ (effect->activateBus (kAudio, kInput, -1, true), kInvalidArgument);
	EXPECT_EQ (effect->activateBus (kAudio, 2, 0, true), kInvalidArgument);
	SpeakerArrangement arr = 0;
	EXPECT_EQ (effect->getBusArrangement (kInput, -1, arr), kInvalidArgument);
	EXPECT_EQ (effect->getBusArrangement (5, 0, arr), kInvalidArgument);
	SpeakerArrangement outs[] = {SpeakerArr::kMono};
	EXPECT_EQ (effect->setBusArrangements (nullptr, 2, outs, 1), kInvalidArgument);
	EXPECT_EQ (effect->setBusArrangements (outs, 1, nullptr, 1), kInvalidArgument);
}
#endif

TEST_F (EffectTest, BusesStartInactiveAndFollowActivateBus)
{
	auto& inputs = effect->inputBuses ();
	ASSERT_EQ (inputs.size (), 2u);
	// Even the bus flagged kDefaultActive waits for the host.
	EXPECT_FALSE (inputs[0]->isActive ());
	EXPECT_FALSE (inputs[1]->isActive ());

	EXPECT_EQ (effect->activateBus (kAudio, kInput, 1, true), kResultTrue);
	EXPECT_TRUE (inputs[1]->isActive ());
	EXPECT_FALSE (inputs[0]->isActive ());
	EXPECT_EQ (effect->activateBus (kAudio, kInput, 1, false), kResultTrue);
	EXPECT_FALSE (inputs[1]->isActive ());

	EXPECT_EQ (effect->activateBus (kEvent, kOutput, 0, true), kResultTrue);
	EXPECT_TRUE (effect->eventOutputBuses ()[0]->isActive ());

	EXPECT_EQ (effect->activateBus (kAudio, kInput, 2, true), kInvalidArgument);
	EXPECT_EQ (effect->activateBus (kEvent, kInput, 0, true), kInvalidArgument);
}

TEST_F (EffectTest, ArrangementsAreStoredPerBus)
{
	SpeakerArrangement ins[] = {SpeakerArr::k51, SpeakerArr::kStereo};
	SpeakerArrangement outs[] = {SpeakerArr::kMono};
	EXPECT_EQ (effect->setBusArrangements (ins, 2, outs, 1), kResultTrue);

	SpeakerArrangement arr = 0;
	ASSERT_EQ (effect->getBusArrangement (kInput, 0, arr), kResultTrue);
	EXPECT_EQ (arr, SpeakerArr::k51);
	ASSERT_EQ (effect->getBusArrangement (kInput, 1, arr), kResultTrue);
	EXPECT_EQ (arr, SpeakerArr::kStereo);
	ASSERT_EQ (effect->getBusArrangement (kOutput, 0, arr), kResultTrue);
	EXPECT_EQ (arr, SpeakerArr::kMono);
	BusInfo info {};
	ASSERT_EQ (effect->getBusInfo (kAudio, kInput, 0, info), kResultTrue);
	EXPECT_EQ (info.channelCount, 6);

	// Fewer arrangements than buses change only the leading buses.
	SpeakerArrangement one[] = {SpeakerArr::kMono};
	EXPECT_EQ (effect->setBusArrangements (one, 1, nullptr, 0), kResultTrue);
	ASSERT_EQ (effect->getBusArrangement (kInput, 1, arr), kResultTrue);
	EXPECT_EQ (arr, SpeakerArr::kStereo);

	SpeakerArrangement three[] = {SpeakerArr::kMono, SpeakerArr::kMono, SpeakerArr::kMono};
	EXPECT_EQ (effect->setBusArrangements (three, 3, outs, 1), kResultFalse);
	EXPECT_EQ (effect->setBusArrangements (ins, -1, outs, 1), kInvalidArgument);

	EXPECT_EQ (effect->getBusArrangement (kInput, 2, arr), kInvalidArgument);
	EXPECT_EQ (effect->getBusArrangement (kOutput, 1, arr), kInvalidArgument);
}

TEST_F (EffectTest, SetupIsStoredForTheSampleSizesItAccepts)
{
	const auto& stored = effect->storedSetup ();
	EXPECT_EQ (stored.maxSamplesPerBlock, 1024);
	EXPECT_EQ (stored.sampleRate, 44100.);
	EXPECT_EQ (stored.symbolicSampleSize, kSample32);
	EXPECT_EQ (stored.processMode, kRealtime);

	ProcessSetup setup {kOffline, kSample32, 256, 96000.};
	EXPECT_EQ (effect->setupProcessing (setup), kResultOk);
	EXPECT_EQ (stored.maxSamplesPerBlock, 256);
	EXPECT_EQ (stored.sampleRate, 96000.);
	EXPECT_EQ (stored.processMode, kOffline);

	EXPECT_EQ (effect->canProcessSampleSize (kSample32), kResultTrue);
	EXPECT_EQ (effect->canProcessSampleSize (kSample64), kResultFalse);
	ProcessSetup wide {kRealtime, kSample64, 512, 48000.};
	EXPECT_EQ (effect->setupProcessing (wide), kResultFalse);
	EXPECT_EQ (stored.maxSamplesPerBlock, 256);
}

TEST_F (EffectTest, ProcessorDefaultsAndContextRequirements)
{
	EXPECT_EQ (effect->getLatencySamples (), 0u);
	EXPECT_EQ (effect->getTailSamples (), kNoTail);
	EXPECT_EQ (effect->getProcessContextRequirements (),
	           uint32 (IProcessContextRequirements::kNeedContinousTimeSamples |
	                   IProcessContextRequirements::kNeedTransportState));
	EXPECT_EQ (effect->setActive (true), kResultOk);
	EXPECT_EQ (effect->setProcessing (true), kNotImplemented);
	ProcessData data;
	EXPECT_EQ (effect->process (data), kNotImplemented);
	TUID cid {};
	EXPECT_EQ (effect->getControllerClassId (cid), kNotImplemented);
	EXPECT_EQ (effect->setIoMode (kSimple), kNotImplemented);
}

TEST_F (EffectTest, ControllerAnswersFromItsParameters)
{
	IEditController* controller = effect;
	EXPECT_EQ (controller->getParameterCount (), 1);
	ParameterInfo info {};
	ASSERT_EQ (controller->getParameterInfo (0, info), kResultTrue);
	EXPECT_EQ (info.id, 1u);
	EXPECT_EQ (std::u16string (info.title), u"Gain");
	EXPECT_EQ (controller->getParameterInfo (1, info), kResultFalse);

	EXPECT_EQ (controller->setParamNormalized (1, 1.), kResultTrue);
	EXPECT_EQ (controller->getParamNormalized (1), 1.);
	EXPECT_EQ (controller->setParamNormalized (99, 1.), kResultFalse);
	EXPECT_EQ (controller->getParamNormalized (99), 0.);
	EXPECT_DOUBLE_EQ (controller->normalizedParamToPlain (1, 0.), -90.);
	EXPECT_DOUBLE_EQ (controller->normalizedParamToPlain (99, 0.3), 0.3);
	EXPECT_DOUBLE_EQ (controller->plainParamToNormalized (1, 12.), 1.);

	String128 out {};
	ASSERT_EQ (controller->getParamStringByValue (1, 0., out), kResultTrue);
	EXPECT_EQ (std::u16string (out), u"-90.0000");
	EXPECT_EQ (controller->getParamStringByValue (99, 0., out), kResultFalse);
	ParamValue v = 0.;
	TChar input[] = u"12";
	ASSERT_EQ (controller->getParamValueByString (1, input, v), kResultTrue);
	EXPECT_DOUBLE_EQ (v, 1.);
	EXPECT_EQ (controller->getParamValueByString (99, input, v), kResultFalse);

	EXPECT_EQ (controller->createView ("editor"), nullptr);
	EXPECT_EQ (controller->setComponentState (nullptr), kNotImplemented);
}

TEST_F (EffectTest, UnitsAndProgramListsAreEmptyInTheBase)
{
	IUnitInfo* units = effect;
	EXPECT_EQ (units->getUnitCount (), 0);
	UnitInfo info {};
	EXPECT_EQ (units->getUnitInfo (0, info), kResultFalse);
	EXPECT_EQ (units->getProgramListCount (), 0);
	ProgramListInfo list {};
	EXPECT_EQ (units->getProgramListInfo (0, list), kResultFalse);
	String128 name {};
	EXPECT_EQ (units->getProgramName (0, 0, name), kResultFalse);
	EXPECT_EQ (units->getSelectedUnit (), kRootUnitId);
	EXPECT_EQ (units->selectUnit (3), kResultTrue);
	EXPECT_EQ (units->getSelectedUnit (), 3);
	UnitID unit = 0;
	EXPECT_EQ (units->getUnitByBus (kAudio, kInput, 0, 0, unit), kResultFalse);

	// A unit added by the plug-in is reported as given.
	effect->addUnit (new Unit (u"Root", kRootUnitId, kNoParentUnitId));
	EXPECT_EQ (units->getUnitCount (), 1);
	ASSERT_EQ (units->getUnitInfo (0, info), kResultTrue);
	EXPECT_EQ (std::u16string (info.name), u"Root");
	EXPECT_EQ (info.parentUnitId, kNoParentUnitId);
	EXPECT_EQ (info.programListId, kNoProgramListId);
}

TEST_F (EffectTest, TerminateRemovesBusesParametersAndContext)
{
	effect->terminate ();
	EXPECT_EQ (effect->getBusCount (kAudio, kInput), 0);
	EXPECT_EQ (effect->getBusCount (kEvent, kOutput), 0);
	EXPECT_EQ (effect->getParameterCount (), 0);
	EXPECT_EQ (effect->getHostContext (), nullptr);
	// A fresh initialize after terminate rebuilds everything.
	ASSERT_EQ (effect->initialize (nullptr), kResultOk);
	EXPECT_EQ (effect->getBusCount (kAudio, kInput), 2);
}

// Host side of the handlers: records what the controller forwards.
class RecordingHandler : public IComponentHandler, public IComponentHandler2
{
public:
	tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) override
	{
		QUERY_INTERFACE (_iid, obj, FUnknown::iid, IComponentHandler)
		QUERY_INTERFACE (_iid, obj, IComponentHandler::iid, IComponentHandler)
		QUERY_INTERFACE (_iid, obj, IComponentHandler2::iid, IComponentHandler2)
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return static_cast<uint32> (++refs); }
	uint32 PLUGIN_API release () override { return static_cast<uint32> (--refs); }

	tresult PLUGIN_API beginEdit (ParamID id) override { return log ("begin", id); }
	tresult PLUGIN_API performEdit (ParamID id, ParamValue) override { return log ("perform", id); }
	tresult PLUGIN_API endEdit (ParamID id) override { return log ("end", id); }
	tresult PLUGIN_API restartComponent (int32) override { return kResultOk; }
	tresult PLUGIN_API setDirty (TBool) override { return log ("dirty", 0); }
	tresult PLUGIN_API requestOpenEditor (FIDString) override { return kResultOk; }
	tresult PLUGIN_API startGroupEdit () override { return log ("group", 0); }
	tresult PLUGIN_API finishGroupEdit () override { return log ("ungroup", 0); }

	tresult log (const char* what, ParamID id)
	{
		calls += std::string (what) + std::to_string (id) + " ";
		return kResultOk;
	}

	int refs = 1;
	std::string calls;
};

TEST_F (EffectTest, EditsReachTheComponentHandler)
{
	EXPECT_EQ (effect->beginEdit (1), kResultFalse);
	EXPECT_EQ (effect->startGroupEdit (), kNotImplemented);

	RecordingHandler handler;
	ASSERT_EQ (effect->setComponentHandler (&handler), kResultTrue);
	EXPECT_EQ (handler.refs, 3); // as IComponentHandler and as IComponentHandler2
	EXPECT_EQ (effect->getComponentHandler (), static_cast<IComponentHandler*> (&handler));
	effect->startGroupEdit ();
	effect->beginEdit (1);
	effect->performEdit (1, 0.5);
	effect->endEdit (1);
	effect->finishGroupEdit ();
	effect->setDirty (true);
	EXPECT_EQ (handler.calls, "group0 begin1 perform1 end1 ungroup0 dirty0 ");

	effect->terminate ();
	EXPECT_EQ (handler.refs, 1);
	EXPECT_EQ (effect->beginEdit (1), kResultFalse);
	ASSERT_EQ (effect->initialize (nullptr), kResultOk);
}

TEST_F (EffectTest, InitializeKeepsTheFirstContext)
{
	effect->terminate ();
	RecordingHandler context;
	FUnknown* unknown = static_cast<IComponentHandler*> (&context);
	ASSERT_EQ (effect->initialize (unknown), kResultOk);
	EXPECT_EQ (effect->getHostContext (), unknown);
	EXPECT_EQ (context.refs, 2);
	EXPECT_EQ (effect->initialize (unknown), kResultFalse);
	effect->terminate ();
	EXPECT_EQ (context.refs, 1);
	ASSERT_EQ (effect->initialize (nullptr), kResultOk);
}

} // namespace
