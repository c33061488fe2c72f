// The host's own small WAV reader (16-bit PCM, 32-bit float) and writer (32-bit float).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kestravel::plugins {

struct WavAudio
{
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::vector<float> samples; // interleaved, frame by frame

    std::size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
    float at(std::size_t frame, std::uint32_t channel) const { return samples[frame * channels + channel]; }
};

// Throws HostError naming the file and what is wrong with it.
WavAudio readWav(const std::filesystem::path& path);
void writeWavFloat(const std::filesystem::path& path, const WavAudio& audio);

} // namespace kestravel::plugins
