// UTF-8 <-> UTF-16 helpers for the VST string types (String128 and TChar buffers).
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

#include <cstdint>
#include <string>

namespace Steinberg {
namespace Vst {
namespace StringConvert {

std::u16string convert (const std::string& utf8Str);
std::string convert (const std::u16string& str);
std::string convert (const char* str, uint32_t max);

// Fills the buffer and returns true only when the whole text fits with its terminator;
// otherwise the buffer is left as it was.
bool convert (const std::string& utf8Str, Steinberg::Vst::String128 str);
bool convert (const std::string& utf8Str, Steinberg::Vst::TChar* str, uint32_t maxCharacters);

std::string convert (const Steinberg::Vst::TChar* str);
// Reads at most `max` characters.
std::string convert (const Steinberg::Vst::TChar* str, uint32_t max);

} // namespace StringConvert

inline const Steinberg::Vst::TChar* toTChar (const std::u16string& str)
{
	return str.data ();
}

template <typename NumberT>
std::u16string toString (NumberT value)
{
	return StringConvert::convert (std::to_string (value));
}

} // namespace Vst
} // namespace Steinberg
