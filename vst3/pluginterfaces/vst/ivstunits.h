// IUnitInfo: parameter groups (units) and program lists.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

#include "pluginterfaces/base/falignpush.h"

namespace Steinberg {
class IBStream;

namespace Vst {

static const UnitID kRootUnitId = 0;
static const UnitID kNoParentUnitId = -1;
static const ProgramListID kNoProgramListId = -1;

struct UnitInfo
{
	UnitID id;
	UnitID parentUnitId;
	String128 name;
	ProgramListID programListId;
};

struct ProgramListInfo
{
	ProgramListID id;
	String128 name;
	int32 programCount;
};

static const int32 kAllProgramInvalid = -1;

class IUnitHandler : public FUnknown
{
public:
	virtual tresult PLUGIN_API notifyUnitSelection (UnitID unitId) = 0;
	virtual tresult PLUGIN_API notifyProgramListChange (ProgramListID listId, int32 programIndex) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IUnitHandler, 0x4B5147F8, 0x4654486B, 0x8DAB30BA, 0x163A3C56)

class IUnitHandler2 : public FUnknown
{
public:
	virtual tresult PLUGIN_API notifyUnitByBusChange () = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IUnitHandler2, 0xF89F8CDF, 0x699E4BA5, 0x96AAC9A4, 0x81452B01)

class IUnitInfo : public FUnknown
{
public:
	virtual int32 PLUGIN_API getUnitCount () = 0;
	virtual tresult PLUGIN_API getUnitInfo (int32 unitIndex, UnitInfo& info) = 0;
	virtual int32 PLUGIN_API getProgramListCount () = 0;
	virtual tresult PLUGIN_API getProgramListInfo (int32 listIndex, ProgramListInfo& info) = 0;
	virtual tresult PLUGIN_API getProgramName (ProgramListID listId, int32 programIndex, String128 name) = 0;
	virtual tresult PLUGIN_API getProgramInfo (ProgramListID listId, int32 programIndex,
	                                           CString attributeId, String128 attributeValue) = 0;
	virtual tresult PLUGIN_API hasProgramPitchNames (ProgramListID listId, int32 programIndex) = 0;
	virtual tresult PLUGIN_API getProgramPitchName (ProgramListID listId, int32 programIndex,
	                                                int16 midiPitch, String128 name) = 0;
	virtual UnitID PLUGIN_API getSelectedUnit () = 0;
	virtual tresult PLUGIN_API selectUnit (UnitID unitId) = 0;
	virtual tresult PLUGIN_API getUnitByBus (MediaType type, BusDirection dir, int32 busIndex,
	                                         int32 channel, UnitID& unitId) = 0;
	virtual tresult PLUGIN_API setUnitProgramData (int32 listOrUnitId, int32 programIndex, IBStream* data) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IUnitInfo, 0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1)

class IProgramListData : public FUnknown
{
public:
	virtual tresult PLUGIN_API programDataSupported (ProgramListID listId) = 0;
	virtual tresult PLUGIN_API getProgramData (ProgramListID listId, int32 programIndex, IBStream* data) = 0;
	virtual tresult PLUGIN_API setProgramData (ProgramListID listId, int32 programIndex, IBStream* data) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IProgramListData, 0x8683B01F, 0x7B354F70, 0xA2651DEC, 0x353AF4FF)

class IUnitData : public FUnknown
{
public:
	virtual tresult PLUGIN_API unitDataSupported (UnitID unitID) = 0;
	virtual tresult PLUGIN_API getUnitData (UnitID unitId, IBStream* data) = 0;
	virtual tresult PLUGIN_API setUnitData (UnitID unitId, IBStream* data) = 0;

	static const FUID iid;
};
DECLARE_CLASS_IID (IUnitData, 0x6C389611, 0xD391455D, 0xB870B833, 0x94A0EFDD)

} // namespace Vst
} // namespace Steinberg

#include "pluginterfaces/base/falignpop.h"
