#include "public.sdk/source/common/pluginview.h"

namespace Steinberg {

CPluginView::CPluginView (const ViewRect* _rect) : rect (0, 0, 0, 0)
{
	if (_rect)
		rect = *_rect;
}

CPluginView::~CPluginView () = default;

tresult PLUGIN_API CPluginView::isPlatformTypeSupported (FIDString /*type*/)
{
	return kNotImplemented;
}

tresult PLUGIN_API CPluginView::attached (void* parent, FIDString /*type*/)
{
	systemWindow = parent;
	attachedToParent ();
	return kResultOk;
}

tresult PLUGIN_API CPluginView::removed ()
{
	systemWindow = nullptr;
	removedFromParent ();
	return kResultOk;
}

tresult PLUGIN_API CPluginView::onSize (ViewRect* newSize)
{
	if (newSize)
		rect = *newSize;
	return kResultTrue;
}

tresult PLUGIN_API CPluginView::getSize (ViewRect* size)
{
	if (!size)
		return kInvalidArgument;
	*size = rect;
	return kResultTrue;
}

} // namespace Steinberg
