// PLAYER and RECORDER in step: run-state edges, the sync messages and their sample offsets,
// sync commands starting capture at their sample, and the tail settings handed to the recorder.

#include "engine_fixture.h"
#include "host_fakes.h"

#include "engine/transport_sync.h"
#include "fileaudio/preloaded_audio.h"
#include "core/text_utf.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr uint32_t kPlaying = ProcessContext::kPlaying;
constexpr uint32_t kTimeValid = ProcessContext::kContTimeValid;

// Frame f, channel c of a test file: exact in float and never 0.
float fileSample(uint64_t f, uint32_t c)
{
    return static_cast<float>((f * 3 + c * 1000) % 4096 + 1) / 8192.0f;
}

void loadFile(ModuleCore& core, uint32_t channels, uint32_t rate, uint64_t frames)
{
    PreloadedAudio audio;
    audio.channels = channels;
    audio.sampleRate = rate;
    audio.samples.resize(frames * channels);
    for (uint64_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c)
            audio.samples[f * channels + c] = fileSample(f, c);
    core.player.install(std::move(audio));
}

// Runs one PLAYER block at `clock` with the host transport playing or not.
template <typename S = float>
void playerBlock(ModuleCore& core, HostBlock<S>& host, FakeEvents& out, int64_t clock, bool playing)
{
    host.useContext(kTimeValid | (playing ? kPlaying : 0u), clock);
    host.data.outputEvents = &out;
    ASSERT_EQ(processBlock(core, host.data), kResultOk);
}

void expectSync(const Event& e, uint8 command, int32 offset)
{
    EXPECT_EQ(e.busIndex, 0);
    EXPECT_EQ(e.sampleOffset, offset);
    EXPECT_EQ(e.ppqPosition, 0.0);
    EXPECT_EQ(e.flags, 0);
    EXPECT_EQ(e.type, Event::kDataEvent);
    EXPECT_EQ(e.data.type, static_cast<uint32>(DataEvent::kMidiSysEx));
    ASSERT_EQ(e.data.size, 7u);
    const uint8 expected[] = {0xF0, 0x7D, 'K', 'T', 'S', command, 0xF7};
    EXPECT_EQ(std::memcmp(e.data.bytes, expected, 7), 0);
}

TEST(PlayerSync, HostStartStartsTheFileAtTheBlocksFirstSample)
{
    auto core = makeCore(PLAYER, 512);
    loadFile(*core, 2, 48000, 48000);
    HostBlock<float> host(512, {}, {2});
    FakeEvents events;
    playerBlock(*core, host, events, 1536, false);
    EXPECT_TRUE(events.added.empty());
    EXPECT_EQ(host.flags(0), 3u);

    playerBlock(*core, host, events, 2048, true);
    EXPECT_EQ(core->player.playStart.load(), 2048u);
    EXPECT_EQ(core->player.fileStart.load(), 0u);
    EXPECT_TRUE(core->player.playing.load());
    ASSERT_EQ(events.added.size(), 1u);
    expectSync(events.added[0], 0x01, 0);
    for (size_t i = 0; i < 512; ++i) {
        ASSERT_EQ(host.out(0, 0, i), fileSample(i, 0)) << i;
        ASSERT_EQ(host.out(0, 1, i), fileSample(i, 1)) << i;
    }
    EXPECT_EQ(host.flags(0), 0u);
    EXPECT_EQ(kSyncStartMessage[5], 0x01);
    EXPECT_EQ(events.added[0].data.bytes, kSyncStartMessage); // constant storage, not a copy
}

TEST(PlayerSync, OwnSwitchStartsAtThePointsSample)
{
    auto core = makeCore(PLAYER, 512);
    loadFile(*core, 1, 48000, 10000);
    core->paramValues[kFollowTransportParam].store(0.0);
    core->sampleClock = 7000;
    HostBlock<double> host(512, {}, {2});
    FakeEvents events;
    FakeChanges changes{FakeQueue(kPlayRecordParam, {{300, 1.0}})};
    host.data.inputParameterChanges = &changes;
    host.data.outputEvents = &events;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    ASSERT_EQ(events.added.size(), 1u);
    expectSync(events.added[0], 0x01, 300);
    EXPECT_EQ(core->player.playStart.load(), 7300u);
    EXPECT_EQ(host.out(0, 0, 299), 0.0);
    EXPECT_EQ(host.out(0, 0, 300), static_cast<double>(fileSample(0, 0)));
    EXPECT_EQ(host.out(0, 1, 301), static_cast<double>(fileSample(1, 0))); // mono on both sides
}

// A one-second file started at clock 0 ends at 48000: the stop message lands at that sample's
// offset in its block; a later falling edge sends another stop.
TEST(PlayerSync, EndOfFileAndFallingEdgeEachSendAStop)
{
    auto core = makeCore(PLAYER, 512);
    loadFile(*core, 2, 48000, 48000);
    HostBlock<float> host(512, {}, {2});
    FakeEvents events;
    int64_t clock = 0;
    for (; clock < 48000 + 512; clock += 512)
        playerBlock(*core, host, events, clock, true);
    ASSERT_EQ(events.added.size(), 2u);
    expectSync(events.added[0], 0x01, 0);
    expectSync(events.added[1], 0x02, 48000 - 93 * 512);
    EXPECT_FALSE(core->player.playing.load());
    EXPECT_EQ(core->player.endPosition.load(), 48000u);
    // The block holding the end: file audio up to the end, silence after it.
    HostBlock<float> last(512, {}, {2});
    core->player.startPlayback(0, 0);
    core->syncRunning = true;
    playerBlock(*core, last, events, 93 * 512, true);
    EXPECT_EQ(last.out(0, 0, 383), fileSample(47999, 0));
    EXPECT_EQ(last.out(0, 0, 384), 0.0f);
    EXPECT_EQ(last.flags(0), 0u);

    events.added.clear();
    playerBlock(*core, host, events, clock, false);
    ASSERT_EQ(events.added.size(), 1u);
    expectSync(events.added[0], 0x02, 0);
    EXPECT_EQ(host.flags(0), 3u);
}

TEST(PlayerSync, HostStopSendsAStopAtOffsetZero)
{
    auto core = makeCore(PLAYER, 256);
    loadFile(*core, 2, 48000, 100000);
    HostBlock<float> host(256, {}, {2});
    FakeEvents events;
    playerBlock(*core, host, events, 0, true);
    playerBlock(*core, host, events, 256, true);
    playerBlock(*core, host, events, 512, false);
    ASSERT_EQ(events.added.size(), 2u);
    expectSync(events.added[1], 0x02, 0);
    EXPECT_FALSE(core->player.playing.load());
    EXPECT_EQ(host.out(0, 0, 0), 0.0f);
}

TEST(PlayerSync, NoFileSendsStartAndStopAtTheSameSample)
{
    auto core = makeCore(PLAYER, 256);
    core->paramValues[kFollowTransportParam].store(0.0);
    HostBlock<float> host(256, {}, {2});
    FakeEvents events;
    FakeChanges changes{FakeQueue(kPlayRecordParam, {{17, 1.0}})};
    host.data.inputParameterChanges = &changes;
    host.data.outputEvents = &events;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    ASSERT_EQ(events.added.size(), 2u);
    expectSync(events.added[0], 0x01, 17);
    expectSync(events.added[1], 0x02, 17);
    EXPECT_FALSE(core->player.playing.load());
}

TEST(PlayerSync, WithoutAnEventListPlaybackStillFollows)
{
    auto core = makeCore(PLAYER, 256);
    loadFile(*core, 2, 48000, 1000);
    HostBlock<float> host(256, {}, {2});
    host.useContext(kPlaying | kTimeValid, 0);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_TRUE(core->player.playing.load());
    EXPECT_EQ(host.out(0, 1, 5), fileSample(5, 1));
}

TEST(PlayerSync, ResamplesByTheHostRate)
{
    auto core = makeCore(PLAYER, 512);
    loadFile(*core, 1, 44100, 44100);
    HostBlock<float> host(512, {}, {1});
    FakeEvents events;
    playerBlock(*core, host, events, 0, true);
    for (size_t i = 0; i < 512; ++i) {
        const double p = static_cast<double>(i) * (44100.0 / 48000.0);
        const auto f = static_cast<uint64_t>(p);
        const auto u = static_cast<float>(p - static_cast<double>(f));
        const float a = fileSample(f, 0);
        const float b = fileSample(f + 1, 0);
        ASSERT_EQ(host.out(0, 0, i), a + (b - a) * u) << i;
    }
}

// ---- RECORDER ----

class TempFolder {
public:
    TempFolder()
    {
        std::random_device seed;
        dir = std::filesystem::temp_directory_path() /
              ("kestravel-engine-" + std::to_string(seed()) + "-" + std::to_string(seed()));
        std::filesystem::create_directories(dir);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::u16string file(const std::string& name) const
    {
#ifdef _WIN32
        const std::wstring w = (dir / name).native();
        return std::u16string(w.begin(), w.end());
#else
        return utf8ToUtf16((dir / name).native()).value();
#endif
    }
    std::filesystem::path dir;
};

TEST(RecorderSync, StartMessageStartsCaptureAtItsSample)
{
    TempFolder folder;
    auto core = makeCore(RECORDER, 512);
    core->recorder.prepareDestination(folder.file("take.wav"), 2, 48000);
    ASSERT_TRUE(core->recorder.ready.load());

    HostBlock<float> host(512, {2}, {2});
    host.fillInput(0, 0, [](size_t i) { return 0.001 * static_cast<double>(i % 100); });
    host.fillInput(0, 1, [](size_t i) { return -0.002 * static_cast<double>(i % 50); });
    host.useContext(kTimeValid, 5000); // host transport stopped; following it
    FakeEvents events;
    events.events = {sysexEvent(100, kSyncStartMessage, 7)};
    host.data.inputEvents = &events;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_TRUE(core->recorder.recording.load());
    EXPECT_EQ(core->recorder.startPosition.load(), 5100u);
    EXPECT_EQ(core->paramValues[kFollowTransportParam].load(), 0.0);
    EXPECT_EQ(core->paramValues[kPlayRecordParam].load(), 1.0);
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(host.out(0, 1, i), host.in(0, 1, i)) << i; // passes through unchanged

    // Next block: the switch reads on, no edge; then the stop message arms the tail.
    events.events = {sysexEvent(10, kSyncStopMessage, 7)};
    host.useContext(kTimeValid, 5512);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(core->recorder.stopPosition.load(), 5522u);
    EXPECT_EQ(core->recorder.silenceSamples.load(), 24000u);
    EXPECT_EQ(core->recorder.maxTailSamples.load(), 1440000u);
    EXPECT_FLOAT_EQ(core->recorder.silenceThreshold.load(), 1.0e-4f);
    EXPECT_EQ(core->paramValues[kPlayRecordParam].load(), 0.0);
    EXPECT_FALSE(core->syncRunning);
    core->recorder.stopCapture();
    core->recorder.stopWriter();
}

struct TailCase {
    double silence, maximum; // normalized 400 and 401
    uint64_t silenceSamples, maxTailSamples;
};

TEST(RecorderSync, FallingEdgeHandsOverTheTailSettings)
{
    const std::vector<TailCase> cases = {
        {0.05, 1.0 / 120.0, 24000, 1440000},
        {0.0, 0.0, 480, 480},
        {1.0, 1.0, 480000, 172800000},
        {0.0001, 0.000001, 480, 480},
    };
    for (const auto& c : cases) {
        auto core = makeCore(RECORDER, 256);
        core->recorder.sampleRate.store(48000); // the take's rate; no destination needed here
        core->paramValues[kTailSilenceTimeParam].store(c.silence);
        core->paramValues[kMaximumTailParam].store(c.maximum);
        HostBlock<float> host(256, {2}, {2});
        host.useContext(kTimeValid | kPlaying, 1000);
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        host.useContext(kTimeValid, 1256);
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        EXPECT_EQ(core->recorder.stopPosition.load(), 1256u) << c.silence;
        EXPECT_EQ(core->recorder.silenceSamples.load(), c.silenceSamples) << c.silence;
        EXPECT_EQ(core->recorder.maxTailSamples.load(), c.maxTailSamples) << c.maximum;
    }
}

// Host transport on, then off: the take holds exactly the input from the start of the
// transport, and the tail ends after the (shortest) silence run.
TEST(RecorderSync, TakeHoldsTheInputFromTheTransportStart)
{
    TempFolder folder;
    auto core = makeCore(RECORDER, 256);
    core->paramValues[kTailSilenceTimeParam].store(0.0); // 480 frames of silence end the tail
    core->recorder.prepareDestination(folder.file("take.wav"), 2, 48000);
    HostBlock<double> host(256, {2}, {2});
    auto input = [](uint64_t t, size_t c) { return c == 0 ? 0.25 + 1e-4 * static_cast<double>(t % 1000) : -0.5; };
    int64_t clock = 10000;
    for (int block = 0; block < 12; ++block, clock += 256) {
        const bool playing = block >= 2 && block < 6;
        for (size_t c = 0; c < 2; ++c)
            host.fillInput(0, c, [&](size_t i) { return block < 6 ? input(static_cast<uint64_t>(clock) + i, c) : 0.0; });
        host.useContext(kTimeValid | (playing ? kPlaying : 0u), clock);
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    }
    EXPECT_FALSE(core->recorder.recording.load());
    core->recorder.stopWriter();
    const PreloadedAudio take = loadWav(folder.file("take.wav"), kPreloadLimitBytes);
    ASSERT_EQ(take.channels, 2u);
    // The frame completing the 480-frame silent run is not written.
    ASSERT_EQ(take.frames(), 4u * 256u + 479u);
    for (uint64_t f = 0; f < take.frames(); ++f) {
        const uint64_t t = 10000 + 512 + f;
        for (uint32_t c = 0; c < 2; ++c) {
            const float expected = f < 1024 ? static_cast<float>(input(t, c)) : 0.0f;
            ASSERT_EQ(take.samples[f * 2 + c], expected) << f << " " << c;
        }
    }
}

// The time stamp read straight from the file's "bext" chunk (EBU Tech 3285: TimeReference is
// the two 32-bit halves at body offsets 338 and 342); none when the file has no such chunk.
std::optional<uint64_t> timeReferenceOf(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u32 = [&](size_t at) {
        return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
    };
    for (size_t at = 12; at + 8 <= b.size(); at += 8 + u32(at + 4) + (u32(at + 4) & 1)) {
        if (std::memcmp(&b[at], "bext", 4) == 0 && u32(at + 4) >= 346 && at + 8 + 346 <= b.size())
            return uint64_t{u32(at + 8 + 338)} | uint64_t{u32(at + 8 + 342)} << 32;
    }
    return std::nullopt;
}

struct StampCase {
    const char* name;
    int how;        // 0 host transport, 1 own switch at offset 200, 2 sync message at offset 300
    double stamp;   // "Timestamp takes (BWF)"
    std::optional<uint64_t> timeReference;
};

// The take's time stamp is the timeline position (projectTimeSamples) of its first frame, not
// the continuous clock, however the take starts; with the switch off there is none.
TEST(RecorderSync, TakeIsStampedWithItsTimelinePosition)
{
    const std::vector<StampCase> cases = {
        {"transport", 0, 1.0, 96000},
        {"switch", 1, 1.0, 96200},
        {"sync", 2, 1.0, 96300},
        {"off", 0, 0.0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        auto core = makeCore(RECORDER, 512);
        core->paramValues[kTimestampTakesParam].store(c.stamp);
        core->paramValues[kFollowTransportParam].store(c.how == 0 ? 1.0 : 0.0);
        core->recorder.timestampNewTakes.store(true); // armed stamped: the start decides
        core->recorder.prepareDestination(folder.file("take.wav"), 1, 48000);
        HostBlock<float> host(512, {1}, {1});
        host.fillInput(0, 0, [](size_t i) { return 0.5 + 1e-4 * static_cast<double>(i); });
        host.useContext(kTimeValid | (c.how == 0 ? kPlaying : 0u), 777000); // clock far from the timeline
        host.context.projectTimeSamples = 96000;
        FakeChanges changes{FakeQueue(kPlayRecordParam, {{200, 1.0}})};
        FakeEvents events;
        events.events = {sysexEvent(300, kSyncStartMessage, 7)};
        if (c.how == 1)
            host.data.inputParameterChanges = &changes;
        if (c.how == 2)
            host.data.inputEvents = &events;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        ASSERT_TRUE(core->recorder.recording.load());
        core->recorder.stopCapture();
        core->recorder.stopWriter();
        const auto path = toFsPath(folder.file("take.wav"));
        EXPECT_EQ(timeReferenceOf(path), c.timeReference);
        const PreloadedAudio take = loadWav(folder.file("take.wav"), kPreloadLimitBytes);
        EXPECT_EQ(take.frames(), 512u - (c.how == 1 ? 200u : c.how == 2 ? 300u : 0u));
    }
}

} // namespace
} // namespace kestravel::plugins::test
