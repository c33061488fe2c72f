#include "public.sdk/source/vst/vstparameters.h"

#include "pluginterfaces/base/ustring.h"

#include <algorithm>
#include <cmath>

namespace Steinberg {
namespace Vst {

namespace {

constexpr int32 kString128Size = 128;

void setText (String128 field, const TChar* text)
{
	UString (field, kString128Size).assign (text);
}

// Normalized value of a stepped parameter to its step index: floor (v * (steps + 1)), at most steps.
int32 stepFromNormalized (ParamValue v, int32 steps)
{
	return std::min<int32> (steps, static_cast<int32> (v * (steps + 1)));
}

} // namespace

//------------------------------------------------------------------------
Parameter::Parameter () = default;

Parameter::Parameter (const ParameterInfo& paramInfo)
: info (paramInfo), valueNormalized (paramInfo.defaultNormalizedValue)
{
}

Parameter::Parameter (const TChar* title, ParamID tag, const TChar* units,
                      ParamValue defaultValueNormalized, int32 stepCount, int32 flags,
                      UnitID unitID, const TChar* shortTitle)
{
	setText (info.title, title);
	if (units)
		setText (info.units, units);
	if (shortTitle)
		setText (info.shortTitle, shortTitle);
	info.stepCount = stepCount;
	info.defaultNormalizedValue = valueNormalized = defaultValueNormalized;
	info.flags = flags;
	info.id = tag;
	info.unitId = unitID;
}

Parameter::~Parameter () = default;

bool Parameter::setNormalized (ParamValue normValue)
{
	// A NaN would survive the clamp and poison every later reading.
	if (std::isnan (normValue))
		return false;
	normValue = std::clamp (normValue, 0., 1.);
	if (normValue != valueNormalized)
	{
		valueNormalized = normValue;
		changed ();
		return true;
	}
	return false;
}

void Parameter::toString (ParamValue normValue, String128 string) const
{
	UString text (string, kString128Size);
	if (info.stepCount == 1)
		text.assign (normValue > 0.5 ? STR16 ("On") : STR16 ("Off"));
	else if (!text.printFloat (normValue, precision))
		string[0] = 0;
}

bool Parameter::fromString (const TChar* string, ParamValue& normValue) const
{
	if (!string)
		return false;
	return UString (const_cast<TChar*> (string), tstrlen (string)).scanFloat (normValue);
}

ParamValue Parameter::toPlain (ParamValue normValue) const
{
	return normValue;
}

ParamValue Parameter::toNormalized (ParamValue plainValue) const
{
	return plainValue;
}

//------------------------------------------------------------------------
RangeParameter::RangeParameter () : minPlain (0), maxPlain (1) {}

RangeParameter::RangeParameter (const ParameterInfo& paramInfo, ParamValue min, ParamValue max)
: Parameter (paramInfo), minPlain (min), maxPlain (max)
{
}

RangeParameter::RangeParameter (const TChar* title, ParamID tag, const TChar* units,
                                ParamValue _minPlain, ParamValue _maxPlain,
                                ParamValue defaultValuePlain, int32 stepCount, int32 flags,
                                UnitID unitID, const TChar* shortTitle)
: minPlain (_minPlain), maxPlain (_maxPlain)
{
	setText (info.title, title);
	if (units)
		setText (info.units, units);
	if (shortTitle)
		setText (info.shortTitle, shortTitle);
	info.stepCount = stepCount;
	info.defaultNormalizedValue = valueNormalized = toNormalized (defaultValuePlain);
	info.flags = flags;
	info.id = tag;
	info.unitId = unitID;
}

void RangeParameter::toString (ParamValue _valueNormalized, String128 string) const
{
	if (info.stepCount > 1)
	{
		UString text (string, kString128Size);
		if (!text.printInt (static_cast<int64> (toPlain (_valueNormalized))))
			string[0] = 0;
	}
	else
	{
		// The plain value goes through the base formatting (so stepCount 1 reads On/Off).
		Parameter::toString (toPlain (_valueNormalized), string);
	}
}

bool RangeParameter::fromString (const TChar* string, ParamValue& _valueNormalized) const
{
	if (!string)
		return false;
	UString text (const_cast<TChar*> (string), tstrlen (string));
	const ParamValue low = std::min (getMin (), getMax ());
	const ParamValue high = std::max (getMin (), getMax ());
	if (info.stepCount > 1)
	{
		int64 plain = 0;
		if (!text.scanInt (plain))
			return false;
		// Out-of-range numbers are clamped so the result stays a valid normalized value.
		_valueNormalized = toNormalized (std::clamp (static_cast<ParamValue> (plain), low, high));
		return true;
	}
	ParamValue plain = 0.;
	if (!text.scanFloat (plain))
		return false;
	_valueNormalized = toNormalized (std::clamp (plain, low, high));
	return true;
}

ParamValue RangeParameter::toPlain (ParamValue _valueNormalized) const
{
	if (info.stepCount > 1)
		return stepFromNormalized (_valueNormalized, info.stepCount) + getMin ();
	return _valueNormalized * (getMax () - getMin ()) + getMin ();
}

ParamValue RangeParameter::toNormalized (ParamValue plainValue) const
{
	if (info.stepCount > 1)
		return (plainValue - getMin ()) / info.stepCount;
	return (plainValue - getMin ()) / (getMax () - getMin ());
}

//------------------------------------------------------------------------
StringListParameter::StringListParameter (const ParameterInfo& paramInfo) : Parameter (paramInfo) {}

StringListParameter::StringListParameter (const TChar* title, ParamID tag, const TChar* units,
                                          int32 flags, UnitID unitID, const TChar* shortTitle)
{
	setText (info.title, title);
	if (units)
		setText (info.units, units);
	if (shortTitle)
		setText (info.shortTitle, shortTitle);
	info.stepCount = -1;
	info.defaultNormalizedValue = 0;
	info.flags = flags;
	info.id = tag;
	info.unitId = unitID;
}

StringListParameter::~StringListParameter () = default;

void StringListParameter::appendString (const String128 string)
{
	strings.emplace_back (string ? string : u"");
	info.stepCount++;
}

bool StringListParameter::replaceString (int32 index, const String128 string)
{
	if (index < 0 || index >= static_cast<int32> (strings.size ()) || !string)
		return false;
	strings[static_cast<size_t> (index)] = string;
	return true;
}

void StringListParameter::clear ()
{
	strings.clear ();
	info.stepCount = -1;
}

void StringListParameter::toString (ParamValue _valueNormalized, String128 string) const
{
	const auto index = static_cast<int32> (toPlain (_valueNormalized));
	if (index >= 0 && index < static_cast<int32> (strings.size ()))
		UString (string, kString128Size).assign (strings[static_cast<size_t> (index)].c_str ());
	else
		string[0] = 0;
}

bool StringListParameter::fromString (const TChar* string, ParamValue& _valueNormalized) const
{
	if (!string)
		return false;
	for (size_t i = 0; i < strings.size (); ++i)
	{
		if (strings[i] == string)
		{
			_valueNormalized = toNormalized (static_cast<ParamValue> (i));
			return true;
		}
	}
	return false;
}

ParamValue StringListParameter::toPlain (ParamValue _valueNormalized) const
{
	if (info.stepCount <= 0)
		return 0;
	return stepFromNormalized (_valueNormalized, info.stepCount);
}

ParamValue StringListParameter::toNormalized (ParamValue plainValue) const
{
	if (info.stepCount <= 0)
		return 0;
	return plainValue / info.stepCount;
}

//------------------------------------------------------------------------
ParameterContainer::ParameterContainer () = default;

ParameterContainer::~ParameterContainer ()
{
	delete params;
}

void ParameterContainer::init (int32 initialSize, int32 /*resizeDelta*/)
{
	if (!params)
	{
		params = new ParameterPtrVector;
		if (initialSize > 0)
			params->reserve (static_cast<size_t> (initialSize));
	}
}

Parameter* ParameterContainer::addParameter (Parameter* p)
{
	if (!p)
		return nullptr;
	if (!params)
		init ();
	id2index[p->getInfo ().id] = params->size ();
	params->push_back (IPtr<Parameter> (p, false));
	return p;
}

Parameter* ParameterContainer::addParameter (const ParameterInfo& info)
{
	return addParameter (new Parameter (info));
}

Parameter* ParameterContainer::addParameter (const TChar* title, const TChar* units, int32 stepCount,
                                             ParamValue defaultNormalizedValue, int32 flags, int32 tag,
                                             UnitID unitID, const TChar* shortTitle)
{
	if (!title)
		return nullptr;
	ParameterInfo info {};
	setText (info.title, title);
	if (units)
		setText (info.units, units);
	if (shortTitle)
		setText (info.shortTitle, shortTitle);
	info.stepCount = stepCount;
	info.defaultNormalizedValue = defaultNormalizedValue;
	info.flags = flags;
	info.id = static_cast<ParamID> (tag >= 0 ? tag : getParameterCount ());
	info.unitId = unitID;
	return addParameter (info);
}

Parameter* ParameterContainer::getParameterByIndex (int32 index) const
{
	if (!params || index < 0 || index >= static_cast<int32> (params->size ()))
		return nullptr;
	return (*params)[static_cast<size_t> (index)];
}

Parameter* ParameterContainer::getParameter (ParamID tag) const
{
	if (!params)
		return nullptr;
	auto it = id2index.find (tag);
	return it != id2index.end () ? (*params)[it->second].get () : nullptr;
}

bool ParameterContainer::removeParameter (ParamID tag)
{
	if (!params)
		return false;
	auto it = id2index.find (tag);
	if (it == id2index.end ())
		return false;
	const auto removed = it->second;
	params->erase (params->begin () + static_cast<std::ptrdiff_t> (removed));
	id2index.erase (it);
	// Later parameters moved down by one.
	for (auto& entry : id2index)
		if (entry.second > removed)
			--entry.second;
	return true;
}

} // namespace Vst
} // namespace Steinberg
