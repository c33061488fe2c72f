// Parameter objects (plain, ranged, string list) and the container an edit controller keeps them in.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <map>
#include <string>
#include <vector>

namespace Steinberg {
namespace Vst {

// A parameter whose plain value is its normalized value.
class Parameter : public FObject
{
public:
	Parameter ();
	Parameter (const ParameterInfo&);
	// Texts are copied (cut to 127 characters); the default doubles as the current value.
	Parameter (const TChar* title, ParamID tag, const TChar* units = nullptr,
	           ParamValue defaultValueNormalized = 0., int32 stepCount = 0,
	           int32 flags = ParameterInfo::kCanAutomate, UnitID unitID = kRootUnitId,
	           const TChar* shortTitle = nullptr);
	~Parameter () override;

	virtual const ParameterInfo& getInfo () const { return info; }
	virtual ParameterInfo& getInfo () { return info; }

	virtual void setUnitID (UnitID id) { info.unitId = id; }
	virtual UnitID getUnitID () { return info.unitId; }

	ParamValue getNormalized () const { return valueNormalized; }
	// Clamps to 0..1 and ignores NaN; true (and changed ()) when the value differs from before.
	virtual bool setNormalized (ParamValue v);

	// stepCount 1 shows "On" above 0.5 and "Off" otherwise; else the number with getPrecision () decimals.
	virtual void toString (ParamValue valueNormalized, String128 string) const;
	virtual bool fromString (const TChar* string, ParamValue& valueNormalized) const;

	virtual ParamValue toPlain (ParamValue valueNormalized) const;
	virtual ParamValue toNormalized (ParamValue plainValue) const;

	virtual int32 getPrecision () const { return precision; }
	virtual void setPrecision (int32 val) { precision = val; }

	OBJ_METHODS (Parameter, FObject)

protected:
	ParameterInfo info {};
	ParamValue valueNormalized {0.};
	int32 precision {4};
};

// A parameter with a plain range minPlain..maxPlain; with stepCount > 1 it takes whole steps.
class RangeParameter : public Parameter
{
public:
	RangeParameter (const ParameterInfo& paramInfo, ParamValue min, ParamValue max);
	// The default is given as a plain value.
	RangeParameter (const TChar* title, ParamID tag, const TChar* units = nullptr,
	                ParamValue minPlain = 0., ParamValue maxPlain = 1., ParamValue defaultValuePlain = 0.,
	                int32 stepCount = 0, int32 flags = ParameterInfo::kCanAutomate,
	                UnitID unitID = kRootUnitId, const TChar* shortTitle = nullptr);

	virtual ParamValue getMin () const { return minPlain; }
	virtual void setMin (ParamValue value) { minPlain = value; }
	virtual ParamValue getMax () const { return maxPlain; }
	virtual void setMax (ParamValue value) { maxPlain = value; }

	// Stepped: the whole plain number; continuous: the plain value as Parameter prints it.
	void toString (ParamValue _valueNormalized, String128 string) const SMTG_OVERRIDE;
	// Continuous text is read as a plain value and clamped to the range.
	bool fromString (const TChar* string, ParamValue& _valueNormalized) const SMTG_OVERRIDE;
	ParamValue toPlain (ParamValue _valueNormalized) const SMTG_OVERRIDE;
	ParamValue toNormalized (ParamValue plainValue) const SMTG_OVERRIDE;

	OBJ_METHODS (RangeParameter, Parameter)

protected:
	RangeParameter ();

	ParamValue minPlain;
	ParamValue maxPlain;
};

// A stepped parameter whose values are named by a list of strings.
class StringListParameter : public Parameter
{
public:
	StringListParameter (const ParameterInfo& paramInfo);
	StringListParameter (const TChar* title, ParamID tag, const TChar* units = nullptr,
	                     int32 flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList,
	                     UnitID unitID = kRootUnitId, const TChar* shortTitle = nullptr);
	~StringListParameter () override;

	virtual void appendString (const String128 string);
	virtual bool replaceString (int32 index, const String128 string);
	virtual void clear ();

	void toString (ParamValue _valueNormalized, String128 string) const SMTG_OVERRIDE;
	bool fromString (const TChar* string, ParamValue& _valueNormalized) const SMTG_OVERRIDE;
	ParamValue toPlain (ParamValue _valueNormalized) const SMTG_OVERRIDE;
	ParamValue toNormalized (ParamValue plainValue) const SMTG_OVERRIDE;

	OBJ_METHODS (StringListParameter, Parameter)

protected:
	using StringVector = std::vector<std::u16string>;
	StringVector strings;
};

// Parameters in the order they were added, found by index or by ID. Owns one reference of each.
class ParameterContainer
{
public:
	ParameterContainer ();
	~ParameterContainer ();

	void init (int32 initialSize = 10, int32 resizeDelta = 100);

	Parameter* addParameter (const ParameterInfo& info);
	// tag < 0 uses the current parameter count as ID. Returns null without a title.
	Parameter* addParameter (const TChar* title, const TChar* units = nullptr, int32 stepCount = 0,
	                         ParamValue defaultValueNormalized = 0.,
	                         int32 flags = ParameterInfo::kCanAutomate, int32 tag = -1,
	                         UnitID unitID = kRootUnitId, const TChar* shortTitle = nullptr);
	// Takes over the caller's reference. A second parameter with the same ID hides the first
	// from getParameter but keeps its place in the index order.
	Parameter* addParameter (Parameter* p);

	int32 getParameterCount () const { return params ? static_cast<int32> (params->size ()) : 0; }
	Parameter* getParameterByIndex (int32 index) const;

	void removeAll ()
	{
		if (params)
			params->clear ();
		id2index.clear ();
	}

	Parameter* getParameter (ParamID tag) const;
	// True when a parameter with this ID was removed.
	bool removeParameter (ParamID tag);

protected:
	using ParameterPtrVector = std::vector<IPtr<Parameter>>;
	using IndexMap = std::map<ParamID, ParameterPtrVector::size_type>;

	ParameterPtrVector* params {nullptr};
	IndexMap id2index;
};

} // namespace Vst
} // namespace Steinberg
