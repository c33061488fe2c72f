#include "fileaudio/preloaded_audio.h"
#include "fileaudio/wav_source.h"
#include "wav_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

namespace kestravel::plugins::testing {
namespace {

constexpr char kUnsupported[] = "Unsupported WAV encoding/layout";

// Loads bytes from a scratch file; returns the message of the error, or "" on success.
std::string loadError(const Bytes& bytes, uint64_t limit = kPreloadLimitBytes,
                      PreloadedAudio* out = nullptr)
{
    TempDir tmp;
    writeAll(tmp.path("in.wav"), bytes);
    try {
        PreloadedAudio a = loadWav(tmp.wide("in.wav"), limit);
        if (out)
            *out = std::move(a);
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

PreloadedAudio load(const Bytes& bytes)
{
    PreloadedAudio a;
    const std::string error = loadError(bytes, kPreloadLimitBytes, &a);
    EXPECT_EQ(error, "");
    return a;
}

Bytes stereo16(size_t frames)
{
    return simpleWav(1, 2, 48000, 16, randomBytes(frames * 4, 7));
}

struct BadFile {
    const char* name;
    Bytes bytes;
    std::string message;
    uint64_t limit = kPreloadLimitBytes;
};

class MalformedWav : public ::testing::TestWithParam<BadFile> {};

TEST_P(MalformedWav, FailsWithItsMessage)
{
    EXPECT_EQ(loadError(GetParam().bytes, GetParam().limit), GetParam().message);
}

Bytes withTag(uint16_t tag, uint16_t bits, uint16_t channels = 2, uint32_t rate = 48000)
{
    const auto align = static_cast<uint16_t>(channels * ((bits + 7) / 8));
    return riffFile({{"fmt ", fmtBody(tag, channels, rate, align, bits)}, {"data", Bytes(align * 4u)}});
}

std::vector<BadFile> badFiles()
{
    const Bytes data16(8);
    std::vector<BadFile> t = {
        {"Empty", {}, "Only RIFF WAV supported"},
        {"ElevenBytes", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V'}, "Only RIFF WAV supported"},
        {"Rifx", {'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, "Only RIFF WAV supported"},
        {"NotWave", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, "Only RIFF WAV supported"},
        {"HeaderOnly", riffFile({}), kUnsupported},
        {"NineteenBytes", {'R', 'I', 'F', 'F', 11, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0},
         kUnsupported},
        {"NoFmt", riffFile({{"data", data16}}), kUnsupported},
        {"FmtOverrunsFile", riffFile({{"fmt ", Bytes(10), 16}}), "Truncated WAV chunk"},
        {"HugeDataSize", riffFile({{"fmt ", fmtBody(1, 2, 48000, 4, 16)}, {"data", data16, 0xFFFFFFFFu}}),
         "Truncated WAV chunk"},
        {"HugeFmtSize", riffFile({{"fmt ", fmtBody(1, 2, 48000, 4, 16), 0xFFFFFFF0u}}), "Truncated WAV chunk"},
        // The overrun test comes before the size limits of "fmt ".
        {"LongFmtOverruns", riffFile({{"fmt ", Bytes(100), 5000}}), "Truncated WAV chunk"},
        {"Fmt15", riffFile({{"fmt ", Bytes(15)}, {"data", data16}}), "Invalid WAV format"},
        {"Fmt4097", riffFile({{"fmt ", fmtBody(1, 2, 48000, 4, 16, 4097)}, {"data", data16}}),
         "Invalid WAV format"},
        {"Extensible39", riffFile({{"fmt ", extensibleFmtBody(1, 2, 48000, 4, 16, 39)}, {"data", data16}}),
         "Invalid extensible WAV"},
        {"Extensible16", riffFile({{"fmt ", fmtBody(0xFFFE, 2, 48000, 4, 16)}, {"data", data16}}),
         "Invalid extensible WAV"},
        {"DataOverLimit", riffFile({{"fmt ", fmtBody(3, 1, 48000, 4, 32)}, {"data", Bytes(1004)}}),
         "WAV exceeds preload limit", 1000},
        // The data limit is checked while walking, before the format is even known.
        {"DataOverLimitBeforeFmt", riffFile({{"data", Bytes(1004)}, {"fmt ", Bytes(3)}}),
         "WAV exceeds preload limit", 1000},
        {"DecodedOverLimit", riffFile({{"fmt ", fmtBody(1, 1, 48000, 2, 16)}, {"data", Bytes(504)}}),
         "Decoded WAV exceeds preload limit", 1000},
        {"ZeroChannels", withTag(1, 16, 0), kUnsupported},
        {"SixtyFiveChannels", withTag(1, 16, 65), kUnsupported},
        {"Rate7999", withTag(1, 16, 2, 7999), kUnsupported},
        {"Rate384001", withTag(1, 16, 2, 384001), kUnsupported},
        {"ZeroBlockAlign", riffFile({{"fmt ", fmtBody(1, 2, 48000, 0, 16)}, {"data", data16}}), kUnsupported},
        {"Int24InFourBytes", riffFile({{"fmt ", fmtBody(1, 2, 48000, 8, 24)}, {"data", Bytes(16)}}),
         kUnsupported},
        {"DataNotWholeFrames", riffFile({{"fmt ", fmtBody(1, 2, 48000, 4, 16)}, {"data", Bytes(6)}}),
         kUnsupported},
        {"Pcm8", withTag(1, 8), kUnsupported},
        {"Pcm20", withTag(1, 20), kUnsupported},
        {"Float64", withTag(3, 64), kUnsupported},
        {"Float16", withTag(3, 16), kUnsupported},
        {"Adpcm", withTag(2, 16), kUnsupported},
        {"Alaw", withTag(6, 16), kUnsupported},
        {"ExtensibleAdpcm", riffFile({{"fmt ", extensibleFmtBody(2, 2, 48000, 4, 16)}, {"data", data16}}),
         kUnsupported},
        // A truncated chunk before the samples is an error ...
        {"TruncatedBeforeData",
         riffFile({{"fmt ", fmtBody(1, 2, 48000, 4, 16)}, {"LIST", Bytes(4), 400}}), "Truncated WAV chunk"},
    };
    return t;
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedWav, ::testing::ValuesIn(badFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

// Every cut of a valid file fails with the message of the field it cuts through.
TEST(WavReader, TruncatedAtEachHeaderField)
{
    const Bytes whole = stereo16(4); // fmt header at 12, body 20..35, data header 36..43
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        std::string expected;
        if (cut < 12)
            expected = "Only RIFF WAV supported";
        else if (cut < 20)
            expected = kUnsupported;
        else if (cut < 36)
            expected = "Truncated WAV chunk";
        else if (cut < 44)
            expected = ""; // a whole "fmt " and no "data": an empty file
        else
            expected = "Truncated WAV chunk";
        EXPECT_EQ(loadError(part), expected) << "cut at " << cut;
    }
}

TEST(WavReader, OpenFailures)
{
    TempDir tmp;
    std::filesystem::create_directory(tmp.path("folder.wav"));
    for (const std::u16string& path : {tmp.wide("missing.wav"), tmp.wide("folder.wav"),
                                       tmp.wide("") + u"bad\xD800.wav"}) {
        try {
            loadWav(path, kPreloadLimitBytes);
            ADD_FAILURE() << "loaded";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Cannot open WAV file");
        }
    }
}

// Independent reference conversions, in double, of one stored sample.
float reference(uint16_t tag, uint16_t bits, const uint8_t* p)
{
    if (tag == 3) {
        float f;
        std::memcpy(&f, p, 4);
        return std::isfinite(f) ? f : 0.0f;
    }
    int64_t v = 0;
    for (int i = bits / 8 - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    if (v >= (int64_t{1} << (bits - 1)))
        v -= int64_t{1} << bits;
    // 32-bit values first round to single precision, then scale by a power of two.
    const double rounded = bits == 32 ? static_cast<double>(static_cast<float>(v)) : static_cast<double>(v);
    return static_cast<float>(rounded / std::ldexp(1.0, bits - 1));
}

struct Format {
    const char* name;
    uint16_t tag;
    uint16_t bits;
    bool extensible;
};

class DecodeFormat : public ::testing::TestWithParam<Format> {};

// Random data larger than one decoding slice, three channels, against the reference.
TEST_P(DecodeFormat, MatchesReferenceAcrossSlices)
{
    const Format f = GetParam();
    const uint16_t channels = 3;
    const size_t frames = 100003;
    const size_t width = f.bits / 8u;
    Bytes data = randomBytes(frames * channels * width, f.tag * 100u + f.bits);
    const auto align = static_cast<uint16_t>(channels * width);
    const Bytes fmt = f.extensible ? extensibleFmtBody(f.tag, channels, 96000, align, f.bits)
                                   : fmtBody(f.tag, channels, 96000, align, f.bits);
    const PreloadedAudio a = load(riffFile({{"fmt ", fmt}, {"data", data}}));
    ASSERT_EQ(a.channels, channels);
    ASSERT_EQ(a.sampleRate, 96000u);
    ASSERT_EQ(a.samples.size(), frames * channels);
    size_t mismatches = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        const float want = reference(f.tag, f.bits, data.data() + i * width);
        if (std::memcmp(&want, &a.samples[i], 4) != 0 && mismatches++ < 5)
            ADD_FAILURE() << "sample " << i << ": " << a.samples[i] << " != " << want;
    }
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecodeFormat,
                         ::testing::Values(Format{"Pcm16", 1, 16, false}, Format{"Pcm24", 1, 24, false},
                                           Format{"Pcm32", 1, 32, false}, Format{"Float", 3, 32, false},
                                           Format{"ExtensiblePcm24", 1, 24, true},
                                           Format{"ExtensibleFloat", 3, 32, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WavReader, ExactValues)
{
    struct Case {
        uint16_t tag;
        uint16_t bits;
        Bytes stored;
        float value;
    };
    const float inf = std::numeric_limits<float>::infinity();
    auto f32 = [](float v) { return floatData({v}); };
    const Case cases[] = {
        {1, 16, {0x00, 0x80}, -1.0f},
        {1, 16, {0xFF, 0x7F}, 32767.0f / 32768.0f},
        {1, 16, {0xFF, 0xFF}, -1.0f / 32768.0f},
        {1, 24, {0x00, 0x00, 0x80}, -1.0f},
        {1, 24, {0xFF, 0xFF, 0x7F}, 8388607.0f / 8388608.0f},
        {1, 24, {0xFF, 0xFF, 0xFF}, -1.0f / 8388608.0f},
        {1, 32, {0x00, 0x00, 0x00, 0x80}, -1.0f},
        {1, 32, {0xFF, 0xFF, 0xFF, 0x7F}, 1.0f}, // 2^31 - 1 rounds up in single precision
        {1, 32, {0x00, 0x01, 0x00, 0x00}, 1.0f / 8388608.0f},
        {3, 32, f32(1.5f), 1.5f}, // float files are not clipped
        {3, 32, f32(-0.0f), -0.0f},
        {3, 32, f32(1e-40f), 1e-40f},
        {3, 32, f32(std::nanf("")), 0.0f},
        {3, 32, f32(inf), 0.0f},
        {3, 32, f32(-inf), 0.0f},
        {3, 32, {0x01, 0x00, 0x80, 0xFF}, 0.0f}, // a signalling NaN pattern
    };
    for (const Case& c : cases) {
        const PreloadedAudio a = load(simpleWav(c.tag, 1, 44100, c.bits, c.stored));
        ASSERT_EQ(a.samples.size(), 1u);
        EXPECT_EQ(std::memcmp(&a.samples[0], &c.value, 4), 0)
            << "tag " << c.tag << " bits " << c.bits << ": " << a.samples[0] << " != " << c.value;
    }
}

TEST(WavReader, ChunkOrderPaddingAndRiffSize)
{
    const Bytes data = randomBytes(4 * 6, 3);
    const Bytes fmt = fmtBody(1, 2, 44100, 4, 16);
    const PreloadedAudio plain = load(riffFile({{"fmt ", fmt}, {"data", data}}));
    ASSERT_EQ(plain.frames(), 6u);

    const Bytes odd = {'x', 'y', 'z'};
    struct Variant {
        const char* name;
        Bytes bytes;
    };
    const Variant same[] = {
        {"data first", riffFile({{"data", data}, {"fmt ", fmt}})},
        {"odd chunk and pad before fmt", riffFile({{"LIST", odd}, {"fmt ", fmt}, {"junk", odd}, {"data", data}})},
        {"RIFF size 0", riffFile({{"fmt ", fmt}, {"data", data}}, 0)},
        {"RIFF size all ones", riffFile({{"fmt ", fmt}, {"data", data}}, 0xFFFFFFFFu)},
        {"later data replaces", riffFile({{"data", Bytes(400)}, {"fmt ", fmt}, {"data", data}})},
        {"later fmt overwrites", riffFile({{"fmt ", fmtBody(3, 1, 8000, 4, 32)}, {"data", data}, {"fmt ", fmt}})},
        {"fmt of exactly 4096", riffFile({{"fmt ", fmtBody(1, 2, 44100, 4, 16, 4096)}, {"data", data}})},
        {"odd last chunk without its pad", riffFile({{"fmt ", fmt}, {"data", data}, {"note", odd, {}, false}})},
        // ... but bytes after the samples that do not form a chunk (a recording cut short
        // by a crash) cannot hide audio that is complete.
        {"garbage after data", [&] {
             Bytes b = riffFile({{"fmt ", fmt}, {"data", data}});
             const Bytes tail = {'z', 'z', 'z', 'z', 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
             b.insert(b.end(), tail.begin(), tail.end());
             return b;
         }()},
    };
    for (const Variant& v : same) {
        const PreloadedAudio a = load(v.bytes);
        EXPECT_EQ(a.channels, 2u) << v.name;
        EXPECT_EQ(a.sampleRate, 44100u) << v.name;
        EXPECT_EQ(a.samples, plain.samples) << v.name;
    }

    const PreloadedAudio empty = load(riffFile({{"fmt ", fmt}, {"LIST", odd}}));
    EXPECT_EQ(empty.channels, 2u);
    EXPECT_EQ(empty.frames(), 0u);
}

TEST(WavReader, FormatLimitsAccepted)
{
    struct Case {
        uint16_t channels;
        uint32_t rate;
    };
    for (const Case c : {Case{64, 8000}, Case{1, 384000}, Case{64, 384000}}) {
        const auto align = static_cast<uint16_t>(c.channels * 4);
        const PreloadedAudio a = load(riffFile({{"fmt ", fmtBody(3, c.channels, c.rate, align, 32)},
                                                {"data", Bytes(align * 3u)}}));
        EXPECT_EQ(a.channels, c.channels);
        EXPECT_EQ(a.sampleRate, c.rate);
        EXPECT_EQ(a.frames(), 3u);
    }
}

// Sparse files: the real 512 MiB limits without writing or decoding that much.
TEST(WavReader, PreloadLimitOnLargeFiles)
{
    struct Case {
        const char* name;
        uint16_t tag;
        uint16_t bits;
        uint32_t dataBytes;
        std::string message;
    };
    const Case cases[] = {
        {"float one byte over", 3, 32, 536870913u, "WAV exceeds preload limit"},
        {"16-bit of 300 MiB", 1, 16, 300u << 20, "Decoded WAV exceeds preload limit"},
        {"24-bit of 390 MiB", 1, 24, 390u * 1024u * 1024u, "Decoded WAV exceeds preload limit"},
    };
    TempDir tmp;
    for (const Case& c : cases) {
        const auto align = static_cast<uint16_t>(c.bits / 8);
        Bytes head = riffFile({{"fmt ", fmtBody(c.tag, 1, 48000, align, c.bits)}});
        head.insert(head.end(), {'d', 'a', 't', 'a'});
        put32(head, c.dataBytes);
        writeAll(tmp.path("big.wav"), head);
        std::filesystem::resize_file(tmp.path("big.wav"), head.size() + c.dataBytes);
        try {
            loadWav(tmp.wide("big.wav"), kPreloadLimitBytes);
            ADD_FAILURE() << c.name << " loaded";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.message) << c.name;
        }
    }
}

// A take cut short by a crash: zeros after the samples its header admits. They read as empty
// chunks, and the walk gets past a long run of them at once (it took tens of seconds 8 bytes at
// a time); what comes after the run is still found at the same place.
TEST(WavReader, ZerosBehindTheSamplesCostNoTime)
{
    std::vector<float> values(64 * 10);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(i) / 1024.0f;
    const Bytes samples = floatData(values);
    const Bytes other = floatData(std::vector<float>(64 * 4, -0.5f));
    const struct {
        const char* name;
        uint64_t zeros;    // after the data chunk
        bool dataAfter;    // a second data chunk after the zeros (the last one counts)
        uint64_t frames;
    } cases[] = {
        {"OneSecondAt384kHzOf64Channels", uint64_t{64} * 4 * 384000, false, 10},
        {"RunThenAnotherDataChunk", 40, true, 4},
        {"LongRunThenAnotherDataChunk", 4096 + 8, true, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        Bytes bytes = riffFile({{"fmt ", fmtBody(3, 64, 384000, 256, 32)}, {"data", samples}});
        bytes.resize(bytes.size() + c.zeros, 0);
        if (c.dataAfter) {
            bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
            put32(bytes, static_cast<uint32_t>(other.size()));
            bytes.insert(bytes.end(), other.begin(), other.end());
            writeAll(tmp.path("take.wav"), bytes);
        } else {
            // Sparse: the zeros cost no disk.
            writeAll(tmp.path("take.wav"), Bytes(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(c.zeros)));
            std::filesystem::resize_file(tmp.path("take.wav"), bytes.size());
        }
        const auto began = std::chrono::steady_clock::now();
        const WavSource source = openWavSource(tmp.wide("take.wav"));
        const PreloadedAudio audio = loadWav(tmp.wide("take.wav"), kPreloadLimitBytes);
        // A hang guard, not a speed goal: the walk one empty chunk at a time took minutes here.
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(), 20.0);
        EXPECT_EQ(source.frames(), c.frames);
        EXPECT_EQ(audio.frames(), c.frames);
        const Bytes& want = c.dataAfter ? other : samples;
        Bytes got(want.size());
        std::memcpy(got.data(), audio.samples.data(), got.size());
        EXPECT_EQ(got, want);
    }
}

TEST(WavReader, NonAsciiPath)
{
    TempDir tmp;
    // Latin, CJK and a character outside the BMP (a surrogate pair in UTF-16).
    const std::u16string name = u"T\u00ebst-\u97f3\u58f0-\U0001F3B5.wav";
    const std::u16string path = u16(tmp.dir) + u"/" + name;
    const Bytes bytes = stereo16(10);
    writeAll(toFsPath(path), bytes);
    const PreloadedAudio a = loadWav(path, kPreloadLimitBytes);
    EXPECT_EQ(a.frames(), 10u);
    EXPECT_EQ(a.samples, load(bytes).samples);
}

} // namespace
} // namespace kestravel::plugins::testing
