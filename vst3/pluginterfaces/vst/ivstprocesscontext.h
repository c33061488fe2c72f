// ProcessContext: transport and timing information a host passes with every block.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

#include "pluginterfaces/base/falignpush.h"

namespace Steinberg {
namespace Vst {

struct FrameRate
{
	enum FrameRateFlags
	{
		kPullDownRate = 1 << 0,
		kDropRate = 1 << 1
	};

	uint32 framesPerSecond;
	uint32 flags;
};

struct Chord
{
	uint8 keyNote;
	uint8 rootNote;
	int16 chordMask;

	enum Masks
	{
		kChordMask = 0x0FFF,
		kReservedMask = 0xF000
	};
};

struct ProcessContext
{
	// Bits of `state`; a *Valid bit says the matching field may be read.
	enum StatesAndFlags
	{
		kPlaying = 1 << 1,
		kCycleActive = 1 << 2,
		kRecording = 1 << 3,

		kSystemTimeValid = 1 << 8,
		kContTimeValid = 1 << 17,
		kProjectTimeMusicValid = 1 << 9,
		kBarPositionValid = 1 << 11,
		kCycleValid = 1 << 12,
		kTempoValid = 1 << 10,
		kTimeSigValid = 1 << 13,
		kChordValid = 1 << 18,
		kSmpteValid = 1 << 14,
		kClockValid = 1 << 15
	};

	uint32 state;
	double sampleRate;
	TSamples projectTimeSamples;
	int64 systemTime;
	TSamples continousTimeSamples;
	TQuarterNotes projectTimeMusic;
	TQuarterNotes barPositionMusic;
	TQuarterNotes cycleStartMusic;
	TQuarterNotes cycleEndMusic;
	double tempo;
	int32 timeSigNumerator;
	int32 timeSigDenominator;
	Chord chord;
	int32 smpteOffsetSubframes;
	FrameRate frameRate;
	int32 samplesToNextClock;
};

} // namespace Vst
} // namespace Steinberg

#include "pluginterfaces/base/falignpop.h"
