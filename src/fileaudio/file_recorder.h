#pragma once
// RECORDER's capture: the audio thread pushes frames into a single-producer single-consumer
// ring, a writer thread drains it into a new 32-bit float WAV file.

#include "fileaudio/disk_space.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestravel::plugins {

class FileSyncer;

class FileRecorder {
public:
    // The ring holds at least half a second of the take's channels x rate, never less than
    // this, rounded up to a power of two.
    static constexpr uint64_t kMinRingSamples = uint64_t{1} << 20;
    static constexpr uint64_t kNoPosition = ~uint64_t{0};
    // Sample bytes one file may hold: dataBytes + 36 must fit the 32-bit RIFF size. A
    // time-stamped file's larger header lowers its own limit to match.
    static constexpr uint64_t kMaxDataBytes = 4294967259u;
    // How long choosing a destination waits for the writer to create the file.
    static constexpr auto kArmingLimit = std::chrono::seconds(10);

    FileRecorder();
    ~FileRecorder(); // stops capture and joins the writer
    FileRecorder(const FileRecorder&) = delete;
    FileRecorder& operator=(const FileRecorder&) = delete;

    // [UI thread, blocks until the file exists] Throws std::runtime_error with the user-facing
    // message, or std::filesystem::filesystem_error for the existence test. Returns as well when
    // the audio thread has already recorded and ended the take on the new file.
    void prepareDestination(const std::u16string& path, uint32_t channels, uint32_t sampleRate);
    // [UI thread, blocks] Ends capture, lets the writer finalize, joins it. The files are
    // complete when it returns; their sync to the device goes on in the background and is
    // over before the recorder's destruction ends.
    void stopWriter();
    // [host thread, never blocks]
    void stopCapture() noexcept;

    // Ring samples for a take of this format: a power of two holding at least 0.5 s.
    static uint64_t ringSamplesFor(uint32_t channels, uint32_t sampleRate) noexcept;
    // [controller thread, set-up, not processing] Sizes the ring for the format ahead of time.
    // With a writer running the ring stays as it is: prepareDestination sizes it for its take.
    void reserveRing(uint32_t channels, uint32_t sampleRate);
    uint64_t ringSamples() const noexcept { return ringCapacity; }

    // [audio thread, never allocates, locks or waits]
    // position is on sampleClock (the continuous host time the pushes count on). The timeline
    // position (projectTimeSamples) of the same sample becomes the take's time stamp; timestamp
    // chooses the time-stamped header for the take. Only a take's first start stamps it.
    void startCapture(uint64_t position, int64_t timelinePosition, bool timestamp) noexcept;
    // The same with the timeline equal to sampleClock and the header the take was armed with.
    void startCapture(uint64_t position) noexcept;
    void requestTailStop(uint64_t position, double silenceSeconds, double maxTailSeconds,
                         double thresholdDb) noexcept;
    // With waitForSpace (offline processing only: a bounce faster than real time may block)
    // a full ring makes the caller wait for the writer instead of dropping; it gives up, and
    // drops and counts as usual, once the writer has failed or ended or makes no progress.
    void pushBlock(const float* const* buffers, uint32_t bufferCount, uint32_t frames,
                   uint64_t blockStart, bool waitForSpace = false) noexcept;

    // Read from any thread (status line, editor, tests).
    std::atomic<uint64_t> framesWritten{0}; // the whole take, over all its files
    std::atomic<uint64_t> droppedFrames{0};
    std::atomic<uint64_t> startPosition{0};
    std::atomic<uint64_t> stopPosition{kNoPosition};
    std::atomic<bool> ready{false};
    std::atomic<bool> recording{false};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> finished{true};
    std::atomic<bool> failed{false};
    std::atomic<bool> pushing{false};
    std::atomic<bool> fileCreated{false};
    std::atomic<uint32_t> channels{0};
    std::atomic<uint32_t> sampleRate{0};
    // [written by the UI thread before prepareDestination] The header a new take is armed with:
    // time-stamped (fmt, fact, bext) or the plain 44 bytes.
    std::atomic<bool> timestampNewTakes{false};
    // The take panel's facts, kept by the writer thread: bytes of every file of the take, and
    // the destination disk's free bytes, asked about once a second (kUnknownFreeBytes before).
    std::atomic<uint64_t> bytesWritten{0};
    std::atomic<uint64_t> freeBytes{kUnknownFreeBytes};
    // Frames of the take on its timeline: written ones and the silence that stands in for
    // dropped ones. File frame n is the take's first timeline sample + n.
    std::atomic<uint64_t> takeFrames{0};
    // [UI thread] The track's name, for the Description of the next time stamp.
    void setTrackName(const std::string& name);
    // Files of the current take: 1, then one more each time the take continues in a new part
    // ("<stem>-part2.wav", ...) because the next write would pass the 32-bit size budget.
    std::atomic<uint32_t> partCount{0};
    // [any thread but audio] The files the current or last take created, in order.
    std::vector<std::u16string> takeFiles() const;

    // Tail state: written by prepareDestination and the audio thread, read by the audio thread.
    std::atomic<uint64_t> silentCount{0};
    std::atomic<uint64_t> silenceSamples{24000};
    std::atomic<uint64_t> maxTailSamples{1440000};
    std::atomic<float> silenceThreshold{1.0e-4f};

    // Test seams, never used by the product. Set them only while no writer runs; the next
    // prepareDestination hands a copy to its writer.
    struct WriterOptions {
        uint64_t fileByteBudget = kMaxDataBytes; // sample bytes per file before a new part
        bool refreshHeader = true;               // keep the sizes current while recording
        uint64_t diskBytes = ~uint64_t{0};       // bytes the "disk" holds over all take files
        const std::atomic<bool>* hold = nullptr; // while set, the writer takes nothing
        // Before each sample write, with its size: a test plays a slow disk here.
        std::function<void(uint64_t bytes)> beforeWrite;
        // After each sample write, with the bytes the header does not admit yet.
        std::function<void(uint64_t unclaimedBytes)> afterWrite;
        // After every write to a take file (samples or header), with the file's path.
        std::function<void(const std::u16string& path)> afterFileWrite;
        // Before a finished file is synced to the device, on the thread that syncs it.
        std::function<void()> beforeSync;
        // On the UI thread once the writer is started, before prepareDestination waits for it.
        std::function<void()> whileArming;
        // The free-space query the writer makes (freeDiskBytes in the product).
        std::function<uint64_t(const std::u16string& path)> freeSpace;
        std::chrono::milliseconds armingLimit = kArmingLimit;
        // An offline push gives up when the writer has shown no progress for this long.
        std::chrono::milliseconds offlineStallLimit = std::chrono::seconds(10);
    };
    void setWriterOptionsForTesting(const WriterOptions& options) { writerOptions = options; }

private:
    // The host's channel buffers: a missing one (past the count, or null) reads as silence.
    struct Channels {
        const float* const* buffers;
        uint32_t count;
        const float* row(uint32_t c) const noexcept { return c < count ? buffers[c] : nullptr; }
        float at(uint32_t c, uint32_t i) const noexcept
        {
            const float* r = row(c);
            return r ? r[i] : 0.0f;
        }
    };
    // [audio thread] count frames from frame first on, into the ring from position w.
    void storeFrames(const Channels& in, uint32_t first, uint32_t count, uint64_t w,
                     uint32_t ch) noexcept;
    // [audio thread, offline only] Free frames once the writer made room; 0 when it gave up.
    uint64_t waitForRoom(uint64_t w, uint32_t ch) const noexcept;
    // [audio thread] Tells the writer that frames were dropped at ring position w, so it writes
    // silence there; false when the queue is full (the caller keeps the frames pending).
    bool publishGap(uint64_t w, uint64_t frames) noexcept;
    void writerThreadMain(std::u16string path); // [writer thread] never throws
    void failTake() noexcept;                   // [writer thread]
    void noteTakeFile(const std::u16string& path) noexcept; // [writer thread]

    // Swapped only while no writer runs and no push can store (see prepareDestination).
    std::unique_ptr<float[]> ring;            // ringCapacity samples, zero-filled
    uint64_t ringCapacity = kMinRingSamples;  // a power of two
    std::thread writer;
    std::atomic<uint64_t> readPosition{0};    // written by the writer thread only
    std::atomic<uint64_t> writePosition{0};   // written by the audio thread only, once per block
    WriterOptions writerOptions;              // UI thread; copied by each new writer
    std::chrono::milliseconds stallLimit = std::chrono::seconds(10); // set with the take
    mutable std::mutex filesMutex;            // never taken on the audio thread
    std::vector<std::u16string> files;
    std::string trackName;                    // under filesMutex
    std::string takeReference;                // the take's identity, set before its writer starts

    // How the take began, written once by its first startCapture (takeStarted last).
    std::atomic<bool> takeStarted{false};
    std::atomic<int64_t> takeTimeline{0};     // projectTimeSamples of the take's first frame
    std::atomic<bool> takeTimestamp{false};
    // After a write failure the take goes on being counted: every frame the module is given
    // until the take would have stopped is a dropped frame.
    std::atomic<bool> countingAfterFailure{false};

    // Dropped frames, by the ring position they belong at; coalesced while still queued.
    struct Gap {
        std::atomic<uint64_t> position{0};
        std::atomic<uint64_t> frames{0}; // kGapTaken once the writer has it
    };
    static constexpr uint64_t kGapSlots = 256;
    static constexpr uint64_t kGapTaken = uint64_t{1} << 63;
    std::unique_ptr<Gap[]> gaps;
    std::atomic<uint64_t> gapHead{0}; // audio thread
    std::atomic<uint64_t> gapTail{0}; // writer thread
    uint64_t pendingGapFrames = 0;    // audio thread: drops the queue had no room for yet

    std::atomic<uint64_t> takeNumber{0};      // which take a background sync belongs to
    std::unique_ptr<FileSyncer> syncer;       // destroyed first: it waits for the syncs
};

} // namespace kestravel::plugins
