// Note expression: the event payloads that travel inside Vst::Event.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

#include "pluginterfaces/base/falignpush.h"

namespace Steinberg {
namespace Vst {

typedef uint32 NoteExpressionTypeID;
typedef double NoteExpressionValue;

enum NoteExpressionTypeIDs : uint32
{
	kVolumeTypeID = 0,
	kPanTypeID,
	kTuningTypeID,
	kVibratoTypeID,
	kExpressionTypeID,
	kBrightnessTypeID,
	kTextTypeID,
	kPhonemeTypeID,

	kCustomStart = 100000,
	kCustomEnd = 200000,

	kInvalidTypeID = 0xFFFFFFFF
};

struct NoteExpressionValueDescription
{
	NoteExpressionValue defaultValue;
	NoteExpressionValue minimum;
	NoteExpressionValue maximum;
	int32 stepCount;
};

#if SMTG_OS_WINDOWS && !SMTG_PLATFORM_64
#include "pluginterfaces/vst/vstpshpack4.h"
#endif

struct NoteExpressionValueEvent
{
	NoteExpressionTypeID typeId;
	int32 noteId;
	NoteExpressionValue value;
};

struct NoteExpressionTextEvent
{
	NoteExpressionTypeID typeId;
	int32 noteId;
	uint32 textLen;
	const TChar* text;
};

#if SMTG_OS_WINDOWS && !SMTG_PLATFORM_64
#include "pluginterfaces/base/falignpop.h"
#endif

struct NoteExpressionTypeInfo
{
	NoteExpressionTypeID typeId;
	String128 title;
	String128 shortTitle;
	String128 units;
	int32 unitId;
	NoteExpressionValueDescription valueDesc;
	ParamID associatedParameterId;
	int32 flags;

	enum NoteExpressionTypeFlags
	{
		kIsBipolar = 1 << 0,
		kIsOneShot = 1 << 1,
		kIsAbsolute = 1 << 2,
		kAssociatedParameterIDValid = 1 << 3,
	};
};

} // namespace Vst
} // namespace Steinberg

#include "pluginterfaces/base/falignpop.h"
