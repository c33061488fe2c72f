// rackhost as a user runs it: clear messages and exit codes for bad input, and the main paths.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "bundle_test_support.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module.h"
#include "kestravel_host/utf.h"
#include "kestravel_host/wav.h"
#include "run_rackhost.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kestravel::plugins::testing_support {
namespace {

using Outcome = ProgramRun;

Outcome rackhost(const std::vector<std::string>& args) { return runRackhost(args); }

std::string text(const std::filesystem::path& p) { return pathToUtf8(p); }

bool contains(const std::string& haystack, const std::string& needle) { return haystack.find(needle) != std::string::npos; }

std::filesystem::path binaryName(const std::string& stem)
{
#ifdef _WIN32
    return stem + ".vst3";
#else
    return stem + ".so";
#endif
}

const char* kArch =
#ifdef _WIN32
    "x86_64-win";
#else
    "x86_64-linux";
#endif

struct BadBundle
{
    const char* name;
    // Builds the bad input in dir and returns the path to hand to rackhost.
    std::filesystem::path (*make)(const TempDir& dir);
    const char* message;
};

const BadBundle kBadBundles[] = {
    {"missing path", [](const TempDir& d) { return d / "nothing-here.vst3"; }, "No such file or directory"},
    {"text file named like a bundle",
     [](const TempDir& d) {
         std::ofstream(d / "Fake.vst3") << "not a library";
         return d / "Fake.vst3";
     },
     "is not a VST 3 bundle or a loadable"},
    {"folder not named as a bundle",
     [](const TempDir& d) {
         std::filesystem::create_directories(d / "Plain" / "Contents");
         return d / "Plain";
     },
     "is a folder but not a VST 3 bundle"},
    {"bundle with its binary missing",
     [](const TempDir& d) {
         std::filesystem::create_directories(d / "Empty.vst3" / "Contents" / kArch);
         return d / "Empty.vst3";
     },
     "has no binary for"},
    {"bundle whose binary exports no GetPluginFactory",
     [](const TempDir& d) {
         const auto folder = d / "NoFactory.vst3" / "Contents" / kArch;
         std::filesystem::create_directories(folder);
         std::filesystem::copy_file(pathFromUtf8(KESTRAVEL_FIXTURE_NO_FACTORY), folder / binaryName("NoFactory"));
         return d / "NoFactory.vst3";
     },
     "does not export GetPluginFactory"},
    {"binary without GetPluginFactory given directly",
     [](const TempDir&) { return pathFromUtf8(KESTRAVEL_FIXTURE_NO_FACTORY); }, "does not export GetPluginFactory"},
    {"binary whose GetPluginFactory returns nothing",
     [](const TempDir&) { return pathFromUtf8(KESTRAVEL_FIXTURE_NULL_FACTORY); }, "returned no factory"},
#ifndef _WIN32
    {"binary without the Linux entry point",
     [](const TempDir&) { return pathFromUtf8(KESTRAVEL_FIXTURE_NO_ENTRY); }, "does not export ModuleEntry"},
#endif
};

TEST(Rackhost, BadBundlesGiveAClearMessageAndFail)
{
    for (const BadBundle& bad : kBadBundles)
    {
        SCOPED_TRACE(bad.name);
        TempDir dir;
        const auto path = bad.make(dir);
        for (const char* command : {"info", "bench"})
        {
            const Outcome o = rackhost({command, text(path)});
            EXPECT_EQ(o.exitCode, 1) << o.output;
            EXPECT_TRUE(contains(o.output, bad.message)) << o.output;
        }
        // The library's own error carries the same words.
        try
        {
            Module::load(path);
            ADD_FAILURE() << "loaded";
        }
        catch (const HostError& e)
        {
            EXPECT_TRUE(contains(e.what(), bad.message)) << e.what();
        }
    }
}

TEST(Rackhost, CommandLineMistakesAreUsageErrors)
{
    const std::string bundle = text(bundlePath(kindByCode(2)));
    const std::vector<std::vector<std::string>> mistakes{
        {},
        {"frobnicate"},
        {"info"},
        {"info", bundle, "extra"},
        {"render", bundle},
        {"render", bundle, "--out"},
        {"render", bundle, "--out", "x.wav", "--bogus"},
        {"render", bundle, "--out", "x.wav", "--length", "ten"},
        {"render", bundle, "--out", "x.wav", "--length", "10", "--param", "1=1.5"},
        {"render", bundle, "--out", "x.wav", "--length", "10", "--automate", "1@20=0.5"},
        {"render", bundle, "--out", "x.wav", "--length", "10", "--block", "0"},
        {"bench", bundle, "--channels", "65"},
        {"bench", bundle, "--input", "loud"},
        {"bench", bundle, "--param", "1=2"},
        {"bench", bundle, "--file", "x.wav", "--scratch-take"},
        {"state", "save", bundle},
        {"session", "--player", bundle},
    };
    for (const auto& args : mistakes)
    {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        const Outcome o = rackhost(args);
        EXPECT_EQ(o.exitCode, 2) << joined << "\n" << o.output;
        EXPECT_TRUE(contains(o.output, "usage")) << joined << "\n" << o.output;
    }
}

TEST(Rackhost, InfoShowsWhatTheScannerSees)
{
    const Outcome o = rackhost({"info", text(bundlePath(kindByCode(7)))});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    EXPECT_TRUE(contains(o.output, "vendor \"KESTRAVEL\"")) << o.output;
    EXPECT_TRUE(contains(o.output, "\"KESTRAVEL FADER BANK\""));
    EXPECT_TRUE(contains(o.output, "cid: 4B524143 4B555449 4C495459 00100007"));
    EXPECT_TRUE(contains(o.output, "sub-categories: \"Fx|Tools\""));
    EXPECT_TRUE(contains(o.output, "\"Output 64\""));
    EXPECT_TRUE(contains(o.output, "parameters: 130"));
    EXPECT_TRUE(contains(o.output, "\"Fader 64 mute\""));
}

TEST(Rackhost, RenderWritesTheModulesOutput)
{
    TempDir dir;
    WavAudio in;
    in.channels = 2;
    in.sampleRate = 44100;
    for (int i = 0; i < 8000; ++i) // 4000 stereo frames
        in.samples.push_back(static_cast<float>(i % 200) / 400.0f - 0.25f);
    writeWavFloat(dir / "in.wav", in);
    const Outcome o = rackhost({"render", text(bundlePath(kindByCode(2))), "--in", text(dir / "in.wav"), "--out",
                                text(dir / "out.wav"), "--block", "64", "--automate", "1@500=0"});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    const WavAudio out = readWav(dir / "out.wav");
    ASSERT_EQ(out.channels, 2u);
    EXPECT_EQ(out.sampleRate, 44100u);
    ASSERT_EQ(out.frames(), in.frames());
    // 0 dB until the automation point at frame 500, then the gain falls toward -90 dB.
    for (std::size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(out.samples[i], in.samples[i]) << i;
    EXPECT_LT(std::abs(out.samples.back()), 0.001f);
}

// --channels sets the main buses' width: a 6-channel file through PLAYER renders 6 outputs,
// each its own channel; a width the module refuses is an error, not a silent default.
TEST(Rackhost, RenderChannelsSetsTheMainBusWidth)
{
    TempDir dir;
    WavAudio in;
    in.channels = 6;
    in.sampleRate = 48000;
    for (int f = 0; f < 480; ++f)
        for (int c = 0; c < 6; ++c)
            in.samples.push_back(static_cast<float>(c + 1) / 8.0f);
    writeWavFloat(dir / "six.wav", in);
    Outcome o = rackhost({"render", text(bundlePath(kindByCode(5))), "--file", text(dir / "six.wav"), "--play",
                          "--length", "480", "--channels", "6", "--out", text(dir / "out.wav")});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    const WavAudio out = readWav(dir / "out.wav");
    ASSERT_EQ(out.channels, 6u);
    for (std::uint32_t c = 0; c < 6; ++c)
        EXPECT_EQ(out.at(100, c), static_cast<float>(c + 1) / 8.0f) << "channel " << c;

    o = rackhost({"render", text(bundlePath(kindByCode(3))), "--length", "64", "--channels", "8"});
    EXPECT_EQ(o.exitCode, 1) << o.output;
    EXPECT_TRUE(contains(o.output, "refuses 8 channels")) << o.output;
}

TEST(Rackhost, StateSaveAndLoadRoundTripAndRefuseBadText)
{
    TempDir dir;
    const std::string bundle = text(bundlePath(kindByCode(6)));
    Outcome o = rackhost({"state", "save", bundle, text(dir / "state.json")});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    o = rackhost({"state", "load", bundle, text(dir / "state.json")});
    EXPECT_EQ(o.exitCode, 0) << o.output;
    EXPECT_TRUE(contains(o.output, "setState: kResultOk")) << o.output;

    std::ofstream(dir / "bad.json") << "{\"schema\":1,\"kind\":6,\"parameters\":[]}";
    o = rackhost({"state", "load", bundle, text(dir / "bad.json")});
    EXPECT_EQ(o.exitCode, 1) << o.output;
    EXPECT_TRUE(contains(o.output, "setState: kResultFalse")) << o.output;
}

// PLAYER follows the timeline rackhost drives: a start anywhere, then jumps; with "Chase DAW
// position" off (id 5) every start plays the file from its first frame.
TEST(Rackhost, RenderDrivesThePlayersTimeline)
{
    TempDir dir;
    WavAudio clip;
    clip.channels = 1;
    clip.sampleRate = 48000;
    for (int i = 0; i < 8000; ++i)
        clip.samples.push_back(static_cast<float>(i % 1000 + 1) / 2000.0f);
    writeWavFloat(dir / "clip.wav", clip);
    const auto render = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"render", text(bundlePath(kindByCode(5))), "--file", text(dir / "clip.wav"),
                                      "--out", text(dir / "out.wav"), "--length", "1200", "--block", "128", "--play"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome o = rackhost(args);
        EXPECT_EQ(o.exitCode, 0) << o.output;
        return readWav(dir / "out.wav");
    };
    const WavAudio chased = render({"--start", "1000", "--locate", "300=5000", "--locate", "650=200"});
    ASSERT_EQ(chased.frames(), 1200u);
    const auto fade = static_cast<std::size_t>(96); // the crossfade after a jump
    for (std::size_t i = 0; i < 1200; ++i) {
        const std::size_t frame = i < 300 ? 1000 + i : i < 650 ? 5000 + (i - 300) : 200 + (i - 650);
        if ((i >= 300 && i < 300 + fade) || (i >= 650 && i < 650 + fade))
            continue;
        ASSERT_EQ(chased.samples[i * chased.channels], clip.samples[frame]) << i;
    }
    const WavAudio plain = render({"--start", "1000", "--locate", "300=5000", "--param", "5=0"});
    for (std::size_t i = 0; i < 1200; ++i)
        ASSERT_EQ(plain.samples[i * plain.channels], clip.samples[i]) << i;
}

TEST(Rackhost, PlayerRefusingItsFileIsReported)
{
    TempDir dir;
    const Outcome o = rackhost({"render", text(bundlePath(kindByCode(5))), "--out", text(dir / "out.wav"), "--length",
                                "100", "--file", text(dir / "missing.wav")});
    EXPECT_EQ(o.exitCode, 1) << o.output;
    EXPECT_TRUE(contains(o.output, "refused the file")) << o.output;
    EXPECT_TRUE(contains(o.output, "there is no file at that path")) << o.output;
}

TEST(Rackhost, SessionRecordsAnAlignedTake)
{
    TempDir dir;
    WavAudio src;
    src.channels = 2;
    src.sampleRate = 48000;
    for (int i = 0; i < 9600; ++i)
        src.samples.push_back(i % 2 == 0 ? 0.5f : -0.25f);
    writeWavFloat(dir / "src.wav", src);
    const std::vector<std::string> args{"session", "--player", text(bundlePath(kindByCode(5))), "--recorder",
                                        text(bundlePath(kindByCode(6))), "--in", text(dir / "src.wav"), "--take",
                                        text(dir / "take.wav")};
    Outcome o = rackhost(args);
    ASSERT_EQ(o.exitCode, 0) << o.output;
    EXPECT_TRUE(contains(o.output, "aligned: the take starts on the PLAYER's first sample")) << o.output;
    o = rackhost(args);
    ASSERT_EQ(o.exitCode, 0) << o.output;
    EXPECT_TRUE(contains(o.output, "take-take1.wav")) << o.output;
}

TEST(Rackhost, RenderGivesARecorderItsDestinationThroughItsState)
{
    TempDir dir;
    WavAudio in;
    in.channels = 2;
    in.sampleRate = 48000;
    for (int i = 0; i < 4800; ++i)
        in.samples.push_back(i % 2 == 0 ? 0.5f : -0.5f);
    writeWavFloat(dir / "in.wav", in);
    const Outcome o = rackhost({"render", text(bundlePath(kindByCode(6))), "--in", text(dir / "in.wav"), "--out",
                                text(dir / "out.wav"), "--play", "--file", text(dir / "rec.wav")});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    // Following the transport, the RECORDER takes every frame rendered with it playing.
    const WavAudio take = readWav(dir / "rec.wav");
    EXPECT_EQ(take.channels, 2u);
    EXPECT_EQ(take.samples, in.samples);
    EXPECT_EQ(readWav(dir / "out.wav").samples, in.samples);
}

// bench measures a module as it runs in a session: a PLAYER playing its file (started again
// when it ends), a RECORDER taking into a scratch file that is gone afterwards, settings and
// subnormal input; every run reports its ratio to a plain gain loop.
TEST(Rackhost, BenchRunsFileModulesSettingsAndSubnormalInput)
{
    TempDir dir;
    WavAudio clip;
    clip.channels = 2;
    clip.sampleRate = 48000;
    clip.samples.assign(2 * 2400, 0.25f); // 50 ms: runs out many times in the run
    writeWavFloat(dir / "clip.wav", clip);

    Outcome o = rackhost({"bench", text(bundlePath(kindByCode(5))), "--file", text(dir / "clip.wav"), "--play",
                          "--seconds", "0.3"});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    EXPECT_TRUE(contains(o.output, "module file: ")) << o.output;
    EXPECT_TRUE(contains(o.output, "transport playing")) << o.output;
    EXPECT_TRUE(contains(o.output, "the file ran out and was started again")) << o.output;
    EXPECT_TRUE(contains(o.output, "times that")) << o.output;

    o = rackhost({"bench", text(bundlePath(kindByCode(6))), "--scratch-take", "--seconds", "0.3"});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    const auto at = o.output.find("module file: ");
    ASSERT_NE(at, std::string::npos) << o.output;
    const auto end = o.output.find('\n', at);
    const std::filesystem::path take = pathFromUtf8(o.output.substr(at + 13, end - at - 13));
    EXPECT_EQ(take.filename(), "take.wav") << o.output;
    EXPECT_FALSE(std::filesystem::exists(take.parent_path())) << "the scratch folder stays behind";

    o = rackhost({"bench", text(bundlePath(kindByCode(7))), "--double", "--block", "32", "--input", "subnormal",
                  "--param", "0=0", "--param", "100=0.5", "--seconds", "0.2"});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    EXPECT_TRUE(contains(o.output, "64-bit")) << o.output;
    EXPECT_TRUE(contains(o.output, "input: subnormal, transport stopped, 2 parameter value(s)")) << o.output;
}

TEST(Rackhost, SnapshotWritesTheEditorAsPng)
{
    TempDir dir;
    const Outcome o = rackhost({"snapshot", text(bundlePath(kindByCode(8))), "--out", text(dir / "editor.png"),
                                "--param", "0=1"});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    std::ifstream png(dir / "editor.png", std::ios::binary);
    unsigned char head[24] = {};
    png.read(reinterpret_cast<char*>(head), sizeof head);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(head, signature, 8), 0);
    auto be32 = [&](int at) {
        return static_cast<std::uint32_t>(head[at]) << 24 | static_cast<std::uint32_t>(head[at + 1]) << 16 |
               static_cast<std::uint32_t>(head[at + 2]) << 8 | head[at + 3];
    };
    EXPECT_EQ(be32(16), 960u);
    EXPECT_EQ(be32(20), 580u);

    // At a display scale the editor draws itself larger.
    const Outcome scaled = rackhost({"snapshot", text(bundlePath(kindByCode(8))), "--out",
                                     text(dir / "editor2x.png"), "--scale", "2"});
    ASSERT_EQ(scaled.exitCode, 0) << scaled.output;
    std::ifstream png2(dir / "editor2x.png", std::ios::binary);
    png2.read(reinterpret_cast<char*>(head), sizeof head);
    EXPECT_EQ(be32(16), 1920u);
    EXPECT_EQ(be32(20), 1160u);
    for (const char* bad : {"0", "4.5", "nan", "-1"}) {
        const Outcome refused = rackhost({"snapshot", text(bundlePath(kindByCode(8))), "--out",
                                          text(dir / "bad.png"), "--scale", bad});
        EXPECT_NE(refused.exitCode, 0) << bad;
    }
}


// --in plays a file through the module first: the picture then shows its meters with signal,
// so it differs from the silent one. A file that cannot be read is an error.
TEST(Rackhost, SnapshotInShowsTheLevels)
{
    TempDir dir;
    WavAudio loud;
    loud.channels = 2;
    loud.sampleRate = 48000;
    for (int i = 0; i < 4800; ++i)
        for (int c = 0; c < 2; ++c)
            loud.samples.push_back(i % 100 == 0 ? 1.0f : 0.25f);
    writeWavFloat(dir / "loud.wav", loud);
    const auto bytes = [](const std::filesystem::path& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    const std::string bundle = text(bundlePath(kindByCode(2)));
    Outcome o = rackhost({"snapshot", bundle, "--out", text(dir / "silent.png")});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    o = rackhost({"snapshot", bundle, "--in", text(dir / "loud.wav"), "--out", text(dir / "loud.png")});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    EXPECT_NE(bytes(dir / "silent.png"), bytes(dir / "loud.png"));
    o = rackhost({"snapshot", bundle, "--in", text(dir / "missing.wav"), "--out", text(dir / "x.png")});
    EXPECT_NE(o.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

} // namespace
} // namespace kestravel::plugins::testing_support
