#pragma once
// RECORDER's capture: the audio thread pushes frames into a single-producer single-consumer
// ring, a writer thread drains it into a new 32-bit float WAV file.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestravel::plugins {

class FileRecorder {
public:
    // The ring holds at least half a second of the take's channels x rate, never less than
    // this, rounded up to a power of two.
    static constexpr uint64_t kMinRingSamples = uint64_t{1} << 20;
    static constexpr uint64_t kNoPosition = ~uint64_t{0};
    // Sample bytes one file may hold: dataBytes + 36 must fit the 32-bit RIFF size.
    static constexpr uint64_t kMaxDataBytes = 4294967259u;

    FileRecorder();
    ~FileRecorder(); // stops capture and joins the writer
    FileRecorder(const FileRecorder&) = delete;
    FileRecorder& operator=(const FileRecorder&) = delete;

    // [UI thread, blocks until the file exists] Throws std::runtime_error with the user-facing
    // message, or std::filesystem::filesystem_error for the existence test.
    void prepareDestination(const std::u16string& path, uint32_t channels, uint32_t sampleRate);
    // [UI thread, blocks] Ends capture, lets the writer finalize, joins it.
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
        // After each sample write, with the bytes the header does not admit yet.
        std::function<void(uint64_t unclaimedBytes)> afterWrite;
        // Before a finished file is synced to the device, on the thread that syncs it.
        std::function<void()> beforeSync;
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
    mutable std::mutex filesMutex;            // never taken on the audio thread
    std::vector<std::u16string> files;
};

} // namespace kestravel::plugins
