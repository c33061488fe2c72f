// UTF-8 <-> UTF-16 conversion of standard strings. Malformed input never throws: each bad
// sequence becomes U+FFFD.
#pragma once

#include <cstdint>
#include <string>

namespace Steinberg {
namespace StringConvert {

std::u16string convert (const std::string& utf8Str);
std::string convert (const std::u16string& str);
// Copies up to `max` bytes, stopping at a terminator.
std::string convert (const char* str, uint32_t max);

template <typename NumberT>
std::u16string toString (NumberT value)
{
	return StringConvert::convert (std::to_string (value));
}

} // namespace StringConvert
} // namespace Steinberg
