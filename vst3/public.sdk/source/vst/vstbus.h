// Bus descriptions a component reports to the host, and the per-direction lists that hold them.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"

#include <string>
#include <string_view>
#include <vector>

namespace Steinberg {
namespace Vst {

// Every bus starts inactive, whatever its flags say; the host activates the buses it uses.
class Bus : public FObject
{
public:
	Bus (const TChar* name, BusType busType, int32 flags);

	TBool isActive () const { return active; }
	void setActive (TBool state) { active = state; }

	void setName (std::u16string_view newName) { name = newName; }
	void setBusType (BusType newBusType) { busType = newBusType; }
	void setFlags (uint32 newFlags) { flags = static_cast<int32> (newFlags); }

	// Fills name, busType and flags (the name cut to 127 characters).
	virtual bool getInfo (BusInfo&);

	OBJ_METHODS (Vst::Bus, FObject)

protected:
	std::u16string name;
	BusType busType;
	int32 flags;
	TBool active;
};

class EventBus : public Bus
{
public:
	EventBus (const TChar* name, BusType busType, int32 flags, int32 channelCount);

	bool getInfo (BusInfo& info) SMTG_OVERRIDE;

	OBJ_METHODS (Vst::EventBus, Vst::Bus)

protected:
	int32 channelCount;
};

class AudioBus : public Bus
{
public:
	AudioBus (const TChar* name, BusType busType, int32 flags, SpeakerArrangement arr);

	SpeakerArrangement getArrangement () const { return speakerArr; }
	void setArrangement (const SpeakerArrangement& arr) { speakerArr = arr; }

	// The channel count follows the arrangement.
	bool getInfo (BusInfo& info) SMTG_OVERRIDE;

	OBJ_METHODS (Vst::AudioBus, Vst::Bus)

protected:
	SpeakerArrangement speakerArr;
};

class BusList : public FObject, public std::vector<IPtr<Vst::Bus>>
{
public:
	BusList (MediaType type, BusDirection dir);

	MediaType getType () const { return type; }
	BusDirection getDirection () const { return direction; }

	OBJ_METHODS (Vst::BusList, FObject)

protected:
	MediaType type;
	BusDirection direction;
};

} // namespace Vst
} // namespace Steinberg
