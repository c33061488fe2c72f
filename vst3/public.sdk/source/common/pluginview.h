// CPluginView: base of a plug-in editor view; keeps the size, the parent window and the frame.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/gui/iplugview.h"

namespace Steinberg {

class CPluginView : public FObject, public IPlugView
{
public:
	CPluginView (const ViewRect* rect = nullptr);
	~CPluginView () SMTG_OVERRIDE;

	const ViewRect& getRect () const { return rect; }
	void setRect (const ViewRect& r) { rect = r; }

	// True between attached () and removed ().
	bool isAttached () const { return systemWindow != nullptr; }

	// Hooks for derived views, called after the parent is stored or cleared.
	virtual void attachedToParent () {}
	virtual void removedFromParent () {}

	// The base supports no window kind; a real view overrides this.
	tresult PLUGIN_API isPlatformTypeSupported (FIDString type) SMTG_OVERRIDE;
	tresult PLUGIN_API attached (void* parent, FIDString type) SMTG_OVERRIDE;
	tresult PLUGIN_API removed () SMTG_OVERRIDE;

	tresult PLUGIN_API onWheel (float /*distance*/) SMTG_OVERRIDE { return kResultFalse; }
	tresult PLUGIN_API onKeyDown (char16 /*key*/, int16 /*keyCode*/, int16 /*modifiers*/) SMTG_OVERRIDE
	{
		return kResultFalse;
	}
	tresult PLUGIN_API onKeyUp (char16 /*key*/, int16 /*keyCode*/, int16 /*modifiers*/) SMTG_OVERRIDE
	{
		return kResultFalse;
	}
	tresult PLUGIN_API getSize (ViewRect* size) SMTG_OVERRIDE;
	tresult PLUGIN_API onSize (ViewRect* newSize) SMTG_OVERRIDE;
	tresult PLUGIN_API onFocus (TBool /*state*/) SMTG_OVERRIDE { return kResultFalse; }
	tresult PLUGIN_API setFrame (IPlugFrame* frame) SMTG_OVERRIDE
	{
		plugFrame = frame;
		return kResultTrue;
	}
	tresult PLUGIN_API canResize () SMTG_OVERRIDE { return kResultFalse; }
	tresult PLUGIN_API checkSizeConstraint (ViewRect* /*rect*/) SMTG_OVERRIDE { return kResultFalse; }

	OBJ_METHODS (CPluginView, FObject)
	DEFINE_INTERFACES
		DEF_INTERFACE (IPlugView)
	END_DEFINE_INTERFACES (FObject)
	REFCOUNT_METHODS (FObject)

protected:
	ViewRect rect;
	void* systemWindow {nullptr};
	IPtr<IPlugFrame> plugFrame;
};

} // namespace Steinberg
