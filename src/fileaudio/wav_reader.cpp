// WAV reader: walks the chunks noting where the samples are, validates the format, then decodes
// the samples in slices straight into the final array, so memory peaks at about the decoded
// size instead of raw plus decoded.

#include "fileaudio/native_file.h"
#include "fileaudio/preloaded_audio.h"
#include "fileaudio/text_utf.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kestravel::plugins {

static_assert(std::endian::native == std::endian::little, "sample decoding assumes little endian");

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kMinFmtBytes = 16;
constexpr uint32_t kMaxFmtBytes = 4096;
constexpr uint32_t kExtensibleFmtBytes = 40;

// Decoded samples per slice: small enough to stay in cache between reading and converting.
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

// Walks every chunk; remembers where the last "data" chunk lies instead of reading it.
WavLayout walkChunks(const NativeFile& file, uint64_t fileSize, uint64_t limitBytes)
{
    WavLayout layout;
    if (fileSize < 20)
        return layout;
    bool sawData = false;
    uint8_t fmt[kMaxFmtBytes];
    uint64_t p = 12;
    while (p + 8 <= fileSize) {
        uint8_t header[8];
        std::error_code ec;
        if (file.readAt(p, header, 8, ec) != 8) {
            if (ec)
                fail("Cannot read WAV data");
            break; // the file shrank under us: nothing more to walk
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

// In place over a slice read straight into the destination.
void finiteOnly(float* s, size_t n) noexcept
{
    for (size_t i = 0; i < n; ++i) {
        uint32_t bits;
        std::memcpy(&bits, s + i, 4);
        // All exponent bits set: infinity or NaN. A select, not a branch, so it vectorises.
        bits &= (bits & 0x7F800000u) == 0x7F800000u ? 0u : ~0u;
        std::memcpy(s + i, &bits, 4);
    }
}

void int32InPlace(float* s, size_t n) noexcept
{
    constexpr float scale = 1.0f / 2147483648.0f;
    for (size_t i = 0; i < n; ++i) {
        int32_t v;
        std::memcpy(&v, s + i, 4);
        s[i] = static_cast<float>(v) * scale;
    }
}

void int16ToFloat(const uint8_t* raw, float* out, size_t n) noexcept
{
    constexpr float scale = 1.0f / 32768.0f;
    for (size_t i = 0; i < n; ++i) {
        int16_t v;
        std::memcpy(&v, raw + 2 * i, 2);
        out[i] = static_cast<float>(v) * scale;
    }
}

// A sample placed in the top three bytes of u; the arithmetic shift back extends its sign.
float fromTop24(uint32_t u) noexcept
{
    return static_cast<float>(static_cast<int32_t>(u) >> 8) * (1.0f / 8388608.0f);
}

void int24ToFloat(const uint8_t* raw, float* out, size_t n) noexcept
{
    size_t i = 0;
    // Four samples from twelve bytes with two loads instead of twelve.
    for (; i + 4 <= n; i += 4) {
        uint64_t lo;
        uint32_t hi;
        std::memcpy(&lo, raw + 3 * i, 8);
        std::memcpy(&hi, raw + 3 * i + 8, 4);
        out[i] = fromTop24(static_cast<uint32_t>(lo << 8));
        out[i + 1] = fromTop24(static_cast<uint32_t>(lo >> 16) & 0xFFFFFF00u);
        out[i + 2] = fromTop24((static_cast<uint32_t>(lo >> 40) & 0x00FFFF00u) | (hi << 24));
        out[i + 3] = fromTop24(hi & 0xFFFFFF00u);
    }
    for (; i < n; ++i) {
        const uint8_t* b = raw + 3 * i;
        out[i] = fromTop24((uint32_t{b[0]} << 8) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 24));
    }
}

// A preload is written once, front to back: 2 MiB pages cut the page faults of filling it by
// a factor of 512 where the kernel offers them on request.
void preferLargePages(void* data, size_t bytes) noexcept
{
#ifdef __linux__
    constexpr uintptr_t kLarge = uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

void decode(const NativeFile& file, const WavLayout& l, uint64_t sampleCount,
            std::vector<float>& samples)
{
    const size_t bytesPerSample = l.bitsPerSample / 8u;
    const auto total = static_cast<size_t>(sampleCount);
    samples.reserve(total);
    preferLargePages(samples.data(), total * sizeof(float));
    std::vector<uint8_t> raw;
    if (bytesPerSample != 4)
        raw.resize(kSliceSamples * bytesPerSample);
    uint64_t offset = l.dataOffset;
    while (samples.size() < total) {
        const size_t done = samples.size();
        const size_t n = std::min(kSliceSamples, total - done);
        // Growing inside the reserved block zero-fills only this slice, while it is in cache.
        samples.resize(done + n);
        float* out = samples.data() + done;
        if (bytesPerSample == 4) {
            readExactly(file, offset, out, n * 4);
            if (l.formatTag == kFormatFloat)
                finiteOnly(out, n);
            else
                int32InPlace(out, n);
        } else {
            readExactly(file, offset, raw.data(), n * bytesPerSample);
            if (bytesPerSample == 2)
                int16ToFloat(raw.data(), out, n);
            else
                int24ToFloat(raw.data(), out, n);
        }
        offset += n * bytesPerSample;
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
    decode(file, layout, sampleCount, audio.samples);
    return audio;
}

} // namespace kestravel::plugins
