// Builder for the flags IProcessContextRequirements reports.
#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"

namespace Steinberg {
namespace Vst {

class ProcessContextRequirements
{
	using Self = ProcessContextRequirements;
	using R = IProcessContextRequirements;

	bool has (uint32 bit) const { return (flags & bit) != 0; }
	Self& add (uint32 bit)
	{
		flags |= bit;
		return *this;
	}

public:
	ProcessContextRequirements (uint32 inFlags = 0) : flags (inFlags) {}

	bool wantsNone () const { return flags == 0; }
	bool wantsSystemTime () const { return has (R::kNeedSystemTime); }
	bool wantsContinousTimeSamples () const { return has (R::kNeedContinousTimeSamples); }
	bool wantsProjectTimeMusic () const { return has (R::kNeedProjectTimeMusic); }
	bool wantsBarPositionMusic () const { return has (R::kNeedBarPositionMusic); }
	bool wantsCycleMusic () const { return has (R::kNeedCycleMusic); }
	bool wantsSamplesToNextClock () const { return has (R::kNeedSamplesToNextClock); }
	bool wantsTempo () const { return has (R::kNeedTempo); }
	bool wantsTimeSignature () const { return has (R::kNeedTimeSignature); }
	bool wantsChord () const { return has (R::kNeedChord); }
	bool wantsFrameRate () const { return has (R::kNeedFrameRate); }
	bool wantsTransportState () const { return has (R::kNeedTransportState); }

	Self& needSystemTime () { return add (R::kNeedSystemTime); }
	Self& needContinousTimeSamples () { return add (R::kNeedContinousTimeSamples); }
	Self& needProjectTimeMusic () { return add (R::kNeedProjectTimeMusic); }
	Self& needBarPositionMusic () { return add (R::kNeedBarPositionMusic); }
	Self& needCycleMusic () { return add (R::kNeedCycleMusic); }
	Self& needSamplesToNextClock () { return add (R::kNeedSamplesToNextClock); }
	Self& needTempo () { return add (R::kNeedTempo); }
	Self& needTimeSignature () { return add (R::kNeedTimeSignature); }
	Self& needChord () { return add (R::kNeedChord); }
	Self& needFrameRate () { return add (R::kNeedFrameRate); }
	Self& needTransportState () { return add (R::kNeedTransportState); }

	uint32 flags {0};
};

} // namespace Vst
} // namespace Steinberg
