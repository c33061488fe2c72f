#include "fileaudio/file_recorder.h"
#include "fileaudio/file_status.h"
#include "fileaudio/take_naming.h"
#include "recorder_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kestravel::plugins::testing {
namespace {

std::string prepareError(FileRecorder& rec, const std::u16string& path, uint32_t channels = 2,
                         uint32_t rate = 48000)
{
    try {
        rec.prepareDestination(path, channels, rate);
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

[[maybe_unused]] bool runningAsRoot()
{
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

TEST(FileRecorder, StartsWithoutDestination)
{
    FileRecorder rec;
    EXPECT_TRUE(rec.finished.load());
    EXPECT_FALSE(rec.ready.load() || rec.recording.load() || rec.failed.load() || rec.fileCreated.load());
    EXPECT_EQ(rec.stopPosition.load(), FileRecorder::kNoPosition);
    EXPECT_EQ(rec.silenceSamples.load(), 24000u);
    EXPECT_EQ(rec.maxTailSamples.load(), 1440000u);
    EXPECT_EQ(rec.silenceThreshold.load(), 1.0e-4f);
    rec.startCapture(0); // nothing armed: nothing starts
    EXPECT_FALSE(rec.recording.load());
}

TEST(FileRecorder, StereoTakeOfThousandFrames)
{
    TempDir tmp;
    FileRecorder rec;
    rec.prepareDestination(tmp.wide("take.wav"), 2, 44100);
    EXPECT_TRUE(rec.ready.load());
    EXPECT_TRUE(rec.fileCreated.load());
    EXPECT_EQ(std::filesystem::file_size(tmp.path("take.wav")), 44u); // provisional header

    rec.startCapture(0);
    pushTake(rec, 2, 0, 1000, 96);
    rec.stopCapture();
    rec.stopWriter();
    EXPECT_TRUE(rec.finished.load());
    EXPECT_FALSE(rec.ready.load());
    EXPECT_FALSE(rec.failed.load());
    EXPECT_EQ(rec.framesWritten.load(), 1000u);
    EXPECT_EQ(rec.droppedFrames.load(), 0u);

    const Bytes file = readAll(tmp.path("take.wav"));
    ASSERT_EQ(file.size(), 8044u);
    const WavHeader h = parseHeader(file);
    EXPECT_TRUE(h.magicOk);
    EXPECT_EQ(h.riffSize, 8036u);
    EXPECT_EQ(h.fmtSize, 16u);
    EXPECT_EQ(h.tag, 3u);
    EXPECT_EQ(h.channels, 2u);
    EXPECT_EQ(h.sampleRate, 44100u);
    EXPECT_EQ(h.byteRate, 8u * 44100u);
    EXPECT_EQ(h.blockAlign, 8u);
    EXPECT_EQ(h.bits, 32u);
    EXPECT_EQ(h.dataSize, 8000u);

    const PreloadedAudio a = loadWav(tmp.wide("take.wav"), kPreloadLimitBytes);
    EXPECT_EQ(a.sampleRate, 44100u);
    EXPECT_EQ(a.frames(), 1000u);
    EXPECT_TRUE(holdsTake(a, 2, 0));
    if (haveSoxi()) {
        EXPECT_EQ(soxiSummary(tmp.path("take.wav")), "2 44100 1000");
    }
}

TEST(FileRecorder, StopRightAfterArmingLeavesAnEmptyValidFile)
{
    TempDir tmp;
    FileRecorder rec;
    rec.prepareDestination(tmp.wide("empty.wav"), 1, 8000);
    rec.stopWriter();
    const Bytes file = readAll(tmp.path("empty.wav"));
    ASSERT_EQ(file.size(), 44u);
    EXPECT_EQ(parseHeader(file).riffSize, 36u);
    EXPECT_EQ(parseHeader(file).dataSize, 0u);
    EXPECT_EQ(loadWav(tmp.wide("empty.wav"), kPreloadLimitBytes).frames(), 0u);
    EXPECT_EQ(statusText(RECORDER, tmp.wide("empty.wav"), FilePlayer{}, rec), "Finalized empty.wav");

    rec.startCapture(0); // a finalized take never restarts
    EXPECT_FALSE(rec.recording.load());
}

TEST(FileRecorder, DestinationRefusals)
{
    TempDir tmp;
    writeAll(tmp.path("exists.wav"), {1, 2, 3});
    std::filesystem::create_directory(tmp.path("dir.wav"));
    writeAll(tmp.path("plain-file"), {1});
#ifndef _WIN32
    std::filesystem::create_symlink(tmp.path("nowhere"), tmp.path("dangling.wav"));
#endif
    struct Case {
        const char* name;
        std::u16string path;
        uint32_t channels;
        uint32_t rate;
        std::string message;
    };
    const std::string exists = "Destination exists; choose a new file";
    const std::string cannot = "Cannot create recording file";
    const std::string format = "Invalid recording format";
    std::vector<Case> cases = {
        {"existing file", tmp.wide("exists.wav"), 2, 48000, exists},
        {"directory", tmp.wide("dir.wav"), 2, 48000, exists},
        {"missing folder", tmp.wide("no/such/folder/a.wav"), 2, 48000, cannot},
        {"under a file", tmp.wide("plain-file/a.wav"), 2, 48000, cannot},
        {"no channels", tmp.wide("a.wav"), 0, 48000, format},
        {"65 channels", tmp.wide("a.wav"), 65, 48000, format},
        {"7999 Hz", tmp.wide("a.wav"), 2, 7999, format},
        {"384001 Hz", tmp.wide("a.wav"), 2, 384001, format},
        // The format is checked before the destination.
        {"bad format on existing file", tmp.wide("exists.wav"), 0, 48000, format},
    };
#ifndef _WIN32
    cases.push_back({"dangling link", tmp.wide("dangling.wav"), 2, 48000, exists});
#endif
    for (const Case& c : cases) {
        FileRecorder rec;
        EXPECT_EQ(prepareError(rec, c.path, c.channels, c.rate), c.message) << c.name;
        EXPECT_FALSE(rec.ready.load()) << c.name;
        EXPECT_TRUE(rec.finished.load()) << c.name;
        EXPECT_EQ(rec.failed.load(), c.message == cannot) << c.name;
    }
    EXPECT_EQ(readAll(tmp.path("exists.wav")), (Bytes{1, 2, 3})); // never overwritten
    EXPECT_FALSE(std::filesystem::exists(tmp.path("a.wav")));
}

TEST(FileRecorder, ReadOnlyFolder)
{
#ifdef _WIN32
    GTEST_SKIP() << "folder permissions are POSIX here";
#else
    if (runningAsRoot())
        GTEST_SKIP() << "root writes into read-only folders; covered by the missing-folder cases";
    TempDir tmp;
    std::filesystem::create_directory(tmp.path("ro"));
    std::filesystem::permissions(tmp.path("ro"), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
    FileRecorder rec;
    EXPECT_EQ(prepareError(rec, tmp.wide("ro/a.wav")), "Cannot create recording file");
    std::filesystem::permissions(tmp.path("ro"), std::filesystem::perms::owner_all);
#endif
}

TEST(FileRecorder, FailingExistenceTestIsAFilesystemError)
{
#ifdef _WIN32
    GTEST_SKIP() << "an over-long name is simply absent on Windows";
#endif
    TempDir tmp;
    FileRecorder rec;
    // A name longer than any file system allows: the test itself fails.
    const std::u16string path = tmp.wide(std::string(300, 'x') + "/a.wav");
    try {
        rec.prepareDestination(path, 2, 48000);
        FAIL() << "prepared";
    } catch (const std::filesystem::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("exists"), std::string::npos) << e.what();
        EXPECT_TRUE(e.code());
    }
}

TEST(FileRecorder, RefusesANewDestinationWhileRecording)
{
    TempDir tmp;
    FileRecorder rec;
    rec.prepareDestination(tmp.wide("a.wav"), 2, 48000);
    rec.startCapture(0);
    EXPECT_EQ(prepareError(rec, tmp.wide("b.wav")), "Stop recording before choosing destination");
    EXPECT_TRUE(rec.recording.load());
}

TEST(FileRecorder, NewDestinationFinalizesTheArmedOne)
{
    TempDir tmp;
    FileRecorder rec;
    rec.prepareDestination(tmp.wide("a.wav"), 2, 48000);
    rec.prepareDestination(tmp.wide("b.wav"), 1, 96000);
    EXPECT_TRUE(rec.ready.load());
    EXPECT_EQ(readAll(tmp.path("a.wav")).size(), 44u);
    rec.startCapture(0);
    pushTake(rec, 1, 0, 300);
    rec.stopWriter();
    const PreloadedAudio b = loadWav(tmp.wide("b.wav"), kPreloadLimitBytes);
    EXPECT_EQ(b.sampleRate, 96000u);
    EXPECT_EQ(b.frames(), 300u);
}

// A "disk" that fills up in the middle of a frame: the take fails, and the file keeps every
// whole frame that reached it, with a header that says so.
class DiskFull : public ::testing::TestWithParam<bool> {};

// Room for the header, 500 frames and part of one more, with either header.
TEST_P(DiskFull, EndsTheTakeWithAValidFile)
{
    const bool stamped = GetParam();
    const uint32_t header = stamped ? 668 : 44;
    TempDir tmp;
    FileRecorder rec;
    FileRecorder::WriterOptions options;
    options.diskBytes = header + 8 * 500 + 3;
    rec.setWriterOptionsForTesting(options);
    rec.timestampNewTakes.store(stamped);
    rec.prepareDestination(tmp.wide("full.wav"), 2, 48000);
    rec.startCapture(0);
    pushTake(rec, 2, 0, 1000);
    ASSERT_TRUE(waitFor([&] { return rec.finished.load(); }));
    EXPECT_TRUE(rec.failed.load());
    EXPECT_FALSE(rec.recording.load());
    EXPECT_EQ(rec.framesWritten.load(), 500u);
    EXPECT_EQ(statusText(RECORDER, tmp.wide("full.wav"), FilePlayer{}, rec),
              "Recording failed; inspect output disk");
    rec.stopWriter();

    const Bytes file = readAll(tmp.path("full.wav"));
    const TakeLayout t = walkTake(file);
    EXPECT_EQ(file.size(), header + 4000u);
    EXPECT_EQ(t.headerBytes, header);
    EXPECT_EQ(t.dataSize, 4000u);
    EXPECT_EQ(t.riffSize, header - 8 + 4000u);
    EXPECT_EQ(t.factFrames, stamped ? std::optional<uint32_t>(500) : std::nullopt);
    const PreloadedAudio a = loadWav(tmp.wide("full.wav"), kPreloadLimitBytes);
    EXPECT_EQ(a.frames(), 500u);
    EXPECT_TRUE(holdsTake(a, 2, 0));
}

INSTANTIATE_TEST_SUITE_P(Headers, DiskFull, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? std::string("TimeStamped") : std::string("Plain"); });

TEST(FileRecorder, DiskFullBeforeTheHeaderFailsPreparation)
{
    TempDir tmp;
    FileRecorder rec;
    FileRecorder::WriterOptions options;
    options.diskBytes = 10;
    rec.setWriterOptionsForTesting(options);
    EXPECT_EQ(prepareError(rec, tmp.wide("x.wav")), "Cannot create recording file");
    EXPECT_TRUE(rec.failed.load());
    EXPECT_TRUE(rec.finished.load());
    // The file it could not start is gone, so the next take gets this name, not the next one.
    EXPECT_TRUE(folderNames(tmp.path("")).empty());
    EXPECT_EQ(chooseTakePath(tmp.wide("x.wav")), tmp.wide("x.wav"));

    // A good destination afterwards clears the failure.
    rec.setWriterOptionsForTesting({});
    rec.prepareDestination(tmp.wide("y.wav"), 2, 48000);
    EXPECT_FALSE(rec.failed.load());
    EXPECT_TRUE(rec.ready.load());
}

// The ring's rounding (3 channels: it ends mid-frame) and the silence standing in for dropped
// frames: file frame n is always take frame n.
inline ::testing::AssertionResult holdsTakeWithSilence(const PreloadedAudio& a, uint32_t channels,
                                                       uint64_t gapFirst, uint64_t gapFrames)
{
    for (uint64_t f = 0; f < a.frames(); ++f)
        for (uint32_t c = 0; c < channels; ++c) {
            const bool silent = f >= gapFirst && f < gapFirst + gapFrames;
            const float want = silent ? 0.0f : takeSample(f, c);
            if (a.samples[f * channels + c] != want)
                return ::testing::AssertionFailure() << "frame " << f << " channel " << c << ": "
                                                     << a.samples[f * channels + c] << " != " << want;
        }
    return ::testing::AssertionSuccess();
}

struct DropCase {
    const char* name;
    uint32_t channels;
    uint64_t dropped;   // frames past a full ring
    uint64_t after;     // frames pushed once the writer has caught up
    uint64_t partBytes; // sample bytes per file (the part limit), all of them when 0
};

class Drops : public ::testing::TestWithParam<DropCase> {};

// With the writer held, the producer keeps going: frames beyond the ring are dropped whole and
// counted, never waited for. The file keeps them as silence at their place, so everything
// after a drop stays where it was recorded, across part files too.
TEST_P(Drops, KeepTheirPlaceAsSilence)
{
    const DropCase dc = GetParam();
    TempDir tmp;
    FileRecorder rec;
    std::atomic<bool> hold{true};
    FileRecorder::WriterOptions options;
    options.hold = &hold;
    if (dc.partBytes)
        options.fileByteBudget = dc.partBytes;
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("stall.wav"), dc.channels, 48000);
    rec.startCapture(0);
    const uint64_t fits = rec.ringSamples() / dc.channels;
    pushTake(rec, dc.channels, 0, fits + dc.dropped);
    EXPECT_EQ(rec.droppedFrames.load(), dc.dropped);
    EXPECT_EQ(rec.framesWritten.load(), 0u);
    EXPECT_EQ(statusText(RECORDER, u"", FilePlayer{}, rec),
              "Recording 0 frames; dropped " + std::to_string(dc.dropped));

    hold.store(false);
    ASSERT_TRUE(waitFor([&] { return rec.takeFrames.load() == fits + dc.dropped; }));
    pushTake(rec, dc.channels, fits + dc.dropped, dc.after);
    rec.stopWriter();
    EXPECT_EQ(rec.framesWritten.load(), fits + dc.after);
    EXPECT_EQ(rec.takeFrames.load(), fits + dc.dropped + dc.after);

    PreloadedAudio a;
    a.channels = dc.channels;
    for (const auto& file : rec.takeFiles()) {
        const PreloadedAudio part = loadWav(file, kPreloadLimitBytes);
        a.samples.insert(a.samples.end(), part.samples.begin(), part.samples.end());
    }
    EXPECT_EQ(rec.takeFiles().size() > 1, dc.partBytes != 0);
    ASSERT_EQ(a.frames(), fits + dc.dropped + dc.after);
    EXPECT_TRUE(holdsTakeWithSilence(a, dc.channels, fits, dc.dropped));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Drops,
    ::testing::Values(DropCase{"InTheMiddle", 3, 5000, 1000, 0},
                      DropCase{"AtTheEnd", 2, 777, 0, 0},
                      DropCase{"AcrossParts", 2, 70000, 3000, 2 * 4 * 100000}),
    [](const auto& p) { return std::string(p.param.name); });

struct BacklogCase {
    const char* name;
    uint32_t channels;
    uint32_t rate;
    uint64_t seconds; // of audio waiting in the ring when the writer resumes
};

class Backlog : public ::testing::TestWithParam<BacklogCase> {};

// However far the writer fell behind, it never writes more than a second of audio before the
// header admits it: a crash loses at most about a second.
TEST_P(Backlog, HeaderFollowsEverySecondOfAudio)
{
    const BacklogCase bc = GetParam();
    TempDir tmp;
    FileRecorder rec;
    std::atomic<bool> hold{true};
    std::atomic<uint64_t> mostAhead{0};
    FileRecorder::WriterOptions options;
    options.hold = &hold;
    options.afterWrite = [&](uint64_t unclaimed) {
        if (unclaimed > mostAhead.load())
            mostAhead.store(unclaimed);
    };
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("backlog.wav"), bc.channels, bc.rate);
    rec.startCapture(0);
    const uint64_t frames = bc.seconds * bc.rate + 77;
    pushTake(rec, bc.channels, 0, frames);
    ASSERT_EQ(rec.droppedFrames.load(), 0u);
    hold.store(false);
    ASSERT_TRUE(waitFor([&] { return rec.framesWritten.load() == frames; }));
    rec.stopWriter();
    EXPECT_GT(mostAhead.load(), 0u);
    EXPECT_LE(mostAhead.load(), uint64_t{bc.rate} * bc.channels * 4);
    const PreloadedAudio a = loadWav(tmp.wide("backlog.wav"), kPreloadLimitBytes);
    ASSERT_EQ(a.frames(), frames);
    EXPECT_TRUE(holdsTake(a, bc.channels, 0));
}

INSTANTIATE_TEST_SUITE_P(Cases, Backlog,
                         ::testing::Values(BacklogCase{"Stereo48k", 2, 48000, 10},
                                           BacklogCase{"Mono8k", 1, 8000, 120}),
                         [](const auto& p) { return std::string(p.param.name); });

struct BounceCase {
    const char* name;
    bool offline;
};

class Bounce : public ::testing::TestWithParam<BounceCase> {};

// A bounce faster than the disk: four ring lengths pushed at once against a slow writer.
// Real-time pushes drop (and count) what does not fit; offline pushes wait for the writer, and
// the take arrives whole.
TEST_P(Bounce, OfflinePushesWaitForTheWriter)
{
    const BounceCase bc = GetParam();
    TempDir tmp;
    FileRecorder rec;
    // In real time the writer also waits for the producer after its first write, so the ring
    // surely fills however fast the machine is.
    std::atomic<bool> pushed{bc.offline};
    FileRecorder::WriterOptions options;
    options.afterWrite = [&pushed](uint64_t) {
        do
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        while (!pushed.load());
    };
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("bounce.wav"), 1, 8000); // a second of audio per write
    rec.startCapture(0);
    const uint64_t frames = 4 * rec.ringSamples() + 123;
    pushTake(rec, 1, 0, frames, 4096, takeSample, bc.offline);
    pushed.store(true);
    rec.stopWriter();
    EXPECT_FALSE(rec.failed.load());
    EXPECT_EQ(rec.framesWritten.load() + rec.droppedFrames.load(), frames);
    if (!bc.offline) {
        EXPECT_GT(rec.droppedFrames.load(), 0u); // the writer really was the slower side
        return;
    }
    EXPECT_EQ(rec.droppedFrames.load(), 0u);
    const PreloadedAudio a = loadWav(tmp.wide("bounce.wav"), kPreloadLimitBytes);
    ASSERT_EQ(a.frames(), frames);
    EXPECT_TRUE(holdsTake(a, 1, 0));
}

INSTANTIATE_TEST_SUITE_P(Cases, Bounce,
                         ::testing::Values(BounceCase{"Realtime", false}, BounceCase{"Offline", true}),
                         [](const auto& p) { return std::string(p.param.name); });

// The offline wait is bounded: a writer that fails while the producer waits lets it go on,
// and what does not fit is dropped and counted as in real time.
TEST(FileRecorder, OfflinePushGivesUpWhenTheWriterFails)
{
    TempDir tmp;
    FileRecorder rec;
    std::atomic<bool> hold{true};
    FileRecorder::WriterOptions options;
    options.hold = &hold;
    options.diskBytes = 44 + 4 * 1000; // room for 1000 mono frames
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("fails.wav"), 1, 48000);
    rec.startCapture(0);
    // One block longer than the ring: its push must wait for the writer.
    const uint64_t frames = rec.ringSamples() + 20000;
    std::atomic<bool> pushed{false};
    std::thread audio([&] {
        pushTake(rec, 1, 0, frames, static_cast<uint32_t>(frames), takeSample, true);
        pushed.store(true);
    });
    ASSERT_TRUE(waitFor([&] { return rec.pushing.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(pushed.load()); // waiting for the held writer
    hold.store(false);
    const bool returned = waitFor([&] { return pushed.load(); }, std::chrono::milliseconds(5000));
    audio.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(rec.failed.load());
    EXPECT_GT(rec.droppedFrames.load(), 0u);
    EXPECT_EQ(rec.framesWritten.load(), 1000u);
    rec.stopWriter();
    EXPECT_EQ(rec.framesWritten.load() + rec.droppedFrames.load(), frames);
    const PreloadedAudio a = loadWav(tmp.wide("fails.wav"), kPreloadLimitBytes);
    EXPECT_EQ(a.frames(), 1000u);
    EXPECT_TRUE(holdsTake(a, 1, 0));
}

// The ring holds at least half a second of the take, in a power of two, never under 2^20.
TEST(FileRecorder, RingIsSizedInTime)
{
    struct Row {
        uint32_t channels, rate;
        uint64_t samples;
    };
    for (const Row& row : {Row{1, 8000, 1u << 20}, Row{2, 48000, 1u << 20}, Row{64, 32768, 1u << 20},
                           Row{64, 32769, 1u << 21}, Row{64, 192000, 1u << 23},
                           Row{64, 384000, 1u << 24}}) {
        SCOPED_TRACE(std::to_string(row.channels) + " x " + std::to_string(row.rate));
        EXPECT_EQ(FileRecorder::ringSamplesFor(row.channels, row.rate), row.samples);
        EXPECT_GE(row.samples * 2, uint64_t{row.channels} * row.rate);
    }

    TempDir tmp;
    FileRecorder rec;
    EXPECT_EQ(rec.ringSamples(), 1u << 20);
    rec.reserveRing(64, 192000);
    EXPECT_EQ(rec.ringSamples(), 1u << 23);
    // An armed take keeps its ring; preparing a take sizes it for that take.
    rec.prepareDestination(tmp.wide("a.wav"), 2, 48000);
    EXPECT_EQ(rec.ringSamples(), 1u << 20);
    rec.reserveRing(64, 384000);
    EXPECT_EQ(rec.ringSamples(), 1u << 20);
    rec.stopWriter();
    rec.reserveRing(64, 384000);
    EXPECT_EQ(rec.ringSamples(), 1u << 24);

    // Half a second of a wide take fits while the writer is held.
    std::atomic<bool> hold{true};
    FileRecorder::WriterOptions options;
    options.hold = &hold;
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("wide.wav"), 64, 96000);
    EXPECT_EQ(rec.ringSamples(), 1u << 22);
    rec.startCapture(0);
    pushTake(rec, 64, 0, 48000);
    EXPECT_EQ(rec.droppedFrames.load(), 0u);
    hold.store(false);
    rec.stopWriter();
    EXPECT_EQ(rec.framesWritten.load(), 48000u);
}

TEST(FileRecorder, CaptureStartsAtItsPositionAndCleansSamples)
{
    TempDir tmp;
    FileRecorder rec;
    rec.prepareDestination(tmp.wide("start.wav"), 3, 48000);
    rec.startCapture(1000);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Block from 900: frames 900..999 are before the start.
    std::vector<float> ch0(256), ch1(256);
    for (uint32_t i = 0; i < 256; ++i) {
        ch0[i] = static_cast<float>(900 + i);
        ch1[i] = i == 150 ? nan : (i == 151 ? -inf : 0.5f);
    }
    const float* buffers[] = {ch0.data(), ch1.data(), nullptr};
    rec.pushBlock(buffers, 3, 256, 900);
    const float* two[] = {ch0.data(), ch1.data()};
    rec.pushBlock(two, 2, 256, 1156); // third channel beyond the pointer count
    rec.stopWriter();

    const PreloadedAudio a = loadWav(tmp.wide("start.wav"), kPreloadLimitBytes);
    ASSERT_EQ(a.frames(), 156u + 256u);
    EXPECT_EQ(a.samples[0], 1000.0f);
    for (uint64_t f = 0; f < a.frames(); ++f) {
        const uint64_t i = f < 156 ? f + 100 : f - 156;
        EXPECT_EQ(a.samples[f * 3], ch0[i]);
        EXPECT_EQ(a.samples[f * 3 + 1], (i == 150 || i == 151) ? 0.0f : 0.5f) << f;
        EXPECT_EQ(a.samples[f * 3 + 2], 0.0f);
    }
}

TEST(FileRecorder, TailSettingsAreClamped)
{
    TempDir tmp;
    FileRecorder rec;
    rec.prepareDestination(tmp.wide("t.wav"), 2, 48000);
    struct Case {
        double s, m, d;
        uint64_t silence, maxTail;
        float threshold;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {0.5, 30.0, -80.0, 24000, 1440000, 1.0e-4f},
        {0.0, 0.0, 0.0, 480, 480, static_cast<float>(std::pow(10.0, -6.0 / 20.0))},
        {100.0, 1e9, -500.0, 480000, 172800000, static_cast<float>(std::pow(10.0, -6.0))},
        {nan, nan, nan, 480, 480, static_cast<float>(std::pow(10.0, -6.0))},
    };
    for (const Case& c : cases) {
        rec.requestTailStop(777, c.s, c.m, c.d);
        EXPECT_EQ(rec.silenceSamples.load(), c.silence);
        EXPECT_EQ(rec.maxTailSamples.load(), c.maxTail);
        EXPECT_EQ(rec.silenceThreshold.load(), c.threshold);
        EXPECT_EQ(rec.stopPosition.load(), 777u);
    }
}

struct TailCase {
    const char* name;
    uint64_t loudUntil;   // frames before this are loud
    uint64_t blipAt;      // one loud frame inside the silence (or 0)
    bool nanSilence;      // the silence is NaN instead of zeros
    float quietLevel;     // level of the "silent" frames
    uint64_t expectFrames;
};

class Tail : public ::testing::TestWithParam<TailCase> {};

// Stop at 1000 with a 480-frame silence run (0.01 s at 48 kHz) and a 4800-frame maximum tail.
TEST_P(Tail, EndsTheTakeAtTheRightFrame)
{
    const TailCase tc = GetParam();
    TempDir tmp;
    FileRecorder rec;
    rec.prepareDestination(tmp.wide("tail.wav"), 2, 48000);
    rec.startCapture(0);
    rec.requestTailStop(1000, 0.01, 0.1, -80.0);
    auto sample = [&](uint64_t f, uint32_t c) -> float {
        if (f < tc.loudUntil || f == tc.blipAt)
            return c == 0 ? 0.5f : -0.25f;
        return tc.nanSilence ? std::numeric_limits<float>::quiet_NaN() : (c == 1 ? -tc.quietLevel : 0.0f);
    };
    pushTake(rec, 2, 0, 8000, 128, sample);
    EXPECT_FALSE(rec.recording.load());
    EXPECT_TRUE(rec.stopRequested.load());
    ASSERT_TRUE(waitFor([&] { return rec.finished.load(); }));
    EXPECT_FALSE(rec.failed.load());
    const PreloadedAudio a = loadWav(tmp.wide("tail.wav"), kPreloadLimitBytes);
    EXPECT_EQ(a.frames(), tc.expectFrames);
    EXPECT_EQ(rec.framesWritten.load(), tc.expectFrames);
    rec.stopWriter();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Tail,
    ::testing::Values(
        // Silence from 1500: the frame completing the run (1500 + 479) is not written.
        TailCase{"SilenceRun", 1500, 0, false, 0.0f, 1979},
        TailCase{"SilenceAlreadyBeforeStopCountsFromStop", 600, 0, false, 0.0f, 1479},
        TailCase{"LoudFrameResetsTheRun", 1500, 1700, false, 0.0f, 1701 + 479},
        TailCase{"AtThresholdIsSilent", 1500, 0, false, 1.0e-4f, 1979},
        TailCase{"AboveThresholdIsNot", 1500, 0, false, 1.1e-4f, 5800},
        TailCase{"NaNIsSilent", 1500, 0, true, 0.0f, 1979},
        // Never quiet: cut 4800 frames after the stop.
        TailCase{"MaximumTail", 8000, 0, false, 0.0f, 5800}),
    [](const auto& p) { return std::string(p.param.name); });

// The audio thread pushes tens of millions of samples while the writer drains; the producer
// only waits (outside pushBlock) when the ring is nearly full, so nothing may drop, and the
// file must hold every sample in order.
TEST(FileRecorder, TwoThreadRingStress)
{
    TempDir tmp;
    FileRecorder rec;
    const uint32_t channels = 3;
    const uint64_t frames = 6000000; // 18 M samples
    rec.prepareDestination(tmp.wide("stress.wav"), channels, 384000);
    rec.startCapture(0);
    auto sample = [](uint64_t f, uint32_t c) {
        return static_cast<float>((f * channels + c) & 0xFFFFFF); // exact in float
    };
    std::thread audio([&] {
        std::vector<float> planes[channels];
        for (auto& p : planes)
            p.resize(1100);
        const float* ptrs[channels];
        uint64_t done = 0;
        uint32_t block = 1;
        while (done < frames) {
            block = block % 1021 + 7; // odd sizes so blocks never line up with the ring
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(block, frames - done));
            while ((done + n - rec.framesWritten.load()) * channels > rec.ringSamples())
                std::this_thread::yield();
            for (uint32_t c = 0; c < channels; ++c) {
                for (uint32_t i = 0; i < n; ++i)
                    planes[c][i] = sample(done + i, c);
                ptrs[c] = planes[c].data();
            }
            rec.pushBlock(ptrs, channels, n, done);
            done += n;
        }
    });
    audio.join();
    rec.stopWriter();
    EXPECT_EQ(rec.droppedFrames.load(), 0u);
    EXPECT_EQ(rec.framesWritten.load(), frames);
    const PreloadedAudio a = loadWav(tmp.wide("stress.wav"), kPreloadLimitBytes);
    ASSERT_EQ(a.frames(), frames);
    EXPECT_TRUE(holdsTake(a, channels, 0, sample));
}

} // namespace
} // namespace kestravel::plugins::testing
