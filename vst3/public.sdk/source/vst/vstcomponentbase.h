// ComponentBase: host context and peer connection shared by components and controllers.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace Steinberg {
namespace Vst {

class ComponentBase : public FObject, public IPluginBase, public IConnectionPoint
{
public:
	ComponentBase ();
	~ComponentBase () override;

	FUnknown* getHostContext () const { return hostContext; }
	IConnectionPoint* getPeer () const { return peerConnection; }

	// A new message from the host application, or null.
	IMessage* allocateMessage () const;
	tresult sendMessage (IMessage* message) const;
	// Sends "TextMessage" with the UTF-8 text (up to 255 characters) in its "Text" attribute.
	tresult sendTextMessage (const char8* text) const;
	tresult sendMessageID (const char8* messageID) const;
	virtual tresult receiveText (const char8* text);

	// [UI thread] Keeps the context; a second initialize without terminate is refused.
	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;
	// [UI thread] Drops the context and disconnects from the peer.
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;

	tresult PLUGIN_API connect (IConnectionPoint* other) SMTG_OVERRIDE;
	tresult PLUGIN_API disconnect (IConnectionPoint* other) SMTG_OVERRIDE;
	tresult PLUGIN_API notify (IMessage* message) SMTG_OVERRIDE;

	OBJ_METHODS (ComponentBase, FObject)
	DEFINE_INTERFACES
		DEF_INTERFACE (IPluginBase)
		DEF_INTERFACE (IConnectionPoint)
	END_DEFINE_INTERFACES (FObject)
	REFCOUNT_METHODS (FObject)

protected:
	IPtr<FUnknown> hostContext;
	IPtr<IConnectionPoint> peerConnection;
};

} // namespace Vst
} // namespace Steinberg
