// The controller and audio-thread side of the recorder; the writer thread is in
// recorder_writer.cpp.

#include "fileaudio/file_recorder.h"

#include "fileaudio/take_naming.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace kestravel::plugins {

namespace {
constexpr uint64_t kRingMask = FileRecorder::kRingSamples - 1;

// Non-finite input is recorded as 0; a select on the exponent bits, so loops vectorise.
float finiteOr0(float v) noexcept
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    bits &= (bits & 0x7F800000u) == 0x7F800000u ? 0u : ~0u;
    std::memcpy(&v, &bits, 4);
    return v;
}

// NaN takes the lower bound: a tail setting must never turn into an undefined count.
double clampSetting(double v, double lo, double hi) noexcept
{
    return std::isnan(v) ? lo : std::clamp(v, lo, hi);
}
} // namespace

FileRecorder::FileRecorder() : ring(new float[kRingSamples]()) {}

FileRecorder::~FileRecorder()
{
    recording.exchange(false);
    stopRequested.exchange(true);
    if (writer.joinable())
        writer.join();
}

void FileRecorder::prepareDestination(const std::u16string& path, uint32_t channelCount,
                                      uint32_t rate)
{
    if (recording.load())
        throw std::runtime_error("Stop recording before choosing destination");
    stopWriter();
    if (channelCount < 1 || channelCount > 64 || rate < 8000 || rate > 384000)
        throw std::runtime_error("Invalid recording format");
    if (pathExists(path))
        throw std::runtime_error("Destination exists; choose a new file");

    // A push that saw the old take still recording (a writer that failed ends without waiting
    // for it) must be out before the positions are reset; any later push sees recording off.
    recording.exchange(false);
    while (pushing.load())
        std::this_thread::yield();
    // No writer runs and no push can store, so the positions and settings are ours to reset.
    channels.exchange(channelCount);
    sampleRate.exchange(rate);
    readPosition.exchange(0);
    writePosition.exchange(0);
    framesWritten.exchange(0);
    droppedFrames.exchange(0);
    silentCount.exchange(0);
    stopPosition.exchange(kNoPosition);
    partCount.exchange(0);
    failed.exchange(false);
    stopRequested.exchange(false);
    finished.exchange(false);
    ready.exchange(false);

    try {
        writer = std::thread(&FileRecorder::writerThreadMain, this, path);
    } catch (...) {
        finished.exchange(true); // no writer: back to a recorder without a destination
        throw;
    }
    while (!ready.load() && !failed.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (failed.load())
        throw std::runtime_error("Cannot create recording file");
}

void FileRecorder::stopWriter()
{
    if (!writer.joinable())
        return;
    recording.exchange(false);
    stopRequested.exchange(true);
    writer.join();
}

void FileRecorder::stopCapture() noexcept
{
    recording.exchange(false);
    stopRequested.exchange(true);
}

void FileRecorder::startCapture(uint64_t position) noexcept
{
    if (!ready.load() || stopRequested.load() || failed.load())
        return;
    startPosition.exchange(position);
    stopPosition.exchange(kNoPosition);
    silentCount.exchange(0);
    recording.exchange(true);
}

void FileRecorder::requestTailStop(uint64_t position, double silenceSeconds, double maxTailSeconds,
                                   double thresholdDb) noexcept
{
    const double rate = sampleRate.load();
    silenceSamples.exchange(static_cast<uint64_t>(rate * clampSetting(silenceSeconds, 0.01, 10.0)));
    maxTailSamples.exchange(static_cast<uint64_t>(rate * clampSetting(maxTailSeconds, 0.01, 3600.0)));
    silenceThreshold.exchange(
        static_cast<float>(std::pow(10.0, clampSetting(thresholdDb, -120.0, -6.0) / 20.0)));
    stopPosition.exchange(position);
}

void FileRecorder::pushBlock(const float* const* buffers, uint32_t bufferCount, uint32_t frames,
                             uint64_t blockStart) noexcept
{
    pushing.store(true);
    if (!recording.load()) {
        pushing.store(false);
        return;
    }
    const uint32_t ch = channels.load(std::memory_order_relaxed);
    uint64_t w = writePosition.load(std::memory_order_relaxed);
    const uint64_t r = readPosition.load(std::memory_order_acquire); // one snapshot per block
    const uint64_t s = startPosition.load();
    const uint64_t e = stopPosition.load();
    const uint64_t silenceRun = silenceSamples.load(std::memory_order_relaxed);
    const uint64_t maxTail = maxTailSamples.load(std::memory_order_relaxed);
    const float threshold = silenceThreshold.load(std::memory_order_relaxed);
    uint64_t silent = silentCount.load(std::memory_order_relaxed);
    uint64_t dropped = 0;
    bool autoStop = false;
    const Channels in{buffers, bufferCount};
    // The snapshot of r fixes the free space for the whole block: once a frame does not fit,
    // none after it does, so frames are stored or dropped in runs.
    uint64_t roomFrames = (kRingSamples - (w - r)) / ch;

    // Frames before the start are skipped.
    uint32_t i = blockStart < s ? static_cast<uint32_t>(std::min<uint64_t>(s - blockStart, frames)) : 0;
    while (i < frames) {
        const uint64_t g = blockStart + i;
        uint32_t run = 1;
        if (g >= e) {
            // In the tail every frame is tested alone.
            float peak = 0.0f;
            for (uint32_t c = 0; c < ch; ++c) {
                const float a = std::fabs(in.at(c, i));
                if (a > peak) // NaN never raises the peak
                    peak = a;
            }
            silent = peak <= threshold ? silent + 1 : 0;
            if (silent >= silenceRun || g - e >= maxTail) {
                recording.store(false);
                autoStop = true;
                break; // this frame is not written
            }
        } else {
            run = static_cast<uint32_t>(std::min<uint64_t>(frames - i, e - g)); // up to the tail
        }
        const auto stored = static_cast<uint32_t>(std::min<uint64_t>(run, roomFrames));
        storeFrames(in, i, stored, w, ch);
        w += uint64_t{stored} * ch;
        roomFrames -= stored;
        dropped += run - stored; // whole frames only, never a part of one
        i += run;
    }
    silentCount.store(silent, std::memory_order_relaxed);
    if (dropped)
        droppedFrames.fetch_add(dropped);
    writePosition.store(w, std::memory_order_release); // after the samples it covers
    if (autoStop)
        stopRequested.store(true);
    pushing.store(false);
}

void FileRecorder::storeFrames(const Channels& in, uint32_t first, uint32_t count, uint64_t w,
                               uint32_t ch) noexcept
{
    float* const dst = ring.get();
    uint32_t k = 0;
    while (k < count) {
        const uint64_t index = (w + uint64_t{k} * ch) & kRingMask;
        const uint64_t whole = (kRingSamples - index) / ch; // frames before the ring's end
        if (whole == 0) {
            // A frame across the ring's end, sample by sample.
            for (uint32_t c = 0; c < ch; ++c)
                dst[(index + c) & kRingMask] = finiteOr0(in.at(c, first + k));
            ++k;
            continue;
        }
        // Channel by channel: each source is read in order, the ring written with a stride.
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(count - k, whole));
        float* const base = dst + index;
        for (uint32_t c = 0; c < ch; ++c) {
            const float* src = in.row(c);
            if (src) {
                src += first + k;
                for (uint32_t j = 0; j < n; ++j)
                    base[uint64_t{j} * ch + c] = finiteOr0(src[j]);
            } else {
                for (uint32_t j = 0; j < n; ++j)
                    base[uint64_t{j} * ch + c] = 0.0f;
            }
        }
        k += n;
    }
}

} // namespace kestravel::plugins
