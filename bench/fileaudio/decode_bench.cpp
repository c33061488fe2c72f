// WAV decoding speed against a plain read of the same file and against libsndfile, and the
// peak memory of one preload against its decoded size.

#include "bench_files.h"

#include "fileaudio/native_file.h"
#include "fileaudio/preloaded_audio.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#ifdef KESTRAVEL_HAVE_SNDFILE
#include <sndfile.h>
#endif

#ifdef __linux__
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kestravel::plugins::bench {
namespace {

constexpr uint64_t kDecodeDataBytes = uint64_t{256} << 20;

template <class F>
double seconds(F&& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The baseline: the file's bytes into fresh memory, nothing else.
std::unique_ptr<char[]> plainRead(const std::filesystem::path& p)
{
    std::error_code ec;
    NativeFile f = NativeFile::openForReading(p, ec);
    const uint64_t size = f.size(ec);
    std::unique_ptr<char[]> buf(new char[size]);
    if (f.readAt(0, buf.get(), size, ec) != size)
        throw std::runtime_error("short read");
    benchmark::DoNotOptimize(buf.get());
    return buf;
}

// The floor of any decoder that returns fresh memory: the plain read plus a first touch of an
// array of the decoded size (16- and 24-bit files decode to more bytes than they hold).
void readPlusOutput(const std::filesystem::path& p, size_t decodedSamples)
{
    const auto raw = plainRead(p);
    std::vector<float> out(decodedSamples);
    benchmark::DoNotOptimize(out.data());
}

#ifdef KESTRAVEL_HAVE_SNDFILE
void sndfileRead(const std::filesystem::path& p)
{
    SF_INFO info{};
    SNDFILE* sf = sf_open(p.c_str(), SFM_READ, &info);
    if (!sf)
        throw std::runtime_error("libsndfile cannot open the file");
    std::unique_ptr<float[]> buf(new float[static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels)]);
    if (sf_readf_float(sf, buf.get(), info.frames) != info.frames)
        throw std::runtime_error("libsndfile short read");
    sf_close(sf);
    benchmark::DoNotOptimize(buf.get());
}
#endif

// One iteration runs all three readers in turn, so drift in the machine's load hits them alike.
void BM_Decode(benchmark::State& state)
{
    const auto format = static_cast<SampleFormat>(state.range(0));
    const std::filesystem::path& path = benchFile(format, 2, kDecodeDataBytes);
    const std::u16string wide = widePath(path);
    const uint32_t width = format == SampleFormat::Pcm16 ? 2 : format == SampleFormat::Pcm24 ? 3 : 4;
    const size_t decodedSamples = kDecodeDataBytes / width;
    double load = 0, read = 0, floor = 0, snd = 0;
    for (auto _ : state) {
        read += seconds([&] { plainRead(path); });
        floor += seconds([&] { readPlusOutput(path, decodedSamples); });
        const double t = seconds([&] {
            PreloadedAudio a = loadWav(wide, kPreloadLimitBytes);
            benchmark::DoNotOptimize(a.samples.data());
        });
        load += t;
#ifdef KESTRAVEL_HAVE_SNDFILE
        snd += seconds([&] { sndfileRead(path); });
#endif
        state.SetIterationTime(t);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["MiB_per_s"] = static_cast<double>(kDecodeDataBytes) / (1 << 20) / (load / n);
    state.counters["time_vs_plain_read"] = load / read;
    state.counters["time_vs_read_plus_output"] = load / floor;
    if (snd > 0)
        state.counters["time_vs_libsndfile"] = load / snd;
    state.SetLabel(formatName(format));
}
BENCHMARK(BM_Decode)
    ->Arg(static_cast<int>(SampleFormat::Pcm16))
    ->Arg(static_cast<int>(SampleFormat::Pcm24))
    ->Arg(static_cast<int>(SampleFormat::Pcm32))
    ->Arg(static_cast<int>(SampleFormat::Float))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

#ifdef __linux__
uint64_t statusKiB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stoull(line.substr(std::string(key).size()));
    return 0;
}

// Peak resident growth while loading a 512 MiB float file, measured in a child process so
// the benchmark's own allocations do not blur it.
void BM_PreloadPeakMemory(benchmark::State& state)
{
    const std::filesystem::path& path = benchFile(SampleFormat::Float, 2, kPreloadLimitBytes);
    const std::u16string wide = widePath(path);
    double ratio = 0;
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe");
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            std::ofstream("/proc/self/clear_refs") << "5"; // peak := current
            const uint64_t before = statusKiB("VmRSS:");
            uint64_t result[2] = {0, 0};
            {
                PreloadedAudio a = loadWav(wide, kPreloadLimitBytes);
                result[1] = a.samples.size() * sizeof(float);
            }
            result[0] = (statusKiB("VmHWM:") - before) * 1024;
            const bool ok = ::write(fds[1], result, sizeof result) == sizeof result;
            ::_exit(ok ? 0 : 1);
        }
        ::close(fds[1]);
        uint64_t result[2] = {0, 0};
        const bool got = ::read(fds[0], result, sizeof result) == sizeof result;
        ::close(fds[0]);
        ::waitpid(child, nullptr, 0);
        if (!got || result[1] == 0)
            state.SkipWithError("child failed");
        ratio = static_cast<double>(result[0]) / static_cast<double>(result[1]);
    }
    state.counters["peak_vs_decoded"] = ratio;
}
BENCHMARK(BM_PreloadPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

} // namespace
} // namespace kestravel::plugins::bench
