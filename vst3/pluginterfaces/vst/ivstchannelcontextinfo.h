// IInfoListener: the host tells a plug-in about the channel (track) it sits on.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/ivstattributes.h"

#include "pluginterfaces/base/falignpush.h"

namespace Steinberg {
namespace Vst {
namespace ChannelContext {

class IInfoListener : public FUnknown
{
public:
	// Called on the UI thread whenever the channel's name, colour or index changes.
	virtual tresult PLUGIN_API setChannelContextInfos (IAttributeList* list) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IInfoListener, 0x0F194781, 0x8D984ADA, 0xBBA0C1EF, 0xC011D8D0)

// String (TChar): the channel's name.
const IAttributeList::AttrID kChannelNameKey = "channel name";

} // namespace ChannelContext
} // namespace Vst
} // namespace Steinberg

#include "pluginterfaces/base/falignpop.h"
