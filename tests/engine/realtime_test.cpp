// The audio path never allocates or frees: every kind, thousands of blocks with random sizes,
// widths, parameter points, sync messages and transport changes, a loaded PLAYER file and a
// recording RECORDER, each processBlock call inside a counted region.
//
// Global operator new/delete are replaced in this binary; on glibc (without a sanitizer, which
// brings its own allocator) the malloc family is wrapped as well. Only the thread that opens the
// region is counted, so the recorder's writer thread may allocate as it likes.

#include "engine_fixture.h"
#include "host_fakes.h"

#include "engine/transport_sync.h"
#include "fileaudio/preloaded_audio.h"
#include "core/text_utf.h"

#include <gtest/gtest.h>

#include <atomic>
#ifdef _WIN32
#include <malloc.h>
#endif
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>

namespace {

thread_local bool tCounting = false;
std::atomic<long> gAllocations{0};

void noteAllocation() noexcept
{
    if (tCounting)
        gAllocations.fetch_add(1, std::memory_order_relaxed);
}

void* allocate(std::size_t size)
{
    noteAllocation();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t align)
{
    noteAllocation();
    const auto a = static_cast<std::size_t>(align);
#ifdef _WIN32
    if (void* p = _aligned_malloc(size ? size : 1, a))
        return p;
#else
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a))
        return p;
#endif
    throw std::bad_alloc();
}

void release(void* p) noexcept
{
    if (p)
        noteAllocation();
    std::free(p);
}

void releaseAligned(void* p) noexcept
{
    if (p)
        noteAllocation();
#ifdef _WIN32
    _aligned_free(p);
#else
    std::free(p);
#endif
}

} // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void* operator new(std::size_t size, std::align_val_t align) { return allocateAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return allocateAligned(size, align); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { releaseAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { releaseAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { releaseAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { releaseAligned(p); }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTRAVEL_WRAP_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KESTRAVEL_WRAP_MALLOC 0
#endif
#endif
#if !defined(KESTRAVEL_WRAP_MALLOC) && defined(__GLIBC__)
#define KESTRAVEL_WRAP_MALLOC 1
#endif

#if defined(KESTRAVEL_WRAP_MALLOC) && KESTRAVEL_WRAP_MALLOC
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) noexcept
{
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t align, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_memalign(align, size);
}
void* memalign(std::size_t align, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_memalign(align, size);
}
int posix_memalign(void** out, std::size_t align, std::size_t size) noexcept
{
    noteAllocation();
    void* p = __libc_memalign(align, size);
    if (p == nullptr)
        return 12; // ENOMEM
    *out = p;
    return 0;
}
void free(void* p) noexcept
{
    if (p)
        noteAllocation();
    __libc_free(p);
}
}
#endif

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

class CountedRegion {
public:
    CountedRegion() : before(gAllocations.load()) { tCounting = true; }
    ~CountedRegion() { tCounting = false; }
    long count() const { return gAllocations.load() - before; }

private:
    long before;
};

TEST(RealTime, TheCounterSeesAllocations)
{
    long seen = 0;
    {
        CountedRegion region;
        auto* p = new int(3);
        delete p;
#if defined(KESTRAVEL_WRAP_MALLOC) && KESTRAVEL_WRAP_MALLOC
        void* q = std::malloc(16);
        std::free(q);
#endif
        seen = region.count();
    }
    EXPECT_GE(seen, 2);
}

struct Layout {
    ModuleKind kind;
    std::vector<int32> inputs, outputs;
};

std::filesystem::path scratchFolder()
{
    std::random_device seed;
    auto dir = std::filesystem::temp_directory_path() /
               ("kestravel-rt-" + std::to_string(seed()) + "-" + std::to_string(seed()));
    std::filesystem::create_directories(dir);
    return dir;
}

std::u16string wide(const std::filesystem::path& p)
{
#ifdef _WIN32
    const std::wstring w = p.native();
    return std::u16string(w.begin(), w.end());
#else
    return utf8ToUtf16(p.native()).value();
#endif
}

// Ids a host might send, the sync codes among them, and some that must be ignored.
constexpr uint32_t kIds[] = {kActiveStripsParam, kGainParam, kFollowTransportParam, kPlayRecordParam,
                             kFaderGainParamBase, kFaderGainParamBase + 7, kFaderGainParamBase + 63,
                             kFaderMuteParamBase + 3, kFaderMuteParamBase + 40, kTailSilenceTimeParam,
                             kMaximumTailParam, kSyncStartCode, kSyncStopCode, 700, 99};

// A prepared block's worth of host input: everything built before the counted region.
struct Traffic {
    FakeChanges changes;
    FakeEvents events;
    int32 samples = 0;
    bool playing = false;
    bool wide64 = false;
    bool nanInput = false;
};

Traffic randomTraffic(std::mt19937& random, int32 maxBlock, ModuleKind kind)
{
    Traffic t;
    std::uniform_int_distribution<int32> size(0, maxBlock);
    std::uniform_real_distribution<double> unit(-0.1, 1.1);
    t.samples = random() % 8 == 0 ? maxBlock : size(random);
    t.playing = random() % 4 != 0;
    t.wide64 = random() % 3 == 0;
    t.nanInput = random() % 16 == 0;
    const int queues = static_cast<int>(random() % 4);
    for (int q = 0; q < queues; ++q) {
        std::vector<QueuePoint> points;
        const int n = static_cast<int>(random() % 5);
        for (int k = 0; k < n; ++k)
            points.push_back({std::uniform_int_distribution<int32>(-2, t.samples + 1)(random), unit(random)});
        t.changes.add(FakeQueue(kIds[random() % std::size(kIds)], points));
    }
    if (kind == RECORDER && random() % 3 == 0) {
        const uint8* message = random() % 2 ? kSyncStartMessage : kSyncStopMessage;
        t.events.events.push_back(sysexEvent(std::uniform_int_distribution<int32>(0, std::max(t.samples, 1))(random), message, 7));
    }
    t.events.added.reserve(64);
    t.events.noGrowth = true;
    return t;
}

template <typename S>
void fillInputs(HostBlock<S>& host, const std::vector<int32>& inputs)
{
    for (size_t j = 0; j < inputs.size(); ++j)
        for (size_t c = 0; c < static_cast<size_t>(inputs[j]); ++c)
            host.fillInput(j, c, [&](size_t i) {
                return 0.5 * std::sin(0.01 * static_cast<double>(i * (c + 1) + j));
            });
}

TEST(RealTime, NoKindAllocatesOrFreesWhileProcessing)
{
    const std::vector<Layout> layouts = {
        {INPUT, {2}, {2}},
        {OUTPUT, {8}, {8}},
        {SUMMING, std::vector<int32>(64, 2), {2}},
        {BREAKOUT, {16}, std::vector<int32>(64, 1)},
        {PLAYER, {}, {2}},
        {RECORDER, {2}, {2}},
        {FADER_BANK, std::vector<int32>(64, 2), std::vector<int32>(64, 2)},
        {DISTRIBUTOR, {2}, std::vector<int32>(64, 2)},
    };
    const auto folder = scratchFolder();
    constexpr int32 maxBlock = 1500; // past the lookahead curves' reach, so both paths run
    constexpr int kBlocks = 3000;
    std::mt19937 random(20260611);
    int take = 0;

    for (const auto& layout : layouts) {
        SCOPED_TRACE(kindDisplayName(layout.kind));
        auto core = makeCore(layout.kind, maxBlock);
        core->paramValues[kActiveStripsParam].store(0.5);
        if (layout.kind == PLAYER) {
            PreloadedAudio audio;
            audio.channels = 2;
            audio.sampleRate = 44100;
            audio.samples.assign(2 * 30000, 0.25f);
            core->player.install(std::move(audio));
        }
        HostBlock<float> narrow(maxBlock, layout.inputs, layout.outputs);
        HostBlock<double> wide64(maxBlock, layout.inputs, layout.outputs);
        fillInputs(narrow, layout.inputs);
        fillInputs(wide64, layout.inputs);
        int64_t clock = 0;
        int recordingBlocks = 0;
        int meteredBlocks = 0;
        int playingBlocks = 0;
        for (int block = 0; block < kBlocks; ++block) {
            if (layout.kind == RECORDER && !core->recorder.recording.load() && block % 500 == 0) {
                core->recorder.stopWriter();
                core->recorder.prepareDestination(wide(folder / ("take" + std::to_string(take++) + ".wav")), 2, 48000);
            }
            if (layout.kind == PLAYER && block % 1000 == 999) { // a new file, adopted mid-run
                PreloadedAudio audio;
                audio.channels = 1;
                audio.sampleRate = 48000;
                audio.samples.assign(5000, -0.5f);
                core->player.install(std::move(audio));
            }
            Traffic traffic = randomTraffic(random, maxBlock, layout.kind);
            auto run = [&](auto& host) {
                if (!layout.inputs.empty() && traffic.samples > 3)
                    host.in(0, 0, 3) = traffic.nanInput ? std::numeric_limits<float>::quiet_NaN() : 0.25f;
                host.data.numSamples = traffic.samples;
                host.data.inputParameterChanges = &traffic.changes;
                host.data.inputEvents = &traffic.events;
                host.data.outputEvents = &traffic.events;
                const uint32_t playing = traffic.playing ? static_cast<uint32_t>(ProcessContext::kPlaying) : 0u;
                host.useContext(ProcessContext::kContTimeValid | playing, clock);
                CountedRegion region;
                const tresult result = processBlock(*core, host.data);
                const long allocations = region.count();
                ASSERT_EQ(result, kResultOk);
                ASSERT_EQ(allocations, 0) << "block " << block << " of " << traffic.samples << " samples";
            };
            if (traffic.wide64)
                run(wide64);
            else
                run(narrow);
            if (::testing::Test::HasFatalFailure())
                return;
            clock += traffic.samples;
            // The meters took part: the signal reached them, and taking it (as the editor does
            // meanwhile) leaves them ready for the next block.
            meteredBlocks += core->meters.take(layout.kind == RECORDER ? MeterSide::Input : MeterSide::Output, 0, 0) > 0.0f;
            recordingBlocks += core->recorder.recording.load();
            playingBlocks += core->player.playing.load();
        }
        EXPECT_GT(meteredBlocks, kBlocks / 10);
        if (layout.kind == RECORDER) {
            EXPECT_GT(recordingBlocks, kBlocks / 10);
        }
        if (layout.kind == PLAYER) {
            EXPECT_GT(playingBlocks, kBlocks / 10);
        }
        core->recorder.stopCapture();
        core->recorder.stopWriter();
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

// A float WAV file of frames x channels, every sample 0.25.
void writeFloatWav(const std::filesystem::path& p, uint32_t channels, uint32_t rate, uint32_t frames)
{
    const uint32_t dataBytes = frames * channels * 4;
    std::vector<uint8_t> b;
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    tag("RIFF"), put(dataBytes + 36, 4), tag("WAVE"), tag("fmt "), put(16, 4), put(3, 2), put(channels, 2);
    put(rate, 4), put(rate * channels * 4, 4), put(channels * 4, 2), put(32, 2), tag("data"), put(dataBytes, 4);
    const float v = 0.25f;
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    for (uint32_t i = 0; i < frames * channels; ++i)
        put(bits, 4);
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A PLAYER playing from disk, late frames and offline waits included, allocates nothing either:
// the reader thread does all the reading and allocating.
TEST(RealTime, StreamingPlayerAllocatesNothing)
{
    const auto folder = scratchFolder();
    writeFloatWav(folder / "long.wav", 2, 44100, 200000);
    constexpr int32 maxBlock = 1500;
    std::mt19937 random(11);
    for (const bool offline : {false, true}) {
        SCOPED_TRACE(offline ? "offline" : "real time");
        auto core = makeCore(PLAYER, maxBlock);
        std::atomic<bool> hold{false};
        core->player.preloadLimitBytes = 1000; // streams
        core->player.streamOptions.headSeconds = 0.05;
        core->player.streamOptions.ringSeconds = 0.2;
        core->player.streamOptions.hold = &hold;
        core->player.offline.store(offline);
        core->player.load(wide(folder / "long.wav"));
        HostBlock<float> host(maxBlock, {}, {2});
        int64_t clock = 0;
        int playingBlocks = 0;
        for (int block = 0; block < 1500; ++block) {
            hold.store(!offline && block % 200 > 150); // late frames now and then in real time
            Traffic traffic = randomTraffic(random, maxBlock, PLAYER);
            traffic.playing = block % 400 < 390; // stops and starts from frame 0 again
            host.data.numSamples = traffic.samples;
            host.data.inputParameterChanges = &traffic.changes;
            host.data.inputEvents = &traffic.events;
            host.data.outputEvents = &traffic.events;
            const uint32_t playing = traffic.playing ? static_cast<uint32_t>(ProcessContext::kPlaying) : 0u;
            host.useContext(ProcessContext::kContTimeValid | playing, clock);
            CountedRegion region;
            const tresult result = processBlock(*core, host.data);
            const long allocations = region.count();
            ASSERT_EQ(result, kResultOk);
            ASSERT_EQ(allocations, 0) << "block " << block;
            clock += traffic.samples;
            playingBlocks += core->player.playing.load();
        }
        EXPECT_GT(playingBlocks, 300);
        EXPECT_NE(core->player.streamStatus(), "");
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

} // namespace
} // namespace kestravel::plugins::test
