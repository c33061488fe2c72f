// WAV reader: walks the chunks noting where the samples are, validates the format, then decodes
// the samples slice by slice straight into the final array, so memory peaks at about the
// decoded size instead of raw plus decoded.

#include "fileaudio/bext_chunk.h"
#include "fileaudio/native_file.h"
#include "fileaudio/preloaded_audio.h"
#include "fileaudio/wav_source.h"
#include "core/text_utf.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <vector>

namespace kestravel::plugins {

static_assert(std::endian::native == std::endian::little, "sample decoding assumes little endian");

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kMinFmtBytes = 16;
constexpr uint32_t kMaxFmtBytes = 4096;
constexpr uint32_t kExtensibleFmtBytes = 40;

// Samples per slice: the raw slice stays in cache between reading and converting.
constexpr size_t kSliceSamples = size_t{1} << 18;

[[noreturn]] void fail(const char* message)
{
    throw std::runtime_error(message);
}

uint16_t le16(const uint8_t* p) noexcept
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p) noexcept
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct WavLayout {
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t formatTag = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0;
    std::optional<BextChunk> bext;
};

void readExactly(const NativeFile& file, uint64_t offset, void* dst, size_t n)
{
    std::error_code ec;
    if (file.readAt(offset, dst, n, ec) != n)
        fail("Cannot read WAV data");
}

void takeFormat(const uint8_t* fmt, uint32_t size, WavLayout& layout)
{
    layout.formatTag = le16(fmt);
    layout.channels = le16(fmt + 2);
    layout.sampleRate = le32(fmt + 4);
    layout.blockAlign = le16(fmt + 12);
    layout.bitsPerSample = le16(fmt + 14);
    if (layout.formatTag == kFormatExtensible) {
        if (size < kExtensibleFmtBytes)
            fail("Invalid extensible WAV");
        layout.formatTag = le16(fmt + 24); // first two bytes of the sub-format identifier
    }
}

// From an all-zero chunk header at p: the first 8-byte step after it whose header is not all
// zeros (or the end of the file), as the walk would reach it one empty chunk at a time.
uint64_t skipZeroHeaders(const NativeFile& file, uint64_t p, uint64_t fileSize, std::vector<uint8_t>& buffer)
{
    constexpr size_t kBlock = size_t{1} << 20;
    buffer.resize(kBlock);
    uint64_t at = p; // every byte before it is zero
    while (at < fileSize) {
        const auto want = static_cast<size_t>(std::min<uint64_t>(kBlock, fileSize - at));
        std::error_code ec;
        const size_t got = file.readAt(at, buffer.data(), want, ec);
        if (ec)
            fail("Cannot read WAV data");
        const auto end = buffer.begin() + static_cast<std::ptrdiff_t>(got);
        const auto nonZero = std::find_if(buffer.begin(), end, [](uint8_t b) { return b != 0; });
        if (nonZero != end)
            return p + (at + static_cast<uint64_t>(nonZero - buffer.begin()) - p) / 8 * 8;
        if (got < want)
            break; // the file shrank under us
        at += got;
    }
    return fileSize; // zeros to the end: nothing more to walk
}

// Walks every chunk; remembers where the last "data" chunk lies instead of reading it.
WavLayout walkChunks(const NativeFile& file, uint64_t fileSize, uint64_t limitBytes)
{
    WavLayout layout;
    if (fileSize < 20)
        return layout;
    bool sawData = false;
    uint8_t fmt[kMaxFmtBytes];
    uint64_t p = 12;
    std::vector<uint8_t> zeros;
    while (p + 8 <= fileSize) {
        uint8_t header[8];
        std::error_code ec;
        if (file.readAt(p, header, 8, ec) != 8) {
            if (ec)
                fail("Cannot read WAV data");
            break; // the file shrank under us: nothing more to walk
        }
        if (std::all_of(header, header + 8, [](uint8_t b) { return b == 0; })) {
            // Zeros (a take cut short by a crash leaves them behind its header) walk as empty
            // chunks 8 bytes at a time: skip the whole run with large reads instead.
            p = skipZeroHeaders(file, p, fileSize, zeros);
            continue;
        }
        const uint64_t s = le32(header + 4);
        if (s > fileSize - (p + 8)) {
            // Bytes trailing a complete "data" chunk that do not form a chunk (a recording cut
            // short by a crash, a damaged trailer) cannot hold the format or the samples: stop.
            if (sawData)
                break;
            fail("Truncated WAV chunk");
        }
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (s < kMinFmtBytes || s > kMaxFmtBytes)
                fail("Invalid WAV format");
            readExactly(file, p + 8, fmt, static_cast<size_t>(s));
            takeFormat(fmt, static_cast<uint32_t>(s), layout);
        } else if (std::memcmp(header, "bext", 4) == 0 && s >= kBextTimeReferenceEnd) {
            uint8_t body[kBextBodyBytes];
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(s, kBextBodyBytes));
            readExactly(file, p + 8, body, n);
            layout.bext = decodeBext(body, n);
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (s > limitBytes)
                fail("WAV exceeds preload limit");
            layout.dataOffset = p + 8;
            layout.dataBytes = s;
            sawData = true;
        }
        p += 8 + s + (s & 1); // odd chunks carry a pad byte
    }
    return layout;
}

void validate(const WavLayout& l)
{
    const bool ok = l.channels >= 1 && l.channels <= 64 && l.sampleRate >= 8000 &&
                    l.sampleRate <= 384000 && l.blockAlign != 0 &&
                    l.blockAlign == l.channels * ((l.bitsPerSample + 7u) / 8u) &&
                    l.dataBytes % l.blockAlign == 0 &&
                    ((l.formatTag == kFormatPcm &&
                      (l.bitsPerSample == 16 || l.bitsPerSample == 24 || l.bitsPerSample == 32)) ||
                     (l.formatTag == kFormatFloat && l.bitsPerSample == 32));
    if (!ok)
        fail("Unsupported WAV encoding/layout");
}

// One stored sample to its float value. Single precision throughout, as the format defines.
float fromFloat(const uint8_t* p) noexcept
{
    uint32_t bits;
    std::memcpy(&bits, p, 4);
    // All exponent bits set: infinity or NaN, stored as 0. A select, so loops vectorise.
    bits &= (bits & 0x7F800000u) == 0x7F800000u ? 0u : ~0u;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

float fromInt32(const uint8_t* p) noexcept
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return static_cast<float>(v) * (1.0f / 2147483648.0f);
}

float fromInt16(const uint8_t* p) noexcept
{
    int16_t v;
    std::memcpy(&v, p, 2);
    return static_cast<float>(v) * (1.0f / 32768.0f);
}

float fromInt24(const uint8_t* b) noexcept
{
    // Assembled in the top three bytes; the arithmetic shift back extends the sign.
    const uint32_t u = (uint32_t{b[0]} << 8) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 24);
    return static_cast<float>(static_cast<int32_t>(u) >> 8) * (1.0f / 8388608.0f);
}

// Walks stored samples and yields decoded ones, so vector::insert constructs every element
// once, straight from the raw bytes: no zero-filling pass, no second pass to convert.
template <size_t Width, float (*Decode)(const uint8_t*) noexcept>
class Decoding {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = float;
    using difference_type = std::ptrdiff_t;
    using pointer = const float*;
    using reference = float;

    Decoding() = default;
    explicit Decoding(const uint8_t* at) noexcept : p(at) {}
    float operator*() const noexcept { return Decode(p); }
    float operator[](difference_type i) const noexcept { return Decode(p + i * kStep); }
    Decoding& operator++() noexcept { return *this += 1; }
    Decoding operator++(int) noexcept
    {
        Decoding before = *this;
        *this += 1;
        return before;
    }
    Decoding& operator--() noexcept { return *this += -1; }
    Decoding& operator+=(difference_type n) noexcept
    {
        p += n * kStep;
        return *this;
    }
    Decoding operator+(difference_type n) const noexcept
    {
        Decoding moved = *this;
        return moved += n;
    }
    difference_type operator-(const Decoding& o) const noexcept { return (p - o.p) / kStep; }
    auto operator<=>(const Decoding&) const = default;

private:
    static constexpr auto kStep = static_cast<difference_type>(Width);
    const uint8_t* p = nullptr;
};

template <class Samples>
void append(std::vector<float>& out, const uint8_t* raw, size_t n)
{
    out.insert(out.end(), Samples(raw), Samples(raw) + static_cast<std::ptrdiff_t>(n));
}

// Slices of the data chunk go through one small buffer into the final array, which is
// reserved once: memory peaks at the decoded size plus one slice.
void decode(const NativeFile& file, const WavLayout& l, uint64_t sampleCount,
            std::vector<float>& samples)
{
    const size_t width = l.bitsPerSample / 8u;
    const auto total = static_cast<size_t>(sampleCount);
    samples.reserve(total);
    std::vector<uint8_t> raw(std::min(kSliceSamples, total) * width);
    uint64_t offset = l.dataOffset;
    while (samples.size() < total) {
        const size_t n = std::min(kSliceSamples, total - samples.size());
        readExactly(file, offset, raw.data(), n * width);
        if (width == 2)
            append<Decoding<2, fromInt16>>(samples, raw.data(), n);
        else if (width == 3)
            append<Decoding<3, fromInt24>>(samples, raw.data(), n);
        else if (l.formatTag == kFormatFloat)
            append<Decoding<4, fromFloat>>(samples, raw.data(), n);
        else
            append<Decoding<4, fromInt32>>(samples, raw.data(), n);
        offset += n * width;
    }
}

} // namespace

PreloadedAudio loadWav(const std::u16string& path, uint64_t limitBytes)
{
    std::filesystem::path fsPath;
    NativeFile file;
    std::error_code ec;
    try {
        fsPath = toFsPath(path);
        file = NativeFile::openForReading(fsPath, ec);
    } catch (const std::runtime_error&) {
        // A path with no form on this platform names no file.
    }
    if (!file.isOpen())
        fail("Cannot open WAV file");

    uint8_t riff[12];
    if (file.readAt(0, riff, 12, ec) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        fail("Only RIFF WAV supported");

    // The RIFF size field is not trusted; the walk is bounded by the real size.
    const uint64_t fileSize = file.size(ec);
    if (ec)
        throw std::filesystem::filesystem_error("file_size", fsPath, ec);

    const WavLayout layout = walkChunks(file, fileSize, limitBytes);
    validate(layout);
    const uint64_t sampleCount = layout.dataBytes / (layout.bitsPerSample / 8u);
    if (sampleCount > limitBytes / 4)
        fail("Decoded WAV exceeds preload limit");

    PreloadedAudio audio;
    audio.channels = layout.channels;
    audio.sampleRate = layout.sampleRate;
    if (layout.bext)
        audio.anchor = layout.bext->timeReference;
    decode(file, layout, sampleCount, audio.samples);
    return audio;
}

// Streaming: the same walk and checks, without the preload limit, and decoding in pieces.

WavSource openWavSource(const std::u16string& path)
{
    WavSource source;
    std::filesystem::path fsPath;
    std::error_code ec;
    try {
        fsPath = toFsPath(path);
        // The open keeps regular files only: a directory, a FIFO or a device is no WAV to play.
        source.file = NativeFile::openForReading(fsPath, ec);
    } catch (const std::exception&) {
        // A path with no form on this platform names no file.
    }
    if (!source.file.isOpen())
        fail("Cannot open WAV file");

    uint8_t riff[12];
    if (source.file.readAt(0, riff, 12, ec) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        fail("Only RIFF WAV supported");
    const uint64_t fileSize = source.file.size(ec);
    if (ec)
        throw std::filesystem::filesystem_error("file_size", fsPath, ec);
    const WavLayout layout = walkChunks(source.file, fileSize, ~uint64_t{0});
    validate(layout);
    source.channels = layout.channels;
    source.sampleRate = layout.sampleRate;
    source.formatTag = layout.formatTag;
    source.bitsPerSample = layout.bitsPerSample;
    source.blockAlign = layout.blockAlign;
    source.dataOffset = layout.dataOffset;
    source.dataBytes = layout.dataBytes;
    source.bext = layout.bext;
    source.stamp = source.file.stamp(ec);
    return source;
}

void decodeWavSamples(const WavSource& source, const uint8_t* raw, size_t n, float* out) noexcept
{
    const size_t width = source.bitsPerSample / 8u;
    if (width == 2)
        std::copy(Decoding<2, fromInt16>(raw), Decoding<2, fromInt16>(raw) + static_cast<std::ptrdiff_t>(n), out);
    else if (width == 3)
        std::copy(Decoding<3, fromInt24>(raw), Decoding<3, fromInt24>(raw) + static_cast<std::ptrdiff_t>(n), out);
    else if (source.formatTag == kFormatFloat)
        std::copy(Decoding<4, fromFloat>(raw), Decoding<4, fromFloat>(raw) + static_cast<std::ptrdiff_t>(n), out);
    else
        std::copy(Decoding<4, fromInt32>(raw), Decoding<4, fromInt32>(raw) + static_cast<std::ptrdiff_t>(n), out);
}

} // namespace kestravel::plugins
