#pragma once
// Texts as the editor writes them.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestravel::plugins {

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD, as MultiByteToWideChar does.
std::u16string lenientUtf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string lenientUtf16ToUtf8(std::u16string_view text);

// Plain decimal, "-" when negative.
std::u16string decimalText(int64_t value);
std::u16string decimalText(uint64_t value);

// "%.1f dB": -90.0 dB, 12.0 dB; never "-0.0 dB".
std::u16string decibelText(double decibels);

// The tenths of a dB that decibelText shows for a finite value: "-0.3 dB" is -3.
int32_t decibelTenths(double decibels) noexcept;

} // namespace kestravel::plugins
