// IComponent: the processing side of a plug-in as the host sees it (buses, activation, state).
#pragma once

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/vsttypes.h"

#include "pluginterfaces/base/falignpush.h"

namespace Steinberg {
class IBStream;

namespace Vst {

const int32 kDefaultFactoryFlags = PFactoryInfo::kUnicode;

#define BEGIN_FACTORY_DEF(vendor, url, email)                                                  \
	using namespace Steinberg;                                                                 \
	SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory ()                          \
	{                                                                                          \
		if (!gPluginFactory)                                                                   \
		{                                                                                      \
			static PFactoryInfo factoryInfo (vendor, url, email, Vst::kDefaultFactoryFlags);   \
			gPluginFactory = new CPluginFactory (factoryInfo);

enum MediaTypes
{
	kAudio = 0,
	kEvent,
	kNumMediaTypes
};

enum BusDirections
{
	kInput = 0,
	kOutput
};

enum BusTypes
{
	kMain = 0,
	kAux
};

struct BusInfo
{
	MediaType mediaType;
	BusDirection direction;
	int32 channelCount;
	String128 name;
	BusType busType;
	uint32 flags;

	enum BusFlags
	{
		kDefaultActive = 1 << 0,
		kIsControlVoltage = 1 << 1
	};
};

enum IoModes
{
	kSimple = 0,
	kAdvanced,
	kOfflineProcessing
};

struct RoutingInfo
{
	MediaType mediaType;
	int32 busIndex;
	int32 channel;
};

class IComponent : public IPluginBase
{
public:
	virtual tresult PLUGIN_API getControllerClassId (TUID classId) = 0;
	virtual tresult PLUGIN_API setIoMode (IoMode mode) = 0;
	virtual int32 PLUGIN_API getBusCount (MediaType type, BusDirection dir) = 0;
	virtual tresult PLUGIN_API getBusInfo (MediaType type, BusDirection dir, int32 index, BusInfo& bus) = 0;
	virtual tresult PLUGIN_API getRoutingInfo (RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
	virtual tresult PLUGIN_API activateBus (MediaType type, BusDirection dir, int32 index, TBool state) = 0;
	virtual tresult PLUGIN_API setActive (TBool state) = 0;
	virtual tresult PLUGIN_API setState (IBStream* state) = 0;
	virtual tresult PLUGIN_API getState (IBStream* state) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IComponent, 0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802)

} // namespace Vst
} // namespace Steinberg

#include "pluginterfaces/base/falignpop.h"
