// The recorder's writer thread: drains the ring into the take's file in batches, keeps the
// header's sizes current so a crash leaves a readable file, and continues the take in a new
// part file before a file would outgrow the 32-bit sizes.

#include "fileaudio/file_recorder.h"

#include "fileaudio/native_file.h"
#include "fileaudio/take_naming.h"
#include "core/text_utf.h"
#include "fileaudio/wav_writer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace kestravel::plugins {

namespace {

constexpr uint64_t kRingMask = FileRecorder::kRingSamples - 1;
constexpr auto kIdlePoll = std::chrono::milliseconds(2);

// One file of a take. Sizes count bytes that reached the OS; the header never claims more,
// and never a partial frame.
class TakeFile {
public:
    TakeFile(uint32_t channelCount, uint32_t rate, uint64_t fullFrom)
        : channels(channelCount), sampleRate(rate), frameBytes(uint64_t{channelCount} * 4),
          failWritesFrom(fullFrom)
    {
    }

    // Exclusive creation and the provisional header (an empty, valid WAV).
    bool create(const std::u16string& path)
    {
        std::error_code ec;
        try {
            file = NativeFile::createNew(toFsPath(path), ec);
        } catch (const std::runtime_error&) {
            return false;
        }
        if (!file.isOpen())
            return false;
        if (failWritesFrom < kWavHeaderBytes || !writeWavHeader(file, channels, sampleRate, 0)) {
            file.close(ec);
            return false;
        }
        bytes = 0;
        claimed = 0;
        return true;
    }

    bool isOpen() const noexcept { return file.isOpen(); }
    uint64_t wholeBytes() const noexcept { return bytes - bytes % frameBytes; }
    bool sizesBehind() const noexcept { return wholeBytes() != claimed; }
    uint64_t unclaimedBytes() const noexcept { return wholeBytes() - claimed; }

    // n samples in one call; false on an error (what reached the file still counts).
    bool append(const float* src, uint64_t n) noexcept
    {
        const uint64_t offset = kWavHeaderBytes + bytes;
        uint64_t want = n * 4;
        bool full = false;
        if (offset + want > failWritesFrom) {
            want = failWritesFrom > offset ? failWritesFrom - offset : 0;
            full = true;
        }
        std::error_code ec;
        const size_t put = file.writeAt(offset, src, static_cast<size_t>(want), ec);
        bytes += put;
        return !full && put == want;
    }

    bool refreshSizes() noexcept
    {
        claimed = wholeBytes();
        return writeWavSizes(file, static_cast<uint32_t>(claimed));
    }

    // Final header, everything onto the device, closed.
    bool finalize() noexcept
    {
        claimed = wholeBytes();
        bool ok = writeWavHeader(file, channels, sampleRate, static_cast<uint32_t>(claimed));
        std::error_code ec;
        ok = file.syncToDisk(ec) && ok;
        ok = file.close(ec) && ok;
        return ok;
    }

private:
    NativeFile file;
    const uint32_t channels;
    const uint32_t sampleRate;
    const uint64_t frameBytes;
    const uint64_t failWritesFrom;
    uint64_t bytes = 0;   // sample bytes in the file
    uint64_t claimed = 0; // sample bytes the header says
};

// The next free "<stem>-part<N>.wav" beside the take's first file, created exclusively.
bool openNextPart(TakeFile& file, const std::u16string& firstPath, uint32_t& nextPart) noexcept
{
    try {
        for (; nextPart <= kMaxTakeNumber; ++nextPart) {
            const std::u16string candidate = numberedSibling(firstPath, u"-part", nextPart);
            if (pathExists(candidate))
                continue;
            if (file.create(candidate)) {
                ++nextPart;
                return true;
            }
            // Someone took the name between the test and the creation: try the next one.
            if (!pathExists(candidate))
                return false;
        }
    } catch (...) {
        // The existence test failed, or memory ran out for a name: the take cannot continue.
    }
    return false;
}

} // namespace

void FileRecorder::failTake() noexcept
{
    failed.exchange(true);
    recording.exchange(false);
    stopRequested.exchange(true);
}

void FileRecorder::writerThreadMain(std::u16string path)
{
    const WriterOptions options = writerOptions;
    const uint32_t ch = channels.load();
    const uint32_t rate = sampleRate.load();
    // Whole frames only, and at least one, so every file ends on a frame.
    const uint64_t budget = std::max<uint64_t>(options.fileByteBudget / (uint64_t{ch} * 4), 1) * ch;
    const uint64_t refreshBytes = uint64_t{rate} * ch * 4; // one second of audio

    TakeFile file(ch, rate, options.failWritesFrom);
    if (!file.create(path)) {
        failed.exchange(true);
        finished.exchange(true);
        return;
    }
    fileCreated.exchange(true);
    partCount.exchange(1);
    ready.exchange(true);

    uint64_t fileSamples = 0; // in the current file
    uint64_t takeSamples = 0; // over all files of the take
    uint32_t nextPart = 2;
    bool ok = true;
    float straddle[64];

    while (ok) {
        while (options.hold && options.hold->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));

        const uint64_t r = readPosition.load(std::memory_order_relaxed);
        uint64_t w = writePosition.load(std::memory_order_acquire);
        if (r == w) {
            // Idle with new samples on disk: let the header admit them.
            if (options.refreshHeader && file.sizesBehind() && !file.refreshSizes()) {
                failTake();
                ok = false;
                break;
            }
            // pushing guards the gap between an automatic stop and its last samples.
            if (stopRequested.load() && !pushing.load()) {
                w = writePosition.load(std::memory_order_acquire);
                if (r == w)
                    break;
                continue;
            }
            std::this_thread::sleep_for(kIdlePoll);
            continue;
        }

        const uint64_t index = r & kRingMask;
        const uint64_t contiguous = std::min<uint64_t>(kRingSamples - index, w - r);
        uint64_t count = contiguous - contiguous % ch;
        const float* src = ring.get() + index;
        if (count == 0) {
            // One frame wraps around the ring's end: gather it so it is written in one piece.
            count = ch;
            for (uint32_t c = 0; c < ch; ++c)
                straddle[c] = ring[(r + c) & kRingMask];
            src = straddle;
        }

        uint64_t taken = 0;
        while (taken < count) {
            if (fileSamples == budget) {
                // The next sample would pass the budget: close this file on its last whole
                // frame and go on, without a gap, in the next part.
                if (!file.finalize() || !openNextPart(file, path, nextPart)) {
                    failTake();
                    ok = false;
                    break;
                }
                partCount.fetch_add(1);
                fileSamples = 0;
            }
            const uint64_t n = std::min(count - taken, budget - fileSamples);
            const uint64_t before = file.wholeBytes();
            const bool wrote = file.append(src + taken, n);
            const uint64_t added = (file.wholeBytes() - before) / 4;
            fileSamples += added;
            takeSamples += added;
            taken += n;
            if (wrote) // space goes back to the producer before progress is shown
                readPosition.store(r + taken, std::memory_order_release);
            framesWritten.exchange(takeSamples / ch);
            if (!wrote) {
                failTake(); // the ring's remaining samples are not written
                ok = false;
                break;
            }
            if (options.refreshHeader && file.unclaimedBytes() >= refreshBytes &&
                !file.refreshSizes()) {
                failTake();
                ok = false;
                break;
            }
        }
    }

    if (file.isOpen() && !file.finalize())
        failed.exchange(true);
    if (failed.load()) {
        recording.exchange(false);
        stopRequested.exchange(true);
    }
    ready.exchange(false);
    finished.exchange(true);
}

} // namespace kestravel::plugins
