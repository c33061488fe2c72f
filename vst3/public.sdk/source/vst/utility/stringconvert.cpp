#include "public.sdk/source/vst/utility/stringconvert.h"

#include "public.sdk/source/common/commonstringconvert.h"

namespace Steinberg {
namespace Vst {
namespace StringConvert {

std::u16string convert (const std::string& utf8Str)
{
	return Steinberg::StringConvert::convert (utf8Str);
}

std::string convert (const std::u16string& str)
{
	return Steinberg::StringConvert::convert (str);
}

std::string convert (const char* str, uint32_t max)
{
	return Steinberg::StringConvert::convert (str, max);
}

bool convert (const std::string& utf8Str, Steinberg::Vst::String128 str)
{
	return convert (utf8Str, str, 128);
}

bool convert (const std::string& utf8Str, Steinberg::Vst::TChar* str, uint32_t maxCharacters)
{
	if (!str)
		return false;
	const std::u16string wide = convert (utf8Str);
	if (wide.size () >= maxCharacters)
		return false;
	wide.copy (str, wide.size ());
	str[wide.size ()] = 0;
	return true;
}

std::string convert (const Steinberg::Vst::TChar* str)
{
	return str ? convert (std::u16string (str)) : std::string ();
}

std::string convert (const Steinberg::Vst::TChar* str, uint32_t max)
{
	if (!str)
		return {};
	std::u16string wide;
	for (uint32_t i = 0; i < max && str[i]; ++i)
		wide += str[i];
	return convert (wide);
}

} // namespace StringConvert
} // namespace Vst
} // namespace Steinberg
