// FilePlayer::render per sample-channel against a plain gain loop over host-sized rows, timed
// in the same iterations: x_gain is render time over gain-loop time. The file is 4 s long, so
// it plays from memory, not from cache, as a real file does.

#include "fileaudio/file_player.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace kestravel::plugins {
namespace {

using Clock = std::chrono::steady_clock;

void gainLoop(float* dst, const float* src, float g, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        dst[i] = src[i] * g;
    benchmark::ClobberMemory();
}

// Arguments: output channels (= file channels), file rate, host rate, block size.
void playerRender(benchmark::State& state)
{
    const auto channels = static_cast<uint32_t>(state.range(0));
    const auto fileRate = static_cast<uint32_t>(state.range(1));
    const auto hostRate = static_cast<double>(state.range(2));
    const auto block = static_cast<uint32_t>(state.range(3));

    PreloadedAudio audio;
    audio.channels = channels;
    audio.sampleRate = fileRate;
    audio.samples.resize(size_t{channels} * fileRate * 4u);
    for (size_t i = 0; i < audio.samples.size(); ++i)
        audio.samples[i] = static_cast<float>((i * 2654435761u) % 65536) / 65536.0f - 0.5f;
    FilePlayer player;
    player.install(std::move(audio));

    std::vector<std::vector<float>> in(channels, std::vector<float>(block, 0.25f));
    std::vector<std::vector<float>> out(channels, std::vector<float>(block));
    std::vector<float*> rows;
    for (auto& r : out)
        rows.push_back(r.data());

    const auto wrapAt = static_cast<int64_t>(hostRate * 3.5);
    int64_t clock = 0;
    player.startPlayback(0, 0);
    double renderSeconds = 0.0;
    double gainSeconds = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        player.render(rows.data(), channels, block, hostRate, clock);
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        for (uint32_t c = 0; c < channels; ++c)
            gainLoop(out[c].data(), in[c].data(), 0.5f, block);
        const auto t2 = Clock::now();
        const double r = std::chrono::duration<double>(t1 - t0).count();
        renderSeconds += r;
        gainSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(r);
        clock += block;
        if (clock > wrapAt) {
            clock = 0;
            player.startPlayback(0, 0);
        }
    }
    const double sampleChannels = static_cast<double>(state.iterations()) * channels * block;
    state.counters["ns_per_sc"] = renderSeconds * 1e9 / sampleChannels;
    state.counters["x_gain"] = renderSeconds / gainSeconds;
}

BENCHMARK(playerRender)
    ->ArgNames({"ch", "file", "host", "block"})
    ->Args({2, 48000, 48000, 512})
    ->Args({64, 48000, 48000, 512})
    ->Args({2, 44100, 48000, 512})
    ->Args({64, 44100, 48000, 512})
    ->Args({2, 96000, 48000, 512})
    ->Args({64, 96000, 48000, 512})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace kestravel::plugins
