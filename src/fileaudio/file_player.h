#pragma once
// PLAYER's preload holder: decoded files reach the audio thread through one atomic pointer
// and leave it through a retire ring that the controller side drains. A file past the preload
// limit, or a take in parts, arrives as a stream that a reader thread feeds from disk.

#include "fileaudio/file_stream.h"
#include "fileaudio/preloaded_audio.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace kestravel::plugins {

class FilePlayer {
public:
    FilePlayer();
    ~FilePlayer();
    FilePlayer(const FilePlayer&) = delete;
    FilePlayer& operator=(const FilePlayer&) = delete;

    // [UI thread] loadWav with the preload limit, then install; a file past the limit, or one
    // that a RECORDER take continues in "-part2.wav", is streamed instead. Throws the reader's
    // errors.
    void load(const std::u16string& path);
    // [UI thread] Takes the samples by move and works out their overview; throws "Invalid audio
    // data" for a malformed object.
    void install(PreloadedAudio&& audio);

    // [audio thread, never allocates or frees]
    void adoptPending() noexcept;
    // [audio thread] Fills channelCount rows (null rows skipped) with frames samples of the file
    // resampled to hostRate, starting at timeline position clock.
    void render(float* const* rows, uint32_t channelCount, uint32_t frames, double hostRate,
                int64_t clock) noexcept;
    // [audio thread; stopPlayback also from the host thread when processing stops]
    void startPlayback(uint64_t position, uint64_t frame) noexcept;
    void stopPlayback() noexcept;
    // [audio thread] Chasing the host's timeline: render then takes timeline positions
    // (projectTimeSamples) for its clock, and the file's frame 0 sounds at its anchor (0 without
    // one), placed at the nearest host sample. Before the anchor and after the end: silence.
    void startChasing(double hostRate) noexcept;
    // [audio thread] The timeline jumped: from the next render on, the file plays from where the
    // timeline now is, crossfading for kLocateFadeFrames from what would have followed.
    void locate(double hostRate, uint32_t channelCount, int64_t from) noexcept;
    // Output frames of the crossfade at a locate (2 ms at 48 kHz).
    static constexpr uint32_t kLocateFadeFrames = 96;

    // [UI thread] The most recently installed file; never null.
    const PreloadedAudio& latestAudio() const noexcept { return *latest.load(); }
    // [UI thread] What the editor draws of the most recently installed file.
    WaveformOverview overview() const noexcept;
    // [UI thread] For a streamed file: " | from disk", the parts, the underruns and any reason
    // the file plays shorter than chosen; "" for a preloaded one.
    std::string streamStatus() const;

    // [host thread, not processing] kOffline: render waits for a streamed file's reader.
    std::atomic<bool> offline{false};
    // [host thread, not processing] Deactivation ends a streamed file's reader thread;
    // activation starts it again. Files replaced meanwhile are freed by freeRetired.
    void pauseReading() noexcept;
    void resumeReading();

    std::atomic<uint64_t> totalFrames{0};
    std::atomic<bool> playing{false};
    std::atomic<uint64_t> playStart{0};
    std::atomic<uint64_t> fileStart{0};
    std::atomic<uint64_t> endPosition{~uint64_t{0}};
    // [audio thread writes, UI reads] The file frame after the last one rendered, for the
    // editor's playhead; ~0 while nothing of the file sounds.
    std::atomic<uint64_t> heardFrame{~uint64_t{0}};

    static constexpr uint32_t kRetireSlots = 32;

    // [UI thread] Frees the files the audio thread has replaced; install does it first too.
    void freeRetired() noexcept;
    // [UI thread] Replaced files still waiting in the retire ring.
    uint32_t retiredCount() const noexcept { return retiredWrite.load() - retiredRead.load(); }
    // Test seam: install leaves the retire ring alone, so a test can fill it.
    bool keepRetiredForTesting = false;
    // Test seams for load: the size past which files stream, and the stream's settings.
    uint64_t preloadLimitBytes = kPreloadLimitBytes;
    StreamOptions streamOptions;

private:
    using Span = FileStream::Span;
    // [audio thread] The span holding frame f (< playable frames); in kOffline a stream's late
    // frame is waited for, bounded.
    Span spanAt(uint64_t f, FrameSpan& span) noexcept;
    static uint64_t playableFrames(const PreloadedAudio& audio) noexcept;
    void underrun(uint64_t frames) noexcept;
    void endAt(uint64_t t) noexcept;
    static void silence(float* const* rows, uint32_t channelCount, uint32_t from, uint32_t to) noexcept;
    void playSameRate(float* const* rows, uint32_t channelCount, uint32_t frames, uint32_t i,
                      uint64_t f, uint64_t t0) noexcept;
    void playResampled(float* const* rows, uint32_t channelCount, uint32_t frames, uint32_t i,
                       uint64_t k, double step, uint64_t first, uint64_t t0) noexcept;
    bool stereoInOneSpan(float* const* rows, uint32_t channelCount, uint32_t at, const double* p, uint32_t m,
                         uint64_t fileFrames) noexcept;
    void renderEachSample(float* const* rows, uint32_t channelCount, uint32_t frames, double step,
                          uint64_t t0, uint64_t start, uint64_t first) noexcept;

    void renderFromZero(float* const* rows, uint32_t channelCount, uint32_t frames, double hostRate,
                        int64_t clock) noexcept;
    void crossfade(float* const* rows, uint32_t channelCount, uint32_t frames) noexcept;

    // At a locate: what the old position would have played next, per output row; fadeDone of
    // kLocateFadeFrames heard so far (the fade is over at kLocateFadeFrames).
    std::array<float, kLocateFadeFrames * 64> fadeFrom{};
    uint32_t fadeDone = kLocateFadeFrames;

    PreloadedAudio* current;                 // audio thread only
    std::atomic<PreloadedAudio*> pending{nullptr};
    std::atomic<PreloadedAudio*> latest;     // not owning
    std::array<PreloadedAudio*, kRetireSlots> retired{};
    std::atomic<uint32_t> retiredRead{0};    // controller side
    std::atomic<uint32_t> retiredWrite{0};   // audio thread
};

} // namespace kestravel::plugins
