#include "fileaudio/file_stream.h"

#include "core/text_utf.h"
#include "fileaudio/take_naming.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace kestravel::plugins {

namespace {

constexpr uint64_t kGenMask = 0xFFFFFF;     // generations wrap in 24 bits
constexpr size_t kScanBytes = size_t{1} << 20; // the background peak scan reads 1 MiB at a time
constexpr auto kIdlePoll = std::chrono::milliseconds(2);
// Reads go in pieces of this size: a disk slowed to 64 KB/s still delivers one in 60 ms, so a
// stop never waits longer than that. The kernel's read-ahead keeps sequential pieces cheap.
constexpr size_t kReadPiece = size_t{4} << 10;

uint64_t pack(uint32_t gen, uint64_t page) noexcept
{
    return ((gen & kGenMask) << 40) | page;
}

bool sameGen(uint64_t packed, uint32_t gen) noexcept
{
    return (packed >> 40) == (gen & kGenMask);
}

} // namespace

FileStream::FileStream(const std::u16string& path, const StreamOptions& streamOptions)
    : options(streamOptions)
{
    parts.push_back({openWavSource(path), 0, fileNameOf(path)});
    const WavSource& first = parts.front().source;
    format.channels = first.channels;
    format.sampleRate = first.sampleRate;
    format.formatTag = first.formatTag;
    format.bitsPerSample = first.bitsPerSample;
    format.blockAlign = first.blockAlign;
    totalFrames = first.frames();

    // Join only what the recorder split: a part follows a file filled to the size limit. A take
    // with an identity joins only its own parts; the recorder skips names already taken, so a
    // "-partN" of another take is passed over. Older takes, without one, join by name.
    const std::optional<BextChunk> take =
        first.bext && !first.bext->originatorReference.empty() ? first.bext : std::nullopt;
    for (uint32_t n = 2; n <= kMaxTakeNumber; ++n) {
        const WavSource& last = parts.back().source;
        const uint64_t full = options.partBytes / last.blockAlign * last.blockAlign;
        if (full == 0 || last.dataBytes != full)
            break;
        const std::u16string next = numberedSibling(path, u"-part", n);
        const std::string name = fileNameOf(next);
        try {
            if (!pathExists(next)) {
                joinNote = name + " is missing; played up to it";
                break;
            }
            std::optional<WavSource> opened;
            try {
                opened = openWavSource(next);
            } catch (const std::exception&) {
                if (!take)
                    throw;
            }
            if (take && (!opened || !opened->bext || !continuesTake(*take, totalFrames, *opened->bext)))
                continue; // another take's file: ours goes on under a later number
            WavSource source = std::move(*opened);
            const char* differs = !source.sameFormat(format)              ? "a different sample format"
                                  : source.sampleRate != format.sampleRate ? "a different sample rate"
                                  : source.channels != format.channels     ? "a different channel count"
                                                                           : nullptr;
            if (differs) {
                joinNote = name + " has " + differs + "; played up to it";
                break;
            }
            const uint64_t frames = source.frames();
            parts.push_back({std::move(source), totalFrames, name});
            totalFrames += frames;
        } catch (const std::exception& error) {
            joinNote = name + ": " + error.what() + "; played up to it";
            break;
        }
    }

    const uint32_t rate = format.sampleRate;
    const uint64_t channels = format.channels;
    headFrames = std::min<uint64_t>(std::max<uint64_t>(static_cast<uint64_t>(options.headSeconds * rate), 1), totalFrames);
    pageFrames = std::max<uint64_t>(1, rate / std::max<uint32_t>(1, options.pagesPerSecond));
    pageCount = (totalFrames - headFrames + pageFrames - 1) / pageFrames;
    const auto wanted = static_cast<uint64_t>(std::ceil(options.ringSeconds * rate / static_cast<double>(pageFrames)));
    slots = static_cast<uint32_t>(std::clamp<uint64_t>(wanted, 2, std::max<uint64_t>(pageCount, 2)));
    backPages = slots / 5;

    const uint64_t scanFrames = std::max<uint64_t>(1, kScanBytes / format.blockAlign);
    raw.resize(std::max(pageFrames + 1, scanFrames) * format.blockAlign);
    scan.resize(scanFrames * channels);
    ring = std::make_unique<float[]>(slots * (pageFrames + 1) * channels);

    const uint64_t headRead = std::min(headFrames + 1, totalFrames);
    head.resize(headRead * channels);
    if (readFrames(0, headRead, head.data()) != Read::kDone)
        throw std::runtime_error(failure().empty() ? "Cannot read WAV data" : failure());

    peaks = WaveformOverview::empty(totalFrames, format.channels, rate);
    addOverviewFrames(peaks, head.data(), 0, headFrames);
    scanned = headFrames;
    for (uint32_t j = 0; j < kOverviewColumns; ++j)
        shown[j].store(peaks.peaks[j], std::memory_order_relaxed);

    resumeReader();
}

FileStream::~FileStream()
{
    pauseReader();
}

void FileStream::pauseReader() noexcept
{
    stopping.store(true, std::memory_order_release);
    if (reader.joinable())
        reader.join();
    running.store(false, std::memory_order_release);
}

void FileStream::resumeReader()
{
    if (reader.joinable() || retired.load(std::memory_order_acquire))
        return;
    stopping.store(false, std::memory_order_release);
    running.store(true, std::memory_order_release);
    reader = std::thread([this] { readerMain(); });
}

uint64_t FileStream::pageSpan(uint64_t page) const noexcept
{
    return std::min(pageFrames, totalFrames - pageFirst(page));
}

void FileStream::request(uint64_t page) noexcept
{
    ++audioGen;
    audioBase = page;
    audioNeed = page;
    needed.store(pack(audioGen, page), std::memory_order_release);
    requestPage.store(page, std::memory_order_relaxed);
    requestGen.store(audioGen, std::memory_order_release);
}

FileStream::Span FileStream::span(uint64_t f, FrameSpan& out) noexcept
{
    const uint32_t channels = format.channels;
    if (f < headFrames) {
        out = FrameSpan{head.data(), 0, headFrames, channels};
        locating = false;
        // Playing the head: the ring should hold the pages right after it.
        if (audioBase != 0 || audioNeed != 0)
            request(0);
        return Span::kReady;
    }
    const uint64_t page = pageOf(f);
    const uint64_t slot = page % slots;
    out = FrameSpan{ring.get() + slot * (pageFrames + 1) * channels, pageFirst(page), pageSpan(page), channels};
    if (f >= failedFrom.load(std::memory_order_acquire))
        return Span::kFailed;
    // A small jump back into the pages the reader keeps behind the play position is served
    // from the ring; any other jump out of it makes the reader refill from the new page.
    const bool kept = page < audioNeed && page + backPages >= audioNeed && page >= audioBase;
    if (!kept && (page < audioNeed || page >= audioNeed + slots - backPages))
        request(page);
    const uint64_t state = published.load(std::memory_order_acquire);
    if (!sameGen(state, audioGen) || page >= (state & kPageMask))
        return f >= failedFrom.load(std::memory_order_acquire) ? Span::kFailed : Span::kMissing;
    locating = false;
    if (page > audioNeed) { // pages before it may be refilled now
        audioNeed = page;
        needed.store(pack(audioGen, page), std::memory_order_release);
    }
    return Span::kReady;
}

void FileStream::readerMain() noexcept
{
    // Go on where a paused reader stopped: the ring still holds what it published.
    uint32_t gen = requestGen.load(std::memory_order_acquire);
    uint64_t base = requestPage.load(std::memory_order_relaxed);
    const uint64_t before = published.load(std::memory_order_relaxed);
    uint64_t next = sameGen(before, gen) ? before & kPageMask : base;
    published.store(pack(gen, next), std::memory_order_release);
    const uint64_t channels = format.channels;
    while (!stopping.load(std::memory_order_acquire) && !retired.load(std::memory_order_acquire)) {
        if (options.hold && options.hold->load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const uint32_t g = requestGen.load(std::memory_order_acquire);
        if (g != gen) {
            gen = g;
            base = requestPage.load(std::memory_order_relaxed);
            next = base;
            published.store(pack(gen, next), std::memory_order_release);
        }
        const uint64_t state = needed.load(std::memory_order_acquire);
        const uint64_t need = sameGen(state, gen) ? state & kPageMask : base;
        if (next < pageCount && next < need + slots - backPages &&
            pageFirst(next) < failedFrom.load(std::memory_order_relaxed)) {
            const uint64_t from = pageFirst(next);
            float* slot = ring.get() + (next % slots) * (pageFrames + 1) * channels;
            if (readFrames(from, std::min(pageFrames + 1, totalFrames - from), slot) == Read::kDone) {
                ++next;
                published.store(pack(gen, next), std::memory_order_release);
            }
            continue;
        }
        if (scanPeaks())
            continue;
        std::this_thread::sleep_for(kIdlePoll);
    }
}

FileStream::Read FileStream::readFrames(uint64_t from, uint64_t count, float* out) noexcept
{
    const uint64_t channels = format.channels;
    const uint64_t chunk = raw.size() / format.blockAlign;
    while (count > 0) {
        // The part holding frame `from`: the last one starting at or before it.
        const auto it = std::upper_bound(parts.begin(), parts.end(), from,
                                         [](uint64_t f, const Part& p) { return f < p.firstFrame; });
        const Part& part = *(it - 1);
        const uint64_t within = from - part.firstFrame;
        const uint64_t n = std::min({count, part.source.frames() - within, chunk});
        if (n == 0) { // past every part: nothing here to read
            fail(from, "no frames left in " + part.name);
            return Read::kFailed;
        }
        const size_t bytes = static_cast<size_t>(n * part.source.blockAlign);
        const Read read = readBytes(part, part.source.dataOffset + within * part.source.blockAlign, bytes);
        if (read == Read::kFailed)
            fail(from, "cannot read " + part.name);
        if (read != Read::kDone)
            return read;
        // Checked after the read: bytes of a file rewritten meanwhile are never decoded with the
        // layout it had when it was opened.
        std::error_code ec;
        const NativeFile::Stamp now = part.source.file.stamp(ec);
        if (ec || now != part.source.stamp) {
            fail(from, ec ? "cannot read " + part.name
                          : now.size < part.source.stamp.size ? part.name + " is shorter than when it was opened"
                                                              : part.name + " was changed since it was opened");
            return Read::kFailed;
        }
        decodeWavSamples(part.source, raw.data(), static_cast<size_t>(n * channels), out);
        out += n * channels;
        from += n;
        count -= n;
    }
    return Read::kDone;
}

FileStream::Read FileStream::readBytes(const Part& part, uint64_t offset, size_t bytes) noexcept
{
    size_t done = 0;
    while (done < bytes) {
        if (stopping.load(std::memory_order_acquire) || retired.load(std::memory_order_acquire))
            return Read::kStopped;
        const size_t n = std::min(bytes - done, kReadPiece);
        if (options.throttle)
            options.throttle(n);
        std::error_code ec;
        const size_t got = part.source.file.readAt(offset + done, raw.data() + done, n, ec);
        if (got != n) {
            if (ec)
                return Read::kFailed;
            // The file ends early: the stamp check names it.
            std::fill(raw.begin() + static_cast<std::ptrdiff_t>(done + got),
                      raw.begin() + static_cast<std::ptrdiff_t>(bytes), uint8_t{0});
            return Read::kDone;
        }
        done += n;
    }
    return Read::kDone;
}

void FileStream::fail(uint64_t atFrame, std::string reason) noexcept
{
    if (failedFrom.load(std::memory_order_relaxed) != ~uint64_t{0})
        return; // the first failure stands
    try {
        failReason = "Read failed: " + std::move(reason);
    } catch (...) {
        // No memory for the words: the failure still ends playback.
    }
    failedFrom.store(atFrame, std::memory_order_release);
}

std::string FileStream::failure() const
{
    return failedFrom.load(std::memory_order_acquire) == ~uint64_t{0} ? std::string() : failReason;
}

bool FileStream::scanPeaks() noexcept
{
    if (scanned >= totalFrames || scanned >= failedFrom.load(std::memory_order_relaxed))
        return false;
    const uint64_t n = std::min<uint64_t>(scan.size() / format.channels, totalFrames - scanned);
    if (readFrames(scanned, n, scan.data()) != Read::kDone)
        return false;
    addOverviewFrames(peaks, scan.data(), scanned, n);
    scanned += n;
    for (uint32_t j = 0; j < kOverviewColumns; ++j)
        shown[j].store(peaks.peaks[j], std::memory_order_relaxed);
    return true;
}

WaveformOverview FileStream::overview() const noexcept
{
    WaveformOverview o = WaveformOverview::empty(totalFrames, format.channels, format.sampleRate);
    for (uint32_t j = 0; j < kOverviewColumns; ++j)
        o.peaks[j] = shown[j].load(std::memory_order_relaxed);
    o.streamed = true;
    return o;
}

} // namespace kestravel::plugins
