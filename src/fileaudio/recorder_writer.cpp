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
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>

namespace kestravel::plugins {

namespace {

constexpr auto kIdlePoll = std::chrono::milliseconds(2);

// What the files of one take may still occupy. Unlimited in the product; the tests set a
// limit to play a disk that fills up.
struct DiskSpace {
    uint64_t limit;
    uint64_t used = 0;
};

// Syncs finished parts to the device on a thread of its own: an fsync can take half a second,
// and the drain must not wait for it while frames come in. Joined at the end of the take.
class PartSyncer {
public:
    explicit PartSyncer(std::function<void()> hook) : beforeSync(std::move(hook)) {}
    ~PartSyncer() { finish(); }
    PartSyncer(const PartSyncer&) = delete;
    PartSyncer& operator=(const PartSyncer&) = delete;

    // [writer thread] Takes over a file whose header is final.
    void hand(NativeFile file) noexcept
    {
        try {
            if (!thread.joinable())
                thread = std::thread(&PartSyncer::run, this);
            std::lock_guard lock(mutex);
            queue.push_back(std::move(file));
            wake.notify_one();
        } catch (...) {
            syncAndClose(file); // no thread to be had: do it here rather than not at all
        }
    }

    // [writer thread] Waits for every handed file; false when one could not be synced.
    bool finish() noexcept
    {
        if (thread.joinable()) {
            {
                std::lock_guard lock(mutex);
                done = true;
                wake.notify_one();
            }
            thread.join();
        }
        return ok;
    }

private:
    void run() noexcept
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return done || !queue.empty(); });
            if (queue.empty())
                return;
            NativeFile file = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            syncAndClose(file);
            lock.lock();
        }
    }

    void syncAndClose(NativeFile& file) noexcept
    {
        if (beforeSync)
            beforeSync();
        std::error_code ec;
        bool good = file.syncToDisk(ec);
        good = file.close(ec) && good;
        if (!good)
            ok = false; // read after the join
    }

    const std::function<void()> beforeSync;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<NativeFile> queue;
    bool done = false;
    bool ok = true;
};

// One file of a take. Sizes count bytes that reached the OS; the header never claims more,
// and never a partial frame.
class TakeFile {
public:
    enum class Created { Yes, NameTaken, Failed };

    TakeFile(uint32_t channelCount, uint32_t rate, DiskSpace& diskSpace)
        : channels(channelCount), sampleRate(rate), frameBytes(uint64_t{channelCount} * 4),
          disk(diskSpace)
    {
    }

    // Exclusive creation and the provisional header (an empty, valid WAV). A file created
    // here whose header cannot be written is removed again: only valid WAVs stay behind.
    Created create(const std::u16string& path)
    {
        std::error_code ec;
        std::filesystem::path fsPath;
        try {
            fsPath = toFsPath(path);
            file = NativeFile::createNew(fsPath, ec);
        } catch (const std::runtime_error&) {
            return Created::Failed;
        }
        if (!file.isOpen())
            return ec == std::errc::file_exists || pathExists(path) ? Created::NameTaken
                                                                    : Created::Failed;
        fileBytes = 0;
        bytes = 0;
        claimed = 0;
        const auto h = makeWavHeader(channels, sampleRate, 0);
        if (!put(0, h.data(), h.size())) {
            file.close(ec);
            std::filesystem::remove(fsPath, ec);
            disk.used -= fileBytes;
            return Created::Failed;
        }
        return Created::Yes;
    }

    bool isOpen() const noexcept { return file.isOpen(); }
    uint64_t wholeBytes() const noexcept { return bytes - bytes % frameBytes; }
    bool sizesBehind() const noexcept { return wholeBytes() != claimed; }
    uint64_t unclaimedBytes() const noexcept { return wholeBytes() - claimed; }

    // n samples in one call; false on an error (what reached the file still counts).
    bool append(const float* src, uint64_t n) noexcept
    {
        const uint64_t before = fileBytes;
        const bool ok = put(kWavHeaderBytes + bytes, src, n * 4);
        bytes += fileBytes - before;
        return ok;
    }

    bool refreshSizes() noexcept
    {
        claimed = wholeBytes();
        const auto h = makeWavHeader(channels, sampleRate, static_cast<uint32_t>(claimed));
        return put(4, &h[4], 4) && put(40, &h[40], 4);
    }

    // The final header: the file is complete and readable. Syncing it to the device is the
    // caller's choice (a part finished mid-take goes to the syncer).
    bool finishHeader() noexcept
    {
        claimed = wholeBytes();
        const auto h = makeWavHeader(channels, sampleRate, static_cast<uint32_t>(claimed));
        if (!put(0, h.data(), h.size()))
            return false;
        // A write cut short by a full disk can leave part of a frame: it goes, so the file
        // ends where its data chunk does.
        if (fileBytes > kWavHeaderBytes + claimed) {
            std::error_code ec;
            if (file.truncate(kWavHeaderBytes + claimed, ec)) {
                disk.used -= fileBytes - (kWavHeaderBytes + claimed);
                fileBytes = kWavHeaderBytes + claimed;
                bytes = claimed;
            }
        }
        return true;
    }

    NativeFile release() noexcept { return std::move(file); }

private:
    // A positional write that the disk limit may cut short.
    bool put(uint64_t offset, const void* src, uint64_t n) noexcept
    {
        uint64_t want = n;
        bool full = false;
        const uint64_t end = offset + n;
        if (end > fileBytes && end - fileBytes > disk.limit - disk.used) {
            const uint64_t room = fileBytes + (disk.limit - disk.used);
            want = room > offset ? room - offset : 0;
            full = true;
        }
        std::error_code ec;
        const size_t wrote = want ? file.writeAt(offset, src, static_cast<size_t>(want), ec) : 0;
        if (offset + wrote > fileBytes) {
            disk.used += offset + wrote - fileBytes;
            fileBytes = offset + wrote;
        }
        return !full && wrote == n;
    }

    NativeFile file;
    const uint32_t channels;
    const uint32_t sampleRate;
    const uint64_t frameBytes;
    DiskSpace& disk;
    uint64_t fileBytes = 0; // the file's length
    uint64_t bytes = 0;     // sample bytes in the file
    uint64_t claimed = 0;   // sample bytes the header says
};

// The next free "<stem>-part<N>.wav" beside the take's first file, created exclusively. Only a
// name that exists already moves on to the next number; any other failure ends the take.
bool openNextPart(TakeFile& file, const std::u16string& firstPath, uint32_t& nextPart,
                  std::u16string& created) noexcept
{
    try {
        for (; nextPart <= kMaxTakeNumber; ++nextPart) {
            const std::u16string candidate = numberedSibling(firstPath, u"-part", nextPart);
            if (pathExists(candidate))
                continue;
            switch (file.create(candidate)) {
            case TakeFile::Created::Yes:
                ++nextPart;
                created = candidate;
                return true;
            case TakeFile::Created::NameTaken: continue; // taken between the test and the creation
            case TakeFile::Created::Failed: return false;
            }
        }
    } catch (...) {
        // The existence test failed, or memory ran out for a name: the take cannot continue.
    }
    return false;
}

} // namespace

void FileRecorder::noteTakeFile(const std::u16string& path) noexcept
{
    try {
        std::lock_guard lock(filesMutex);
        files.push_back(path);
    } catch (...) {
        // Only the report misses a name; the take itself goes on.
    }
}

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
    float* const ringData = ring.get();
    const uint64_t capacity = ringCapacity;
    const uint64_t mask = capacity - 1;
    // Whole frames only, and at least one, so every file ends on a frame.
    const uint64_t budget = std::max<uint64_t>(options.fileByteBudget / (uint64_t{ch} * 4), 1) * ch;
    // No write covers more than a second of audio without a size refresh after it, whatever
    // the backlog: a crash loses at most about a second.
    const uint64_t refreshSamples = uint64_t{rate} * ch;

    DiskSpace disk{options.diskBytes};
    TakeFile file(ch, rate, disk);
    bool created = false;
    try {
        created = file.create(path) == TakeFile::Created::Yes;
    } catch (...) {
    }
    if (!created) {
        failed.exchange(true);
        finished.exchange(true);
        return;
    }
    noteTakeFile(path);
    fileCreated.exchange(true);
    partCount.exchange(1);
    ready.exchange(true);

    PartSyncer syncer(options.beforeSync);
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

        const uint64_t index = r & mask;
        const uint64_t contiguous = std::min<uint64_t>(capacity - index, w - r);
        uint64_t count = contiguous - contiguous % ch;
        const float* src = ringData + index;
        if (count == 0) {
            // One frame wraps around the ring's end: gather it so it is written in one piece.
            count = ch;
            for (uint32_t c = 0; c < ch; ++c)
                straddle[c] = ringData[(r + c) & mask];
            src = straddle;
        }

        uint64_t taken = 0;
        while (taken < count) {
            if (fileSamples == budget) {
                // The next sample would pass the budget: close this file on its last whole
                // frame and go on, without a gap, in the next part. The finished part is
                // complete once its header is written; the sync waits on another thread.
                if (!file.finishHeader()) {
                    failTake();
                    ok = false;
                    break;
                }
                syncer.hand(file.release());
                std::u16string partPath;
                if (!openNextPart(file, path, nextPart, partPath)) {
                    failTake();
                    ok = false;
                    break;
                }
                noteTakeFile(partPath);
                partCount.fetch_add(1);
                fileSamples = 0;
            }
            uint64_t n = std::min(count - taken, budget - fileSamples);
            if (options.refreshHeader)
                n = std::min(n, refreshSamples - file.unclaimedBytes() / 4);
            const uint64_t before = file.wholeBytes();
            const bool wrote = file.append(src + taken, n);
            const uint64_t added = (file.wholeBytes() - before) / 4;
            fileSamples += added;
            takeSamples += added;
            taken += n;
            if (options.afterWrite)
                options.afterWrite(file.unclaimedBytes());
            if (wrote) // space goes back to the producer before progress is shown
                readPosition.store(r + taken, std::memory_order_release);
            framesWritten.exchange(takeSamples / ch);
            if (!wrote) {
                failTake(); // the ring's remaining samples are not written
                ok = false;
                break;
            }
            if (options.refreshHeader && file.unclaimedBytes() >= refreshSamples * 4 &&
                !file.refreshSizes()) {
                failTake();
                ok = false;
                break;
            }
        }
    }

    // The last file is synced here: the take is over and no frame waits any more.
    if (file.isOpen()) {
        bool good = file.finishHeader();
        NativeFile last = file.release();
        if (options.beforeSync)
            options.beforeSync();
        std::error_code ec;
        good = last.syncToDisk(ec) && good;
        good = last.close(ec) && good;
        if (!good)
            failed.exchange(true);
    }
    if (!syncer.finish())
        failed.exchange(true);
    if (failed.load()) {
        recording.exchange(false);
        stopRequested.exchange(true);
    }
    ready.exchange(false);
    finished.exchange(true);
}

} // namespace kestravel::plugins
