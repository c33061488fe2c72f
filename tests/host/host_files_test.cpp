// The host's WAV files, state framing and command-line table.
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "arguments.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/wav.h"

namespace kestravel::plugins {
namespace {

std::filesystem::path tempFile(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("kestravel-host-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + name);
}

void writeBytes(const std::filesystem::path& p, const std::vector<unsigned char>& bytes)
{
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A RIFF file from chunks given as raw bytes.
std::vector<unsigned char> riff(const std::vector<std::pair<std::string, std::vector<unsigned char>>>& chunks)
{
    // Built in one vector: g++ 12 -O3 (mingw) flags a header-then-insert copy as out of bounds.
    std::vector<unsigned char> body{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const auto& [id, data] : chunks)
    {
        body.insert(body.end(), id.begin(), id.end());
        const auto n = static_cast<std::uint32_t>(data.size());
        for (int i = 0; i < 4; ++i)
            body.push_back(static_cast<unsigned char>(n >> (8 * i)));
        body.insert(body.end(), data.begin(), data.end());
        if (n % 2 == 1)
            body.push_back(0);
    }
    return body;
}

std::vector<unsigned char> fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits)
{
    const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
    const std::uint32_t bytesPerSecond = rate * align;
    std::vector<unsigned char> f;
    auto put = [&f](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            f.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    put(tag, 2);
    put(channels, 2);
    put(rate, 4);
    put(bytesPerSecond, 4);
    put(align, 2);
    put(bits, 2);
    return f;
}

TEST(Wav, FloatFilesRoundTripAndSixteenBitDecodesToFullScale)
{
    WavAudio a;
    a.channels = 3;
    a.sampleRate = 96000;
    a.samples = {0.0f, -1.0f, 1.5f, 0.25f, -0.0f, 1e-30f};
    const auto path = tempFile("float.wav");
    writeWavFloat(path, a);
    EXPECT_EQ(std::filesystem::file_size(path), 44u + 6 * 4);
    const WavAudio b = readWav(path);
    EXPECT_EQ(b.channels, 3u);
    EXPECT_EQ(b.sampleRate, 96000u);
    EXPECT_EQ(std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * 4), 0);

    // An odd-sized chunk before the data is skipped with its pad byte.
    writeBytes(path, riff({{"LIST", {1, 2, 3}}, {"fmt ", fmt(1, 1, 44100, 16)}, {"data", {0x00, 0x80, 0xFF, 0x7F, 0x00, 0x40}}}));
    const WavAudio c = readWav(path);
    EXPECT_EQ(c.samples, (std::vector<float>{-1.0f, 32767.0f / 32768.0f, 0.5f}));
    std::filesystem::remove(path);
}

TEST(Wav, RefusesWhatItCannotReadWithTheReason)
{
    const auto path = tempFile("bad.wav");
    const std::vector<std::pair<std::vector<unsigned char>, std::string>> cases{
        {{'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, "is not a RIFF WAVE file"},
        {riff({{"data", {0, 0}}}), "has no format chunk"},
        {riff({{"fmt ", fmt(1, 2, 48000, 24)}, {"data", {}}}), "use 16-bit PCM or 32-bit float"},
        {riff({{"fmt ", fmt(1, 0, 48000, 16)}}), "declares no channels"},
        {[] {
             auto f = riff({{"fmt ", fmt(3, 1, 48000, 32)}, {"data", {0, 0, 0, 0}}});
             f[f.size() - 8] = 200; // the data chunk claims more than the file holds
             return f;
         }(),
         "truncated"},
    };
    for (const auto& [bytes, reason] : cases)
    {
        writeBytes(path, bytes);
        try
        {
            readWav(path);
            ADD_FAILURE() << "accepted; expected: " << reason;
        }
        catch (const HostError& e)
        {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    std::filesystem::remove(path);
    EXPECT_THROW(readWav(path), HostError);
}

TEST(ModuleState, FramingAndPathEditKeepTheRestOfTheDocument)
{
    const std::string text = R"({"kind":2,"parameters":[0.5,0,1.0],"path":"","schema":1})";
    const auto framed = frameStateText(text);
    ASSERT_EQ(framed.size(), text.size() + 4);
    EXPECT_EQ(framed[0], text.size());
    EXPECT_EQ(framed[1], 0);
    EXPECT_EQ(unframeStateText(framed), text);
    auto longer = framed;
    longer.push_back(' ');
    EXPECT_FALSE(unframeStateText(longer)) << "bytes beyond the stated length";
    EXPECT_FALSE(unframeStateText({1, 0, 0}));

    const std::string edited = withStatePath(text, "C:/Audio/t\xC3\xA4ke.wav");
    EXPECT_EQ(edited, R"({"kind":2,"parameters":[0.5,0,1.0],"path":"C:/Audio/t)" "\xC3\xA4" R"(ke.wav","schema":1})");
    EXPECT_EQ(statePath(edited), "C:/Audio/t\xC3\xA4ke.wav");
    EXPECT_THROW(withStatePath("[1,2]", "x"), HostError);

    // The indented form reads back as the same document, numbers written as before.
    const std::string pretty = prettyStateText(edited);
    EXPECT_NE(pretty.find("\n    0.5, 0, 1.0\n  ],\n"), std::string::npos) << pretty;
    EXPECT_EQ(withStatePath(pretty, "C:/Audio/t\xC3\xA4ke.wav"), edited);
    EXPECT_THROW(withStatePath(text, "bad\xFF"), HostError);
}

constexpr std::string_view kPositionals[] = {"BUNDLE"};
constexpr OptionSpec kOptions[] = {
    {"play", OptionKind::Flag, "", ""},
    {"block", OptionKind::Value, "N", ""},
    {"param", OptionKind::List, "ID=VALUE", ""},
    {"out", OptionKind::Value, "OUT", "", true},
};
int noRun(const Arguments&, std::ostream&) { return 0; }
const CommandSpec kCommand{"demo", kPositionals, kOptions, noRun, ""};

Arguments parse(std::vector<std::string> args) { return parseArguments(kCommand, args); }

TEST(Arguments, TheTableDecidesWhatIsAccepted)
{
    const Arguments a = parse({"b.vst3", "--out=x.wav", "--play", "--param", "1=0.5", "--param", "2=1", "--block", "64"});
    EXPECT_EQ(a.positional(0), "b.vst3");
    EXPECT_TRUE(a.has("play"));
    EXPECT_EQ(a.value("out"), "x.wav");
    EXPECT_EQ(a.values("param"), (std::vector<std::string>{"1=0.5", "2=1"}));
    EXPECT_EQ(a.integer("block", 512, 1, 65536), 64);
    EXPECT_EQ(parse({"b", "--out", "o"}).integer("block", 512, 1, 65536), 512);

    const std::vector<std::vector<std::string>> wrong{
        {"--out", "o"},                      // no bundle
        {"b", "c", "--out", "o"},            // one positional too many
        {"b"},                               // --out is required
        {"b", "--out"},                      // value missing
        {"b", "--out", "o", "--out", "p"},   // a value option twice
        {"b", "--out", "o", "--play=yes"},   // a flag with a value
        {"b", "--out", "o", "--loud"},       // unknown option
    };
    for (const auto& args : wrong)
        EXPECT_THROW(parse(args), UsageError) << args.size();
    const std::vector<std::string> badBlocks{"0", "65537", "12x", "", "1e3"};
    for (const auto& block : badBlocks)
        EXPECT_THROW(parse({"b", "--out", "o", "--block", block}).integer("block", 512, 1, 65536), UsageError) << block;
}

} // namespace
} // namespace kestravel::plugins
