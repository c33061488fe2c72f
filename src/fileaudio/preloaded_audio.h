#pragma once
// One decoded WAV file and the reader that produces it.

#include "core/waveform_overview.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestravel::plugins {

inline constexpr uint64_t kPreloadLimitBytes = 536870912; // 512 MiB of data and of decoded samples

class FileStream;

struct PreloadedAudio {
    uint32_t channels = 0;   // 1..64 once decoded; 0 only when empty
    uint32_t sampleRate = 0; // 8000..384000 once decoded; 0 only when empty
    // Timeline sample of the first frame, at the file's rate: the file's "bext" TimeReference.
    std::optional<uint64_t> anchor;
    std::vector<float> samples; // interleaved: frame f, channel c at f * channels + c
    WaveformOverview overview;  // the editor's picture of the samples, set by FilePlayer::install
    // A file played from disk instead: samples stay empty, the stream holds the head and reads
    // the rest. Shared only so that the object stays copyable; one player owns it.
    std::shared_ptr<FileStream> stream;

    uint64_t frames() const noexcept { return channels ? samples.size() / channels : 0; }
};

// [any thread, not audio] Reads and decodes the whole file; throws std::runtime_error with the
// reader's message, or std::filesystem::filesystem_error for the size query.
PreloadedAudio loadWav(const std::u16string& path, uint64_t limitBytes);

} // namespace kestravel::plugins
