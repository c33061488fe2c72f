// The interface layer must be indistinguishable from the official headers at the binary level:
// identifiers, result codes, struct layouts and virtual slot order. Expected values were taken
// from the official headers compiled for x86-64 Linux and x86-64 Windows (mingw-w64).
#include "pluginterfaces/base/fstrdefs.h"
#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstplugview.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

using Bytes = std::array<uint8_t, 16>;

Bytes bytesOf (const char* id)
{
	Bytes b {};
	std::memcpy (b.data (), id, 16);
	return b;
}

struct IidCase
{
	const char* name;
	const FUID* iid;
	const char* inlineIid;
	Bytes linuxBytes; // words stored big-endian one after the other
	Bytes windowsBytes; // COM GUID layout
};

const IidCase kIidCases[] = {
    {"FUnknown", &FUnknown::iid, FUnknown_iid,
     {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46},
     {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
    {"IParameterFinder", &IParameterFinder::iid, IParameterFinder_iid,
     {0x0F, 0x61, 0x83, 0x02, 0x21, 0x5D, 0x45, 0x87, 0xA5, 0x12, 0x07, 0x3C, 0x77, 0xB9, 0xD3, 0x83},
     {0x02, 0x83, 0x61, 0x0F, 0x5D, 0x21, 0x87, 0x45, 0xA5, 0x12, 0x07, 0x3C, 0x77, 0xB9, 0xD3, 0x83}},
    {"IComponentHandler3", &IComponentHandler3::iid, IComponentHandler3_iid,
     {0x69, 0xF1, 0x16, 0x17, 0xD2, 0x6B, 0x40, 0x0D, 0xA4, 0xB6, 0xB9, 0x64, 0x7B, 0x6E, 0xBB, 0xAB},
     {0x17, 0x16, 0xF1, 0x69, 0x6B, 0xD2, 0x0D, 0x40, 0xA4, 0xB6, 0xB9, 0x64, 0x7B, 0x6E, 0xBB, 0xAB}},
    {"IContextMenuTarget", &IContextMenuTarget::iid, IContextMenuTarget_iid,
     {0x3C, 0xDF, 0x2E, 0x75, 0x85, 0xD3, 0x41, 0x44, 0xBF, 0x86, 0xD3, 0x6B, 0xD7, 0xC4, 0x89, 0x4D},
     {0x75, 0x2E, 0xDF, 0x3C, 0xD3, 0x85, 0x44, 0x41, 0xBF, 0x86, 0xD3, 0x6B, 0xD7, 0xC4, 0x89, 0x4D}},
    {"IContextMenu", &IContextMenu::iid, IContextMenu_iid,
     {0x2E, 0x93, 0xC8, 0x63, 0x0C, 0x9C, 0x45, 0x88, 0x97, 0xDB, 0xEC, 0xF5, 0xAD, 0x17, 0x81, 0x7D},
     {0x63, 0xC8, 0x93, 0x2E, 0x9C, 0x0C, 0x88, 0x45, 0x97, 0xDB, 0xEC, 0xF5, 0xAD, 0x17, 0x81, 0x7D}},
    {"IComponent", &IComponent::iid, IComponent_iid,
     {0xE8, 0x31, 0xFF, 0x31, 0xF2, 0xD5, 0x43, 0x01, 0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02},
     {0x31, 0xFF, 0x31, 0xE8, 0xD5, 0xF2, 0x01, 0x43, 0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02}},
    {"IAudioProcessor", &IAudioProcessor::iid, IAudioProcessor_iid,
     {0x42, 0x04, 0x3F, 0x99, 0xB7, 0xDA, 0x45, 0x3C, 0xA5, 0x69, 0xE7, 0x9D, 0x9A, 0xAE, 0xC3, 0x3D},
     {0x99, 0x3F, 0x04, 0x42, 0xDA, 0xB7, 0x3C, 0x45, 0xA5, 0x69, 0xE7, 0x9D, 0x9A, 0xAE, 0xC3, 0x3D}},
    {"IEditController", &IEditController::iid, IEditController_iid,
     {0xDC, 0xD7, 0xBB, 0xE3, 0x77, 0x42, 0x44, 0x8D, 0xA8, 0x74, 0xAA, 0xCC, 0x97, 0x9C, 0x75, 0x9E},
     {0xE3, 0xBB, 0xD7, 0xDC, 0x42, 0x77, 0x8D, 0x44, 0xA8, 0x74, 0xAA, 0xCC, 0x97, 0x9C, 0x75, 0x9E}},
    {"IPluginFactory3", &IPluginFactory3::iid, IPluginFactory3_iid,
     {0x45, 0x55, 0xA2, 0xAB, 0xC1, 0x23, 0x4E, 0x57, 0x9B, 0x12, 0x29, 0x10, 0x36, 0x87, 0x89, 0x31},
     {0xAB, 0xA2, 0x55, 0x45, 0x23, 0xC1, 0x57, 0x4E, 0x9B, 0x12, 0x29, 0x10, 0x36, 0x87, 0x89, 0x31}},
    {"IPlugView", &IPlugView::iid, IPlugView_iid,
     {0x5B, 0xC3, 0x25, 0x07, 0xD0, 0x60, 0x49, 0xEA, 0xA6, 0x15, 0x1B, 0x52, 0x2B, 0x75, 0x5B, 0x29},
     {0x07, 0x25, 0xC3, 0x5B, 0x60, 0xD0, 0xEA, 0x49, 0xA6, 0x15, 0x1B, 0x52, 0x2B, 0x75, 0x5B, 0x29}},
    {"IPlugFrame", &IPlugFrame::iid, IPlugFrame_iid,
     {0x36, 0x7F, 0xAF, 0x01, 0xAF, 0xA9, 0x46, 0x93, 0x8D, 0x4D, 0xA2, 0xA0, 0xED, 0x08, 0x82, 0xA3},
     {0x01, 0xAF, 0x7F, 0x36, 0xA9, 0xAF, 0x93, 0x46, 0x8D, 0x4D, 0xA2, 0xA0, 0xED, 0x08, 0x82, 0xA3}},
    // The host's run loop on Linux and the two handlers a view hands it.
    {"Linux::IEventHandler", &Linux::IEventHandler::iid, Linux::IEventHandler_iid,
     {0x56, 0x1E, 0x65, 0xC9, 0x13, 0xA0, 0x49, 0x6F, 0x81, 0x3A, 0x2C, 0x35, 0x65, 0x4D, 0x79, 0x83},
     {0xC9, 0x65, 0x1E, 0x56, 0xA0, 0x13, 0x6F, 0x49, 0x81, 0x3A, 0x2C, 0x35, 0x65, 0x4D, 0x79, 0x83}},
    {"Linux::ITimerHandler", &Linux::ITimerHandler::iid, Linux::ITimerHandler_iid,
     {0x10, 0xBD, 0xD9, 0x4F, 0x41, 0x42, 0x47, 0x74, 0x82, 0x1F, 0xAD, 0x8F, 0xEC, 0xA7, 0x2C, 0xA9},
     {0x4F, 0xD9, 0xBD, 0x10, 0x42, 0x41, 0x74, 0x47, 0x82, 0x1F, 0xAD, 0x8F, 0xEC, 0xA7, 0x2C, 0xA9}},
    {"Linux::IRunLoop", &Linux::IRunLoop::iid, Linux::IRunLoop_iid,
     {0x18, 0xC3, 0x53, 0x66, 0x97, 0x76, 0x4F, 0x1A, 0x9C, 0x5B, 0x83, 0x85, 0x7A, 0x87, 0x13, 0x89},
     {0x66, 0x53, 0xC3, 0x18, 0x76, 0x97, 0x1A, 0x4F, 0x9C, 0x5B, 0x83, 0x85, 0x7A, 0x87, 0x13, 0x89}},
    {"IPlugViewContentScaleSupport", &IPlugViewContentScaleSupport::iid, IPlugViewContentScaleSupport_iid,
     {0x65, 0xED, 0x96, 0x90, 0x8A, 0xC4, 0x45, 0x25, 0x8A, 0xAD, 0xEF, 0x7A, 0x72, 0xEA, 0x70, 0x3F},
     {0x90, 0x96, 0xED, 0x65, 0xC4, 0x8A, 0x25, 0x45, 0x8A, 0xAD, 0xEF, 0x7A, 0x72, 0xEA, 0x70, 0x3F}},
};

TEST (InterfaceIds, ByteLayoutMatchesThePlatformConvention)
{
	for (const auto& c : kIidCases)
	{
		SCOPED_TRACE (c.name);
#if SMTG_OS_WINDOWS
		const Bytes& expected = c.windowsBytes;
#else
		const Bytes& expected = c.linuxBytes;
#endif
		EXPECT_EQ (bytesOf (c.inlineIid), expected);
		EXPECT_EQ (bytesOf (c.iid->toTUID ()), expected);
	}
}

TEST (InterfaceIds, WordsSurviveTheRoundTripOnEitherLayout)
{
	// The same four words must come back whatever the byte order.
	for (const auto& c : kIidCases)
	{
		SCOPED_TRACE (c.name);
		FUID rebuilt (c.iid->getLong1 (), c.iid->getLong2 (), c.iid->getLong3 (), c.iid->getLong4 ());
		EXPECT_EQ (rebuilt, *c.iid);
	}
	EXPECT_EQ (IComponent::iid.getLong1 (), 0xE831FF31u);
	EXPECT_EQ (IComponent::iid.getLong2 (), 0xF2D54301u);
	EXPECT_EQ (IComponent::iid.getLong3 (), 0x928EBBEEu);
	EXPECT_EQ (IComponent::iid.getLong4 (), 0x25697802u);
}

TEST (Fuid, FourWordConstructorSpellsTheClassIdLikeTheSdk)
{
	// "KRACKUTILITY" plus a kind word: readable in the Linux layout, GUID-swapped on Windows.
	const FUID cid (0x4B524143, 0x4B555449, 0x4C495459, 0x00100002);
#if SMTG_OS_WINDOWS
	const Bytes expected {0x43, 0x41, 0x52, 0x4B, 0x55, 0x4B, 0x49, 0x54,
	                      0x4C, 0x49, 0x54, 0x59, 0x00, 0x10, 0x00, 0x02};
#else
	const Bytes expected {'K', 'R', 'A', 'C', 'K', 'U', 'T', 'I', 'L', 'I', 'T', 'Y', 0x00, 0x10, 0x00, 0x02};
#endif
	EXPECT_EQ (bytesOf (cid.toTUID ()), expected);
	EXPECT_TRUE (cid.isValid ());
	EXPECT_FALSE (FUID ().isValid ());

	char8 text[33] {};
	cid.toString (text);
	EXPECT_STREQ (text, "4B5241434B5554494C49545900100002");
	FUID parsed;
	ASSERT_TRUE (parsed.fromString (text));
	EXPECT_EQ (parsed, cid);

	char8 reg[40] {};
	cid.toRegistryString (reg);
	EXPECT_STREQ (reg, "{4B524143-4B55-5449-4C49-545900100002}");
	FUID fromReg;
	ASSERT_TRUE (fromReg.fromRegistryString (reg));
	EXPECT_EQ (fromReg, cid);
}

TEST (Fuid, TextOfTheWrongLengthIsRefused)
{
	const FUID original (1, 2, 3, 4);
	for (const char* bad : {"", "4B5241434B5554494C4954590010000", "4B5241434B5554494C495459001000020"})
	{
		SCOPED_TRACE (bad);
		FUID id = original;
		EXPECT_FALSE (id.fromString (bad));
		EXPECT_FALSE (id.fromRegistryString (bad));
		EXPECT_EQ (id, original);
	}
	FUID id = original;
	EXPECT_FALSE (id.fromString (nullptr));
	EXPECT_EQ (id, original);
}

#if KESTRAVEL_VST3_OWN_LAYER
// The SDK reads such text with sscanf and keeps whatever it half-parsed.
TEST (Fuid, NonHexTextIsRefusedAndLeavesTheIdUntouched)
{
	const FUID original (1, 2, 3, 4);
	FUID id = original;
	EXPECT_FALSE (id.fromString ("4B5241434B5554494C4954590010000X"));
	EXPECT_FALSE (id.fromRegistryString ("{4B524143-4B55-5449-4C49_545900100002}"));
	EXPECT_FALSE (id.fromRegistryString ("{4B524143-4B55-5449-4C49-54590010000G}"));
	EXPECT_EQ (id, original);
}
#endif

TEST (Fuid, GenerateGivesDistinctValidIds)
{
	FUID a, b;
	ASSERT_TRUE (a.generate ());
	ASSERT_TRUE (b.generate ());
	EXPECT_TRUE (a.isValid ());
	EXPECT_NE (a, b);
}

TEST (ResultCodes, MatchThePlatformValues)
{
#if SMTG_OS_WINDOWS
	EXPECT_EQ (kNoInterface, static_cast<tresult> (0x80004002));
	EXPECT_EQ (kInvalidArgument, static_cast<tresult> (0x80070057));
	EXPECT_EQ (kNotImplemented, static_cast<tresult> (0x80004001));
	EXPECT_EQ (kInternalError, static_cast<tresult> (0x80004005));
	EXPECT_EQ (kNotInitialized, static_cast<tresult> (0x8000FFFF));
	EXPECT_EQ (kOutOfMemory, static_cast<tresult> (0x8007000E));
#else
	EXPECT_EQ (kNoInterface, -1);
	EXPECT_EQ (kInvalidArgument, 2);
	EXPECT_EQ (kNotImplemented, 3);
	EXPECT_EQ (kInternalError, 4);
	EXPECT_EQ (kNotInitialized, 5);
	EXPECT_EQ (kOutOfMemory, 6);
#endif
	EXPECT_EQ (kResultOk, 0);
	EXPECT_EQ (kResultTrue, 0);
	EXPECT_EQ (kResultFalse, 1);
}

struct LayoutCase
{
	const char* what;
	size_t actual;
	size_t expected;
};

#define SIZE_OF(T, n) {"sizeof " #T, sizeof (T), n}
#define ALIGN_OF(T, n) {"alignof " #T, alignof (T), n}
#define OFFSET_OF(T, f, n) {#T "::" #f, offsetof (T, f), n}

// Identical on x86-64 Linux and x86-64 Windows.
const LayoutCase kLayout[] = {
    SIZE_OF (ProcessSetup, 24),
    OFFSET_OF (ProcessSetup, symbolicSampleSize, 4),
    OFFSET_OF (ProcessSetup, maxSamplesPerBlock, 8),
    OFFSET_OF (ProcessSetup, sampleRate, 16),
    SIZE_OF (AudioBusBuffers, 24),
    OFFSET_OF (AudioBusBuffers, silenceFlags, 8),
    OFFSET_OF (AudioBusBuffers, channelBuffers32, 16),
    OFFSET_OF (AudioBusBuffers, channelBuffers64, 16),
    SIZE_OF (ProcessData, 80),
    OFFSET_OF (ProcessData, numSamples, 8),
    OFFSET_OF (ProcessData, numInputs, 12),
    OFFSET_OF (ProcessData, numOutputs, 16),
    OFFSET_OF (ProcessData, inputs, 24),
    OFFSET_OF (ProcessData, outputs, 32),
    OFFSET_OF (ProcessData, inputParameterChanges, 40),
    OFFSET_OF (ProcessData, outputParameterChanges, 48),
    OFFSET_OF (ProcessData, inputEvents, 56),
    OFFSET_OF (ProcessData, outputEvents, 64),
    OFFSET_OF (ProcessData, processContext, 72),
    SIZE_OF (ProcessContext, 112),
    OFFSET_OF (ProcessContext, sampleRate, 8),
    OFFSET_OF (ProcessContext, projectTimeSamples, 16),
    OFFSET_OF (ProcessContext, systemTime, 24),
    OFFSET_OF (ProcessContext, continousTimeSamples, 32),
    OFFSET_OF (ProcessContext, projectTimeMusic, 40),
    OFFSET_OF (ProcessContext, barPositionMusic, 48),
    OFFSET_OF (ProcessContext, cycleStartMusic, 56),
    OFFSET_OF (ProcessContext, cycleEndMusic, 64),
    OFFSET_OF (ProcessContext, tempo, 72),
    OFFSET_OF (ProcessContext, timeSigNumerator, 80),
    OFFSET_OF (ProcessContext, timeSigDenominator, 84),
    OFFSET_OF (ProcessContext, chord, 88),
    OFFSET_OF (ProcessContext, smpteOffsetSubframes, 92),
    OFFSET_OF (ProcessContext, frameRate, 96),
    OFFSET_OF (ProcessContext, samplesToNextClock, 104),
    SIZE_OF (Event, 48),
    ALIGN_OF (Event, 8),
    OFFSET_OF (Event, ppqPosition, 8),
    OFFSET_OF (Event, flags, 16),
    OFFSET_OF (Event, type, 18),
    OFFSET_OF (Event, noteOn, 24),
    OFFSET_OF (Event, data, 24),
    SIZE_OF (NoteOnEvent, 20),
    SIZE_OF (NoteOffEvent, 16),
    SIZE_OF (DataEvent, 16),
    OFFSET_OF (DataEvent, bytes, 8),
    SIZE_OF (PolyPressureEvent, 12),
    SIZE_OF (NoteExpressionValueEvent, 16),
    SIZE_OF (NoteExpressionTextEvent, 24),
    SIZE_OF (ChordEvent, 16),
    SIZE_OF (ScaleEvent, 16),
    SIZE_OF (LegacyMIDICCOutEvent, 4),
    SIZE_OF (BusInfo, 276),
    OFFSET_OF (BusInfo, channelCount, 8),
    OFFSET_OF (BusInfo, name, 12),
    OFFSET_OF (BusInfo, busType, 268),
    OFFSET_OF (BusInfo, flags, 272),
    SIZE_OF (RoutingInfo, 12),
    SIZE_OF (ParameterInfo, 792),
    OFFSET_OF (ParameterInfo, title, 4),
    OFFSET_OF (ParameterInfo, shortTitle, 260),
    OFFSET_OF (ParameterInfo, units, 516),
    OFFSET_OF (ParameterInfo, stepCount, 772),
    OFFSET_OF (ParameterInfo, defaultNormalizedValue, 776),
    OFFSET_OF (ParameterInfo, unitId, 784),
    OFFSET_OF (ParameterInfo, flags, 788),
    SIZE_OF (UnitInfo, 268),
    OFFSET_OF (UnitInfo, programListId, 264),
    SIZE_OF (ProgramListInfo, 264),
    OFFSET_OF (ProgramListInfo, programCount, 260),
    SIZE_OF (PFactoryInfo, 452),
    OFFSET_OF (PFactoryInfo, url, 64),
    OFFSET_OF (PFactoryInfo, email, 320),
    OFFSET_OF (PFactoryInfo, flags, 448),
    SIZE_OF (PClassInfo, 116),
    OFFSET_OF (PClassInfo, cardinality, 16),
    OFFSET_OF (PClassInfo, category, 20),
    OFFSET_OF (PClassInfo, name, 52),
    SIZE_OF (PClassInfo2, 440),
    OFFSET_OF (PClassInfo2, classFlags, 116),
    OFFSET_OF (PClassInfo2, subCategories, 120),
    OFFSET_OF (PClassInfo2, vendor, 248),
    OFFSET_OF (PClassInfo2, version, 312),
    OFFSET_OF (PClassInfo2, sdkVersion, 376),
    SIZE_OF (PClassInfoW, 696),
    OFFSET_OF (PClassInfoW, name, 52),
    OFFSET_OF (PClassInfoW, classFlags, 180),
    OFFSET_OF (PClassInfoW, subCategories, 184),
    OFFSET_OF (PClassInfoW, vendor, 312),
    OFFSET_OF (PClassInfoW, version, 440),
    OFFSET_OF (PClassInfoW, sdkVersion, 568),
    SIZE_OF (ViewRect, 16),
    SIZE_OF (IContextMenuItem, 264),
    OFFSET_OF (IContextMenuItem, tag, 256),
    OFFSET_OF (IContextMenuItem, flags, 260),
    SIZE_OF (Linux::TimerInterval, 8),
    SIZE_OF (Linux::FileDescriptor, 4),
    SIZE_OF (FrameRate, 8),
    SIZE_OF (Chord, 4),
};

TEST (StructLayout, MatchesTheOfficialX8664Layout)
{
	static_assert (SMTG_PLATFORM_64, "layout table is for 64-bit targets");
	for (const auto& c : kLayout)
	{
		SCOPED_TRACE (c.what);
		EXPECT_EQ (c.actual, c.expected);
	}
}

#if defined(__GNUC__)
// With the Itanium C++ ABI (GCC, clang, mingw-w64) a pointer to a virtual member function holds
// 1 + the byte offset of its vtable slot.
template <class F>
std::intptr_t slotOf (F member)
{
	std::intptr_t raw[2];
	static_assert (sizeof (member) == sizeof (raw));
	std::memcpy (raw, &member, sizeof (raw));
	return (raw[0] - 1) / static_cast<std::intptr_t> (sizeof (void*));
}

struct SlotCase
{
	const char* method;
	std::intptr_t actual;
	std::intptr_t expected;
};

#define SLOT(I, m, n) {#I "::" #m, slotOf (&I::m), n}

const SlotCase kSlots[] = {
    SLOT (FUnknown, queryInterface, 0),
    SLOT (FUnknown, release, 2),
    SLOT (IPluginBase, initialize, 3),
    SLOT (IPluginBase, terminate, 4),
    SLOT (IPluginFactory, getFactoryInfo, 3),
    SLOT (IPluginFactory, createInstance, 6),
    SLOT (IPluginFactory2, getClassInfo2, 7),
    SLOT (IPluginFactory3, getClassInfoUnicode, 8),
    SLOT (IPluginFactory3, setHostContext, 9),
    SLOT (IBStream, read, 3),
    SLOT (IBStream, tell, 6),
    SLOT (IComponent, getControllerClassId, 5),
    SLOT (IComponent, getBusInfo, 8),
    SLOT (IComponent, activateBus, 10),
    SLOT (IComponent, setActive, 11),
    SLOT (IComponent, setState, 12),
    SLOT (IComponent, getState, 13),
    SLOT (IAudioProcessor, setBusArrangements, 3),
    SLOT (IAudioProcessor, getLatencySamples, 6),
    SLOT (IAudioProcessor, setupProcessing, 7),
    SLOT (IAudioProcessor, setProcessing, 8),
    SLOT (IAudioProcessor, process, 9),
    SLOT (IAudioProcessor, getTailSamples, 10),
    SLOT (IProcessContextRequirements, getProcessContextRequirements, 3),
    SLOT (IEditController, setComponentState, 5),
    SLOT (IEditController, getState, 7),
    SLOT (IEditController, getParameterInfo, 9),
    SLOT (IEditController, getParamNormalized, 14),
    SLOT (IEditController, setParamNormalized, 15),
    SLOT (IEditController, setComponentHandler, 16),
    SLOT (IEditController, createView, 17),
    SLOT (IEditController2, openAboutBox, 5),
    SLOT (IComponentHandler, restartComponent, 6),
    SLOT (IComponentHandler2, finishGroupEdit, 6),
    SLOT (IUnitInfo, getProgramListInfo, 6),
    SLOT (IUnitInfo, getSelectedUnit, 11),
    SLOT (IUnitInfo, setUnitProgramData, 14),
    SLOT (IConnectionPoint, notify, 5),
    SLOT (IMessage, getAttributes, 5),
    SLOT (IAttributeList, getBinary, 10),
    SLOT (IHostApplication, createInstance, 4),
    SLOT (IEventList, addEvent, 5),
    SLOT (IParamValueQueue, addPoint, 6),
    SLOT (IParameterChanges, addParameterData, 5),
    SLOT (IPlugView, attached, 4),
    SLOT (IPlugView, getSize, 9),
    SLOT (IPlugView, setFrame, 12),
    SLOT (IPlugView, checkSizeConstraint, 14),
    SLOT (IPlugFrame, resizeView, 3),
    SLOT (Linux::IEventHandler, onFDIsSet, 3),
    SLOT (Linux::ITimerHandler, onTimer, 3),
    SLOT (Linux::IRunLoop, registerEventHandler, 3),
    SLOT (Linux::IRunLoop, unregisterEventHandler, 4),
    SLOT (Linux::IRunLoop, registerTimer, 5),
    SLOT (Linux::IRunLoop, unregisterTimer, 6),
    SLOT (IPlugViewContentScaleSupport, setContentScaleFactor, 3),
    SLOT (IParameterFinder, findParameter, 3),
    SLOT (IComponentHandler3, createContextMenu, 3),
    SLOT (IContextMenuTarget, executeMenuItem, 3),
    SLOT (IContextMenu, getItemCount, 3),
    SLOT (IContextMenu, getItem, 4),
    SLOT (IContextMenu, addItem, 5),
    SLOT (IContextMenu, removeItem, 6),
    SLOT (IContextMenu, popup, 7),
};

static_assert (IContextMenuItem::kIsSeparator == 1 && IContextMenuItem::kIsDisabled == 2 &&
                   IContextMenuItem::kIsChecked == 4 && IContextMenuItem::kIsGroupStart == 10 &&
                   IContextMenuItem::kIsGroupEnd == 17,
               "menu item flags as hosts read them");
static_assert (std::is_same_v<IPlugViewContentScaleSupport::ScaleFactor, float>,
               "the scale factor travels as a 32-bit float");

TEST (VirtualSlots, FollowTheOfficialMethodOrder)
{
	for (const auto& c : kSlots)
	{
		SCOPED_TRACE (c.method);
		EXPECT_EQ (c.actual, c.expected);
	}
}
#endif

TEST (Speakers, ChannelCountsAndIndices)
{
	struct Case
	{
		SpeakerArrangement arr;
		int32 channels;
	};
	for (const Case& c : {Case {SpeakerArr::kEmpty, 0}, Case {SpeakerArr::kMono, 1},
	                      Case {SpeakerArr::kStereo, 2}, Case {SpeakerArr::k51, 6},
	                      Case {SpeakerArr::k71Music, 8}, Case {~SpeakerArrangement (0), 64}})
		EXPECT_EQ (SpeakerArr::getChannelCount (c.arr), c.channels);

	EXPECT_EQ (SpeakerArr::kMono, SpeakerArrangement (1) << 19);
	EXPECT_EQ (SpeakerArr::kStereo, SpeakerArrangement (3));
	EXPECT_EQ (SpeakerArr::getSpeakerIndex (kSpeakerR, SpeakerArr::kStereo), 1);
	EXPECT_EQ (SpeakerArr::getSpeakerIndex (kSpeakerC, SpeakerArr::kStereo), -1);
	EXPECT_EQ (SpeakerArr::getSpeakerIndex (kSpeakerLs, SpeakerArr::k51), 4);
	EXPECT_EQ (SpeakerArr::getSpeaker (SpeakerArr::k51, 3), kSpeakerLfe);
	EXPECT_EQ (SpeakerArr::getSpeaker (SpeakerArr::kStereo, 2), Speaker (0));
}

TEST (FixedTextFields, CopyAsTheFactoryRecordsExpect)
{
	// A shorter text is zero-filled to the end of its field.
	char8 field[8];
	std::memset (field, 'x', sizeof (field));
	strncpy8 (field, "abc", sizeof (field));
	EXPECT_EQ (std::string (field, sizeof (field)), std::string ("abc\0\0\0\0\0", 8));

	// A text as long as the field fills it completely, like C strncpy.
	strncpy8 (field, "abcdefghij", sizeof (field));
	EXPECT_EQ (std::string (field, sizeof (field)), "abcdefgh");

	// Widening always terminates inside the field.
	char16 wide[4];
	str8ToStr16 (wide, "abcdef", 4);
	EXPECT_EQ (std::u16string (wide), u"abc");

	const PFactoryInfo info ("KESTRAVEL", "https://example.invalid", "mail@example.invalid", 0);
	EXPECT_STREQ (info.vendor, "KESTRAVEL");
	EXPECT_EQ (info.flags, PFactoryInfo::kUnicode);

	const PClassInfo2 ci2 (IComponent_iid, PClassInfo::kManyInstances, kVstAudioEffectClass,
	                       "KESTRAVEL OUTPUT", 0, PlugType::kFxTools, nullptr, "0.1.0", nullptr);
	PClassInfoW wideInfo;
	wideInfo.fromAscii (ci2);
	EXPECT_EQ (std::u16string (wideInfo.name), u"KESTRAVEL OUTPUT");
	EXPECT_STREQ (wideInfo.category, "Audio Module Class");
	EXPECT_STREQ (wideInfo.subCategories, "Fx|Tools");
	EXPECT_EQ (wideInfo.vendor[0], 0);
	EXPECT_EQ (std::u16string (wideInfo.version), u"0.1.0");
}

// A minimal counted object to watch what the smart pointers do to the count.
class Counted : public FUnknown
{
public:
	tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) override
	{
		if (FUnknownPrivate::iidEqual (_iid, FUnknown::iid) || FUnknownPrivate::iidEqual (_iid, IBStream::iid))
		{
			addRef ();
			*obj = this;
			return kResultOk;
		}
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return static_cast<uint32> (++count); }
	uint32 PLUGIN_API release () override { return static_cast<uint32> (--count); }
	int count = 1;
};

TEST (SmartPointers, CountReferencesLikeTheSdk)
{
	Counted object;
	{
		IPtr<FUnknown> adopted = owned (static_cast<FUnknown*> (&object));
		EXPECT_EQ (object.count, 1);
		IPtr<FUnknown> second = shared (static_cast<FUnknown*> (&object));
		EXPECT_EQ (object.count, 2);
		IPtr<FUnknown> moved = std::move (second);
		EXPECT_EQ (object.count, 2);
		adopted = moved;
		EXPECT_EQ (object.count, 2);
		object.addRef ();
	}
	EXPECT_EQ (object.count, 1);

	{
		FUnknownPtr<FUnknown> asUnknown (&object);
		EXPECT_EQ (asUnknown.get (), &object);
		EXPECT_EQ (object.count, 2);
		FUnknownPtr<IPluginBase> missing (&object);
		EXPECT_EQ (missing.get (), nullptr);
		EXPECT_EQ (object.count, 2);
	}
	EXPECT_EQ (object.count, 1);
}

TEST (AtomicAdd, ReturnsTheNewValue)
{
	int32 value = 1;
	EXPECT_EQ (FUnknownPrivate::atomicAdd (value, 1), 2);
	EXPECT_EQ (FUnknownPrivate::atomicAdd (value, -2), 0);
	EXPECT_EQ (value, 0);
}

} // namespace
