// rackhost render and a module's files: the RECORDER's take reported as it is on disk, refusals
// in the module's own words, and an output that streams or is discarded.
#include <cstdio>
#include <fstream>

#include "bundle_test_support.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/utf.h"
#include "kestravel_host/wav.h"
#include "run_rackhost.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kestravel::plugins::testing_support {
namespace {

using RenderRun = ProgramRun;

// shellPrefix runs before rackhost in the same POSIX shell (limits, signal dispositions).
RenderRun render(std::vector<std::string> args, const std::string& shellPrefix = "")
{
    args.insert(args.begin(), "render");
    return runRackhost(args, shellPrefix);
}

std::string text(const std::filesystem::path& p) { return pathToUtf8(p); }
bool contains(const std::string& haystack, const std::string& needle) { return haystack.find(needle) != std::string::npos; }
const std::string recorder() { return text(bundlePath(kindByCode(6))); }
const std::string player() { return text(bundlePath(kindByCode(5))); }

TEST(RenderTake, ReportsTheTakeAndDiscardsTheOutputWithoutOut)
{
    TempDir dir;
    const RenderRun r = render({recorder(), "--length", "20000", "--play", "--file", text(dir / "rec.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "output discarded")) << r.output;
    EXPECT_TRUE(contains(r.output, "rec.wav")) << r.output;
    EXPECT_TRUE(contains(r.output, "take: 20000 frames written, 0 dropped")) << r.output;
    // The take panel's facts: 20000 stereo frames at 48 kHz, 668 header bytes and the samples.
    EXPECT_TRUE(contains(r.output, "take: 0:00:00 on the timeline, 160.7 kB written, ")) << r.output;
    EXPECT_TRUE(contains(r.output, " left on the disk at 384.0 kB/s")) << r.output;
    EXPECT_FALSE(contains(r.output, "ended Failed")) << r.output;
    EXPECT_EQ(readWav(dir / "rec.wav").frames(), 20000u);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1u); // no output file anywhere
}

// The file-size limit of the process plays a disk that fills: writes past it fail (EFBIG), as
// they would with ENOSPC. rackhost says so and exits non-zero; the file is a valid WAV.
TEST(RenderTake, AFailedTakeExitsNonZeroAndSaysWhatIsOnDisk)
{
#ifdef _WIN32
    GTEST_SKIP() << "the file-size limit is a POSIX shell's";
#else
    TempDir dir;
    const RenderRun r = render({recorder(), "--length", "100000", "--play", "--file", text(dir / "rec.wav")},
                         "ulimit -f 64; trap '' XFSZ; exec ");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(contains(r.output, ", ended Failed")) << r.output;
    EXPECT_TRUE(contains(r.output, "take is incomplete")) << r.output;
    const WavAudio take = readWav(dir / "rec.wav");
    EXPECT_GT(take.frames(), 0u);
    EXPECT_LT(take.frames(), 100000u);
    EXPECT_TRUE(contains(r.output, "take: " + std::to_string(take.frames()) + " frames written")) << r.output;
    // Every frame the module was given is written or counted as dropped, also after the failure.
    const std::string dropped = std::to_string(100000 - take.frames()) + " dropped, ended Failed";
    EXPECT_TRUE(contains(r.output, "frames written, " + dropped)) << r.output;
#endif
}

struct Refusal
{
    const char* name;
    std::string module;
    std::vector<unsigned char> bytes; // the file's content; empty: no file
    bool folder;                      // a folder at the path instead
    const char* says;
};

// A file the module refuses is reported in the module's words, as its editor would show them.
TEST(RenderTake, RefusalsAreInTheModulesOwnWords)
{
    const std::vector<unsigned char> truncated = {'R', 'I', 'F', 'F', 16, 0, 0, 0, 'W', 'A', 'V', 'E',
                                                  'j', 'u', 'n', 'k', 'j', 'u', 'n', 'k'};
    std::vector<unsigned char> eightBit = {'R', 'I', 'F', 'F', 40, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                           16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0,
                                           'd', 'a', 't', 'a', 4, 0, 0, 0, 1, 2, 3, 4};
    const std::vector<Refusal> cases{
        {"truncated chunk", player(), truncated, false, "\": Truncated WAV chunk"},
        {"8-bit PCM", player(), eightBit, false, "Unsupported WAV encoding/layout"},
        {"missing", player(), {}, false, "Cannot open WAV file (there is no file at that path)"},
        {"folder for a PLAYER", player(), {}, true, "is a folder; give a file"},
        {"folder for a RECORDER", recorder(), {}, true, "is a folder; give a file"},
    };
    for (const Refusal& c : cases)
    {
        TempDir dir;
        const auto file = dir / "x.wav";
        if (c.folder)
            std::filesystem::create_directory(file);
        else if (!c.bytes.empty())
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
        const RenderRun r = render({c.module, "--length", "100", "--file", text(file)});
        EXPECT_EQ(r.exitCode, 1) << c.name << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, c.says)) << c.name << "\n" << r.output;
        EXPECT_FALSE(contains(r.output, "basic_")) << c.name << "\n" << r.output; // no library text
    }
}

// An output past the WAV size limit is refused before anything runs: no take is armed either.
TEST(RenderTake, OversizedOutputIsRefusedBeforeRendering)
{
    TempDir dir;
    const RenderRun r = render({recorder(), "--length", "600000000", "--play", "--file", text(dir / "rec.wav"), "--out",
                          text(dir / "out.wav")});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(contains(r.output, "more than a WAV file holds")) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "rec.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
}

} // namespace
} // namespace kestravel::plugins::testing_support
