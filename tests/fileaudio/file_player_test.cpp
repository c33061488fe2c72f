#include "fileaudio/file_player.h"
#include "wav_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <random>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestravel::plugins::testing {
namespace {

PreloadedAudio makeAudio(uint32_t channels, uint32_t rate, std::vector<float> samples)
{
    PreloadedAudio a;
    a.channels = channels;
    a.sampleRate = rate;
    a.samples = std::move(samples);
    return a;
}

// A mono file holding one value in every frame.
PreloadedAudio constant(float value, size_t frames = 64)
{
    return makeAudio(1, 48000, std::vector<float>(frames, value));
}

// Renders one 1-channel block from clock 0 after starting playback there; returns sample 0.
float firstSample(FilePlayer& player)
{
    float row[4] = {};
    float* rows[] = {row};
    player.startPlayback(0, 0);
    player.render(rows, 1, 4, 48000.0, 0);
    return row[0];
}

TEST(FilePlayer, StartsEmpty)
{
    FilePlayer player;
    EXPECT_EQ(player.totalFrames.load(), 0u);
    EXPECT_FALSE(player.playing.load());
    EXPECT_EQ(player.endPosition.load(), ~uint64_t{0});
    EXPECT_EQ(player.latestAudio().channels, 0u);
    EXPECT_TRUE(player.latestAudio().samples.empty());
}

TEST(FilePlayer, InstallRejectsMalformedAudioAndChangesNothing)
{
    FilePlayer player;
    player.install(constant(0.5f, 10));
    const PreloadedAudio* before = &player.latestAudio();
    const PreloadedAudio bad[] = {makeAudio(0, 48000, {1, 2}), makeAudio(2, 0, {1, 2}),
                                  makeAudio(2, 48000, {1, 2, 3})};
    for (const PreloadedAudio& b : bad) {
        PreloadedAudio copy = b;
        try {
            player.install(std::move(copy));
            ADD_FAILURE() << "installed";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Invalid audio data");
        }
        EXPECT_EQ(copy.samples.size(), b.samples.size()); // not taken
    }
    EXPECT_EQ(&player.latestAudio(), before);
    EXPECT_EQ(player.totalFrames.load(), 10u);
}

TEST(FilePlayer, InstallMovesPublishesAndStopsPlayback)
{
    FilePlayer player;
    player.install(constant(0.25f, 10));
    player.startPlayback(0, 0);
    ASSERT_TRUE(player.playing.load());

    PreloadedAudio next = makeAudio(2, 44100, std::vector<float>(2 * 300, 0.75f));
    const float* storage = next.samples.data();
    player.install(std::move(next));
    EXPECT_TRUE(next.samples.empty());
    EXPECT_EQ(next.channels, 0u);
    EXPECT_EQ(player.latestAudio().samples.data(), storage); // moved, not copied
    EXPECT_EQ(player.totalFrames.load(), 300u);
    EXPECT_FALSE(player.playing.load());
}

TEST(FilePlayer, SecondInstallBeforeAnyRenderReplacesThePendingFile)
{
    FilePlayer player;
    player.install(constant(1.0f));
    player.install(constant(2.0f));
    EXPECT_EQ(firstSample(player), 2.0f);
    EXPECT_EQ(player.retiredCount(), 1u); // only the empty start object was retired

    // A load after renders frees what the audio thread retired.
    player.install(constant(3.0f));
    EXPECT_EQ(player.retiredCount(), 0u);
    EXPECT_EQ(firstSample(player), 3.0f);
}

TEST(FilePlayer, FullRetireRingLeavesThePendingFileWaiting)
{
    FilePlayer player;
    player.keepRetiredForTesting = true;
    for (uint32_t k = 1; k <= FilePlayer::kRetireSlots; ++k) {
        player.install(constant(static_cast<float>(k)));
        ASSERT_EQ(firstSample(player), static_cast<float>(k));
    }
    ASSERT_EQ(player.retiredCount(), FilePlayer::kRetireSlots);

    player.install(constant(99.0f));
    EXPECT_EQ(firstSample(player), 32.0f); // no free slot: the old file keeps playing
    EXPECT_EQ(firstSample(player), 32.0f);
    EXPECT_EQ(player.retiredCount(), FilePlayer::kRetireSlots);

    player.freeRetired();
    EXPECT_EQ(player.retiredCount(), 0u);
    EXPECT_EQ(firstSample(player), 99.0f);
}

// The UI thread installs files while the audio thread renders; every file the audio thread
// plays is one that was installed, in install order, and the last one arrives.
TEST(FilePlayer, HandOffBetweenTwoThreads)
{
    FilePlayer player;
    constexpr int kFiles = 20000;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        float row[32];
        float* rows[] = {row};
        float seen = 0.0f;
        int64_t clock = 0;
        for (;;) {
            const bool last = done.load();
            player.startPlayback(static_cast<uint64_t>(clock), 0);
            player.render(rows, 1, 32, 48000.0, clock);
            clock += 32;
            const float v = row[0];
            if (v != 0.0f) {
                EXPECT_GE(v, seen); // never an older file after a newer one
                seen = v;
            }
            if (last && seen == static_cast<float>(kFiles))
                break;
        }
    });
    for (int k = 1; k <= kFiles; ++k)
        player.install(constant(static_cast<float>(k), 16));
    done.store(true);
    audio.join();
    EXPECT_EQ(player.latestAudio().samples[0], static_cast<float>(kFiles));
}

// Independent reference: double arithmetic on the formula for one output sample.
double expectedSample(const PreloadedAudio& a, uint32_t row, uint64_t t, uint64_t playStart,
                      uint64_t fileStart, double hostRate)
{
    if (t < playStart)
        return 0.0;
    const double p = static_cast<double>(t - playStart) * a.sampleRate / hostRate +
                     static_cast<double>(fileStart);
    const double f = std::floor(p);
    const uint64_t n = a.frames();
    const auto fi = static_cast<uint64_t>(f);
    const uint64_t gi = std::min(fi + 1, n - 1);
    const uint32_t c = std::min(row, a.channels - 1);
    const double x = a.samples[fi * a.channels + c];
    const double y = a.samples[gi * a.channels + c];
    return x + (y - x) * (p - f);
}

struct RenderCase {
    const char* name;
    uint32_t fileChannels;
    uint32_t fileRate;
    uint64_t fileFrames;
    uint32_t rows;
    double hostRate;
    int64_t clock;
    uint64_t playStart;
    uint64_t fileStart;
    uint32_t frames;
    uint64_t endsAt; // timeline sample where the file runs out, or all ones
};

class Render : public ::testing::TestWithParam<RenderCase> {};

TEST_P(Render, MatchesInterpolationReference)
{
    const RenderCase rc = GetParam();
    std::vector<float> samples(rc.fileChannels * rc.fileFrames);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::sin(0.37f * static_cast<float>(i)) * (1.0f + static_cast<float>(i % 7));
    const PreloadedAudio reference = makeAudio(rc.fileChannels, rc.fileRate, samples);
    FilePlayer player;
    player.install(makeAudio(rc.fileChannels, rc.fileRate, samples));
    player.startPlayback(rc.playStart, rc.fileStart);

    std::vector<std::vector<float>> out(rc.rows, std::vector<float>(rc.frames, 123.0f));
    std::vector<float*> rows;
    for (auto& r : out)
        rows.push_back(r.data());
    player.render(rows.data(), rc.rows, rc.frames, rc.hostRate, rc.clock);

    for (uint32_t j = 0; j < rc.rows; ++j) {
        for (uint32_t i = 0; i < rc.frames; ++i) {
            const uint64_t t = static_cast<uint64_t>(rc.clock) + i;
            const double want =
                t >= rc.endsAt ? 0.0 : expectedSample(reference, j, t, rc.playStart, rc.fileStart, rc.hostRate);
            ASSERT_NEAR(out[j][i], want, 1e-5 * (1.0 + std::fabs(want))) << "row " << j << " sample " << i;
        }
    }
    EXPECT_EQ(player.endPosition.load(), rc.endsAt);
    EXPECT_EQ(player.playing.load(), rc.endsAt == ~uint64_t{0});
}

constexpr uint64_t kNone = ~uint64_t{0};

INSTANTIATE_TEST_SUITE_P(
    Cases, Render,
    ::testing::Values(
        RenderCase{"SameRateStereo", 2, 48000, 1000, 2, 48000.0, 0, 0, 0, 512, kNone},
        RenderCase{"Upsample441To48", 2, 44100, 1000, 2, 48000.0, 5000, 5000, 0, 512, kNone},
        RenderCase{"Downsample96To48", 1, 96000, 3000, 1, 48000.0, 0, 0, 0, 512, kNone},
        RenderCase{"MonoToEveryRow", 1, 48000, 1000, 4, 48000.0, 0, 0, 0, 256, kNone},
        RenderCase{"StereoOnFourRowsRepeatsLast", 2, 22050, 1000, 4, 48000.0, 0, 0, 0, 256, kNone},
        RenderCase{"SixChannelsOnTwoRows", 6, 48000, 500, 2, 44100.0, 0, 0, 0, 256, kNone},
        RenderCase{"StartInsideBlock", 2, 44100, 1000, 2, 48000.0, 1000, 1100, 0, 512, kNone},
        RenderCase{"FromFileFrame", 1, 48000, 1000, 1, 48000.0, 200, 100, 300, 256, kNone},
        RenderCase{"EndOfFileSameRate", 1, 48000, 100, 2, 48000.0, 0, 0, 0, 512, 100},
        RenderCase{"EndOfFileResampled", 2, 44100, 100, 2, 48000.0, 64, 64, 0, 512, 64 + 109}),
    [](const auto& p) { return std::string(p.param.name); });

// The arithmetic render had before its copy and vectorised paths, sample by sample: the fast
// paths must give these very bits.
void renderBySample(const PreloadedAudio& audio, float* const* rows, uint32_t channelCount,
                    uint32_t frames, double hostRate, int64_t clock, uint64_t start, uint64_t first,
                    uint64_t& endPosition)
{
    for (uint32_t j = 0; j < channelCount; ++j)
        if (rows[j])
            std::fill(rows[j], rows[j] + frames, 0.0f);
    const uint64_t fileChannels = audio.channels;
    const uint64_t fileFrames = audio.frames();
    const double step = static_cast<double>(audio.sampleRate) / hostRate;
    const float* s = audio.samples.data();
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t t = static_cast<uint64_t>(clock) + i;
        if (t < start)
            continue;
        const double p = static_cast<double>(t - start) * step + static_cast<double>(first);
        if (!(p < static_cast<double>(fileFrames))) {
            endPosition = t;
            return;
        }
        const auto f = static_cast<uint64_t>(p);
        const uint64_t g = std::min(f + 1, fileFrames - 1);
        const auto u = static_cast<float>(p - static_cast<double>(f));
        for (uint32_t j = 0; j < channelCount; ++j) {
            if (!rows[j])
                continue;
            const uint64_t c = std::min<uint64_t>(j, fileChannels - 1);
            const float a = s[f * fileChannels + c];
            const float b = s[g * fileChannels + c];
            rows[j][i] = a + (b - a) * u;
        }
    }
}

// Random files (with -0, subnormals and values whose differences overflow), rates, channel and
// row counts, null rows, and blocks around the start and the end of the file.
TEST(FilePlayer, RenderGivesTheBitsOfTheSampleBySampleArithmetic)
{
    std::mt19937_64 random(12);
    auto pick = [&](uint64_t n) { return static_cast<uint64_t>(random() % n); };
    const uint32_t fileRates[] = {8000, 22050, 44100, 48000, 96000, 192000, 384000};
    const float special[] = {-0.0f, 0.0f, 1.0e-40f, -1.0e-42f, 3.0e38f, -3.0e38f, 1.0f, -1.0f};
    for (int round = 0; round < 600; ++round) {
        const uint32_t channels = round % 5 == 0 ? 64 : static_cast<uint32_t>(1 + pick(9));
        const uint32_t fileRate = fileRates[pick(std::size(fileRates))];
        const uint64_t fileFrames = 1 + pick(round % 3 == 0 ? 40 : 3000);
        std::vector<float> samples(channels * fileFrames);
        std::uniform_real_distribution<float> level(-1.0f, 1.0f);
        for (float& x : samples)
            x = pick(8) == 0 ? special[pick(std::size(special))] : level(random);
        const PreloadedAudio reference = makeAudio(channels, fileRate, samples);

        // Equal rates half of the time; otherwise a rate of the list or an odd one.
        const double hostRate = pick(2) == 0   ? static_cast<double>(fileRate)
                                : pick(3) == 0 ? 8000.0 + static_cast<double>(pick(376000)) + 0.25
                                               : static_cast<double>(fileRates[pick(std::size(fileRates))]);
        const uint32_t rowCount = 1 + static_cast<uint32_t>(pick(64));
        const uint32_t frames = 1 + static_cast<uint32_t>(pick(round % 4 == 0 ? 4096 : 600));
        const uint64_t start = pick(1000000);
        const auto clock = static_cast<int64_t>(start + pick(3000) - 1500 + (round % 7 == 0 ? 1u << 30 : 0u));
        const uint64_t first = pick(fileFrames + 2);

        FilePlayer player;
        player.install(makeAudio(channels, fileRate, samples));
        player.startPlayback(start, first);
        uint64_t wantEnd = player.endPosition.load();
        const bool wasPlaying = player.playing.load();

        std::vector<std::vector<float>> got(rowCount, std::vector<float>(frames, 7.0f));
        std::vector<std::vector<float>> want = got;
        std::vector<float*> gotRows;
        std::vector<float*> wantRows;
        for (uint32_t j = 0; j < rowCount; ++j) {
            const bool skip = pick(9) == 0;
            gotRows.push_back(skip ? nullptr : got[j].data());
            wantRows.push_back(skip ? nullptr : want[j].data());
        }
        player.render(gotRows.data(), rowCount, frames, hostRate, clock);
        if (wasPlaying)
            renderBySample(reference, wantRows.data(), rowCount, frames, hostRate, clock, start,
                           player.fileStart.load(), wantEnd);
        else
            for (float* r : wantRows)
                if (r)
                    std::fill(r, r + frames, 0.0f);
        for (uint32_t j = 0; j < rowCount; ++j)
            for (uint32_t i = 0; i < frames; ++i)
                ASSERT_EQ(std::bit_cast<uint32_t>(got[j][i]), std::bit_cast<uint32_t>(want[j][i]))
                    << "round " << round << " row " << j << " frame " << i << " channels " << channels
                    << " rates " << fileRate << "/" << hostRate;
        EXPECT_EQ(player.endPosition.load(), wantEnd) << "round " << round;
        EXPECT_EQ(player.playing.load(), wasPlaying && wantEnd == ~uint64_t{0}) << "round " << round;
    }
}

TEST(FilePlayer, RenderSilenceAndNullRows)
{
    FilePlayer player;
    player.install(makeAudio(2, 48000, std::vector<float>(200, 0.5f)));
    std::array<float, 8> a;
    std::array<float, 8> b;
    a.fill(9.0f);
    b.fill(9.0f);
    float* rows[] = {a.data(), nullptr, b.data()};

    player.render(rows, 3, 8, 48000.0, 0); // not playing: zeros
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(a[i] + b[i], 0.0f);

    player.startPlayback(0, 0);
    player.render(rows, 3, 8, 0.0, 0); // no host rate: zeros, still playing
    EXPECT_EQ(a[0], 0.0f);
    EXPECT_TRUE(player.playing.load());

    player.render(rows, 3, 8, 48000.0, 0);
    EXPECT_EQ(a[3], 0.5f);
    EXPECT_EQ(b[3], 0.5f);
}

// A host may hand a playing module an output bus without channels: the file moves on and
// nothing is written anywhere (a mono file once wrote through a row pointer that was never set).
TEST(FilePlayer, RenderToNoRowsWritesNothingAndMovesOn)
{
    for (const uint32_t channels : {1u, 2u, 5u}) {
        SCOPED_TRACE(channels);
        FilePlayer player;
        player.install(makeAudio(channels, 48000, std::vector<float>(channels * 40, 0.5f)));
        player.startPlayback(0, 0);
        float* none[1] = {nullptr};
        player.render(none, 0, 16, 48000.0, 0);
        player.render(none, 0, 32, 48000.0, 16);
        EXPECT_FALSE(player.playing.load());
        EXPECT_EQ(player.endPosition.load(), 40u);
    }
}

TEST(FilePlayer, StartPlaybackClampsToTheFile)
{
    FilePlayer player;
    player.startPlayback(700, 0); // nothing loaded
    EXPECT_FALSE(player.playing.load());
    EXPECT_EQ(player.endPosition.load(), 700u);

    player.install(constant(1.0f, 50));
    player.startPlayback(900, 80);
    EXPECT_FALSE(player.playing.load());
    EXPECT_EQ(player.fileStart.load(), 50u);
    EXPECT_EQ(player.endPosition.load(), 900u);

    player.startPlayback(1000, 10);
    EXPECT_TRUE(player.playing.load());
    EXPECT_EQ(player.playStart.load(), 1000u);
    EXPECT_EQ(player.fileStart.load(), 10u);
    EXPECT_EQ(player.endPosition.load(), kNone);
    player.stopPlayback();
    EXPECT_FALSE(player.playing.load());
}

TEST(FilePlayer, LoadDecodesAndInstalls)
{
    TempDir tmp;
    writeAll(tmp.path("a.wav"), simpleWav(3, 1, 48000, 32, floatData({0.5f, -0.5f, 0.25f})));
    FilePlayer player;
    player.load(tmp.wide("a.wav"));
    EXPECT_EQ(player.totalFrames.load(), 3u);
    EXPECT_THROW(player.load(tmp.wide("missing.wav")), std::runtime_error);
    EXPECT_EQ(player.totalFrames.load(), 3u); // a failed load changes nothing
}

// A FIFO named .wav would block an open until some writer came; a device never ends. Both are
// refused at once (the loader runs on the UI thread).
TEST(FilePlayer, RefusesWhatIsNotARegularFileWithoutWaiting)
{
#ifdef _WIN32
    GTEST_SKIP() << "FIFOs and /dev are POSIX";
#else
    TempDir tmp;
    ASSERT_EQ(::mkfifo(tmp.path("pipe.wav").c_str(), 0600), 0);
    for (const std::u16string& path : {tmp.wide("pipe.wav"), std::u16string(u"/dev/zero")}) {
        auto attempt = std::async(std::launch::async, [path] {
            try {
                FilePlayer player;
                player.load(path);
                return std::string("loaded");
            } catch (const std::runtime_error& e) {
                return std::string(e.what());
            }
        });
        if (attempt.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Let a blocked open go, so the test can end and report.
            const int unblock = ::open(tmp.path("pipe.wav").c_str(), O_WRONLY | O_NONBLOCK);
            attempt.wait();
            if (unblock >= 0)
                ::close(unblock);
            ADD_FAILURE() << "the open blocked";
            continue;
        }
        EXPECT_EQ(attempt.get(), "Cannot open WAV file");
    }
#endif
}

} // namespace
} // namespace kestravel::plugins::testing
