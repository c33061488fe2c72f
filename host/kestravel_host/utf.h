// Text conversions between the host's UTF-8 and the UTF-16 of VST 3 strings and Windows paths.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "pluginterfaces/base/ftypes.h"

namespace kestravel::plugins {

// Reads UTF-16 up to the first zero or maxUnits; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const Steinberg::char16* text, std::size_t maxUnits);
std::string utf16ToUtf8(std::u16string_view text);

// Invalid UTF-8 bytes become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

// Copies into a fixed field of `units` code units, truncated and zero terminated.
void copyUtf16(std::u16string_view text, Steinberg::char16* field, std::size_t units);

// A fixed 8-bit field up to its first zero (fields are not always terminated).
std::string fixedField(const char* field, std::size_t size);

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string pathToUtf8(const std::filesystem::path& path);

} // namespace kestravel::plugins
