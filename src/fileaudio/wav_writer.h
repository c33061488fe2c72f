#pragma once
// The 44-byte header of the 32-bit float WAV files RECORDER writes.

#include "fileaudio/native_file.h"

#include <array>
#include <cstdint>

namespace kestravel::plugins {

inline constexpr uint32_t kWavHeaderBytes = 44;

std::array<uint8_t, kWavHeaderBytes> makeWavHeader(uint32_t channels, uint32_t sampleRate,
                                                   uint32_t dataBytes) noexcept;

// [writer thread] Writes the whole header at offset 0; false when the file refused it.
bool writeWavHeader(NativeFile& file, uint32_t channels, uint32_t sampleRate,
                    uint32_t dataBytes) noexcept;

// [writer thread] Rewrites only the two size fields (RIFF size at 4, data size at 40).
bool writeWavSizes(NativeFile& file, uint32_t dataBytes) noexcept;

} // namespace kestravel::plugins
