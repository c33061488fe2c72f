// The controller and audio-thread side of the recorder; the writer thread is in
// recorder_writer.cpp.

#include "fileaudio/file_recorder.h"

#include "fileaudio/bext_chunk.h"
#include "fileaudio/file_syncer.h"
#include "fileaudio/take_naming.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>

namespace kestravel::plugins {

namespace {

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

// 64 bits that differ between takes, even where the system has no entropy source to offer.
uint64_t takeIdentityBits() noexcept
{
    uint64_t bits = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        bits ^= (uint64_t{device()} << 32) ^ device();
    } catch (...) {
        bits ^= static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) << 17;
    }
    return bits;
}
} // namespace

FileRecorder::FileRecorder()
    : ring(new float[kMinRingSamples]()), gaps(new Gap[kGapSlots]),
      syncer(std::make_unique<FileSyncer>([this](uint64_t take) {
          if (take == takeNumber.load())
              failed.exchange(true); // a sync of an earlier take must not fail this one
      }))
{
}

void FileRecorder::setTrackName(const std::string& name)
{
    std::lock_guard lock(filesMutex);
    trackName = name;
}

uint64_t FileRecorder::ringSamplesFor(uint32_t channelCount, uint32_t rate) noexcept
{
    const uint64_t halfSecond = (uint64_t{channelCount} * rate + 1) / 2;
    uint64_t samples = kMinRingSamples;
    while (samples < halfSecond)
        samples *= 2;
    return samples;
}

void FileRecorder::reserveRing(uint32_t channelCount, uint32_t rate)
{
    if (writer.joinable()) {
        if (!finished.load())
            return; // an armed or running take keeps its ring
        writer.join();
    }
    recording.exchange(false);
    while (pushing.load())
        std::this_thread::yield();
    const uint64_t want = ringSamplesFor(channelCount, rate);
    if (want == ringCapacity)
        return;
    std::unique_ptr<float[]> fresh(new float[want]()); // the old ring stays if this throws
    ring = std::move(fresh);
    ringCapacity = want;
}

FileRecorder::~FileRecorder()
{
    recording.exchange(false);
    countingAfterFailure.exchange(false);
    stopRequested.exchange(true);
    if (writer.joinable())
        writer.join();
    syncer.reset(); // the last take's files reach the device before the module is gone
}

void FileRecorder::prepareDestination(const std::u16string& path, uint32_t channelCount,
                                      uint32_t rate)
{
    if (recording.load())
        throw std::runtime_error("Stop recording before choosing destination");
    stopWriter();
    if (channelCount < 1 || channelCount > 64 || rate < 8000 || rate > 384000)
        throw std::runtime_error("Invalid recording format");
    if (path.find(u'\0') != std::u16string::npos)
        throw std::runtime_error("File name contains a NUL character");
    if (pathExists(path))
        throw std::runtime_error("Destination exists; choose a new file");

    // A push that saw the old take still recording (a writer that failed ends without waiting
    // for it) must be out before the positions are reset; any later push sees recording off.
    recording.exchange(false);
    while (pushing.load())
        std::this_thread::yield();
    // No writer runs and no push can store, so the ring, positions and settings are ours.
    reserveRing(channelCount, rate);
    channels.exchange(channelCount);
    sampleRate.exchange(rate);
    readPosition.exchange(0);
    writePosition.exchange(0);
    framesWritten.exchange(0);
    droppedFrames.exchange(0);
    silentCount.exchange(0);
    stopPosition.exchange(kNoPosition);
    partCount.exchange(0);
    takeFrames.exchange(0);
    bytesWritten.exchange(0);
    freeBytes.exchange(kUnknownFreeBytes);
    gapHead.exchange(0);
    gapTail.exchange(0);
    pendingGapFrames = 0;
    takeStarted.exchange(false);
    takeTimeline.exchange(0);
    takeTimestamp.exchange(timestampNewTakes.load());
    countingAfterFailure.exchange(false);
    stallLimit = writerOptions.offlineStallLimit;
    {
        std::lock_guard lock(filesMutex);
        files.clear();
        takeReference = makeTakeReference(takeIdentityBits());
    }
    takeNumber.fetch_add(1);
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
    if (writerOptions.whileArming)
        writerOptions.whileArming();
    // The audio thread may start, stop and finish the take on the new file before this thread
    // looks: a finished writer ends the wait as well as a ready or failed one.
    const auto giveUp = std::chrono::steady_clock::now() + writerOptions.armingLimit;
    while (!ready.load() && !failed.load() && !finished.load()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            // The disk does not answer. The writer ends the take as soon as it can; the file
            // it may still create is left empty and valid.
            stopCapture();
            throw std::runtime_error("Recording file not created in time; check the destination disk");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // A take that was created and then failed is reported by the status line, not here.
    if (failed.load() && partCount.load() == 0)
        throw std::runtime_error("Cannot create recording file");
}

std::vector<std::u16string> FileRecorder::takeFiles() const
{
    std::lock_guard lock(filesMutex);
    return files;
}

void FileRecorder::stopWriter()
{
    if (!writer.joinable())
        return;
    stopCapture();
    writer.join();
}

void FileRecorder::stopCapture() noexcept
{
    recording.exchange(false);
    countingAfterFailure.exchange(false);
    stopRequested.exchange(true);
}

void FileRecorder::startCapture(uint64_t position) noexcept
{
    startCapture(position, static_cast<int64_t>(position), takeTimestamp.load());
}

void FileRecorder::startCapture(uint64_t position, int64_t timelinePosition, bool timestamp) noexcept
{
    if (!ready.load() || stopRequested.load() || failed.load())
        return;
    if (!takeStarted.load()) {
        // Published before recording, so a writer that sees samples also sees the stamp.
        takeTimeline.exchange(timelinePosition);
        takeTimestamp.exchange(timestamp);
        takeStarted.exchange(true);
    }
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
                             uint64_t blockStart, bool waitForSpace) noexcept
{
    pushing.store(true);
    // A take whose writer failed still counts what it is given, as dropped, until it stops.
    const bool live = recording.load();
    if (!live && !countingAfterFailure.load()) {
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
    // none after it does, so frames are stored or dropped in runs. Only an offline push looks
    // again, after waiting for the writer.
    uint64_t roomFrames = live ? (ringCapacity - (w - r)) / ch : 0;
    // Drops the gap queue could not take yet belong right here: until they are published
    // nothing may be stored after them.
    if (live && pendingGapFrames > 0) {
        if (publishGap(w, pendingGapFrames))
            pendingGapFrames = 0;
        else
            roomFrames = 0;
    }
    if (!live)
        waitForSpace = false;

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
                countingAfterFailure.store(false);
                autoStop = true;
                break; // this frame is not written
            }
        } else {
            run = static_cast<uint32_t>(std::min<uint64_t>(frames - i, e - g)); // up to the tail
        }
        uint32_t stored = 0;
        for (;;) {
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(run - stored, roomFrames));
            storeFrames(in, i + stored, n, w, ch);
            w += uint64_t{n} * ch;
            roomFrames -= n;
            stored += n;
            if (stored == run || !waitForSpace)
                break;
            // The writer can only make room from samples it has been shown.
            writePosition.store(w, std::memory_order_release);
            roomFrames = waitForRoom(w, ch);
            if (roomFrames == 0) {
                waitForSpace = false; // it gave up: the rest of the block drops as usual
                break;
            }
        }
        dropped += run - stored; // whole frames only, never a part of one
        i += run;
    }
    silentCount.store(silent, std::memory_order_relaxed);
    if (dropped) {
        droppedFrames.fetch_add(dropped);
        // Drops come after every stored frame of the block, so they all sit at w. The writer
        // fills them with silence there: the file stays on the timeline it was recorded on.
        if (live && (pendingGapFrames > 0 || !publishGap(w, dropped)))
            pendingGapFrames += dropped;
    }
    writePosition.store(w, std::memory_order_release); // after the samples and gaps it covers
    if (autoStop)
        stopRequested.store(true);
    pushing.store(false);
}

bool FileRecorder::publishGap(uint64_t w, uint64_t frames) noexcept
{
    const uint64_t head = gapHead.load(std::memory_order_relaxed);
    const uint64_t tail = gapTail.load(std::memory_order_acquire);
    if (head != tail) {
        // Still queued at the same place (the writer has not moved since): grow it, unless the
        // writer has just taken it.
        Gap& last = gaps[(head - 1) % kGapSlots];
        if (last.position.load(std::memory_order_relaxed) == w) {
            uint64_t v = last.frames.load();
            while ((v & kGapTaken) == 0)
                if (last.frames.compare_exchange_weak(v, v + frames))
                    return true;
        }
    }
    if (head - tail == kGapSlots)
        return false;
    Gap& gap = gaps[head % kGapSlots];
    gap.position.store(w, std::memory_order_relaxed);
    gap.frames.store(frames, std::memory_order_relaxed);
    gapHead.store(head + 1, std::memory_order_release);
    return true;
}

uint64_t FileRecorder::waitForRoom(uint64_t w, uint32_t ch) const noexcept
{
    // Progress is any byte reaching the disk, not only ring space: a slow disk that keeps
    // moving is waited for however long the bounce takes.
    uint64_t r = readPosition.load(std::memory_order_acquire);
    uint64_t b = bytesWritten.load();
    auto lastProgress = std::chrono::steady_clock::now();
    for (;;) {
        const uint64_t room = (ringCapacity - (w - r)) / ch;
        if (room > 0)
            return room;
        if (failed.load() || finished.load())
            return 0;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const uint64_t now = readPosition.load(std::memory_order_acquire);
        const uint64_t bytes = bytesWritten.load();
        if (now != r || bytes != b) {
            r = now;
            b = bytes;
            lastProgress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastProgress > stallLimit) {
            return 0;
        }
    }
}

void FileRecorder::storeFrames(const Channels& in, uint32_t first, uint32_t count, uint64_t w,
                               uint32_t ch) noexcept
{
    float* const dst = ring.get();
    const uint64_t mask = ringCapacity - 1;
    uint32_t k = 0;
    while (k < count) {
        const uint64_t index = (w + uint64_t{k} * ch) & mask;
        const uint64_t whole = (ringCapacity - index) / ch; // frames before the ring's end
        if (whole == 0) {
            // A frame across the ring's end, sample by sample.
            for (uint32_t c = 0; c < ch; ++c)
                dst[(index + c) & mask] = finiteOr0(in.at(c, first + k));
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
