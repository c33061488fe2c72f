#include "public.sdk/source/vst/vsteditcontroller.h"

#include "pluginterfaces/base/ustring.h"

#include <cstring>

namespace Steinberg {
namespace Vst {

namespace {

void copyToString128 (const std::u16string& text, String128 out)
{
	std::memset (out, 0, sizeof (String128));
	text.copy (out, 127);
}

bool validIndex (int32 index, size_t size)
{
	return index >= 0 && static_cast<size_t> (index) < size;
}

} // namespace

KnobMode EditController::hostKnobMode = kCircularMode;

EditController::EditController () = default;

tresult PLUGIN_API EditController::initialize (FUnknown* context)
{
	return ComponentBase::initialize (context);
}

tresult PLUGIN_API EditController::terminate ()
{
	parameters.removeAll ();
	componentHandler.reset ();
	componentHandler2.reset ();
	return ComponentBase::terminate ();
}

int32 PLUGIN_API EditController::getParameterCount ()
{
	return parameters.getParameterCount ();
}

tresult PLUGIN_API EditController::getParameterInfo (int32 paramIndex, ParameterInfo& info)
{
	if (Parameter* parameter = parameters.getParameterByIndex (paramIndex))
	{
		info = parameter->getInfo ();
		return kResultTrue;
	}
	return kResultFalse;
}

tresult PLUGIN_API EditController::getParamStringByValue (ParamID tag, ParamValue valueNormalized,
                                                          String128 string)
{
	if (Parameter* parameter = getParameterObject (tag))
	{
		parameter->toString (valueNormalized, string);
		return kResultTrue;
	}
	return kResultFalse;
}

tresult PLUGIN_API EditController::getParamValueByString (ParamID tag, TChar* string,
                                                          ParamValue& valueNormalized)
{
	if (Parameter* parameter = getParameterObject (tag))
		if (parameter->fromString (string, valueNormalized))
			return kResultTrue;
	return kResultFalse;
}

ParamValue PLUGIN_API EditController::normalizedParamToPlain (ParamID tag, ParamValue valueNormalized)
{
	if (Parameter* parameter = getParameterObject (tag))
		return parameter->toPlain (valueNormalized);
	return valueNormalized;
}

ParamValue PLUGIN_API EditController::plainParamToNormalized (ParamID tag, ParamValue plainValue)
{
	if (Parameter* parameter = getParameterObject (tag))
		return parameter->toNormalized (plainValue);
	return plainValue;
}

ParamValue PLUGIN_API EditController::getParamNormalized (ParamID tag)
{
	if (Parameter* parameter = getParameterObject (tag))
		return parameter->getNormalized ();
	return 0.;
}

tresult PLUGIN_API EditController::setParamNormalized (ParamID tag, ParamValue value)
{
	if (Parameter* parameter = getParameterObject (tag))
	{
		parameter->setNormalized (value);
		return kResultTrue;
	}
	return kResultFalse;
}

tresult PLUGIN_API EditController::setComponentHandler (IComponentHandler* newHandler)
{
	if (componentHandler == newHandler)
		return kResultTrue;
	componentHandler = newHandler;
	componentHandler2 = FUnknownPtr<IComponentHandler2> (newHandler);
	return kResultTrue;
}

tresult EditController::beginEdit (ParamID tag)
{
	return componentHandler ? componentHandler->beginEdit (tag) : kResultFalse;
}

tresult EditController::performEdit (ParamID tag, ParamValue valueNormalized)
{
	return componentHandler ? componentHandler->performEdit (tag, valueNormalized) : kResultFalse;
}

tresult EditController::endEdit (ParamID tag)
{
	return componentHandler ? componentHandler->endEdit (tag) : kResultFalse;
}

tresult EditController::startGroupEdit ()
{
	return componentHandler2 ? componentHandler2->startGroupEdit () : kNotImplemented;
}

tresult EditController::finishGroupEdit ()
{
	return componentHandler2 ? componentHandler2->finishGroupEdit () : kNotImplemented;
}

tresult EditController::getParameterInfoByTag (ParamID tag, ParameterInfo& info)
{
	if (Parameter* parameter = getParameterObject (tag))
	{
		info = parameter->getInfo ();
		return kResultTrue;
	}
	return kResultFalse;
}

tresult EditController::setDirty (TBool state)
{
	return componentHandler2 ? componentHandler2->setDirty (state) : kNotImplemented;
}

tresult EditController::requestOpenEditor (FIDString name)
{
	return componentHandler2 ? componentHandler2->requestOpenEditor (name) : kNotImplemented;
}

//------------------------------------------------------------------------
EditorView::EditorView (EditController* _controller, ViewRect* size)
: CPluginView (size), controller (_controller)
{
}

EditorView::~EditorView ()
{
	if (controller)
	{
		controller->editorDestroyed (this);
		controller = nullptr;
	}
}

void EditorView::attachedToParent ()
{
	if (controller)
		controller->editorAttached (this);
}

void EditorView::removedFromParent ()
{
	if (controller)
		controller->editorRemoved (this);
}

//------------------------------------------------------------------------
Unit::Unit () = default;

Unit::Unit (const String128 name, UnitID unitId, UnitID parentUnitId, ProgramListID programListId)
{
	setName (name);
	info.id = unitId;
	info.parentUnitId = parentUnitId;
	info.programListId = programListId;
}

Unit::Unit (const UnitInfo& unit) : info (unit) {}

void Unit::setName (const String128 newName)
{
	UString (info.name, 128).assign (newName);
}

//------------------------------------------------------------------------
ProgramList::ProgramList (const String128 name, ProgramListID listId, UnitID _unitId) : unitId (_unitId)
{
	UString (info.name, 128).assign (name);
	info.id = listId;
	info.programCount = 0;
}

ProgramList::ProgramList (const ProgramList& programList)
: FObject ()
, info (programList.info)
, unitId (programList.unitId)
, programNames (programList.programNames)
, programInfos (programList.programInfos)
{
}

int32 ProgramList::addProgram (const String128 name)
{
	++info.programCount;
	programNames.emplace_back (name ? name : u"");
	programInfos.emplace_back ();
	if (parameter)
		static_cast<StringListParameter*> (parameter)->appendString (name);
	return static_cast<int32> (programNames.size ()) - 1;
}

void ProgramList::clearPrograms ()
{
	info.programCount = 0;
	programNames.clear ();
	programInfos.clear ();
	if (parameter)
		static_cast<StringListParameter*> (parameter)->clear ();
}

bool ProgramList::setProgramInfo (int32 programIndex, CString attributeId, const String128 value)
{
	if (!validIndex (programIndex, programNames.size ()) || !attributeId || !value)
		return false;
	programInfos[static_cast<size_t> (programIndex)].insert ({attributeId, value});
	return true;
}

tresult ProgramList::getProgramInfo (int32 programIndex, CString attributeId, String128 value)
{
	if (!validIndex (programIndex, programNames.size ()) || !attributeId)
		return kResultFalse;
	const StringMap& attributes = programInfos[static_cast<size_t> (programIndex)];
	auto it = attributes.find (attributeId);
	if (it == attributes.end () || it->second.empty ())
		return kResultFalse;
	copyToString128 (it->second, value);
	return kResultTrue;
}

tresult ProgramList::getProgramName (int32 programIndex, String128 name)
{
	if (!validIndex (programIndex, programNames.size ()))
		return kResultFalse;
	copyToString128 (programNames[static_cast<size_t> (programIndex)], name);
	return kResultTrue;
}

tresult ProgramList::setProgramName (int32 programIndex, const String128 name)
{
	if (!validIndex (programIndex, programNames.size ()) || !name)
		return kResultFalse;
	programNames[static_cast<size_t> (programIndex)] = name;
	if (parameter)
		static_cast<StringListParameter*> (parameter)->replaceString (programIndex, name);
	return kResultTrue;
}

Parameter* ProgramList::getParameter ()
{
	if (!parameter)
	{
		auto* listParameter = new StringListParameter (
		    info.name, static_cast<ParamID> (info.id), nullptr,
		    ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange, unitId);
		for (const auto& programName : programNames)
			listParameter->appendString (programName.c_str ());
		parameter = listParameter;
	}
	return parameter;
}

//------------------------------------------------------------------------
EditControllerEx1::EditControllerEx1 () = default;
EditControllerEx1::~EditControllerEx1 () = default;

tresult PLUGIN_API EditControllerEx1::terminate ()
{
	units.clear ();
	for (const auto& programList : programLists)
		if (programList)
			programList->removeDependent (this);
	programLists.clear ();
	programIndexMap.clear ();
	return EditController::terminate ();
}

bool EditControllerEx1::addUnit (Unit* unit)
{
	if (!unit)
		return false;
	units.emplace_back (unit, false);
	return true;
}

tresult PLUGIN_API EditControllerEx1::getUnitInfo (int32 unitIndex, UnitInfo& info)
{
	if (!validIndex (unitIndex, units.size ()))
		return kResultFalse;
	if (Unit* unit = units[static_cast<size_t> (unitIndex)])
	{
		info = unit->getInfo ();
		return kResultTrue;
	}
	return kResultFalse;
}

tresult EditControllerEx1::notifyUnitSelection ()
{
	if (FUnknownPtr<IUnitHandler> unitHandler = FUnknownPtr<IUnitHandler> (componentHandler))
		return unitHandler->notifyUnitSelection (selectedUnit);
	return kResultFalse;
}

bool EditControllerEx1::addProgramList (ProgramList* list)
{
	if (!list)
		return false;
	programIndexMap[list->getID ()] = programLists.size ();
	programLists.emplace_back (list, false);
	list->addDependent (this);
	return true;
}

ProgramList* EditControllerEx1::getProgramList (ProgramListID listId) const
{
	auto it = programIndexMap.find (listId);
	return it == programIndexMap.end () ? nullptr : programLists[it->second].get ();
}

tresult EditControllerEx1::notifyProgramListChange (ProgramListID listId, int32 programIndex)
{
	if (FUnknownPtr<IUnitHandler> unitHandler = FUnknownPtr<IUnitHandler> (componentHandler))
		return unitHandler->notifyProgramListChange (listId, programIndex);
	return kResultFalse;
}

int32 PLUGIN_API EditControllerEx1::getProgramListCount ()
{
	return static_cast<int32> (programLists.size ());
}

tresult PLUGIN_API EditControllerEx1::getProgramListInfo (int32 listIndex, ProgramListInfo& info)
{
	if (!validIndex (listIndex, programLists.size ()))
		return kResultFalse;
	info = programLists[static_cast<size_t> (listIndex)]->getInfo ();
	return kResultTrue;
}

tresult PLUGIN_API EditControllerEx1::getProgramName (ProgramListID listId, int32 programIndex, String128 name)
{
	if (ProgramList* list = getProgramList (listId))
		return list->getProgramName (programIndex, name);
	return kResultFalse;
}

tresult EditControllerEx1::setProgramName (ProgramListID listId, int32 programIndex, const String128 name)
{
	if (ProgramList* list = getProgramList (listId))
		return list->setProgramName (programIndex, name);
	return kResultFalse;
}

tresult PLUGIN_API EditControllerEx1::getProgramInfo (ProgramListID listId, int32 programIndex,
                                                      CString attributeId, String128 attributeValue)
{
	if (ProgramList* list = getProgramList (listId))
		return list->getProgramInfo (programIndex, attributeId, attributeValue);
	return kResultFalse;
}

tresult PLUGIN_API EditControllerEx1::hasProgramPitchNames (ProgramListID listId, int32 programIndex)
{
	if (ProgramList* list = getProgramList (listId))
		return list->hasPitchNames (programIndex);
	return kResultFalse;
}

tresult PLUGIN_API EditControllerEx1::getProgramPitchName (ProgramListID listId, int32 programIndex,
                                                           int16 midiPitch, String128 name)
{
	if (ProgramList* list = getProgramList (listId))
		return list->getPitchName (programIndex, midiPitch, name);
	return kResultFalse;
}

void PLUGIN_API EditControllerEx1::update (FUnknown* changedUnknown, int32 /*message*/)
{
	if (auto* programList = FCast<ProgramList> (changedUnknown))
		notifyProgramListChange (programList->getID (), kAllProgramInvalid);
}

} // namespace Vst
} // namespace Steinberg
