#pragma once
// Free bytes on the disk that holds a path: the take panel's "time left". A system call that
// may take a while on a network drive, so only background threads ask.

#include <cstdint>
#include <string>

namespace kestravel::plugins {

inline constexpr uint64_t kUnknownFreeBytes = ~uint64_t{0};

// [any thread but audio] Free bytes available to this user, or kUnknownFreeBytes.
uint64_t freeDiskBytes(const std::u16string& path) noexcept;

} // namespace kestravel::plugins
