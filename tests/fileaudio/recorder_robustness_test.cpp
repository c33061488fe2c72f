// What a take survives: a slow disk during a bounce, a destination chosen while the audio
// thread runs the take, a write failure in the middle, a slow final sync, a kill at any write.

#include "fileaudio/file_recorder.h"
#include "fileaudio/file_status.h"
#include "recorder_fixture.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>

namespace kestravel::plugins::testing {
namespace {

// A bounce to a disk slower than one write of a whole second of audio but never stalled: the
// offline push sees each piece land and waits as long as the disk keeps moving.
TEST(RecorderRobustness, BounceToASlowDiskIsComplete)
{
    TempDir tmp;
    FileRecorder rec;
    constexpr uint32_t channels = 16, rate = 48000;
    constexpr double bytesPerSecond = 10e6; // a second of this audio takes 0.3 s to write
    FileRecorder::WriterOptions options;
    options.offlineStallLimit = std::chrono::milliseconds(100);
    options.beforeWrite = [](uint64_t bytes) {
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(static_cast<double>(bytes) / bytesPerSecond * 1e6)));
    };
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("bounce.wav"), channels, rate);
    rec.startCapture(0);
    const uint64_t frames = 3 * rate + 11;
    pushTake(rec, channels, 0, frames, 4096, takeSample, true);
    rec.stopWriter();
    EXPECT_FALSE(rec.failed.load());
    EXPECT_EQ(rec.droppedFrames.load(), 0u);
    const PreloadedAudio a = loadWav(tmp.wide("bounce.wav"), kPreloadLimitBytes);
    ASSERT_EQ(a.frames(), frames);
    EXPECT_TRUE(holdsTake(a, channels, 0));
}

// Runs prepareDestination on a thread of its own; false when it has not returned in time
// (the recorder is then left to the stuck thread, never destroyed under it).
bool prepareReturns(std::shared_ptr<FileRecorder> rec, const std::u16string& path, std::string& error)
{
    auto result = std::make_shared<std::promise<std::string>>();
    auto done = result->get_future();
    std::thread([rec, path, result] {
        try {
            rec->prepareDestination(path, 2, 48000);
            result->set_value("");
        } catch (const std::exception& e) {
            result->set_value(e.what());
        }
    }).detach();
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        new std::shared_ptr<FileRecorder>(rec); // keep it alive for the stuck thread
        return false;
    }
    error = done.get();
    return true;
}

// The audio thread (an offline bounce with the transport toggling) starts, records, stops and
// finalizes the take on the new file before the UI thread looks: choosing it still returns.
TEST(RecorderRobustness, ChoosingADestinationEndsWhateverTheTakeDid)
{
    TempDir tmp;
    auto rec = std::make_shared<FileRecorder>();
    FileRecorder* r = rec.get();
    FileRecorder::WriterOptions options;
    options.whileArming = [r] {
        ASSERT_TRUE(waitFor([r] { return r->ready.load(); }));
        r->startCapture(0);
        pushTake(*r, 2, 0, 300);
        r->stopCapture();
        ASSERT_TRUE(waitFor([r] { return r->finished.load(); }));
    };
    rec->setWriterOptionsForTesting(options);
    std::string error = "not returned";
    ASSERT_TRUE(prepareReturns(rec, tmp.wide("quick.wav"), error)) << "the UI thread hangs";
    EXPECT_EQ(error, "");
    EXPECT_FALSE(rec->failed.load());
    EXPECT_EQ(statusText(RECORDER, tmp.wide("quick.wav"), FilePlayer{}, *rec), "Finalized quick.wav");
    EXPECT_EQ(loadWav(tmp.wide("quick.wav"), kPreloadLimitBytes).frames(), 300u);
}

// A destination whose disk never answers: the wait ends with a message, and the file the
// writer creates afterwards is left empty and valid.
TEST(RecorderRobustness, ChoosingADestinationGivesUpOnADeadDisk)
{
    TempDir tmp;
    auto rec = std::make_shared<FileRecorder>();
    auto stuck = std::make_shared<std::atomic<bool>>(true);
    FileRecorder::WriterOptions options;
    options.armingLimit = std::chrono::milliseconds(50);
    options.afterFileWrite = [stuck](const std::u16string&) {
        while (stuck->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    rec->setWriterOptionsForTesting(options);
    std::string error;
    ASSERT_TRUE(prepareReturns(rec, tmp.wide("dead.wav"), error));
    EXPECT_EQ(error, "Recording file not created in time; check the destination disk");
    stuck->store(false);
    rec->stopWriter();
    EXPECT_EQ(loadWav(tmp.wide("dead.wav"), kPreloadLimitBytes).frames(), 0u);
    rec->setWriterOptionsForTesting({});
    rec->prepareDestination(tmp.wide("next.wav"), 2, 48000);
    EXPECT_TRUE(rec->ready.load());
}

struct FailureCase {
    const char* name;
    bool tailStop;    // the take ends by its tail rather than by the host
    uint64_t given;   // frames the module is given while the take lasts
};

class AfterFailure : public ::testing::TestWithParam<FailureCase> {};

// The disk fills after 1000 frames: what was in the ring and everything the module is given
// afterwards, until the take would have stopped, counts as dropped. Written plus dropped is
// always what the take was given.
TEST_P(AfterFailure, EveryFrameIsWrittenOrDropped)
{
    const FailureCase fc = GetParam();
    TempDir tmp;
    FileRecorder rec;
    FileRecorder::WriterOptions options;
    options.diskBytes = 44 + 4 * 1000;
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("full.wav"), 1, 48000);
    rec.startCapture(0);
    pushTake(rec, 1, 0, 100000);
    ASSERT_TRUE(waitFor([&] { return rec.finished.load(); }));
    EXPECT_TRUE(rec.failed.load());
    if (fc.tailStop) // a loud tail of at most 0.01 s (480 frames) after 200000
        rec.requestTailStop(200000, 10.0, 0.0, -120.0);
    pushTake(rec, 1, 100000, 140000);
    rec.stopCapture();
    pushTake(rec, 1, 240000, 5000); // after the stop: not the take's
    rec.stopWriter();
    EXPECT_EQ(rec.framesWritten.load(), 1000u);
    EXPECT_EQ(rec.framesWritten.load() + rec.droppedFrames.load(), fc.given);
    EXPECT_EQ(statusText(RECORDER, u"", FilePlayer{}, rec), "Recording failed; inspect output disk");
    EXPECT_EQ(loadWav(tmp.wide("full.wav"), kPreloadLimitBytes).frames(), 1000u);
}

INSTANTIATE_TEST_SUITE_P(Cases, AfterFailure,
                         ::testing::Values(FailureCase{"StoppedByTheHost", false, 240000},
                                           FailureCase{"EndedByItsTail", true, 200480}),
                         [](const auto& p) { return std::string(p.param.name); });

// The final sync to the device may take seconds: ending the take does not wait for it, the
// file is complete at once, and the recorder's destruction waits until it is done.
TEST(RecorderRobustness, FinalSyncNeverHoldsUpTheEndOfATake)
{
    TempDir tmp;
    auto rec = std::make_shared<FileRecorder>();
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto synced = std::make_shared<std::atomic<int>>(0);
    FileRecorder::WriterOptions options;
    options.beforeSync = [release, synced] {
        while (!release->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++*synced;
    };
    rec->setWriterOptionsForTesting(options);
    rec->prepareDestination(tmp.wide("end.wav"), 2, 48000);
    rec->startCapture(0);
    pushTake(*rec, 2, 0, 1000);
    auto stopped = std::async(std::launch::async, [r = rec.get()] { r->stopWriter(); });
    const bool returned = stopped.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "stopWriter waits for the sync";
    if (returned) {
        EXPECT_TRUE(rec->finished.load());
        const PreloadedAudio a = loadWav(tmp.wide("end.wav"), kPreloadLimitBytes);
        EXPECT_EQ(a.frames(), 1000u);
        EXPECT_TRUE(holdsTake(a, 2, 0));
        EXPECT_EQ(synced->load(), 0);
    }
    release->store(true);
    stopped.wait();
    rec.reset();
    EXPECT_EQ(synced->load(), 1); // done before the recorder was gone
}

class EveryWrite : public ::testing::TestWithParam<bool> {};

// A kill can land between any two writes: after each one the sizes on disk agree with each
// other (RIFF, fact, data), never claim more samples than the file holds, and the reader
// opens the file as it is.
TEST_P(EveryWrite, LeavesConsistentSizes)
{
    TempDir tmp;
    FileRecorder rec;
    std::vector<std::string> faults;
    uint64_t writes = 0;
    FileRecorder::WriterOptions options;
    options.afterFileWrite = [&](const std::u16string& path) {
        ++writes;
        const Bytes b = readAll(std::filesystem::path(toFsPath(path)));
        const TakeLayout t = walkTake(b);
        std::string fault;
        if (!t.ok)
            fault = "no readable header";
        else if (t.riffSize != t.dataSize + t.headerBytes - 8)
            fault = "RIFF " + std::to_string(t.riffSize) + " data " + std::to_string(t.dataSize);
        else if (t.factFrames && *t.factFrames * t.blockAlign != t.dataSize)
            fault = "fact " + std::to_string(*t.factFrames) + " data " + std::to_string(t.dataSize);
        else if (t.headerBytes + uint64_t{t.dataSize} > b.size() || t.dataSize % t.blockAlign != 0)
            fault = "data " + std::to_string(t.dataSize) + " file " + std::to_string(b.size());
        if (fault.empty()) {
            // And the reader takes the file as it is at that instant.
            try {
                if (loadWav(path, kPreloadLimitBytes).frames() != t.dataSize / t.blockAlign)
                    fault = "reader disagrees with the header";
            } catch (const std::exception& e) {
                fault = std::string("reader refuses: ") + e.what();
            }
        }
        if (!fault.empty() && faults.size() < 5)
            faults.push_back("write " + std::to_string(writes) + ": " + fault);
    };
    std::atomic<bool> hold{true};
    options.hold = &hold;
    rec.setWriterOptionsForTesting(options);
    rec.timestampNewTakes.store(GetParam());
    rec.prepareDestination(tmp.wide("kill.wav"), 2, 8000);
    rec.startCapture(0);
    // A backlog of 2.5 s (a refresh after each second inside it), then blocks one by one (a
    // refresh whenever the writer runs idle).
    pushTake(rec, 2, 0, 20000, 512);
    hold.store(false);
    ASSERT_TRUE(waitFor([&] { return rec.framesWritten.load() == 20000; }));
    for (uint64_t f = 20000; f < 22000; f += 400) {
        pushTake(rec, 2, f, 400, 400);
        ASSERT_TRUE(waitFor([&] { return rec.framesWritten.load() == f + 400; }));
    }
    rec.stopWriter();
    EXPECT_GT(writes, 10u);
    EXPECT_TRUE(faults.empty()) << faults.front();
    EXPECT_EQ(loadWav(tmp.wide("kill.wav"), kPreloadLimitBytes).frames(), 22000u);
}

INSTANTIATE_TEST_SUITE_P(Headers, EveryWrite, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? std::string("TimeStamped") : std::string("Plain"); });

} // namespace
} // namespace kestravel::plugins::testing
