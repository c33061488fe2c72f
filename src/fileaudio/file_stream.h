#pragma once
// A file PLAYER plays from disk: the first seconds decoded at load, the rest decoded ahead of
// the play position by a reader thread into a ring of pages that the audio thread reads without
// locks. A RECORDER take that continued in "-partN" files plays as one file.

#include "core/waveform_overview.h"
#include "fileaudio/wav_source.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kestravel::plugins {

// Interleaved frames [first, first + count) of a file at data; the frame after the last one is
// there too unless the file ends with it.
struct FrameSpan {
    const float* data = nullptr;
    uint64_t first = 0;
    uint64_t count = 0;
    uint32_t channels = 0;
};

struct StreamOptions {
    double headSeconds = 1.5;      // decoded at load: a start from frame 0 sounds at once
    double ringSeconds = 2.5;      // decoded ahead of the play position
    uint32_t pagesPerSecond = 16;  // the reader's unit of work
    // Sample bytes at which RECORDER moves on to the next part: a file filled to this (in whole
    // frames) is followed by "<stem>-part2.wav" and so on.
    uint64_t partBytes = 4294967259u;
    // Test seams: while *hold is set the reader reads nothing; the time it waits in kOffline.
    const std::atomic<bool>* hold = nullptr;
    double offlineWaitSeconds = 30.0;
    // Test seam: called with the size of every read piece before it is read (a slow disk).
    std::function<void(size_t)> throttle;
};

class FileStream {
public:
    enum class Span { kReady, kMissing, kFailed };

    // [loading thread] Opens path and the parts that continue it, decodes the head and starts
    // the reader. Throws the reader's errors for the first file only; a part that cannot be
    // joined ends the file before it (note()).
    FileStream(const std::u16string& path, const StreamOptions& options);
    ~FileStream(); // stops and joins the reader, closes the files
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    uint32_t channels() const noexcept { return format.channels; }
    uint32_t sampleRate() const noexcept { return format.sampleRate; }
    uint64_t frames() const noexcept { return totalFrames; }
    // The first file's "bext" TimeReference, if it has one.
    std::optional<uint64_t> anchor() const
    {
        const auto& bext = parts.front().source.bext;
        return bext ? std::optional<uint64_t>(bext->timeReference) : std::nullopt;
    }
    uint32_t partCount() const noexcept { return static_cast<uint32_t>(parts.size()); }
    double offlineWaitSeconds() const noexcept { return options.offlineWaitSeconds; }
    // Bytes of the head, the ring and the reader's buffers: what the stream holds in memory.
    uint64_t bufferBytes() const noexcept
    {
        return (head.size() + uint64_t{slots} * (pageFrames + 1) * format.channels + scan.size()) * sizeof(float) +
               raw.size();
    }

    // [audio thread, never allocates, locks or waits] The span holding frame f (< frames()).
    // kMissing: not decoded yet (an underrun); kFailed: the reader cannot deliver it.
    Span span(uint64_t f, FrameSpan& out) noexcept;
    // [audio thread] The player let go of this file; the reader stops for good.
    void retire() noexcept { retired.store(true, std::memory_order_release); }
    // [host thread, not processing] Deactivation ends the reader thread; activation starts it
    // again where it left off. A paused stream is never waited for.
    void pauseReader() noexcept;
    void resumeReader();
    bool readerRunning() const noexcept { return running.load(std::memory_order_acquire); }

    std::atomic<uint64_t> underrunFrames{0}; // frames played as silence because they were late
    std::atomic<uint64_t> locateWaitFrames{0}; // ... because a jump waited for its first page
    // [audio thread] The player jumped: frames missing until the new position's first page
    // has arrived are a locate's wait, not an underrun.
    void beginLocate() noexcept { locating = true; }
    bool awaitingLocate() const noexcept { return locating; }

    // [UI thread] Why joining stopped before a part ("" when it did not), and why the reader
    // failed ("" while it has not).
    const std::string& note() const noexcept { return joinNote; }
    std::string failure() const;
    // [UI thread] Format and the peaks worked out so far (the reader scans the file in the
    // background when it has nothing else to do).
    WaveformOverview overview() const noexcept;

private:
    struct Part {
        WavSource source;
        uint64_t firstFrame = 0;
        std::string name; // for messages
    };
    void request(uint64_t page) noexcept; // [audio thread]
    void readerMain() noexcept;                                          // [reader thread]
    enum class Read { kDone, kStopped, kFailed };
    Read readFrames(uint64_t from, uint64_t count, float* out) noexcept; // [reader thread]
    Read readBytes(const Part& part, uint64_t offset, size_t bytes) noexcept; // into raw
    void fail(uint64_t atFrame, std::string reason) noexcept;            // [reader thread]
    bool scanPeaks() noexcept;                                           // [reader thread]
    uint64_t pageFirst(uint64_t page) const noexcept { return headFrames + page * pageFrames; }
    uint64_t pageOf(uint64_t f) const noexcept { return (f - headFrames) / pageFrames; }
    uint64_t pageSpan(uint64_t page) const noexcept;

    static constexpr unsigned kGenShift = 40;
    static constexpr uint64_t kPageMask = (uint64_t{1} << kGenShift) - 1;

    const StreamOptions options;
    std::vector<Part> parts;
    WavSource format; // the first file's format (no file held)
    std::string joinNote;
    uint64_t totalFrames = 0;
    uint64_t headFrames = 0;  // frames of the file in the head (its next frame too, if any)
    uint64_t pageFrames = 0;
    uint64_t pageCount = 0;   // pages of the file after the head
    uint32_t slots = 0;       // pages in the ring
    uint32_t backPages = 0;   // of them kept behind the play position: a small jump back is instant
    std::vector<float> head; // frames 0 .. headFrames, the next one included when there is one
    std::unique_ptr<float[]> ring; // slots x (pageFrames + 1) frames
    std::vector<uint8_t> raw;      // the reader's bytes before decoding
    std::vector<float> scan;       // the peak scan's decoded frames

    // Requests from the audio thread: the page to refill from, under a new generation.
    std::atomic<uint64_t> requestPage{0};
    std::atomic<uint32_t> requestGen{0};
    // Reader: generation << 40 | pages of that generation decoded, from its first page.
    std::atomic<uint64_t> published{0};
    // Audio thread: generation << 40 | lowest page it may still read.
    std::atomic<uint64_t> needed{0};
    uint32_t audioGen = 0;  // audio thread only
    uint64_t audioBase = 0; // audio thread only: first page of its generation
    uint64_t audioNeed = 0; // audio thread only
    bool locating = false;  // audio thread only: a jump's first page has not arrived

    std::atomic<uint64_t> failedFrom{~uint64_t{0}}; // first frame the reader cannot deliver
    std::string failReason;                          // written once, before failedFrom
    std::atomic<bool> stopping{false}; // the reader thread ends (pause, destruction)
    std::atomic<bool> retired{false};  // ... and is not started again
    std::atomic<bool> running{false};

    WaveformOverview peaks;                                   // reader thread
    std::array<std::atomic<float>, kOverviewColumns> shown{}; // for the UI
    uint64_t scanned = 0;                                     // reader thread: frames scanned

    std::thread reader;
};

} // namespace kestravel::plugins
