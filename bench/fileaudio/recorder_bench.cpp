// The recorder's writer against a plain sequential write of the same bytes, and the largest
// channel count and rate a real-time producer sustains without a dropped frame.

#include "bench_files.h"
#include "recorder_bench.h"

#include "fileaudio/file_recorder.h"
#include "fileaudio/native_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kestravel::plugins::bench {

double realtimeSeconds = 2.0;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kThroughputBytes = uint64_t{512} << 20;

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The baseline: the same number of bytes, written in 4 MiB calls to a new file.
double plainWrite(const std::filesystem::path& p, uint64_t bytes)
{
    std::vector<float> block(size_t{1} << 20, 0.25f);
    std::error_code ec;
    NativeFile f = NativeFile::createNew(p, ec);
    const auto t0 = Clock::now();
    for (uint64_t done = 0; done < bytes;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size() * 4, bytes - done));
        if (f.writeAt(done, block.data(), n, ec) != n)
            throw std::runtime_error("plain write failed");
        done += n;
    }
    const double t = since(t0);
    f.syncToDisk(ec); // outside the timing, as the recorder's final sync is
    f.close(ec);
    std::filesystem::remove(p);
    return t;
}

// Producer as fast as the ring allows (it only waits outside pushBlock when the ring is
// nearly full); timed until the writer has handed every sample to the OS.
double recorderWrite(const std::filesystem::path& p, uint64_t bytes, bool refreshHeader, uint64_t& dropped)
{
    constexpr uint32_t channels = 2;
    constexpr uint32_t block = 4096;
    const uint64_t frames = bytes / (channels * 4);
    std::vector<float> plane(block, 0.25f);
    const float* ptrs[channels] = {plane.data(), plane.data()};
    FileRecorder rec;
    FileRecorder::WriterOptions options;
    options.refreshHeader = refreshHeader;
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(widePath(p), channels, 48000);
    rec.startCapture(0);
    const auto t0 = Clock::now();
    for (uint64_t done = 0; done < frames;) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(block, frames - done));
        while ((done + n - rec.framesWritten.load()) * channels > rec.ringSamples())
            std::this_thread::yield();
        rec.pushBlock(ptrs, channels, n, done);
        done += n;
    }
    while (rec.framesWritten.load() < frames && !rec.failed.load())
        std::this_thread::yield();
    const double t = since(t0);
    dropped = rec.droppedFrames.load();
    rec.stopWriter();
    std::filesystem::remove(p);
    return t;
}

// Both writers start from a clean page cache, and take turns going first, so write-back of
// one does not land on the other.
void settle()
{
#ifndef _WIN32
    ::sync();
#endif
}

void BM_WriterThroughput(benchmark::State& state)
{
    const bool refresh = state.range(0) != 0;
    double plain = 0, recorder = 0;
    uint64_t dropped = 0;
    bool plainFirst = true;
    for (auto _ : state) {
        double t = 0;
        for (int turn = 0; turn < 2; ++turn) {
            settle();
            if ((turn == 0) == plainFirst)
                plain += plainWrite(scratchPath("plain.raw"), kThroughputBytes);
            else
                recorder += t = recorderWrite(scratchPath("take.wav"), kThroughputBytes, refresh, dropped);
        }
        plainFirst = !plainFirst;
        state.SetIterationTime(t);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["MiB_per_s"] = static_cast<double>(kThroughputBytes) / (1 << 20) / (recorder / n);
    state.counters["plain_MiB_per_s"] = static_cast<double>(kThroughputBytes) / (1 << 20) / (plain / n);
    state.counters["throughput_vs_plain"] = plain / recorder;
    state.counters["dropped"] = static_cast<double>(dropped);
    state.SetLabel(refresh ? "header refresh on" : "header refresh off");
}
BENCHMARK(BM_WriterThroughput)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

// Real-time pacing: one 512-frame block per block period, like a host at that rate. Optional
// third argument: MiB per part file, so part switches fall inside the run (0: the product's
// 4 GiB); fourth: seconds, overriding --rt_seconds.
void BM_RealtimeSustain(benchmark::State& state)
{
    const auto channels = static_cast<uint32_t>(state.range(0));
    const auto rate = static_cast<uint32_t>(state.range(1));
    const uint64_t partMiB = state.range(2) > 0 ? static_cast<uint64_t>(state.range(2)) : 0;
    const double seconds = state.range(3) > 0 ? static_cast<double>(state.range(3)) : realtimeSeconds;
    constexpr uint32_t block = 512;
    std::vector<std::vector<float>> planes(channels, std::vector<float>(block));
    std::vector<const float*> ptrs(channels);
    for (uint32_t c = 0; c < channels; ++c) {
        for (uint32_t i = 0; i < block; ++i)
            planes[c][i] = 0.001f * static_cast<float>((i + c) % 1000) - 0.5f;
        ptrs[c] = planes[c].data();
    }
    const auto blocks = static_cast<uint64_t>(seconds * rate / block);
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(block) / rate));
    uint64_t dropped = 0, written = 0;
    uint32_t parts = 0;
    double worstPushUs = 0;
    for (auto _ : state) {
        FileRecorder rec;
        rec.reserveRing(channels, rate); // as setupProcessing does
        if (partMiB > 0) {
            FileRecorder::WriterOptions options;
            options.fileByteBudget = partMiB << 20;
            rec.setWriterOptionsForTesting(options);
        }
        const auto p = scratchPath("rt-" + std::to_string(channels) + "x" + std::to_string(rate) + ".wav");
        rec.prepareDestination(widePath(p), channels, rate);
        rec.startCapture(0);
        auto next = Clock::now();
        for (uint64_t b = 0; b < blocks; ++b) {
            const auto t0 = Clock::now();
            rec.pushBlock(ptrs.data(), channels, block, b * block);
            worstPushUs = std::max(worstPushUs, since(t0) * 1e6);
            next += period;
            std::this_thread::sleep_until(next);
        }
        rec.stopCapture();
        rec.stopWriter();
        dropped = rec.droppedFrames.load();
        written = rec.framesWritten.load();
        parts = rec.partCount.load();
        for (const auto& file : rec.takeFiles())
            std::filesystem::remove(std::filesystem::path(file));
    }
    state.counters["seconds"] = seconds;
    state.counters["parts"] = parts;
    state.counters["ring_ms"] = 1000.0 * static_cast<double>(FileRecorder::ringSamplesFor(channels, rate)) /
                                (double(channels) * rate);
    state.counters["dropped_frames"] = static_cast<double>(dropped);
    state.counters["written_frames"] = static_cast<double>(written);
    state.counters["worst_push_us"] = worstPushUs;
    state.counters["MB_per_s"] = double(channels) * rate * 4 / 1e6;
    state.SetLabel(dropped == 0 ? "no drops" : "DROPS");
}
BENCHMARK(BM_RealtimeSustain)
    ->Args({2, 48000, 0, 0})
    ->Args({16, 96000, 0, 0})
    ->Args({32, 192000, 0, 0})
    ->Args({64, 96000, 0, 0})
    ->Args({64, 192000, 0, 0})
    ->Args({64, 384000, 0, 0})
    ->Args({64, 192000, 1024, 30}) // 1 GiB parts: a switch (and its sync) after 22 s
    ->Args({64, 384000, 0, 60})  // a minute at the widest format
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// Ending a take (what a host's deactivation waits for) against the sync of the same file to the
// device, which now runs in the background: a second of 64 channels at 96 kHz (24.6 MB) each.
void BM_EndOfTake(benchmark::State& state)
{
    constexpr uint32_t channels = 64, rate = 96000, block = 512;
    std::vector<float> plane(block, 0.25f);
    std::vector<const float*> ptrs(channels, plane.data());
    double end = 0, sync = 0;
    for (auto _ : state) {
        settle();
        const auto p = scratchPath("end.wav");
        Clock::time_point syncStart;
        {
            FileRecorder rec;
            rec.reserveRing(channels, rate);
            FileRecorder::WriterOptions options;
            options.beforeSync = [&] { syncStart = Clock::now(); };
            rec.setWriterOptionsForTesting(options);
            rec.prepareDestination(widePath(p), channels, rate);
            rec.startCapture(0);
            for (uint64_t f = 0; f < rate; f += block)
                rec.pushBlock(ptrs.data(), channels, block, f, true);
            while (rec.framesWritten.load() < rate)
                std::this_thread::yield();
            const auto t0 = Clock::now();
            rec.stopWriter();
            end += since(t0);
        } // the recorder's destruction waits for the sync
        sync += since(syncStart);
        std::filesystem::remove(p);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["end_ms"] = 1000.0 * end / n;
    state.counters["sync_ms"] = 1000.0 * sync / n;
    state.counters["end_vs_sync"] = end / sync;
}
BENCHMARK(BM_EndOfTake)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestravel::plugins::bench
