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
    // These tests hear the file from its first frame at every start; chasing has its own.
    core.paramValues[kChasePositionParam].store(0.0);
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

// ---- PLAYER chasing the timeline ----

// A chasing PLAYER with a same-rate preloaded file of `frames`, placed at `anchor` if given.
std::unique_ptr<ModuleCore> chasingPlayer(uint64_t frames, std::optional<uint64_t> anchor, uint32_t rate = 48000)
{
    auto core = makeCore(PLAYER, 512);
    loadFile(*core, 2, rate, frames);
    core->paramValues[kChasePositionParam].store(1.0);
    if (anchor) {
        PreloadedAudio audio = core->player.latestAudio();
        audio.anchor = anchor;
        core->player.install(std::move(audio));
    }
    return core;
}

// One rolling block whose first sample sits at timeline position `timeline`; the continuous
// clock runs on regardless. Returns channel 0.
std::vector<float> timelineBlock(ModuleCore& core, FakeEvents& events, int64_t timeline, int32 samples = 256)
{
    HostBlock<float> host(samples, {}, {2});
    host.useContext(kTimeValid | kPlaying, core.sampleClock);
    host.context.projectTimeSamples = timeline;
    host.data.outputEvents = &events;
    EXPECT_EQ(processBlock(core, host.data), kResultOk);
    std::vector<float> out(static_cast<size_t>(samples));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = host.out(0, 0, i);
    return out;
}

// What a chasing player plays at timeline sample t: frame t - anchor, silence outside the file.
float heardAt(int64_t t, uint64_t anchor, uint64_t frames)
{
    return t >= static_cast<int64_t>(anchor) && static_cast<uint64_t>(t) - anchor < frames
               ? fileSample(static_cast<uint64_t>(t) - anchor, 0)
               : 0.0f;
}

// The transport starts anywhere: the file plays from where the timeline is, placed at its
// anchor (0 without one); silence before the anchor and after the end.
TEST(PlayerChase, StartsWhereTheTimelineIs)
{
    const struct {
        const char* name;
        std::optional<uint64_t> anchor;
        int64_t start;
    } cases[] = {
        {"NoAnchorStartsMidFile", std::nullopt, 4321},
        {"BeforeTheAnchor", 3000, 2900},
        {"AnchorInsideTheBlock", 3000, 2950},
        {"PastTheEnd", 1000, 30000},
        {"PreRollBeforeZero", std::nullopt, -300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto core = chasingPlayer(20000, c.anchor);
        core->sampleClock = 777777; // the continuous clock has nothing to do with it
        FakeEvents events;
        for (int64_t t = c.start; t < c.start + 2048; t += 256) {
            const std::vector<float> out = timelineBlock(*core, events, t);
            for (int64_t i = 0; i < 256; ++i)
                ASSERT_EQ(out[static_cast<size_t>(i)], heardAt(t + i, c.anchor.value_or(0), 20000)) << t + i;
        }
        ASSERT_GE(events.added.size(), 1u);
        expectSync(events.added[0], 0x01, 0);
        // The editor's playhead: the file frame the next block starts at.
        const int64_t next = c.start + 2048 - static_cast<int64_t>(c.anchor.value_or(0));
        EXPECT_EQ(core->player.heardFrame.load(), next >= 0 && next < 20000 ? static_cast<uint64_t>(next) : ~uint64_t{0});
    }
}

// Random jumps of the timeline while rolling (a moved playhead, a loop): every sample outside
// the short crossfade after a jump is the file's frame for its timeline position, and inside
// it the output lies between what the old and the new position would play.
TEST(PlayerChase, FollowsRandomLocatesSampleForSample)
{
    constexpr uint64_t kFrames = 30000;
    constexpr uint64_t kAnchor = 2000;
    auto core = chasingPlayer(kFrames, kAnchor);
    FakeEvents events;
    std::mt19937 random(11);
    int64_t t = 0;
    int64_t sinceJump = 1 << 20;
    int64_t before = 0; // where the timeline would have gone on
    int jumps = 0;
    for (int block = 0; block < 300; ++block) {
        const auto samples = static_cast<int32>(FilePlayer::kLocateFadeFrames + random() % 400);
        if (block > 0 && random() % 3 == 0) {
            t = static_cast<int64_t>(random() % (kFrames + 4000));
            if (t != before) {
                sinceJump = 0;
                ++jumps;
            }
        }
        const int64_t oldT = before;
        const std::vector<float> out = timelineBlock(*core, events, t, samples);
        for (int32 i = 0; i < samples; ++i, ++sinceJump) {
            const float now = heardAt(t + i, kAnchor, kFrames);
            if (sinceJump >= FilePlayer::kLocateFadeFrames) {
                ASSERT_EQ(out[static_cast<size_t>(i)], now) << "block " << block << " sample " << i;
            } else {
                const float old = heardAt(oldT + i, kAnchor, kFrames);
                ASSERT_GE(out[static_cast<size_t>(i)], std::min(old, now) - 1e-6f);
                ASSERT_LE(out[static_cast<size_t>(i)], std::max(old, now) + 1e-6f);
            }
        }
        t += samples;
        before = t;
    }
    EXPECT_GT(jumps, 50);
}

// A loop across the end of the file: the file ends (one stop message, at its last frame's
// successor) and starts again at the loop's start, every pass the same.
TEST(PlayerChase, LoopAcrossTheEndOfTheFile)
{
    constexpr uint64_t kFrames = 20000;
    auto core = chasingPlayer(kFrames, std::nullopt);
    FakeEvents events;
    const int64_t loopStart = 18000;
    const int64_t loopEnd = 21024; // 12 blocks of 252
    for (int pass = 0; pass < 3; ++pass) {
        for (int64_t t = loopStart; t < loopEnd; t += 252) {
            const std::vector<float> out = timelineBlock(*core, events, t, 252);
            for (int64_t i = 0; i < 252; ++i) {
                if (pass > 0 && t == loopStart && i < FilePlayer::kLocateFadeFrames)
                    continue; // the crossfade out of the silence after the end
                ASSERT_EQ(out[static_cast<size_t>(i)], heardAt(t + i, 0, kFrames)) << "pass " << pass << " " << t + i;
            }
        }
    }
    // Start once; a stop where the file runs out on every pass.
    ASSERT_EQ(events.added.size(), 4u);
    expectSync(events.added[0], 0x01, 0);
    for (size_t k = 1; k < 4; ++k)
        expectSync(events.added[k], 0x02, static_cast<int32>((20000 - 18000) % 252));
}

// Chasing from timeline 0 is today's rendering bit for bit, resampled too; with the switch off
// (or the module's own Play switch) a start plays the file from its first frame.
TEST(PlayerChase, SameBitsAsPlayingFromTheStartAndTheSwitchTurnsItOff)
{
    for (const uint32_t rate : {48000u, 44100u}) {
        SCOPED_TRACE(rate);
        auto chase = chasingPlayer(5000, std::nullopt, rate);
        auto plain = chasingPlayer(5000, std::nullopt, rate);
        plain->paramValues[kChasePositionParam].store(0.0);
        plain->sampleClock = 123456;
        FakeEvents events;
        for (int64_t t = 0; t < 6000; t += 256) {
            const std::vector<float> a = timelineBlock(*chase, events, t);
            const std::vector<float> b = timelineBlock(*plain, events, 99999 + t); // timeline ignored
            ASSERT_EQ(a, b) << t;
        }
    }
    auto own = chasingPlayer(5000, std::nullopt);
    own->paramValues[kFollowTransportParam].store(0.0);
    own->paramValues[kPlayRecordParam].store(1.0);
    FakeEvents events;
    const std::vector<float> out = timelineBlock(*own, events, 3000);
    EXPECT_EQ(out[0], fileSample(0, 0));
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

// RECORDER's take light: lit by a clip while a take records, never by one before it, latched
// for the take and dark again when the next take starts.
TEST(RecorderSync, TakeClipLightCoversOneTake)
{
    TempFolder folder;
    auto core = makeCore(RECORDER, 64);
    core->paramValues[kFollowTransportParam].store(0.0);
    HostBlock<float> host(64, {1}, {1});
    host.useContext(kTimeValid, 0);
    host.fillInput(0, 0, [](size_t) { return 1.0f; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk); // armed nothing, recording nothing
    EXPECT_FALSE(core->meters.takeClipped.load());

    for (const char* take : {"one.wav", "two.wav"}) {
        SCOPED_TRACE(take);
        core->recorder.prepareDestination(folder.file(take), 1, 48000);
        host.fillInput(0, 0, [](size_t) { return 0.5f; });
        FakeChanges changes{FakeQueue(kPlayRecordParam, {{0, 1.0}})};
        host.data.inputParameterChanges = &changes;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        host.data.inputParameterChanges = nullptr;
        ASSERT_TRUE(core->recorder.recording.load());
        EXPECT_FALSE(core->meters.takeClipped.load()); // the last take's clip is not this one's
        host.fillInput(0, 0, [](size_t i) { return i == 9 ? -1.0f : 0.5f; });
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        host.fillInput(0, 0, [](size_t) { return 0.5f; });
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        EXPECT_TRUE(core->meters.takeClipped.load());
        core->paramValues[kPlayRecordParam].store(0.0);
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        core->recorder.stopCapture();
        core->recorder.stopWriter();
    }
}

// A clip just before a take starts, in the same block or a few blocks earlier, is not the take's.
TEST(RecorderSync, AClipJustBeforeTheTakeIsNotTheTakes)
{
    TempFolder folder;
    auto core = makeCore(RECORDER, 64);
    core->paramValues[kFollowTransportParam].store(0.0);
    HostBlock<float> host(64, {1}, {1});
    host.useContext(kTimeValid, 0);
    host.fillInput(0, 0, [](size_t) { return 0.5f; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    host.fillInput(0, 0, [](size_t i) { return i == 3 ? 1.0f : 0.5f; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk); // no look since: its keys wait
    core->recorder.prepareDestination(folder.file("take.wav"), 1, 48000);
    host.fillInput(0, 0, [](size_t i) { return i == 9 ? -1.0f : 0.5f; });
    FakeChanges changes{FakeQueue(kPlayRecordParam, {{32, 1.0}})};
    host.data.inputParameterChanges = &changes;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk); // starts at sample 32
    host.data.inputParameterChanges = nullptr;
    ASSERT_TRUE(core->recorder.recording.load());
    EXPECT_FALSE(core->meters.takeClipped.load());
    EXPECT_EQ(core->meters.take(MeterSide::Input, 0, 0), 1.0f); // the meter showed both clips
    core->recorder.stopCapture();
    core->recorder.stopWriter();
}

} // namespace
} // namespace kestravel::plugins::test
