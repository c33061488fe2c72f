#pragma once
// The headers of the 32-bit float WAV files RECORDER writes: the plain 44-byte layout, or the
// time-stamped one that carries where the take sits on the timeline.

#include "fileaudio/bext_chunk.h"

#include <cstdint>
#include <vector>

namespace kestravel::plugins {

inline constexpr uint32_t kWavHeaderBytes = 44;
// "RIFF" + "WAVE", "fmt " with the 18-byte WAVEFORMATEX, "fact", "bext", the "data" chunk head.
inline constexpr uint32_t kStampedHeaderBytes = 12 + 26 + 12 + 8 + kBextBodyBytes + 8;

// Bytes of the header in front of the samples.
constexpr uint32_t takeHeaderBytes(bool stamped) noexcept
{
    return stamped ? kStampedHeaderBytes : kWavHeaderBytes;
}

// Sample bytes one file may hold: the RIFF size (dataBytes + header - 8) must fit 32 bits.
constexpr uint64_t maxTakeDataBytes(uint32_t headerBytes) noexcept
{
    return 0xFFFFFFFFull - (headerBytes - 8);
}

// The whole header for dataBytes of samples; with bext, the time-stamped layout (fmt, fact,
// bext, data). Every size field lies in these bytes, so one write at offset 0 updates them
// all together and a kill can never leave them disagreeing.
std::vector<uint8_t> makeTakeHeader(uint32_t channels, uint32_t sampleRate, uint32_t dataBytes,
                                    const BextChunk* bext);

} // namespace kestravel::plugins
