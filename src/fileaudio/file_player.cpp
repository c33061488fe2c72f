#include "fileaudio/file_player.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace kestravel::plugins {

FilePlayer::FilePlayer() : current(new PreloadedAudio), latest(current) {}

FilePlayer::~FilePlayer()
{
    playing.exchange(false);
    delete pending.exchange(nullptr);
    freeRetired();
    delete current;
}

void FilePlayer::freeRetired() noexcept
{
    // Only slots below the audio thread's published write index are complete.
    const uint32_t end = retiredWrite.load(std::memory_order_acquire);
    for (uint32_t i = retiredRead.load(std::memory_order_relaxed); i != end; ++i) {
        auto& slot = retired[i % kRetireSlots];
        delete slot;
        slot = nullptr;
    }
    retiredRead.store(end, std::memory_order_release);
}

void FilePlayer::load(const std::u16string& path)
{
    install(loadWav(path, kPreloadLimitBytes));
}

void FilePlayer::install(PreloadedAudio&& audio)
{
    if (audio.channels == 0 || audio.sampleRate == 0 || audio.samples.size() % audio.channels != 0)
        throw std::runtime_error("Invalid audio data");
    if (!keepRetiredForTesting)
        freeRetired();
    auto* fresh = new PreloadedAudio(std::move(audio));
    audio = PreloadedAudio{};
    playing.exchange(false);
    totalFrames.exchange(fresh->frames());
    latest.exchange(fresh); // the previous one is the audio thread's or already retired
    // A file the audio thread never took is ours to free.
    delete pending.exchange(fresh, std::memory_order_acq_rel);
}

void FilePlayer::adoptPending() noexcept
{
    const uint32_t write = retiredWrite.load(std::memory_order_relaxed);
    if (write - retiredRead.load(std::memory_order_acquire) >= kRetireSlots)
        return; // ring full: the pending file waits for the controller to free some
    PreloadedAudio* taken = pending.exchange(nullptr, std::memory_order_acq_rel);
    if (!taken)
        return;
    retired[write % kRetireSlots] = current;
    current = taken;
    retiredWrite.store(write + 1, std::memory_order_release);
}

void FilePlayer::render(float* const* rows, uint32_t channelCount, uint32_t frames, double hostRate,
                        int64_t clock) noexcept
{
    adoptPending();
    for (uint32_t j = 0; j < channelCount; ++j)
        if (rows[j])
            std::fill(rows[j], rows[j] + frames, 0.0f);

    const PreloadedAudio& audio = *current;
    const uint64_t fileChannels = audio.channels;
    const uint64_t fileFrames = audio.frames();
    if (!playing.load() || !(hostRate > 0.0) || fileChannels == 0 || fileFrames == 0)
        return;

    const uint64_t start = playStart.load();
    const uint64_t first = fileStart.load();
    const double step = static_cast<double>(audio.sampleRate) / hostRate;
    const float* s = audio.samples.data();
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t t = static_cast<uint64_t>(clock) + i;
        if (t < start)
            continue;
        const double p = static_cast<double>(t - start) * step + static_cast<double>(first);
        // Compared in double: a position far past the end may not fit a 64-bit frame index.
        if (!(p < static_cast<double>(fileFrames))) {
            endPosition.exchange(t);
            playing.exchange(false);
            return;
        }
        const auto f = static_cast<uint64_t>(p);
        const uint64_t g = std::min(f + 1, fileFrames - 1);
        const auto u = static_cast<float>(p - static_cast<double>(f));
        for (uint32_t j = 0; j < channelCount; ++j) {
            if (!rows[j])
                continue;
            const uint64_t c = std::min<uint64_t>(j, fileChannels - 1);
            const float a = s[f * fileChannels + c];
            const float b = s[g * fileChannels + c];
            rows[j][i] = a + (b - a) * u;
        }
    }
}

void FilePlayer::startPlayback(uint64_t position, uint64_t frame) noexcept
{
    const uint64_t total = totalFrames.load();
    fileStart.exchange(std::min(total, frame));
    playStart.exchange(position);
    endPosition.exchange(total > frame ? ~uint64_t{0} : position);
    playing.exchange(total > frame);
}

void FilePlayer::stopPlayback() noexcept
{
    playing.exchange(false);
}

} // namespace kestravel::plugins
