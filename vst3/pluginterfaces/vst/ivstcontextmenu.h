// The host's context menu: a plug-in asks the component handler (IComponentHandler3) for the
// menu of a parameter, may add items of its own (IContextMenuTarget) and pops it up.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

#include "pluginterfaces/base/falignpush.h"

namespace Steinberg {
class IPlugView;

namespace Vst {
class IContextMenu;

class IComponentHandler3 : public FUnknown
{
public:
	// [UI thread] A new menu for paramID (null: a menu not tied to a parameter) of plugView;
	// the caller releases it. Null when the host offers none.
	virtual IContextMenu* PLUGIN_API createContextMenu (IPlugView* plugView, const ParamID* paramID) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IComponentHandler3, 0x69F11617, 0xD26B400D, 0xA4B6B964, 0x7B6EBBAB)

class IContextMenuTarget : public FUnknown
{
public:
	// [UI thread] The item of this tag was chosen.
	virtual tresult PLUGIN_API executeMenuItem (int32 tag) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IContextMenuTarget, 0x3CDF2E75, 0x85D34144, 0xBF86D36B, 0xD7C4894D)

struct IContextMenuItem
{
	String128 name;
	int32 tag;
	int32 flags;

	enum Flags
	{
		kIsSeparator = 1 << 0,
		kIsDisabled = 1 << 1,
		kIsChecked = 1 << 2,
		kIsGroupStart = 1 << 3 | kIsDisabled,
		kIsGroupEnd = 1 << 4 | kIsSeparator,
	};
};

class IContextMenu : public FUnknown
{
public:
	typedef IContextMenuItem Item;

	virtual int32 PLUGIN_API getItemCount () = 0;
	// target may be null; a target handed out carries a reference for the caller.
	virtual tresult PLUGIN_API getItem (int32 index, Item& item /*out*/, IContextMenuTarget** target /*out*/) = 0;
	virtual tresult PLUGIN_API addItem (const Item& item, IContextMenuTarget* target) = 0;
	virtual tresult PLUGIN_API removeItem (const Item& item, IContextMenuTarget* target) = 0;
	// [UI thread] Shows the menu at (x, y), pixels from the top left of the view; may run a
	// modal loop until an item is chosen or the menu is dismissed.
	virtual tresult PLUGIN_API popup (UCoord x, UCoord y) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IContextMenu, 0x2E93C863, 0x0C9C4588, 0x97DBECF5, 0xAD17817D)

} // namespace Vst
} // namespace Steinberg

#include "pluginterfaces/base/falignpop.h"
