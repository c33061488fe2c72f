// A PLAYER playing into a RECORDER on one host clock: the take must start on the first sample.
#include <fstream>
#include <iterator>

#include "bundle_test_support.h"
#include "kestravel_host/session.h"
#include "kestravel_host/utf.h"
#include "kestravel_host/wav.h"

namespace kestravel::plugins::testing_support {
namespace {

std::vector<char> fileBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A loud, never-silent source: every sample is at least 0.01 in magnitude.
WavAudio makeSource(std::uint32_t channels, std::uint32_t rate, std::size_t frames)
{
    WavAudio a;
    a.channels = channels;
    a.sampleRate = rate;
    for (std::size_t f = 0; f < frames; ++f)
        for (std::uint32_t c = 0; c < channels; ++c)
        {
            const float ramp = 0.01f + 0.9f * static_cast<float>((f * 7 + c * 13) % 1000) / 1000.0f;
            a.samples.push_back(f % 2 == 0 ? ramp : -ramp);
        }
    return a;
}

struct SessionCase
{
    const char* name;
    std::uint32_t channels;
    std::uint32_t rate;
    std::size_t frames;
    std::int32_t block;
    const char* folder; // UTF-8; the files live in this subfolder
};

void PrintTo(const SessionCase& c, std::ostream* os) { *os << c.name; }

class PlayerToRecorder : public ::testing::TestWithParam<SessionCase>
{
};

TEST_P(PlayerToRecorder, TakeStartsOnThePlayersFirstSampleAndEndsAfterTheTail)
{
    const SessionCase& c = GetParam();
    TempDir temp;
    const std::filesystem::path dir = temp.path() / pathFromUtf8(c.folder);
    std::filesystem::create_directories(dir);
    writeWavFloat(dir / "source.wav", makeSource(c.channels, c.rate, c.frames));

    SessionOptions options;
    options.playerBundle = bundlePath(kindByCode(5));
    options.recorderBundle = bundlePath(kindByCode(6));
    options.source = dir / "source.wav";
    options.take = dir / "take.wav";
    options.block = c.block;
    const SessionReport first = runSession(options, nullptr);
    EXPECT_EQ(first.armedTake, dir / "take.wav");
    EXPECT_EQ(first.startEvents, 1);
    EXPECT_GE(first.stopEvents, 1);
    EXPECT_EQ(first.takeChannels, c.channels);
    EXPECT_EQ(first.matchingFrames, static_cast<std::int64_t>(c.frames));
    EXPECT_TRUE(first.aligned());
    // The tail runs from the sample where the file ended until 0.5 s of silence; the frame
    // that completes the silence is not written.
    EXPECT_EQ(first.takeFrames, static_cast<std::int64_t>(c.frames) + c.rate / 2 - 1);
    EXPECT_TRUE(first.tailSilent);

    // The same destination again: the RECORDER arms a new take and leaves the first alone.
    const auto firstBytes = fileBytes(dir / "take.wav");
    const SessionReport second = runSession(options, nullptr);
    EXPECT_EQ(second.armedTake, dir / "take-take1.wav");
    EXPECT_TRUE(second.aligned());
    EXPECT_EQ(fileBytes(dir / "take.wav"), firstBytes);
}

INSTANTIATE_TEST_SUITE_P(Sources, PlayerToRecorder,
                         ::testing::Values(SessionCase{"Stereo48k", 2, 48000, 12000, 512, "plain"},
                                           SessionCase{"Mono44k1OddBlocks", 1, 44100, 10007, 333, "plain"},
                                           SessionCase{"NonAsciiFolder", 2, 48000, 4000, 256,
                                                       "Aufnahmen \xC3\xBC \xCE\xA9 \xE3\x83\x86"}),
                         [](const ::testing::TestParamInfo<SessionCase>& i) { return std::string(i.param.name); });

} // namespace
} // namespace kestravel::plugins::testing_support
