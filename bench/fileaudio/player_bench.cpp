// FilePlayer::render per sample-channel against a plain gain loop over host-sized rows, timed
// in the same iterations: x_gain is render time over gain-loop time. The file is 4 s long, so
// it plays from memory, not from cache, as a real file does; x_memcpy compares with a memcpy of
// as many bytes from a second copy of the file, at the same place, to show the memory floor.

#include "fileaudio/file_player.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
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

// The render as it was before its copy and vectorised paths, sample by sample, for the before
// and after figures in one run.
void renderBySample(const PreloadedAudio& audio, float* const* rows, uint32_t channelCount, uint32_t frames,
                    double hostRate, int64_t clock)
{
    for (uint32_t j = 0; j < channelCount; ++j)
        std::fill(rows[j], rows[j] + frames, 0.0f);
    const uint64_t fileChannels = audio.channels;
    const uint64_t fileFrames = audio.frames();
    const double step = static_cast<double>(audio.sampleRate) / hostRate;
    const float* s = audio.samples.data();
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t t = static_cast<uint64_t>(clock) + i;
        const double p = static_cast<double>(t) * step;
        if (!(p < static_cast<double>(fileFrames)))
            return;
        const auto f = static_cast<uint64_t>(p);
        const uint64_t g = std::min(f + 1, fileFrames - 1);
        const auto u = static_cast<float>(p - static_cast<double>(f));
        for (uint32_t j = 0; j < channelCount; ++j) {
            const uint64_t c = std::min<uint64_t>(j, fileChannels - 1);
            const float a = s[f * fileChannels + c];
            const float b = s[g * fileChannels + c];
            rows[j][i] = a + (b - a) * u;
        }
    }
}

// Arguments: output channels (= file channels), file rate, host rate, block size, and 1 for
// the sample-by-sample render of before, 2 for the same render chasing the timeline.
void playerRender(benchmark::State& state)
{
    const auto channels = static_cast<uint32_t>(state.range(0));
    const auto fileRate = static_cast<uint32_t>(state.range(1));
    const auto hostRate = static_cast<double>(state.range(2));
    const auto block = static_cast<uint32_t>(state.range(3));
    const bool before = state.range(4) == 1;
    const bool chase = state.range(4) == 2;

    PreloadedAudio audio;
    audio.channels = channels;
    audio.sampleRate = fileRate;
    audio.samples.resize(size_t{channels} * fileRate * 4u);
    for (size_t i = 0; i < audio.samples.size(); ++i)
        audio.samples[i] = static_cast<float>((i * 2654435761u) % 65536) / 65536.0f - 0.5f;
    const std::vector<float> copySource = audio.samples;
    const PreloadedAudio old = audio;
    std::vector<float> copied(size_t{channels} * block * 2);
    FilePlayer player;
    player.install(std::move(audio));

    std::vector<std::vector<float>> in(channels, std::vector<float>(block, 0.25f));
    std::vector<std::vector<float>> out(channels, std::vector<float>(block));
    std::vector<float*> rows;
    for (auto& r : out)
        rows.push_back(r.data());

    const auto wrapAt = static_cast<int64_t>(hostRate * 3.5);
    int64_t clock = 0;
    const auto start = [&] {
        if (chase)
            player.startChasing(hostRate); // the clock is then the timeline position
        else
            player.startPlayback(0, 0);
    };
    start();
    double renderSeconds = 0.0;
    double gainSeconds = 0.0;
    double copySeconds = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (before)
            renderBySample(old, rows.data(), channels, block, hostRate, clock);
        else
            player.render(rows.data(), channels, block, hostRate, clock);
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        for (uint32_t c = 0; c < channels; ++c)
            gainLoop(out[c].data(), in[c].data(), 0.5f, block);
        const auto t2 = Clock::now();
        // The bytes this block's file frames occupy (the source advances at the rate ratio).
        const auto first = static_cast<size_t>(static_cast<double>(clock) * fileRate / hostRate) * channels;
        const size_t count = std::min(copied.size(), static_cast<size_t>(block * fileRate / hostRate + 1) * channels);
        std::memcpy(copied.data(), copySource.data() + std::min(first, copySource.size() - count), count * sizeof(float));
        benchmark::ClobberMemory();
        const auto t3 = Clock::now();
        const double r = std::chrono::duration<double>(t1 - t0).count();
        renderSeconds += r;
        gainSeconds += std::chrono::duration<double>(t2 - t1).count();
        copySeconds += std::chrono::duration<double>(t3 - t2).count();
        state.SetIterationTime(r);
        clock += block;
        if (clock > wrapAt) {
            clock = 0;
            start();
        }
    }
    const double sampleChannels = static_cast<double>(state.iterations()) * channels * block;
    state.counters["ns_per_sc"] = renderSeconds * 1e9 / sampleChannels;
    state.counters["x_gain"] = renderSeconds / gainSeconds;
    state.counters["x_memcpy"] = renderSeconds / copySeconds;
}

BENCHMARK(playerRender)
    ->ArgNames({"ch", "file", "host", "block", "before"})
    ->ArgsProduct({{2, 64}, {48000, 44100, 96000}, {48000}, {512}, {0, 1, 2}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The overview a load now works out from every frame: one pass over a full preload (512 MiB
// of stereo float) against a memcpy of it.
void overviewOfAFullPreload(benchmark::State& state)
{
    std::vector<float> samples(kPreloadLimitBytes / sizeof(float));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>((i * 2654435761u) % 65536) / 65536.0f - 0.5f;
    std::vector<float> copy(samples.size());
    double passSeconds = 0.0;
    double copySeconds = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(computeOverview(samples.data(), samples.size() / 2, 2, 48000));
        const auto t1 = Clock::now();
        std::memcpy(copy.data(), samples.data(), samples.size() * sizeof(float));
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        passSeconds += std::chrono::duration<double>(t1 - t0).count();
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    state.counters["x_memcpy"] = passSeconds / copySeconds;
}
BENCHMARK(overviewOfAFullPreload)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestravel::plugins
