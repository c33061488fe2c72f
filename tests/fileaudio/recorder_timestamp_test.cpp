// Time-stamped takes: the header laid out byte for byte, the stamp of every part, what readers
// outside this project make of the files, and the free-space facts the writer keeps.

#include "fileaudio/bext_chunk.h"
#include "fileaudio/file_recorder.h"
#include "fileaudio/file_status.h"
#include "recorder_fixture.h"

#include <gtest/gtest.h>

#include <regex>

namespace kestravel::plugins::testing {
namespace {

std::string textAt(const Bytes& b, size_t at, size_t n)
{
    std::string s(reinterpret_cast<const char*>(b.data() + at), n);
    return s.substr(0, s.find('\0'));
}

// TimeReference as EBU Tech 3285 places it: body offset 338, low half then high half.
uint64_t timeReferenceAt(const Bytes& b, size_t body)
{
    return uint64_t{get32(b, body + 338)} | uint64_t{get32(b, body + 342)} << 32;
}

struct LayoutCase {
    const char* name;
    bool stamped;
    uint32_t channels;
    int64_t timeline; // projectTimeSamples at the start
};

class Header : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Header, IsLaidOutByteForByte)
{
    const LayoutCase lc = GetParam();
    TempDir tmp;
    FileRecorder rec;
    rec.setTrackName("Lead Vox");
    rec.prepareDestination(tmp.wide("take.wav"), lc.channels, 44100);
    rec.startCapture(5000, lc.timeline, lc.stamped);
    pushTake(rec, lc.channels, 5000, 300);
    rec.stopWriter();

    const Bytes b = readAll(tmp.path("take.wav"));
    const uint32_t dataBytes = 300 * lc.channels * 4;
    const uint32_t header = lc.stamped ? 668 : 44;
    ASSERT_EQ(b.size(), header + dataBytes);
    EXPECT_EQ(textAt(b, 0, 4), "RIFF");
    EXPECT_EQ(get32(b, 4), header - 8 + dataBytes);
    EXPECT_EQ(textAt(b, 8, 8), "WAVEfmt ");
    EXPECT_EQ(get32(b, 16), lc.stamped ? 18u : 16u);
    EXPECT_EQ(get16(b, 20), 3u);
    EXPECT_EQ(get16(b, 22), lc.channels);
    EXPECT_EQ(get32(b, 24), 44100u);
    EXPECT_EQ(get32(b, 28), 44100u * lc.channels * 4);
    EXPECT_EQ(get16(b, 32), lc.channels * 4);
    EXPECT_EQ(get16(b, 34), 32u);
    if (lc.stamped) {
        EXPECT_EQ(get16(b, 36), 0u); // cbSize
        EXPECT_EQ(textAt(b, 38, 4), "fact");
        EXPECT_EQ(get32(b, 42), 4u);
        EXPECT_EQ(get32(b, 46), 300u);
        EXPECT_EQ(textAt(b, 50, 4), "bext");
        EXPECT_EQ(get32(b, 54), 602u);
        const size_t body = 58;
        EXPECT_EQ(textAt(b, body, 256), "Lead Vox");
        EXPECT_EQ(textAt(b, body + 256, 32), "KESTRAVEL RECORDER");
        EXPECT_TRUE(std::regex_match(textAt(b, body + 288, 32), std::regex("KTAKE-[0-9A-F]{16}")));
        EXPECT_TRUE(std::regex_match(textAt(b, body + 320, 10), std::regex(R"(\d{4}-\d{2}-\d{2})")));
        EXPECT_TRUE(std::regex_match(textAt(b, body + 330, 8), std::regex(R"(\d{2}:\d{2}:\d{2})")));
        EXPECT_EQ(timeReferenceAt(b, body), static_cast<uint64_t>(lc.timeline));
        EXPECT_EQ(get16(b, body + 346), 2u); // version
        for (size_t i = body + 348; i < body + 602; ++i)
            ASSERT_EQ(b[i], 0u) << "byte " << i; // UMID, loudness, reserved: unknown
    }
    EXPECT_EQ(textAt(b, header - 8, 4), "data");
    EXPECT_EQ(get32(b, header - 4), dataBytes);
    const PreloadedAudio a = loadWav(tmp.wide("take.wav"), kPreloadLimitBytes);
    ASSERT_EQ(a.frames(), 300u);
    EXPECT_TRUE(holdsTake(a, lc.channels, 5000));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Header,
    ::testing::Values(LayoutCase{"Plain", false, 2, 96000},
                      LayoutCase{"StampedStereo", true, 2, 96000},
                      LayoutCase{"StampedPastFourGigasamples", true, 3, 123456789012},
                      LayoutCase{"StampedBeforeTheTimelineStart", true, 1, 0}),
    [](const auto& p) { return std::string(p.param.name); });

// Every part of a take carries the take's identity and the timeline sample of its own first
// frame: the take's stamp plus the frames before it, dropped frames included.
TEST(TimeStampedTake, EveryPartKnowsWhereItBelongs)
{
    TempDir tmp;
    FileRecorder rec;
    std::atomic<bool> hold{true};
    FileRecorder::WriterOptions options;
    options.fileByteBudget = 2 * 4 * 300000; // 300000 stereo frames a part
    options.hold = &hold;
    rec.setWriterOptionsForTesting(options);
    rec.prepareDestination(tmp.wide("song.wav"), 2, 48000);
    rec.startCapture(0, 1000000, true);
    const uint64_t fits = rec.ringSamples() / 2;
    pushTake(rec, 2, 0, fits + 4000); // 4000 dropped, written as silence
    hold.store(false);
    ASSERT_TRUE(waitFor([&] { return rec.takeFrames.load() == fits + 4000; }));
    pushTake(rec, 2, fits + 4000, 100000);
    rec.stopWriter();
    const auto files = rec.takeFiles();
    ASSERT_EQ(files.size(), 3u);

    uint64_t before = 0;
    std::string identity;
    std::optional<BextChunk> first;
    for (const auto& file : files) {
        const Bytes b = readAll(std::filesystem::path(toFsPath(file)));
        const TakeLayout t = walkTake(b);
        ASSERT_TRUE(t.ok && t.bextBody);
        EXPECT_EQ(timeReferenceAt(b, *t.bextBody), 1000000 + before);
        const std::string reference = textAt(b, *t.bextBody + 288, 32);
        if (identity.empty())
            identity = reference;
        EXPECT_EQ(reference, identity);
        // The join rule the player uses agrees.
        const auto chunk = decodeBext(b.data() + *t.bextBody, t.bextSize);
        ASSERT_TRUE(chunk);
        if (!first)
            first = chunk;
        EXPECT_TRUE(continuesTake(*first, before, *chunk));
        before += t.dataSize / 8;
    }
    EXPECT_EQ(before, fits + 4000 + 100000);
}

// A take started with the switch off keeps the exact 44-byte header even when it was armed
// time-stamped, and the other way round; an empty armed file is valid in either layout.
TEST(TimeStampedTake, TheStartDecidesTheLayout)
{
    for (const bool armed : {false, true})
        for (const bool started : {false, true}) {
            SCOPED_TRACE(std::to_string(armed) + std::to_string(started));
            TempDir tmp;
            FileRecorder rec;
            rec.timestampNewTakes.store(armed);
            rec.prepareDestination(tmp.wide("t.wav"), 2, 48000);
            EXPECT_EQ(walkTake(readAll(tmp.path("t.wav"))).headerBytes, armed ? 668u : 44u);
            rec.startCapture(0, 48000, started);
            pushTake(rec, 2, 0, 1000);
            rec.stopWriter();
            const Bytes b = readAll(tmp.path("t.wav"));
            EXPECT_EQ(b.size(), (started ? 668u : 44u) + 8000u);
            EXPECT_EQ(walkTake(b).headerBytes, started ? 668u : 44u);
            EXPECT_EQ(loadWav(tmp.wide("t.wav"), kPreloadLimitBytes).frames(), 1000u);
        }
}

#ifndef _WIN32
// sox's own word on a file: everything it says on stderr while reading it whole.
std::string soxComplaints(const std::filesystem::path& p)
{
    const std::string cmd = "sox -V2 '" + p.string() + "' -n 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe)
        return "cannot run sox";
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe))
        out += buf;
    return pclose(pipe) == 0 ? out : "sox failed: " + out;
}

// Readers outside this project take every file of a time-stamped take without a warning.
TEST(TimeStampedTake, SoxReadsEveryTakeWithoutAWarning)
{
    if (std::system("command -v sox >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox is not installed";
    for (const bool stamped : {false, true})
        for (const uint32_t channels : {1u, 2u, 6u}) {
            TempDir tmp;
            FileRecorder rec;
            FileRecorder::WriterOptions options;
            options.fileByteBudget = uint64_t{channels} * 4 * 3000;
            rec.setWriterOptionsForTesting(options);
            rec.prepareDestination(tmp.wide("s.wav"), channels, 48000);
            rec.startCapture(0, 42, stamped);
            pushTake(rec, channels, 0, 4000);
            rec.stopWriter();
            ASSERT_EQ(rec.takeFiles().size(), 2u);
            for (const auto& file : rec.takeFiles()) {
                const std::filesystem::path p = toFsPath(file);
                // The plain 44-byte header stays exactly as old projects wrote it, with the
                // 16-byte format that strict readers note; the stamped one draws no remark.
                EXPECT_EQ(soxComplaints(p),
                          stamped ? "" : "sox WARN wav: wave header missing extended part of fmt chunk\n")
                    << p.filename() << " stamped " << stamped;
                EXPECT_EQ(soxiSummary(p), std::to_string(channels) + " 48000 " +
                                              (p.filename() == "s.wav" ? "3000" : "1000"));
            }
        }
}
#endif

// The writer asks how much room is left (never the audio thread, which only pushes), once at
// arming and then about once a second; the answer is kept for the take panel.
TEST(TimeStampedTake, FreeSpaceIsAskedByTheWriter)
{
    TempDir tmp;
    FileRecorder rec;
    std::atomic<uint64_t> answer{7'000'000'000};
    std::atomic<int> asked{0};
    std::atomic<bool> fromTestThread{false};
    const auto testThread = std::this_thread::get_id();
    std::u16string askedAbout;
    FileRecorder::WriterOptions options;
    options.freeSpace = [&](const std::u16string& path) {
        if (std::this_thread::get_id() == testThread)
            fromTestThread.store(true);
        if (asked.fetch_add(1) == 0)
            askedAbout = path;
        return answer.load();
    };
    rec.setWriterOptionsForTesting(options);
    EXPECT_EQ(rec.freeBytes.load(), kUnknownFreeBytes);
    rec.prepareDestination(tmp.wide("room.wav"), 2, 48000);
    EXPECT_EQ(rec.freeBytes.load(), 7'000'000'000u);
    EXPECT_EQ(askedAbout, tmp.wide("room.wav"));
    answer.store(1234);
    rec.startCapture(0);
    pushTake(rec, 2, 0, 480);
    EXPECT_TRUE(waitFor([&] { return rec.freeBytes.load() == 1234; }, std::chrono::milliseconds(5000)));
    rec.stopWriter();
    EXPECT_FALSE(fromTestThread.load());
    EXPECT_EQ(rec.bytesWritten.load(), 44u + 480u * 8u);
}

// The panel's words from the recorder's counters: elapsed timeline time and size over every
// part, time left at the take's data rate (amber under ten minutes), drops; shown only while a
// take is armed, running or failed.
TEST(TakePanelText, ComesFromTheCounters)
{
    struct Case {
        const char* name;
        bool ready, recording, failed;
        uint64_t frames, bytes, dropped, free;
        TakePanel expected;
    };
    constexpr uint64_t rate = 384000; // bytes a second: stereo at 48 kHz
    const Case cases[] = {
        {"idle", false, false, false, 0, 0, 0, 0, {}},
        {"armed", true, false, false, 0, 668, 0, kUnknownFreeBytes,
         {true, false, false, "Take 0:00:00 | 668 B | dropped 0", "Disk: free space unknown"}},
        {"hours", true, true, false, 48000ull * 3723, 1'429'632'668, 0, rate * 7985,
         {true, false, false, "Take 1:02:03 | 1.4 GB | dropped 0", "Disk: 2:13:05 left at 384.0 kB/s"}},
        {"ten minutes", true, true, false, 48000, 384'668, 12, rate * 600,
         {true, false, false, "Take 0:00:01 | 384.7 kB | dropped 12", "Disk: 0:10:00 left at 384.0 kB/s"}},
        {"under ten", true, true, false, 48000, 384'668, 12, rate * 600 - 1,
         {true, false, true, "Take 0:00:01 | 384.7 kB | dropped 12", "Disk: 0:09:59 left at 384.0 kB/s"}},
        {"failed", false, false, true, 96000, 999'999, 5, 0,
         {true, true, true, "Take 0:00:02 | 1.0 MB | dropped 5", "Disk: 0:00:00 left at 384.0 kB/s"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileRecorder rec;
        rec.channels.store(2);
        rec.sampleRate.store(48000);
        rec.ready.store(c.ready);
        rec.recording.store(c.recording);
        rec.failed.store(c.failed);
        rec.takeFrames.store(c.frames);
        rec.bytesWritten.store(c.bytes);
        rec.droppedFrames.store(c.dropped);
        rec.freeBytes.store(c.free);
        const TakePanel p = takePanel(rec);
        EXPECT_EQ(p.shown, c.expected.shown);
        EXPECT_EQ(p.failed, c.expected.failed);
        EXPECT_EQ(p.lowSpace, c.expected.lowSpace);
        EXPECT_EQ(p.take, c.expected.take);
        EXPECT_EQ(p.disk, c.expected.disk);
    }
}

} // namespace
} // namespace kestravel::plugins::testing
