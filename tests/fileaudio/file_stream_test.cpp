// PLAYER playing from disk: a streamed file against the same file preloaded, takes in parts,
// late and failing reads, and what a stream leaves behind.

#include "fileaudio/bext_chunk.h"
#include "fileaudio/file_player.h"
#include "fileaudio/file_recorder.h"
#include "fileaudio/file_status.h"
#include "recorder_fixture.h"
#include "wav_fixture.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kestravel::plugins::testing {
namespace {

// Small pieces, so a short file has a head, many pages and a ring that wraps many times.
StreamOptions smallPieces(uint32_t rate)
{
    StreamOptions o;
    o.headSeconds = 700.0 / rate;
    o.pagesPerSecond = rate / 100; // 100 frames a page
    o.ringSeconds = 800.0 / rate;  // 8 pages
    return o;
}

// Never 0, so silence always means a frame that was not played.
float signal(uint64_t frame, uint32_t channel)
{
    return 0.25f + static_cast<float>((frame * 13 + channel * 7) % 1000) / 4000.0f;
}

Bytes encode(uint16_t bits, uint32_t channels, uint64_t frames, float (*sample)(uint64_t, uint32_t))
{
    Bytes data;
    for (uint64_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c) {
            const float x = sample(f, c);
            if (bits == 32) {
                uint32_t u;
                std::memcpy(&u, &x, 4);
                put32(data, u);
            } else if (bits == 16) {
                put16(data, static_cast<uint16_t>(static_cast<int16_t>(x * 32767.0f)));
            } else {
                const auto v = static_cast<uint32_t>(static_cast<int32_t>(x * 8388607.0f));
                data.push_back(static_cast<uint8_t>(v));
                data.push_back(static_cast<uint8_t>(v >> 8));
                data.push_back(static_cast<uint8_t>(v >> 16));
            }
        }
    return data;
}

void writeWav(const std::filesystem::path& p, uint16_t bits, uint32_t channels, uint32_t rate, uint64_t frames,
              float (*sample)(uint64_t, uint32_t) = signal)
{
    writeAll(p, simpleWav(bits == 32 ? 3 : 1, static_cast<uint16_t>(channels), rate, bits,
                          encode(bits, channels, frames, sample)));
}

using Rows = std::vector<std::vector<float>>;

// Plays from timeline 0 in blocks until the file ends (or maxBlocks), one row per output.
Rows playThrough(FilePlayer& player, uint32_t outputs, uint32_t block, double hostRate, size_t maxBlocks = 100000)
{
    Rows rows(outputs);
    std::vector<std::vector<float>> buffers(outputs, std::vector<float>(block));
    std::vector<float*> pointers;
    for (auto& b : buffers)
        pointers.push_back(b.data());
    player.startPlayback(0, 0);
    for (size_t k = 0; k < maxBlocks && player.playing.load(); ++k) {
        player.render(pointers.data(), outputs, block, hostRate, static_cast<int64_t>(k * block));
        for (uint32_t j = 0; j < outputs; ++j)
            rows[j].insert(rows[j].end(), buffers[j].begin(), buffers[j].end());
    }
    return rows;
}

::testing::AssertionResult sameBits(const Rows& a, const Rows& b)
{
    if (a.size() != b.size() || a[0].size() != b[0].size())
        return ::testing::AssertionFailure() << "lengths " << a[0].size() << " and " << b[0].size();
    for (size_t j = 0; j < a.size(); ++j)
        for (size_t i = 0; i < a[j].size(); ++i)
            if (std::bit_cast<uint32_t>(a[j][i]) != std::bit_cast<uint32_t>(b[j][i]))
                return ::testing::AssertionFailure() << "row " << j << " frame " << i << ": " << a[j][i]
                                                     << " against " << b[j][i];
    return ::testing::AssertionSuccess();
}

struct StreamCase {
    const char* name;
    uint16_t bits;
    uint32_t channels;
    uint32_t fileRate;
    double hostRate;
    uint32_t outputs;
    uint32_t block;
};

class StreamAgainstPreload : public ::testing::TestWithParam<StreamCase> {};

// A bounce (kOffline) of a streamed file is the preloaded file's, bit for bit, up to the sample
// at which playback ends.
TEST_P(StreamAgainstPreload, SameBits)
{
    const StreamCase sc = GetParam();
    TempDir tmp;
    writeWav(tmp.path("a.wav"), sc.bits, sc.channels, sc.fileRate, 20011);

    FilePlayer preloaded;
    preloaded.load(tmp.wide("a.wav"));
    ASSERT_FALSE(preloaded.overview().streamed);

    FilePlayer streamed;
    streamed.preloadLimitBytes = 1000; // everything bigger streams
    streamed.streamOptions = smallPieces(sc.fileRate);
    streamed.offline.store(true);
    streamed.load(tmp.wide("a.wav"));
    ASSERT_TRUE(streamed.overview().streamed);
    EXPECT_EQ(streamed.totalFrames.load(), 20011u);

    const Rows want = playThrough(preloaded, sc.outputs, sc.block, sc.hostRate);
    const Rows got = playThrough(streamed, sc.outputs, sc.block, sc.hostRate);
    EXPECT_TRUE(sameBits(got, want));
    EXPECT_EQ(streamed.endPosition.load(), preloaded.endPosition.load());
    EXPECT_NE(streamed.endPosition.load(), ~uint64_t{0});

    // Again from the start: the head plays at once while the reader refills from its end.
    EXPECT_TRUE(sameBits(playThrough(streamed, sc.outputs, sc.block, sc.hostRate), want));
    EXPECT_EQ(streamed.streamStatus(), " | from disk; underruns 0");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamAgainstPreload,
    ::testing::Values(StreamCase{"FloatStereoSameRate", 32, 2, 8000, 8000.0, 2, 64},
                      StreamCase{"Pcm16ThreeUpsampled", 16, 3, 8000, 11025.0, 4, 100},
                      StreamCase{"Pcm24MonoDownsampled", 24, 1, 48000, 44100.0, 2, 37},
                      StreamCase{"Float64SameRate", 32, 64, 48000, 48000.0, 64, 512},
                      StreamCase{"Float8ToSixRows", 32, 8, 44100, 48000.0, 6, 300}),
    [](const auto& p) { return std::string(p.param.name); });

// A take the recorder continued in parts plays as one file, sample for sample.
TEST(FileStream, RecorderTakeInPartsPlaysAsOne)
{
    constexpr uint32_t kChannels = 3;
    TempDir tmp;
    FileRecorder::WriterOptions small;
    small.fileByteBudget = 1000 * kChannels * 4 + 5;
    FileRecorder rec;
    rec.setWriterOptionsForTesting(small);
    rec.prepareDestination(tmp.wide("take.wav"), kChannels, 48000);
    rec.startCapture(0);
    pushTake(rec, kChannels, 0, 3500, 333);
    rec.stopWriter();
    ASSERT_EQ(rec.partCount.load(), 4u);

    FilePlayer player;
    player.streamOptions = smallPieces(48000);
    player.streamOptions.partBytes = small.fileByteBudget;
    player.offline.store(true);
    player.load(tmp.wide("take.wav"));
    EXPECT_EQ(player.totalFrames.load(), 3500u);
    EXPECT_EQ(statusText(PLAYER, tmp.wide("take.wav"), player, rec),
              "take.wav | Ready | from disk, 4 parts; underruns 0");

    const Rows rows = playThrough(player, kChannels, 128, 48000.0);
    ASSERT_GE(rows[0].size(), 3500u);
    for (uint64_t f = 0; f < 3500; ++f)
        for (uint32_t c = 0; c < kChannels; ++c)
            ASSERT_EQ(rows[c][f], takeSample(f, c)) << "frame " << f << " channel " << c;
    EXPECT_EQ(player.endPosition.load(), 3500u);
}

// Writes a.wav (6000 frames of signal at 8 kHz) and streams it in small pieces with a reader
// that reads nothing while hold is set.
void loadHeld(FilePlayer& player, const TempDir& tmp, const std::atomic<bool>& hold)
{
    writeWav(tmp.path("a.wav"), 32, 2, 8000, 6000);
    player.preloadLimitBytes = 1000;
    player.streamOptions = smallPieces(8000);
    player.streamOptions.hold = &hold;
    player.load(tmp.wide("a.wav"));
}

// Loads a take whose parts hold budget sample bytes, for a bounce.
void loadTake(FilePlayer& player, const std::u16string& path, uint64_t budget)
{
    player.streamOptions = smallPieces(48000);
    player.streamOptions.partBytes = budget;
    player.offline.store(true);
    player.load(path);
}

// Only a file filled to the size limit is followed by its next part; a part that cannot join
// ends the file before it, and the status says why.
TEST(FileStream, PartsJoinOnlyWhatTheRecorderSplit)
{
    constexpr uint64_t kFull = 500; // frames of a full stereo float part
    const uint64_t budget = kFull * 8 + 7;
    enum Next { kNone, kSameFormat, kMoreChannels, kOtherRate, kPcm16, kDirectory, kFifo, kGarbage };
    const struct {
        const char* name;
        uint64_t firstFrames;
        Next next;
        uint64_t frames;  // what plays
        const char* note; // the end of the status line
    } cases[] = {
        {"ShortFileIgnoresItsNeighbour", 300, kSameFormat, 300, nullptr},
        {"FullFileWithoutNextPart", kFull, kNone, kFull,
         " | from disk; underruns 0 | song-part2.wav is missing; played up to it"},
        {"FullFileJoinsItsNextPart", kFull, kSameFormat, kFull + 200, " | from disk, 2 parts; underruns 0"},
        {"ChannelsDiffer", kFull, kMoreChannels, kFull,
         " | from disk; underruns 0 | song-part2.wav has a different channel count; played up to it"},
        {"RateDiffers", kFull, kOtherRate, kFull,
         " | from disk; underruns 0 | song-part2.wav has a different sample rate; played up to it"},
        {"EncodingDiffers", kFull, kPcm16, kFull,
         " | from disk; underruns 0 | song-part2.wav has a different sample format; played up to it"},
        {"PartIsADirectory", kFull, kDirectory, kFull,
         " | from disk; underruns 0 | song-part2.wav: Cannot open WAV file; played up to it"},
        {"PartIsNotAWav", kFull, kGarbage, kFull,
         " | from disk; underruns 0 | song-part2.wav: Only RIFF WAV supported; played up to it"},
#ifndef _WIN32
        {"PartIsAFifo", kFull, kFifo, kFull,
         " | from disk; underruns 0 | song-part2.wav: Cannot open WAV file; played up to it"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        writeWav(tmp.path("song.wav"), 32, 2, 48000, c.firstFrames);
        const auto part2 = tmp.path("song-part2.wav");
        switch (c.next) {
        case kNone: break;
        case kSameFormat: writeWav(part2, 32, 2, 48000, 200); break;
        case kMoreChannels: writeWav(part2, 32, 3, 48000, 200); break;
        case kOtherRate: writeWav(part2, 32, 2, 44100, 200); break;
        case kPcm16: writeWav(part2, 16, 2, 48000, 200); break;
        case kDirectory: std::filesystem::create_directory(part2); break;
        case kGarbage: writeAll(part2, randomBytes(100, 3)); break;
        case kFifo:
#ifndef _WIN32
            ASSERT_EQ(::mkfifo(part2.c_str(), 0600), 0);
#endif
            break;
        }
        FilePlayer player;
        loadTake(player, tmp.wide("song.wav"), budget);
        EXPECT_EQ(player.totalFrames.load(), c.frames);
        EXPECT_EQ(player.streamStatus(), c.note ? c.note : "");
        const Rows rows = playThrough(player, 2, 64, 48000.0);
        EXPECT_EQ(player.endPosition.load(), c.frames);
        for (uint64_t f = 0; f < kFull && f < c.frames; ++f)
            ASSERT_EQ(rows[1][f], signal(f, 1)) << "frame " << f;
        if (c.frames > kFull) {
            EXPECT_EQ(rows[0][kFull + 7], signal(7, 0)); // the part's frame 7
        }
    }
}

// A stereo float file of frames samples(f, c), with a "bext" chunk when given one.
void writeTakeFile(const std::filesystem::path& p, uint64_t frames, float (*sample)(uint64_t, uint32_t),
                   const std::optional<BextChunk>& bext)
{
    std::vector<Chunk> chunks{{"fmt ", fmtBody(3, 2, 48000, 8, 32)}};
    if (bext) {
        const auto body = encodeBext(*bext);
        chunks.push_back({"bext", Bytes(body.begin(), body.end())});
    }
    chunks.push_back({"data", encode(32, 2, frames, sample)});
    writeAll(p, riffFile(chunks));
}

BextChunk takeStamp(const char* identity, uint64_t timeReference)
{
    BextChunk b;
    b.originatorReference = identity;
    b.timeReference = timeReference;
    return b;
}

float foreign(uint64_t, uint32_t)
{
    return -0.5f;
}

float secondPart(uint64_t f, uint32_t c)
{
    return signal(f + 500, c);
}

// A take with an identity joins its own parts only: another take's "-partN" (or any other file
// under that name) is passed over, as the recorder passes over names already taken. A take
// whose next part cannot be found ends with a note naming it.
TEST(FileStream, TakeJoinsOnlyItsOwnParts)
{
    constexpr uint64_t kFull = 500;
    const uint64_t budget = kFull * 8 + 7;
    const uint64_t start = 96000; // the take began 2 s into the timeline
    const struct {
        const char* name;
        std::optional<BextChunk> part2; // nullopt: no file at all
        bool part2Plain;                // a file without "bext" under the name
        std::optional<BextChunk> part3;
        uint64_t frames;
        const char* note;
    } cases[] = {
        {"OwnPart2", takeStamp("KTAKE-A", start + kFull), false, std::nullopt, kFull + 200,
         " | from disk, 2 parts; underruns 0"},
        {"ForeignPart2ThenOwnPart3", takeStamp("KTAKE-B", start + kFull), false, takeStamp("KTAKE-A", start + kFull),
         kFull + 200, " | from disk, 2 parts; underruns 0"},
        {"PlainPart2ThenOwnPart3", std::nullopt, true, takeStamp("KTAKE-A", start + kFull), kFull + 200,
         " | from disk, 2 parts; underruns 0"},
        {"SameIdentityWrongPlace", takeStamp("KTAKE-A", start), false, std::nullopt, kFull,
         " | from disk; underruns 0 | song-part3.wav is missing; played up to it"},
        {"ForeignPart2AndNoPart3", takeStamp("KTAKE-B", start + kFull), false, std::nullopt, kFull,
         " | from disk; underruns 0 | song-part3.wav is missing; played up to it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        writeTakeFile(tmp.path("song.wav"), kFull, signal, takeStamp("KTAKE-A", start));
        if (c.part2 || c.part2Plain) {
            const bool own = c.part2 && c.part2->originatorReference == "KTAKE-A" && c.part2->timeReference == start + kFull;
            writeTakeFile(tmp.path("song-part2.wav"), 200, own ? secondPart : foreign, c.part2);
        }
        if (c.part3)
            writeTakeFile(tmp.path("song-part3.wav"), 200, secondPart, c.part3);
        FilePlayer player;
        loadTake(player, tmp.wide("song.wav"), budget);
        EXPECT_EQ(player.totalFrames.load(), c.frames);
        EXPECT_EQ(player.streamStatus(), c.note);
        EXPECT_EQ(player.latestAudio().anchor, std::optional<uint64_t>(start));
        const Rows rows = playThrough(player, 2, 64, 48000.0);
        EXPECT_EQ(player.endPosition.load(), c.frames);
        for (uint64_t f = 0; f < c.frames; ++f)
            for (uint32_t ch = 0; ch < 2; ++ch)
                ASSERT_EQ(rows[ch][f], signal(f, ch)) << "frame " << f;
    }
}

// A disk reading at 64 KB/s: pausing the reader, replacing the file and destroying the player
// each return at once instead of waiting for a page of 750 KB to arrive.
TEST(FileStream, SlowDiskNeverHoldsUpStopping)
{
    TempDir tmp;
    writeWav(tmp.path("a.wav"), 32, 64, 48000, 24000);
    std::atomic<bool> slow{false};
    const auto elapsed = [](auto&& action) {
        const auto began = std::chrono::steady_clock::now();
        action();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    };
    // Generous against scheduling noise on a loaded machine; the waits were 4 to 12 s.
    constexpr double kPrompt = 1.5;
    std::vector<float> out(64 * 64);
    std::vector<float*> rows;
    for (uint32_t j = 0; j < 64; ++j)
        rows.push_back(out.data() + j * 64);
    {
        FilePlayer player;
        player.preloadLimitBytes = 1000;
        player.streamOptions.headSeconds = 0.05;
        player.streamOptions.throttle = [&slow](size_t bytes) {
            if (slow.load())
                std::this_thread::sleep_for(std::chrono::microseconds(bytes * 1000000 / 65536));
        };
        player.load(tmp.wide("a.wav"));
        slow.store(true);
        player.startPlayback(0, 0);
        player.render(rows.data(), 64, 64, 48000.0, 0); // takes the file
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_LT(elapsed([&] { player.pauseReading(); }), kPrompt) << "pause";
        player.resumeReading();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));

        slow.store(false);
        player.load(tmp.wide("a.wav"));
        slow.store(true);
        player.render(rows.data(), 64, 64, 48000.0, 64); // the first file is retired
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_LT(elapsed([&] { player.freeRetired(); }), kPrompt) << "replacement";
        EXPECT_EQ(player.retiredCount(), 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const double destroyed = elapsed([&] { player.~FilePlayer(); new (&player) FilePlayer; });
        EXPECT_LT(destroyed, kPrompt) << "destruction";
    }
}

// Chases blocks of (timeline position, frames) from the first one's position; a block that does
// not continue the one before is a locate. Channel 0, the timeline of every sample, and whether
// it lies in a locate's crossfade.
struct Chased {
    std::vector<float> out;
    std::vector<int64_t> at;
    std::vector<bool> fading;
};
Chased chaseBlocks(FilePlayer& player, double rate,
                                                                  const std::vector<std::pair<int64_t, uint32_t>>& blocks,
                                                                  const std::function<void(size_t)>& between = {})
{
    Chased c;
    std::vector<float> a(4096), b(4096);
    float* rows[2] = {a.data(), b.data()};
    player.startChasing(rate);
    int64_t next = blocks.front().first;
    uint32_t fadeLeft = 0;
    for (size_t k = 0; k < blocks.size(); ++k) {
        const auto [t, n] = blocks[k];
        if (between)
            between(k);
        if (t != next)
            player.locate(rate, 2, next);
        player.render(rows, 2, n, rate, t);
        c.out.insert(c.out.end(), a.begin(), a.begin() + n);
        if (t != next)
            fadeLeft = FilePlayer::kLocateFadeFrames;
        for (uint32_t i = 0; i < n; ++i) {
            c.at.push_back(t + i);
            c.fading.push_back(fadeLeft > 0);
            fadeLeft -= fadeLeft > 0;
        }
        next = t + n;
    }
    return c;
}

// Locates inside a streamed file whose reader is held: silence until the new position's first
// page arrives, counted as locate waits and not as underruns; then the file's own frames, faded
// in. The audio thread never waits.
TEST(FileStream, LocateWaitsForItsPageInSilence)
{
    TempDir tmp;
    std::atomic<bool> hold{false};
    FilePlayer player;
    loadHeld(player, tmp, hold);
    std::vector<std::pair<int64_t, uint32_t>> blocks{{0, 64}, {64, 64}, {3000, 64}, {3064, 64}, {3128, 64}};
    for (int64_t t = 3192; t < 4000; t += 64)
        blocks.push_back({t, 64});
    blocks.push_back({3920, 64}); // a small jump back, into the pages kept behind: at once
    blocks.push_back({3984, 64});
    blocks.push_back({100, 64}); // back into the head: at once
    blocks.push_back({164, 64});
    const auto [out, at, fading] = chaseBlocks(player, 8000.0, blocks, [&](size_t k) {
        if (k == 2)
            hold.store(true);
        if (k == 5) {
            hold.store(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (k > 5 && k < 18) // no faster than the reader: nothing here may underrun
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (k == 18)
            hold.store(true); // neither jump back reads anything
    });
    for (size_t i = 0; i < out.size(); ++i) {
        const float want = signal(static_cast<uint64_t>(at[i]), 0);
        const size_t k = i / 64;
        if (k >= 2 && k < 5) {
            ASSERT_EQ(out[i], 0.0f) << "waiting, sample " << i;
        } else if (k == 5 || k == 6) { // the fade-in spans the block the page arrives in and the next
            ASSERT_TRUE(out[i] >= 0.0f && out[i] <= want) << "fading in, sample " << i;
        } else if (k > 6 && !fading[i]) {
            ASSERT_EQ(out[i], want) << "sample " << i;
        }
    }
    EXPECT_EQ(player.streamStatus(), " | from disk; underruns 0; locate waits 192");
}

// A bounce (kOffline) waits for the data at every locate: random jumps across a streamed file
// are exact, with no wait and no underrun.
TEST(FileStream, OfflineLocatesAreExact)
{
    TempDir tmp;
    writeWav(tmp.path("a.wav"), 24, 2, 8000, 20000);
    for (const double rate : {8000.0, 11025.0}) {
        SCOPED_TRACE(rate);
        FilePlayer player;
        player.preloadLimitBytes = 1000;
        player.streamOptions = smallPieces(8000);
        player.offline.store(true);
        player.load(tmp.wide("a.wav"));
        FilePlayer preloaded;
        preloaded.load(tmp.wide("a.wav"));
        std::mt19937 random(3);
        std::vector<std::pair<int64_t, uint32_t>> blocks;
        int64_t t = 0;
        for (int k = 0; k < 200; ++k) {
            if (random() % 4 == 0)
                t = static_cast<int64_t>(random() % 26000);
            const auto n = static_cast<uint32_t>(FilePlayer::kLocateFadeFrames + random() % 300);
            blocks.push_back({t, n});
            t += n;
        }
        const Chased got = chaseBlocks(player, rate, blocks);
        const Chased want = chaseBlocks(preloaded, rate, blocks);
        // Only the crossfades differ: a streamed file fades in from silence.
        for (size_t i = 0; i < got.out.size(); ++i) {
            if (!got.fading[i]) {
                ASSERT_EQ(got.out[i], want.out[i]) << "timeline " << got.at[i];
            }
        }
        EXPECT_EQ(player.streamStatus(), " | from disk; underruns 0");
    }
}

// A reader that cannot keep up: the late frames are silence and counted, every other frame is
// the file's own. Nothing is ever shifted or repeated.
TEST(FileStream, LateFramesAreSilenceAndCounted)
{
    TempDir tmp;
    std::atomic<bool> hold{true};
    FilePlayer player;
    loadHeld(player, tmp, hold);

    // Held throughout: the head plays, everything after it is silence.
    Rows rows = playThrough(player, 2, 50, 8000.0);
    ASSERT_GE(rows[0].size(), 6000u);
    for (uint64_t f = 0; f < 6000; ++f)
        ASSERT_EQ(rows[0][f], f < 700 ? signal(f, 0) : 0.0f) << "frame " << f;
    EXPECT_EQ(player.streamStatus(), " | from disk; underruns 5300");

    // A reader that stops and goes on at random while real-time playback runs on.
    std::atomic<bool> done{false};
    std::thread flipper([&] {
        std::mt19937 random(5);
        while (!done.load()) {
            hold.store(random() % 3 == 0);
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 700));
        }
        hold.store(false);
    });
    const uint64_t before = 5300;
    uint64_t silent = 0;
    for (int round = 0; round < 5; ++round) {
        rows = playThrough(player, 2, 50, 8000.0);
        for (uint64_t f = 0; f < 6000; ++f) {
            const bool played = rows[0][f] == signal(f, 0) && rows[1][f] == signal(f, 1);
            const bool missed = rows[0][f] == 0.0f && rows[1][f] == 0.0f;
            ASSERT_TRUE(played || missed) << "round " << round << " frame " << f;
            silent += missed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    done.store(true);
    flipper.join();
    FilePlayer& p = player;
    EXPECT_EQ(p.streamStatus(), " | from disk; underruns " + std::to_string(before + silent));
}

// The file shrinks, goes, or another program writes a different encoding over it while it
// streams: playback ends with the reason, never a crash and never a stale decoding.
TEST(FileStream, FileChangedWhilePlayingEndsWithAReason)
{
    enum Change { kShortened, kRemoved, kRewritten };
    const struct {
        const char* name;
        Change change;
        uint64_t end;
        const char* status;
    } cases[] = {
        // The first page read after the change ends it: nothing stale plays.
        {"Shortened", kShortened, 700,
         " | from disk; underruns 0 | Read failed: a.wav is shorter than when it was opened"},
        // An open file stays readable, or is not removed at all.
        {"Removed", kRemoved, 6000, " | from disk; underruns 0"},
        {"Rewritten", kRewritten, 700, " | from disk; underruns 0 | Read failed: a.wav was changed since it was opened"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        std::atomic<bool> hold{true};
        FilePlayer player;
        player.offline.store(true);
        loadHeld(player, tmp, hold);
        std::error_code ec;
        switch (c.change) {
        case kShortened: std::filesystem::resize_file(tmp.path("a.wav"), 44 + 1000 * 8 + 4); break;
        case kRemoved: std::filesystem::remove(tmp.path("a.wav"), ec); break; // Windows refuses while open
        case kRewritten:
            // Same path, same file: 16-bit PCM, then a float file of the original size again
            // (a size check alone would not see that).
            writeWav(tmp.path("a.wav"), 16, 2, 8000, 12000, foreign);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            writeWav(tmp.path("a.wav"), 32, 2, 8000, 6000, foreign);
            break;
        }
        hold.store(false);

        const Rows rows = playThrough(player, 2, 64, 8000.0);
        EXPECT_FALSE(player.playing.load());
        EXPECT_EQ(player.endPosition.load(), c.end);
        for (uint64_t f = 0; f < rows[0].size(); ++f)
            ASSERT_EQ(rows[0][f], f < c.end ? signal(f, 0) : 0.0f) << "frame " << f;
        EXPECT_EQ(player.streamStatus(), c.status);
    }
}

// The editor's overview of a streamed file fills in the background, to the same peaks as the
// preloaded file's.
TEST(FileStream, PeaksComeFromTheBackground)
{
    TempDir tmp;
    writeWav(tmp.path("a.wav"), 24, 3, 8000, 30000, [](uint64_t f, uint32_t c) {
        return f % 997 == 0 ? -0.9f : static_cast<float>(c) * 0.01f + static_cast<float>(f % 50) * 0.001f;
    });
    FilePlayer preloaded;
    preloaded.load(tmp.wide("a.wav"));
    FilePlayer streamed;
    streamed.preloadLimitBytes = 1000;
    streamed.streamOptions = smallPieces(8000);
    streamed.load(tmp.wide("a.wav"));
    const WaveformOverview want = preloaded.overview();
    EXPECT_TRUE(waitFor([&] { return streamed.overview().peaks == want.peaks; }));
    const WaveformOverview got = streamed.overview();
    EXPECT_EQ(got.frames, 30000u);
    EXPECT_EQ(got.channels, 3u);
    EXPECT_EQ(got.sampleRate, 8000u);
}

#ifdef __linux__
size_t threadCount()
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// Each stream has one reader; replacing the file, playing and destroying the player leave no
// thread behind (buffers and handles are the sanitizers' to find).
TEST(FileStream, ReadersEndWithTheirFiles)
{
    TempDir tmp;
    writeWav(tmp.path("a.wav"), 32, 2, 8000, 6000);
    // ThreadSanitizer starts a thread of its own with the process's first thread: count after it.
    std::thread([] {}).join();
    const size_t before = threadCount();
    {
        FilePlayer player;
        player.preloadLimitBytes = 1000;
        player.streamOptions = smallPieces(8000);
        player.offline.store(true);
        for (int k = 0; k < 5; ++k) {
            player.load(tmp.wide("a.wav"));
            playThrough(player, 2, 64, 8000.0, 20);
            player.stopPlayback();
        }
        player.freeRetired();
        EXPECT_TRUE(waitFor([&] { return threadCount() == before + 1; })) << threadCount() - before;

        // Deactivation ends the reader; activation starts it again where it stopped.
        playThrough(player, 2, 64, 8000.0, 30);
        player.pauseReading();
        EXPECT_EQ(threadCount(), before);
        player.resumeReading();
        EXPECT_EQ(threadCount(), before + 1);
        FilePlayer preloaded;
        preloaded.load(tmp.wide("a.wav"));
        EXPECT_TRUE(sameBits(playThrough(player, 2, 64, 8000.0), playThrough(preloaded, 2, 64, 8000.0)));
        EXPECT_EQ(threadCount(), before + 1);
    }
    EXPECT_EQ(threadCount(), before);
}
#endif

} // namespace
} // namespace kestravel::plugins::testing
