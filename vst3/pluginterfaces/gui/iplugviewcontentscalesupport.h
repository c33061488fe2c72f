// IPlugViewContentScaleSupport: the host tells an editor view how many device pixels a
// view pixel takes on its display; a view that accepts it sizes and draws itself that large.
#pragma once

#include "pluginterfaces/base/funknown.h"

namespace Steinberg {

class IPlugViewContentScaleSupport : public FUnknown
{
public:
	typedef float ScaleFactor;

	// [UI thread] kResultTrue when the view takes the factor (it then reports the scaled size
	// from getSize and asks its frame to resize); any other result leaves it as it was.
	virtual tresult PLUGIN_API setContentScaleFactor (ScaleFactor factor) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IPlugViewContentScaleSupport, 0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F)

} // namespace Steinberg
