// EditController (parameters, component handler, editor hooks) and EditControllerEx1 (units and
// program lists).
#pragma once

#include "public.sdk/source/common/pluginview.h"
#include "public.sdk/source/vst/vstcomponentbase.h"
#include "public.sdk/source/vst/vstparameters.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <map>
#include <string>
#include <vector>

namespace Steinberg {
namespace Vst {

class EditorView;

class EditController : public ComponentBase, public IEditController, public IEditController2
{
public:
	EditController ();

	// [UI thread] Controller state is not kept by the base.
	tresult PLUGIN_API setComponentState (IBStream* /*state*/) SMTG_OVERRIDE { return kNotImplemented; }
	tresult PLUGIN_API setState (IBStream* /*state*/) SMTG_OVERRIDE { return kNotImplemented; }
	tresult PLUGIN_API getState (IBStream* /*state*/) SMTG_OVERRIDE { return kNotImplemented; }

	// [UI thread] Parameter queries answered from the parameter container.
	int32 PLUGIN_API getParameterCount () SMTG_OVERRIDE;
	tresult PLUGIN_API getParameterInfo (int32 paramIndex, ParameterInfo& info) SMTG_OVERRIDE;
	tresult PLUGIN_API getParamStringByValue (ParamID tag, ParamValue valueNormalized, String128 string) SMTG_OVERRIDE;
	tresult PLUGIN_API getParamValueByString (ParamID tag, TChar* string, ParamValue& valueNormalized) SMTG_OVERRIDE;
	// Unknown IDs pass the value through unchanged.
	ParamValue PLUGIN_API normalizedParamToPlain (ParamID tag, ParamValue valueNormalized) SMTG_OVERRIDE;
	ParamValue PLUGIN_API plainParamToNormalized (ParamID tag, ParamValue plainValue) SMTG_OVERRIDE;
	// 0 for unknown IDs.
	ParamValue PLUGIN_API getParamNormalized (ParamID tag) SMTG_OVERRIDE;
	tresult PLUGIN_API setParamNormalized (ParamID tag, ParamValue value) SMTG_OVERRIDE;
	// Keeps the handler and asks it for IComponentHandler2.
	tresult PLUGIN_API setComponentHandler (IComponentHandler* handler) SMTG_OVERRIDE;
	IPlugView* PLUGIN_API createView (FIDString /*name*/) SMTG_OVERRIDE { return nullptr; }

	tresult PLUGIN_API setKnobMode (KnobMode mode) SMTG_OVERRIDE
	{
		hostKnobMode = mode;
		return kResultTrue;
	}
	tresult PLUGIN_API openHelp (TBool /*onlyCheck*/) SMTG_OVERRIDE { return kResultFalse; }
	tresult PLUGIN_API openAboutBox (TBool /*onlyCheck*/) SMTG_OVERRIDE { return kResultFalse; }

	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;
	// Removes all parameters and forgets the component handler.
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;

	// Forwarded to the component handler; kResultFalse without one.
	virtual tresult beginEdit (ParamID tag);
	virtual tresult performEdit (ParamID tag, ParamValue valueNormalized);
	virtual tresult endEdit (ParamID tag);
	// Forwarded to IComponentHandler2; kNotImplemented without one.
	virtual tresult startGroupEdit ();
	virtual tresult finishGroupEdit ();

	virtual void editorDestroyed (EditorView* /*editor*/) {}
	virtual void editorAttached (EditorView* /*editor*/) {}
	virtual void editorRemoved (EditorView* /*editor*/) {}

	static KnobMode getHostKnobMode () { return hostKnobMode; }

	virtual Parameter* getParameterObject (ParamID tag) { return parameters.getParameter (tag); }
	virtual tresult getParameterInfoByTag (ParamID tag, ParameterInfo& info);

	virtual tresult setDirty (TBool state);
	virtual tresult requestOpenEditor (FIDString name = ViewType::kEditor);

	IComponentHandler* getComponentHandler () const { return componentHandler; }

	OBJ_METHODS (EditController, ComponentBase)
	DEFINE_INTERFACES
		DEF_INTERFACE (IEditController)
		DEF_INTERFACE (IEditController2)
	END_DEFINE_INTERFACES (ComponentBase)
	REFCOUNT_METHODS (ComponentBase)

protected:
	IPtr<IComponentHandler> componentHandler;
	IPtr<IComponentHandler2> componentHandler2;

	ParameterContainer parameters;

	static KnobMode hostKnobMode;
};

// A view that tells its controller when it is attached, removed and destroyed.
class EditorView : public CPluginView
{
public:
	EditorView (EditController* controller, ViewRect* size = nullptr);
	~EditorView () override;

	EditController* getController () const { return controller; }

	void attachedToParent () SMTG_OVERRIDE;
	void removedFromParent () SMTG_OVERRIDE;

protected:
	IPtr<EditController> controller;
};

class Unit : public FObject
{
public:
	Unit (const String128 name, UnitID unitId, UnitID parentUnitId = kRootUnitId,
	      ProgramListID programListId = kNoProgramListId);
	Unit (const UnitInfo& unit);

	const UnitInfo& getInfo () const { return info; }
	UnitID getID () const { return info.id; }
	void setID (UnitID newID) { info.id = newID; }
	const TChar* getName () const { return info.name; }
	void setName (const String128 newName);
	ProgramListID getProgramListID () const { return info.programListId; }
	void setProgramListID (ProgramListID newID) { info.programListId = newID; }

	OBJ_METHODS (Unit, FObject)

protected:
	Unit ();

	UnitInfo info {};
};

class ProgramList : public FObject
{
public:
	ProgramList (const String128 name, ProgramListID listId, UnitID unitId);
	ProgramList (const ProgramList& programList);

	const ProgramListInfo& getInfo () const { return info; }
	ProgramListID getID () const { return info.id; }
	const TChar* getName () const { return info.name; }
	int32 getCount () const { return info.programCount; }

	virtual tresult getProgramName (int32 programIndex, String128 name);
	virtual tresult setProgramName (int32 programIndex, const String128 name);
	virtual tresult getProgramInfo (int32 programIndex, CString attributeId, String128 value);
	virtual tresult hasPitchNames (int32 /*programIndex*/) { return kResultFalse; }
	virtual tresult getPitchName (int32 /*programIndex*/, int16 /*midiPitch*/, String128 /*name*/)
	{
		return kResultFalse;
	}

	// Returns the new program's index.
	virtual int32 addProgram (const String128 name);
	virtual bool setProgramInfo (int32 programIndex, CString attributeId, const String128 value);
	// A list parameter naming the programs, created on first use and owned by the caller's container.
	virtual Parameter* getParameter ();
	virtual void clearPrograms ();

	OBJ_METHODS (ProgramList, FObject)

protected:
	using StringMap = std::map<std::string, std::u16string>;
	using StringVector = std::vector<std::u16string>;
	using ProgramInfoVector = std::vector<StringMap>;

	ProgramListInfo info {};
	UnitID unitId;
	StringVector programNames;
	ProgramInfoVector programInfos;
	Parameter* parameter {nullptr};
};

class EditControllerEx1 : public EditController, public IUnitInfo
{
public:
	EditControllerEx1 ();
	~EditControllerEx1 () override;

	// Removes units and program lists as well.
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;

	// Takes over the caller's reference.
	bool addUnit (Unit* unit);
	bool addProgramList (ProgramList* list);
	ProgramList* getProgramList (ProgramListID listId) const;
	tresult notifyProgramListChange (ProgramListID listId, int32 programIndex = kAllProgramInvalid);

	// [UI thread] Units and program lists as added by the plug-in; none by default.
	int32 PLUGIN_API getUnitCount () SMTG_OVERRIDE { return static_cast<int32> (units.size ()); }
	tresult PLUGIN_API getUnitInfo (int32 unitIndex, UnitInfo& info) SMTG_OVERRIDE;
	int32 PLUGIN_API getProgramListCount () SMTG_OVERRIDE;
	tresult PLUGIN_API getProgramListInfo (int32 listIndex, ProgramListInfo& info) SMTG_OVERRIDE;
	tresult PLUGIN_API getProgramName (ProgramListID listId, int32 programIndex, String128 name) SMTG_OVERRIDE;
	tresult PLUGIN_API getProgramInfo (ProgramListID listId, int32 programIndex, CString attributeId,
	                                   String128 attributeValue) SMTG_OVERRIDE;
	tresult PLUGIN_API hasProgramPitchNames (ProgramListID listId, int32 programIndex) SMTG_OVERRIDE;
	tresult PLUGIN_API getProgramPitchName (ProgramListID listId, int32 programIndex, int16 midiPitch,
	                                        String128 name) SMTG_OVERRIDE;
	virtual tresult setProgramName (ProgramListID listId, int32 programIndex, const String128 name);

	UnitID PLUGIN_API getSelectedUnit () SMTG_OVERRIDE { return selectedUnit; }
	tresult PLUGIN_API selectUnit (UnitID unitId) SMTG_OVERRIDE
	{
		selectedUnit = unitId;
		return kResultTrue;
	}
	tresult PLUGIN_API getUnitByBus (MediaType /*type*/, BusDirection /*dir*/, int32 /*busIndex*/,
	                                 int32 /*channel*/, UnitID& /*unitId*/) SMTG_OVERRIDE
	{
		return kResultFalse;
	}
	tresult PLUGIN_API setUnitProgramData (int32 /*listOrUnitId*/, int32 /*programIndex*/,
	                                       IBStream* /*data*/) SMTG_OVERRIDE
	{
		return kResultFalse;
	}

	virtual tresult notifyUnitSelection ();

	void PLUGIN_API update (FUnknown* changedUnknown, int32 message) SMTG_OVERRIDE;

	OBJ_METHODS (EditControllerEx1, EditController)
	DEFINE_INTERFACES
		DEF_INTERFACE (IUnitInfo)
	END_DEFINE_INTERFACES (EditController)
	REFCOUNT_METHODS (EditController)

protected:
	using ProgramListVector = std::vector<IPtr<ProgramList>>;
	using ProgramIndexMap = std::map<ProgramListID, ProgramListVector::size_type>;
	using UnitVector = std::vector<IPtr<Unit>>;

	UnitVector units;
	ProgramListVector programLists;
	ProgramIndexMap programIndexMap;
	UnitID selectedUnit {kRootUnitId};
};

} // namespace Vst
} // namespace Steinberg
