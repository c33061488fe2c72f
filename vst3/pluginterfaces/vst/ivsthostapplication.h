// IHostApplication: the host context handed to initialize.
#pragma once

#include "pluginterfaces/vst/ivstmessage.h"

namespace Steinberg {
namespace Vst {

class IHostApplication : public FUnknown
{
public:
	virtual tresult PLUGIN_API getName (String128 name) = 0;
	// Creates host objects such as IMessage and IAttributeList.
	virtual tresult PLUGIN_API createInstance (TUID cid, TUID _iid, void** obj) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IHostApplication, 0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5)

// Asks the host for a new message object; null when it has none.
inline IMessage* allocateMessage (IHostApplication* host)
{
	if (!host)
		return nullptr;
	TUID id;
	IMessage::iid.toTUID (id);
	IMessage* message = nullptr;
	if (host->createInstance (id, id, reinterpret_cast<void**> (&message)) == kResultOk)
		return message;
	return nullptr;
}

} // namespace Vst
} // namespace Steinberg
