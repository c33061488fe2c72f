#include "public.sdk/source/vst/vstbus.h"

#include <cstring>

namespace Steinberg {
namespace Vst {

Bus::Bus (const TChar* _name, BusType _busType, int32 _flags)
: name (_name ? _name : u""), busType (_busType), flags (_flags), active (false)
{
}

bool Bus::getInfo (BusInfo& info)
{
	std::memset (info.name, 0, sizeof (String128));
	// Leave room for the terminator hosts rely on.
	name.copy (info.name, 127);
	info.busType = busType;
	info.flags = static_cast<uint32> (flags);
	return true;
}

EventBus::EventBus (const TChar* _name, BusType _busType, int32 _flags, int32 _channelCount)
: Bus (_name, _busType, _flags), channelCount (_channelCount)
{
}

bool EventBus::getInfo (BusInfo& info)
{
	info.channelCount = channelCount;
	return Bus::getInfo (info);
}

AudioBus::AudioBus (const TChar* _name, BusType _busType, int32 _flags, SpeakerArrangement arr)
: Bus (_name, _busType, _flags), speakerArr (arr)
{
}

bool AudioBus::getInfo (BusInfo& info)
{
	info.channelCount = SpeakerArr::getChannelCount (speakerArr);
	return Bus::getInfo (info);
}

BusList::BusList (MediaType _type, BusDirection dir) : type (_type), direction (dir) {}

} // namespace Vst
} // namespace Steinberg
