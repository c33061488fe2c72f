#pragma once
// A WAV file opened for reading its samples piece by piece: what the PLAYER streams from.

#include "fileaudio/bext_chunk.h"
#include "fileaudio/native_file.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestravel::plugins {

struct WavSource {
    NativeFile file;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t formatTag = 0;     // 1 integer PCM, 3 float (the extensible layout resolved)
    uint16_t bitsPerSample = 0;
    uint16_t blockAlign = 0;    // bytes per frame
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0;
    std::optional<BextChunk> bext; // where the file sits on the timeline, which take it is of
    NativeFile::Stamp stamp;       // as opened: a change means the layout above may be stale

    uint64_t frames() const noexcept { return blockAlign ? dataBytes / blockAlign : 0; }
    bool sameFormat(const WavSource& o) const noexcept
    {
        return formatTag == o.formatTag && bitsPerSample == o.bitsPerSample;
    }
};

// [any thread, not audio] Opens and checks the file as loadWav does, with no limit on its size,
// and without reading the samples. Only a regular file is opened (a FIFO would block the open).
// Throws std::runtime_error with the reader's messages.
WavSource openWavSource(const std::u16string& path);

// [any thread] n stored samples of the source's encoding into floats, as loadWav decodes them.
void decodeWavSamples(const WavSource& source, const uint8_t* raw, size_t n, float* out) noexcept;

} // namespace kestravel::plugins
