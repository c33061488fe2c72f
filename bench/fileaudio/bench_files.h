#pragma once
// Large WAV files for the benchmarks, written once per run under the temp directory and
// removed when the program ends.

#include "core/text_utf.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace kestravel::plugins::bench {

enum class SampleFormat { Pcm16, Pcm24, Pcm32, Float };

const char* formatName(SampleFormat f);

// A file with dataBytes of pseudo-random samples (full-scale noise, finite floats).
const std::filesystem::path& benchFile(SampleFormat format, uint16_t channels, uint64_t dataBytes);

// A fresh path for a file a benchmark creates; removed at exit if still there.
std::filesystem::path scratchPath(const std::string& name);

std::u16string widePath(const std::filesystem::path& p);

} // namespace kestravel::plugins::bench
