// Takes that outgrow one file, and takes whose process dies: what stays on disk.

#include "fileaudio/file_recorder.h"
#include "recorder_fixture.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kestravel::plugins::testing {
namespace {

constexpr uint32_t kChannels = 3;
constexpr uint64_t kFramesPerPart = 1000;

FileRecorder::WriterOptions smallParts()
{
    FileRecorder::WriterOptions o;
    o.fileByteBudget = kFramesPerPart * kChannels * 4 + 5; // a partial frame never fits
    return o;
}

// Checks one part file and appends its samples to take.
void collectPart(const std::filesystem::path& p, uint64_t expectFrames, std::vector<float>& take)
{
    SCOPED_TRACE(p.filename().string());
    ASSERT_TRUE(std::filesystem::exists(p));
    const Bytes bytes = readAll(p);
    const WavHeader h = parseHeader(bytes);
    EXPECT_TRUE(h.magicOk);
    EXPECT_EQ(bytes.size(), 44 + expectFrames * kChannels * 4);
    EXPECT_EQ(h.dataSize, expectFrames * kChannels * 4);
    EXPECT_EQ(h.riffSize, h.dataSize + 36);
    EXPECT_EQ(h.channels, kChannels);
    const PreloadedAudio a = loadWav(u16(p), kPreloadLimitBytes);
    EXPECT_EQ(a.frames(), expectFrames);
    take.insert(take.end(), a.samples.begin(), a.samples.end());
    if (haveSoxi()) {
        EXPECT_EQ(soxiSummary(p), "3 48000 " + std::to_string(expectFrames));
    }
}

TEST(RecorderContinuation, LongTakeContinuesInPartsWithoutAGap)
{
    TempDir tmp;
    FileRecorder rec;
    rec.setWriterOptionsForTesting(smallParts());
    rec.prepareDestination(tmp.wide("song.wav"), kChannels, 48000);
    rec.startCapture(0);
    pushTake(rec, kChannels, 0, 4500, 333);
    rec.stopWriter();
    EXPECT_FALSE(rec.failed.load());
    EXPECT_EQ(rec.framesWritten.load(), 4500u); // the whole take, over all parts
    EXPECT_EQ(rec.partCount.load(), 5u);

    std::vector<float> take;
    collectPart(tmp.path("song.wav"), 1000, take);
    for (int part = 2; part <= 4; ++part)
        collectPart(tmp.path("song-part" + std::to_string(part) + ".wav"), 1000, take);
    collectPart(tmp.path("song-part5.wav"), 500, take);
    EXPECT_FALSE(std::filesystem::exists(tmp.path("song-part6.wav")));

    PreloadedAudio joined;
    joined.channels = kChannels;
    joined.samples = std::move(take);
    ASSERT_EQ(joined.frames(), 4500u);
    EXPECT_TRUE(holdsTake(joined, kChannels, 0)); // bit for bit, in order
}

TEST(RecorderContinuation, ExistingPartNamesAreSkippedNeverOverwritten)
{
    TempDir tmp;
    writeAll(tmp.path("song-part2.wav"), {'k', 'e', 'e', 'p'});
    std::filesystem::create_directory(tmp.path("song-part4.wav"));
    FileRecorder rec;
    rec.setWriterOptionsForTesting(smallParts());
    rec.prepareDestination(tmp.wide("song.WAV"), kChannels, 48000);
    rec.startCapture(0);
    pushTake(rec, kChannels, 0, 2500);
    rec.stopWriter();
    EXPECT_FALSE(rec.failed.load());

    EXPECT_EQ(readAll(tmp.path("song-part2.wav")), (Bytes{'k', 'e', 'e', 'p'}));
    std::vector<float> take;
    collectPart(tmp.path("song.WAV"), 1000, take);
    collectPart(tmp.path("song-part3.wav"), 1000, take);
    collectPart(tmp.path("song-part5.wav"), 500, take);
    PreloadedAudio joined;
    joined.channels = kChannels;
    joined.samples = std::move(take);
    EXPECT_TRUE(holdsTake(joined, kChannels, 0));
}

// Syncing a finished part to the device can take half a second; the drain must not wait for
// it. Here every sync hangs until released: the take still goes on through two switches.
TEST(RecorderContinuation, SyncOfAFinishedPartNeverStallsTheDrain)
{
    TempDir tmp;
    FileRecorder rec;
    std::atomic<bool> release{false};
    std::atomic<int> syncs{0};
    auto options = smallParts();
    options.beforeSync = [&] {
        ++syncs;
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("song.wav"), kChannels, 48000);
    rec.startCapture(0);
    pushTake(rec, kChannels, 0, 2500);
    const bool drained = waitFor([&] { return rec.framesWritten.load() == 2500; },
                                 std::chrono::milliseconds(5000));
    const uint32_t partsMeanwhile = rec.partCount.load();
    release.store(true);
    EXPECT_TRUE(drained) << "stuck at " << rec.framesWritten.load() << " frames";
    EXPECT_EQ(partsMeanwhile, 3u);
    rec.stopWriter();
    EXPECT_FALSE(rec.failed.load());
    // Every part reaches the device; the last one's sync goes on after the take has ended.
    EXPECT_TRUE(waitFor([&] { return syncs.load() == 3; }));

    std::vector<float> take;
    collectPart(tmp.path("song.wav"), 1000, take);
    collectPart(tmp.path("song-part2.wav"), 1000, take);
    collectPart(tmp.path("song-part3.wav"), 500, take);
    PreloadedAudio joined;
    joined.channels = kChannels;
    joined.samples = std::move(take);
    EXPECT_TRUE(holdsTake(joined, kChannels, 0));
}

struct DiskFullCase {
    const char* name;
    uint64_t diskBytes;
    std::vector<uint64_t> partFrames; // what each file left behind holds
};

class DiskFullAtParts : public ::testing::TestWithParam<DiskFullCase> {};

// A disk that fills up around a part switch: the take ends Failed, every file left is a valid
// WAV holding whole frames, and a part that could not be started is removed, not left empty
// while the numbers run on.
TEST_P(DiskFullAtParts, LeavesOnlyValidParts)
{
    const DiskFullCase dc = GetParam();
    TempDir tmp;
    FileRecorder rec;
    auto options = smallParts();
    options.diskBytes = dc.diskBytes;
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("song.wav"), kChannels, 48000);
    rec.startCapture(0);
    pushTake(rec, kChannels, 0, 2500);
    ASSERT_TRUE(waitFor([&] { return rec.finished.load(); }));
    EXPECT_TRUE(rec.failed.load());
    EXPECT_FALSE(rec.recording.load());
    rec.stopWriter();

    std::vector<std::string> expectNames{"song.wav"};
    for (size_t part = 2; part <= dc.partFrames.size(); ++part)
        expectNames.push_back("song-part" + std::to_string(part) + ".wav");
    std::sort(expectNames.begin(), expectNames.end());
    EXPECT_EQ(folderNames(tmp.path("")), expectNames);
    EXPECT_EQ(rec.partCount.load(), dc.partFrames.size());

    std::vector<float> take;
    uint64_t total = 0;
    for (size_t i = 0; i < dc.partFrames.size(); ++i) {
        collectPart(tmp.path(i == 0 ? "song.wav" : "song-part" + std::to_string(i + 1) + ".wav"),
                    dc.partFrames[i], take);
        total += dc.partFrames[i];
    }
    EXPECT_EQ(rec.framesWritten.load(), total);
    PreloadedAudio joined;
    joined.channels = kChannels;
    joined.samples = std::move(take);
    EXPECT_TRUE(holdsTake(joined, kChannels, 0));
}

constexpr uint64_t kFullPart = 44 + kFramesPerPart * kChannels * 4;

INSTANTIATE_TEST_SUITE_P(
    Cases, DiskFullAtParts,
    ::testing::Values(DiskFullCase{"NoRoomForTheNextHeader", kFullPart, {1000}},
                      DiskFullCase{"HalfTheNextHeader", kFullPart + 20, {1000}},
                      DiskFullCase{"InsideTheSecondPart", 2 * kFullPart - 6000 + 5, {1000, 500}}),
    [](const auto& p) { return std::string(p.param.name); });

struct BlockedCase {
    const char* name;
    bool needsNonRoot;
};

class ContinuationBlocked : public ::testing::TestWithParam<BlockedCase> {};

// The folder stops taking new files before the first continuation: the take fails, and the
// part already written stays complete and valid.
TEST_P(ContinuationBlocked, EndsFailedWithEarlierPartsIntact)
{
    const BlockedCase bc = GetParam();
#ifdef _WIN32
    if (bc.needsNonRoot)
        GTEST_SKIP() << "folder permissions are POSIX here";
#else
    if (bc.needsNonRoot && ::geteuid() == 0)
        GTEST_SKIP() << "root creates files in read-only folders";
#endif
    TempDir tmp;
    std::filesystem::create_directory(tmp.path("takes"));
    FileRecorder rec;
    rec.setWriterOptionsForTesting(smallParts());
    rec.prepareDestination(tmp.wide("takes/song.wav"), kChannels, 48000);
    rec.startCapture(0);
    pushTake(rec, kChannels, 0, 900);
    ASSERT_TRUE(waitFor([&] { return rec.framesWritten.load() == 900; }));

    std::filesystem::path kept = tmp.path("takes");
    if (bc.needsNonRoot) {
        std::filesystem::permissions(kept, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    } else {
        // The folder disappears from under the take (moved away while the file stays open).
        kept = tmp.path("moved");
        std::filesystem::rename(tmp.path("takes"), kept);
    }
    pushTake(rec, kChannels, 900, 600);
    ASSERT_TRUE(waitFor([&] { return rec.finished.load(); }));
    EXPECT_TRUE(rec.failed.load());
    EXPECT_FALSE(rec.recording.load());
    EXPECT_EQ(rec.framesWritten.load(), 1000u);
    rec.stopWriter();
    std::filesystem::permissions(kept, std::filesystem::perms::owner_all);

    std::vector<float> take;
    collectPart(kept / "song.wav", 1000, take);
    EXPECT_FALSE(std::filesystem::exists(kept / "song-part2.wav"));
    PreloadedAudio first;
    first.channels = kChannels;
    first.samples = std::move(take);
    EXPECT_TRUE(holdsTake(first, kChannels, 0));
}

INSTANTIATE_TEST_SUITE_P(Cases, ContinuationBlocked,
                         ::testing::Values(BlockedCase{"ReadOnlyFolder", true}, BlockedCase{"FolderMovedAway", false}),
                         [](const auto& p) { return std::string(p.param.name); });

// While a take runs, the header keeps up with the samples, so the open file is readable.
TEST(RecorderContinuation, SizesAreCurrentWhileRecording)
{
    TempDir tmp;
    FileRecorder rec;
    rec.prepareDestination(tmp.wide("live.wav"), 2, 48000);
    rec.startCapture(0);
    pushTake(rec, 2, 0, 1000);
    ASSERT_TRUE(waitFor([&] { return parseHeader(readAll(tmp.path("live.wav"))).dataSize == 8000; }));
    EXPECT_TRUE(rec.recording.load());
    EXPECT_EQ(parseHeader(readAll(tmp.path("live.wav"))).riffSize, 8036u);
    const PreloadedAudio a = loadWav(tmp.wide("live.wav"), kPreloadLimitBytes);
    EXPECT_EQ(a.frames(), 1000u);
    EXPECT_TRUE(holdsTake(a, 2, 0));
    rec.stopWriter();
}

#ifndef _WIN32
class Killed : public ::testing::TestWithParam<bool> {};

// A child process records in real time and is killed without warning; the file it leaves
// must open and hold every frame up to at most one second before the kill, with either header.
TEST_P(Killed, ProcessLeavesAReadableFile)
{
    const bool stamped = GetParam();
    TempDir tmp;
    const std::u16string path = tmp.wide("crash.wav");
    constexpr uint32_t rate = 48000;
    constexpr uint32_t block = 480; // 10 ms
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(progress[0]);
        FileRecorder rec;
        try {
            rec.prepareDestination(path, 2, rate);
        } catch (...) {
            ::_exit(3);
        }
        rec.startCapture(0, 0, stamped);
        auto next = std::chrono::steady_clock::now();
        for (uint64_t frame = 0;; frame += block) {
            pushTake(rec, 2, frame, block, block);
            const uint64_t pushed = frame + block;
            if (::write(progress[1], &pushed, sizeof pushed) != sizeof pushed)
                ::_exit(4);
            next += std::chrono::microseconds(1000000ull * block / rate);
            std::this_thread::sleep_until(next);
        }
    }
    ::close(progress[1]);
    struct Reaper {
        pid_t pid;
        int status = 0;
        void kill()
        {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                pid = 0;
            }
        }
        ~Reaper() { kill(); }
    } reaper{child};
    uint64_t pushed = 0;
    while (pushed < rate * 3 / 2) {
        ASSERT_EQ(::read(progress[0], &pushed, sizeof pushed), static_cast<ssize_t>(sizeof pushed));
    }
    reaper.kill();
    ASSERT_TRUE(WIFSIGNALED(reaper.status));
    // Whatever the child reported before it died.
    uint64_t later = 0;
    while (::read(progress[0], &later, sizeof later) == static_cast<ssize_t>(sizeof later))
        pushed = later;
    ::close(progress[0]);

    const PreloadedAudio a = loadWav(path, kPreloadLimitBytes);
    EXPECT_LE(a.frames(), pushed);
    EXPECT_GE(a.frames() + rate, pushed);
    EXPECT_TRUE(holdsTake(a, 2, 0));
    EXPECT_EQ(walkTake(readAll(tmp.path("crash.wav"))).headerBytes, stamped ? 668u : 44u);
}

INSTANTIATE_TEST_SUITE_P(Headers, Killed, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? std::string("TimeStamped") : std::string("Plain"); });
#endif

} // namespace
} // namespace kestravel::plugins::testing
