// IParameterFinder: a host asks the editor which parameter sits under a point of the view, so
// that "automate" or "learn" acts on the control under the mouse.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

#include "pluginterfaces/base/falignpush.h"

namespace Steinberg {
namespace Vst {

class IParameterFinder : public FUnknown
{
public:
	// [UI thread] xPos, yPos in the view's pixels; kResultTrue with resultTag set when a
	// control of a parameter is there, kResultFalse otherwise.
	virtual tresult PLUGIN_API findParameter (int32 xPos, int32 yPos, ParamID& resultTag /*out*/) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IParameterFinder, 0x0F618302, 0x215D4587, 0xA512073C, 0x77B9D383)

} // namespace Vst
} // namespace Steinberg

#include "pluginterfaces/base/falignpop.h"
