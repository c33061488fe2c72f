// PLAYER streaming a long multichannel take from disk at real-time pace (--rt_seconds=N; 60
// for a full run, which also makes the takes full length: 7.5 GB and 3 GB): underruns, worst render time per block against an in-memory PLAYER timed in
// the same periods, and peak resident growth against the preload limit. The take is written
// as RECORDER writes one (float, in parts at the WAV size limit), pushed out of the page cache,
// and deleted afterwards.

#include "fileaudio/file_player.h"
#include "fileaudio/file_recorder.h"
#include "fileaudio/take_naming.h"
#include "bench_files.h"
#include "recorder_bench.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestravel::plugins::bench {
namespace {

using Clock = std::chrono::steady_clock;

uint64_t statusKiB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stoull(line.substr(std::string(key).size()));
    return 0;
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// One float WAV file of dataBytes, its samples cycling through pattern.
void writePart(const std::filesystem::path& p, uint32_t channels, uint32_t rate, uint64_t dataBytes,
               const std::vector<float>& pattern)
{
    std::vector<uint8_t> h(44);
    std::memcpy(h.data(), "RIFF", 4);
    put32(h, 4, static_cast<uint32_t>(dataBytes + 36));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h, 16, 16);
    put32(h, 20, 3 | (channels << 16));
    put32(h, 24, rate);
    put32(h, 28, rate * channels * 4);
    put32(h, 32, (channels * 4) | (32u << 16));
    std::memcpy(h.data() + 36, "data", 4);
    put32(h, 40, static_cast<uint32_t>(dataBytes));
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(h.data()), 44);
    const uint64_t chunk = pattern.size() * 4;
    for (uint64_t done = 0; done < dataBytes;) {
        const uint64_t n = std::min(chunk, dataBytes - done);
        out.write(reinterpret_cast<const char*>(pattern.data()), static_cast<std::streamsize>(n));
        done += n;
    }
    out.close();
#ifndef _WIN32
    // Out of the page cache, so playback reads the disk (where the system lets us).
    const int fd = ::open(p.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
#endif
}

// A take of the given length in parts, as the recorder splits one; returns the parts.
std::vector<std::filesystem::path> writeTake(const std::filesystem::path& first, uint32_t channels, uint32_t rate,
                                             double seconds)
{
    const uint64_t frameBytes = uint64_t{channels} * 4;
    const uint64_t full = FileRecorder::kMaxDataBytes / frameBytes * frameBytes;
    uint64_t left = static_cast<uint64_t>(seconds * rate) * frameBytes;
    std::vector<float> pattern(size_t{1} << 20);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<float>((i * 2654435761u) % 65536) / 65536.0f - 0.5f;
    std::vector<std::filesystem::path> parts;
    for (uint32_t n = 1; left > 0; ++n) {
        const auto p = n == 1 ? first : first.parent_path() / (first.stem().string() + "-part" + std::to_string(n) + ".wav");
        const uint64_t bytes = std::min(full, left);
        writePart(p, channels, rate, bytes, pattern);
        parts.push_back(p);
        left -= bytes;
    }
    return parts;
}

// Arguments: channels, rate, length of the take in seconds.
void BM_StreamRealtime(benchmark::State& state)
{
    const auto channels = static_cast<uint32_t>(state.range(0));
    const auto rate = static_cast<uint32_t>(state.range(1));
    // The full-length take only for a full run: a short run plays a short take in one file.
    const double takeSeconds = realtimeSeconds >= 60 ? static_cast<double>(state.range(2)) : realtimeSeconds + 2;
    constexpr uint32_t block = 512;
    const auto blocks = static_cast<uint64_t>(std::min(realtimeSeconds, takeSeconds - 1) * rate / block);
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(block) / rate));

    const auto first = scratchPath("stream-" + std::to_string(channels) + "x" + std::to_string(rate) + ".wav");
    const auto parts = writeTake(first, channels, rate, takeSeconds);

    // The in-memory PLAYER timed in the same periods: 4 s of the same layout.
    FilePlayer memory;
    {
        PreloadedAudio audio;
        audio.channels = channels;
        audio.sampleRate = rate;
        audio.samples.resize(size_t{channels} * rate * 4);
        for (size_t i = 0; i < audio.samples.size(); ++i)
            audio.samples[i] = static_cast<float>((i * 2654435761u) % 65536) / 65536.0f - 0.5f;
        memory.install(std::move(audio));
    }
    std::vector<std::vector<float>> out(channels, std::vector<float>(block));
    std::vector<float*> rows;
    for (auto& r : out)
        rows.push_back(r.data());

    double worstStream = 0, worstMemory = 0, sumStream = 0, sumMemory = 0;
    std::vector<double> streamTimes, memoryTimes; // per block, for the 99.9th percentile
    streamTimes.reserve(blocks);
    memoryTimes.reserve(blocks);
    uint64_t underruns = 0, peakGrowth = 0, buffers = 0;
    uint32_t partCount = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5"; // peak := current
        const uint64_t before = statusKiB("VmRSS:");
        FilePlayer player;
        player.preloadLimitBytes = 0; // a short run's take streams too
        player.load(widePath(first));
        partCount = static_cast<uint32_t>(parts.size());
        player.startPlayback(0, 0);
        memory.startPlayback(0, 0);
        auto next = Clock::now();
        const auto memoryWrap = static_cast<uint64_t>(3.5 * rate / block);
        for (uint64_t b = 0; b < blocks; ++b) {
            const auto t0 = Clock::now();
            player.render(rows.data(), channels, block, rate, static_cast<int64_t>(b * block));
            const auto t1 = Clock::now();
            const uint64_t m = b % memoryWrap;
            if (m == 0)
                memory.startPlayback(0, 0);
            memory.render(rows.data(), channels, block, rate, static_cast<int64_t>(m * block));
            const auto t2 = Clock::now();
            const double s = std::chrono::duration<double>(t1 - t0).count();
            const double mm = std::chrono::duration<double>(t2 - t1).count();
            worstStream = std::max(worstStream, s);
            worstMemory = std::max(worstMemory, mm);
            sumStream += s;
            sumMemory += mm;
            streamTimes.push_back(s);
            memoryTimes.push_back(mm);
            next += period;
            std::this_thread::sleep_until(next);
        }
        if (const auto& stream = player.latestAudio().stream) {
            underruns = stream->underrunFrames.load();
            buffers = stream->bufferBytes();
        }
        peakGrowth = (statusKiB("VmHWM:") - before) * 1024;
    }
    for (const auto& p : parts)
        std::filesystem::remove(p);

    const double minutes = double(blocks) * block / rate / 60.0;
    // The worst block mostly measures the scheduler on a shared machine; the 99.9th percentile
    // shows the render itself.
    const auto percentile = [](std::vector<double>& v) {
        if (v.empty())
            return 0.0;
        const auto k = static_cast<std::ptrdiff_t>(static_cast<double>(v.size() - 1) * 0.999);
        std::nth_element(v.begin(), v.begin() + k, v.end());
        return v[static_cast<size_t>(k)];
    };
    const double p999Stream = percentile(streamTimes);
    const double p999Memory = percentile(memoryTimes);
    state.counters["p999_us"] = p999Stream * 1e6;
    state.counters["p999_vs_memory"] = p999Memory > 0 ? p999Stream / p999Memory : 0.0;
    state.counters["parts"] = partCount;
    state.counters["played_s"] = minutes * 60.0;
    state.counters["underrun_frames"] = static_cast<double>(underruns);
    state.counters["underruns_per_min"] = static_cast<double>(underruns) / minutes;
    state.counters["worst_us"] = worstStream * 1e6;
    state.counters["worst_vs_memory"] = worstStream / worstMemory;
    state.counters["mean_vs_memory"] = sumStream / sumMemory;
    state.counters["peak_MiB"] = static_cast<double>(peakGrowth) / 1048576.0;
    state.counters["buffers_MiB"] = static_cast<double>(buffers) / 1048576.0;
    state.counters["peak_vs_limit"] = static_cast<double>(peakGrowth) / static_cast<double>(kPreloadLimitBytes);
    state.SetLabel(underruns == 0 ? "no underruns" : "UNDERRUNS");
}
BENCHMARK(BM_StreamRealtime)
    ->ArgNames({"ch", "rate", "take_s"})
    ->Args({64, 48000, 610})   // 7.5 GB in two parts
    ->Args({64, 192000, 62})   // 3.0 GB
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Locates in a streamed 64 x 48 kHz file: the time from a jump to the first block that plays real
// audio, over 50 random jumps with the file evicted from the page cache before each (cold), and
// over 50 jumps into the decoded head (warm). Median and worst in ms.
void BM_StreamLocate(benchmark::State& state)
{
    constexpr uint32_t channels = 64;
    constexpr uint32_t rate = 48000;
    constexpr uint32_t block = 512;
    const bool cold = state.range(0) != 0;
    const auto path = scratchPath("locate-64x48000.wav");
    const double seconds = 20.0;
    writeTake(path, channels, rate, seconds);
    std::vector<std::vector<float>> out(channels, std::vector<float>(block));
    std::vector<float*> rows;
    for (auto& r : out)
        rows.push_back(r.data());
    std::vector<double> waits;
    for (auto _ : state) {
        FilePlayer player;
        player.preloadLimitBytes = 0;
        player.load(widePath(path));
        FileStream& stream = *player.latestAudio().stream;
        std::mt19937_64 random(7);
        player.startChasing(rate);
        int64_t t = 0;
        player.render(rows.data(), channels, block, rate, t);
        t += block;
        for (int jump = 0; jump < 50; ++jump) {
#ifndef _WIN32
            if (cold) {
                const int fd = ::open(path.c_str(), O_RDONLY);
                if (fd >= 0) {
                    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
                    ::close(fd);
                }
            }
#endif
            // Cold: anywhere past the head; warm: inside the first second.
            const int64_t to = cold ? static_cast<int64_t>(rate * 2 + random() % (uint64_t{rate} * 17))
                                    : static_cast<int64_t>(random() % (rate - block));
            const auto began = Clock::now();
            player.locate(rate, channels, t);
            t = to;
            for (;;) {
                const uint64_t before = stream.locateWaitFrames.load();
                player.render(rows.data(), channels, block, rate, t);
                t += block;
                if (stream.locateWaitFrames.load() == before)
                    break; // this block played the file
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            waits.push_back(std::chrono::duration<double, std::milli>(Clock::now() - began).count());
            // Play on a little, as a user listens after a jump.
            for (int k = 0; k < 8; ++k, t += block)
                player.render(rows.data(), channels, block, rate, t);
        }
    }
    std::filesystem::remove(path);
    std::sort(waits.begin(), waits.end());
    state.counters["jumps"] = static_cast<double>(waits.size());
    state.counters["median_ms"] = waits.empty() ? 0.0 : waits[waits.size() / 2];
    state.counters["worst_ms"] = waits.empty() ? 0.0 : waits.back();
    state.SetLabel(cold ? "cold: file evicted before each jump" : "warm: jumps into the head");
}
BENCHMARK(BM_StreamLocate)->ArgNames({"cold"})->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace kestravel::plugins::bench
