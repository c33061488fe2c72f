#pragma once
// The 44-byte header of the 32-bit float WAV files RECORDER writes.

#include <array>
#include <cstdint>

namespace kestravel::plugins {

inline constexpr uint32_t kWavHeaderBytes = 44;

// The RIFF size sits at offset 4 and the data size at 40: rewriting those two fields (or the
// whole header at offset 0) keeps a growing file readable.
std::array<uint8_t, kWavHeaderBytes> makeWavHeader(uint32_t channels, uint32_t sampleRate,
                                                   uint32_t dataBytes) noexcept;

} // namespace kestravel::plugins
