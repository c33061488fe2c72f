#include "public.sdk/source/vst/vstcomponentbase.h"

#include "public.sdk/source/common/commonstringconvert.h"

#include <string>

namespace Steinberg {
namespace Vst {

ComponentBase::ComponentBase () = default;
ComponentBase::~ComponentBase () = default;

tresult PLUGIN_API ComponentBase::initialize (FUnknown* context)
{
	if (hostContext)
		return kResultFalse;
	hostContext = context;
	return kResultOk;
}

tresult PLUGIN_API ComponentBase::terminate ()
{
	hostContext = nullptr;
	if (peerConnection)
	{
		peerConnection->disconnect (this);
		peerConnection = nullptr;
	}
	return kResultOk;
}

tresult PLUGIN_API ComponentBase::connect (IConnectionPoint* other)
{
	if (!other)
		return kInvalidArgument;
	if (peerConnection)
		return kResultFalse;
	peerConnection = other;
	return kResultOk;
}

tresult PLUGIN_API ComponentBase::disconnect (IConnectionPoint* other)
{
	if (peerConnection && other == peerConnection)
	{
		peerConnection = nullptr;
		return kResultOk;
	}
	return kResultFalse;
}

tresult PLUGIN_API ComponentBase::notify (IMessage* message)
{
	if (!message)
		return kInvalidArgument;
	if (FIDStringsEqual (message->getMessageID (), "TextMessage"))
	{
		IAttributeList* attributes = message->getAttributes ();
		TChar text[256] = {0};
		if (attributes && attributes->getString ("Text", text, sizeof (text)) == kResultOk)
		{
			text[255] = 0;
			return receiveText (StringConvert::convert (std::u16string (text)).c_str ());
		}
	}
	return kResultFalse;
}

IMessage* ComponentBase::allocateMessage () const
{
	FUnknownPtr<IHostApplication> hostApp (hostContext);
	return hostApp ? Vst::allocateMessage (hostApp) : nullptr;
}

tresult ComponentBase::sendMessage (IMessage* message) const
{
	if (message && getPeer ())
		return getPeer ()->notify (message);
	return kResultFalse;
}

tresult ComponentBase::sendTextMessage (const char8* text) const
{
	if (auto msg = owned (allocateMessage ()))
	{
		msg->setMessageID ("TextMessage");
		std::u16string wide = StringConvert::convert (std::string (text ? text : ""));
		if (wide.size () >= 256)
			wide.resize (255);
		if (IAttributeList* attributes = msg->getAttributes ())
			attributes->setString ("Text", wide.c_str ());
		return sendMessage (msg);
	}
	return kResultFalse;
}

tresult ComponentBase::sendMessageID (const char8* messageID) const
{
	if (auto msg = owned (allocateMessage ()))
	{
		msg->setMessageID (messageID);
		return sendMessage (msg);
	}
	return kResultFalse;
}

tresult ComponentBase::receiveText (const char8* /*text*/)
{
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
