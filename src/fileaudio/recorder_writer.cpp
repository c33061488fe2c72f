// The recorder's writer thread: drains the ring into the take's file in pieces, writes silence
// where frames were dropped, keeps the header's sizes current so a crash leaves a readable
// file, and continues the take in a new part file before a file would outgrow the 32-bit sizes.

#include "fileaudio/file_recorder.h"

#include "fileaudio/file_syncer.h"
#include "fileaudio/native_file.h"
#include "fileaudio/take_naming.h"
#include "core/text_utf.h"
#include "fileaudio/wav_writer.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <stdexcept>

namespace kestravel::plugins {

namespace {

constexpr auto kIdlePoll = std::chrono::milliseconds(2);
constexpr auto kFreeSpaceInterval = std::chrono::seconds(1);
// Samples per write call: progress shows after each, so an offline push waiting for room sees
// a slow disk move, and the header refresh never lags a piece.
constexpr uint64_t kPieceSamples = 65536;

// What the files of one take may still occupy. Unlimited in the product; the tests set a
// limit to play a disk that fills up.
struct DiskSpace {
    uint64_t limit;
    uint64_t used = 0;
};

// One file of a take. Sizes count bytes that reached the OS; the header never claims more,
// and never a partial frame.
class TakeFile {
public:
    enum class Created { Yes, NameTaken, Failed };

    TakeFile(uint32_t channelCount, uint32_t rate, DiskSpace& diskSpace,
             std::function<void(const std::u16string&)> writeHook)
        : channels(channelCount), sampleRate(rate), frameBytes(uint64_t{channelCount} * 4),
          disk(diskSpace), afterFileWrite(std::move(writeHook))
    {
    }

    // Exclusive creation and the provisional header (an empty, valid WAV), time-stamped when
    // a stamp is given. A file created here whose header cannot be written is removed again:
    // only valid WAVs stay behind.
    Created create(const std::u16string& filePath, const BextChunk* bext)
    {
        std::error_code ec;
        std::filesystem::path fsPath;
        try {
            fsPath = toFsPath(filePath);
            file = NativeFile::createNew(fsPath, ec);
        } catch (const std::runtime_error&) {
            return Created::Failed;
        }
        if (!file.isOpen())
            return ec == std::errc::file_exists || pathExists(filePath) ? Created::NameTaken
                                                                        : Created::Failed;
        path = filePath;
        fileBytes = 0;
        bytes = 0;
        claimed = 0;
        hasStamp = bext != nullptr;
        if (bext)
            stamp = *bext;
        headerBytes = takeHeaderBytes(hasStamp);
        if (!writeHeader()) {
            file.close(ec);
            std::filesystem::remove(fsPath, ec);
            disk.used -= fileBytes;
            return Created::Failed;
        }
        return Created::Yes;
    }

    bool isOpen() const noexcept { return file.isOpen(); }
    uint64_t length() const noexcept { return fileBytes; }
    uint64_t wholeBytes() const noexcept { return bytes - bytes % frameBytes; }
    bool sizesBehind() const noexcept { return wholeBytes() != claimed; }
    uint64_t unclaimedBytes() const noexcept { return wholeBytes() - claimed; }
    // Whole-frame samples this file may hold, within the test's budget.
    uint64_t sampleBudget(uint64_t byteBudget) const noexcept
    {
        const uint64_t limit = std::min(byteBudget, maxTakeDataBytes(headerBytes));
        return std::max<uint64_t>(limit / frameBytes, 1) * channels;
    }

    // n samples in one call, or n zeros (src null); false on an error (what reached the file
    // still counts).
    bool append(const float* src, uint64_t n) noexcept
    {
        static const float zeros[kPieceSamples] = {};
        const uint64_t before = fileBytes;
        const bool ok = put(headerBytes + bytes, src ? src : zeros, n * 4);
        bytes += fileBytes - before;
        return ok;
    }

    // The take has started: its time stamp, or none. Before the first sample the header may
    // still change its layout; the file then takes the new header's length.
    bool restamp(const BextChunk* bext) noexcept
    {
        const uint32_t want = takeHeaderBytes(bext != nullptr);
        if (want != headerBytes && bytes != 0)
            return true; // never happens: samples only come after the stamp
        const uint32_t was = headerBytes;
        hasStamp = bext != nullptr;
        if (bext)
            stamp = *bext;
        headerBytes = want;
        if (!writeHeader())
            return false;
        if (want < was && fileBytes > want) {
            std::error_code ec;
            if (!file.truncate(want, ec))
                return false;
            disk.used -= fileBytes - want;
            fileBytes = want;
        }
        return true;
    }

    bool refreshSizes() noexcept
    {
        claimed = wholeBytes();
        return writeHeader();
    }

    // The final header: the file is complete and readable. Syncing it to the device is the
    // caller's choice.
    bool finishHeader() noexcept
    {
        if (!refreshSizes())
            return false;
        // A write cut short by a full disk can leave part of a frame: it goes, so the file
        // ends where its data chunk does.
        if (fileBytes > headerBytes + claimed) {
            std::error_code ec;
            if (file.truncate(headerBytes + claimed, ec)) {
                disk.used -= fileBytes - (headerBytes + claimed);
                fileBytes = headerBytes + claimed;
                bytes = claimed;
            }
        }
        return true;
    }

    NativeFile release() noexcept { return std::move(file); }

private:
    // Every size field (RIFF, fact, data) in one write at offset 0: whatever instant a kill
    // picks, the sizes on disk agree with each other and never claim more than is there.
    bool writeHeader() noexcept
    {
        try {
            const auto h = makeTakeHeader(channels, sampleRate, static_cast<uint32_t>(claimed),
                                          hasStamp ? &stamp : nullptr);
            return put(0, h.data(), h.size());
        } catch (...) {
            return false; // no memory for a few hundred bytes: as good as a failed write
        }
    }

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
        if (afterFileWrite)
            afterFileWrite(path);
        return !full && wrote == n;
    }

    NativeFile file;
    std::u16string path;
    const uint32_t channels;
    const uint32_t sampleRate;
    const uint64_t frameBytes;
    DiskSpace& disk;
    const std::function<void(const std::u16string&)> afterFileWrite;
    BextChunk stamp;
    bool hasStamp = false;
    uint32_t headerBytes = kWavHeaderBytes;
    uint64_t fileBytes = 0; // the file's length
    uint64_t bytes = 0;     // sample bytes in the file
    uint64_t claimed = 0;   // sample bytes the header says
};

// The next free "<stem>-part<N>.wav" beside the take's first file, created exclusively. Only a
// name that exists already moves on to the next number; any other failure ends the take.
bool openNextPart(TakeFile& file, const std::u16string& firstPath, uint32_t& nextPart,
                  const BextChunk* bext, std::u16string& created) noexcept
{
    try {
        for (; nextPart <= kMaxTakeNumber; ++nextPart) {
            const std::u16string candidate = numberedSibling(firstPath, u"-part", nextPart);
            if (pathExists(candidate))
                continue;
            switch (file.create(candidate, bext)) {
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

// The time stamp of a take's file: its identity, the track, the wall clock when the take
// started (local time) and the timeline sample of the file's first frame.
BextChunk makeStamp(const std::string& reference, const std::string& description,
                    uint64_t timeReference)
{
    BextChunk bext;
    bext.description = description;
    bext.originator = "KESTRAVEL RECORDER";
    bext.originatorReference = reference;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    const bool known = localtime_s(&local, &now) == 0;
#else
    const bool known = localtime_r(&now, &local) != nullptr;
#endif
    if (known) {
        char date[16] = {};
        char time[16] = {};
        std::strftime(date, sizeof date, "%Y-%m-%d", &local);
        std::strftime(time, sizeof time, "%H:%M:%S", &local);
        bext.originationDate = date;
        bext.originationTime = time;
    }
    bext.timeReference = timeReference;
    return bext;
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
    // A take that was recording goes on counting its frames as dropped until it stops; one
    // that has already stopped (or never started) counts nothing more.
    countingAfterFailure.exchange(true);
    if (!recording.exchange(false))
        countingAfterFailure.exchange(false);
    stopRequested.exchange(true);
}

void FileRecorder::writerThreadMain(std::u16string path)
{
    const WriterOptions options = writerOptions;
    const uint32_t ch = channels.load();
    const uint32_t rate = sampleRate.load();
    const uint64_t take = takeNumber.load();
    float* const ringData = ring.get();
    const uint64_t capacity = ringCapacity;
    const uint64_t mask = capacity - 1;
    // No write covers more than a second of audio without a size refresh after it, whatever
    // the backlog: a crash loses at most about a second.
    const uint64_t refreshSamples = uint64_t{rate} * ch;
    const uint64_t pieceSamples = std::max<uint64_t>(kPieceSamples / ch, 1) * ch;
    const auto askFreeSpace = [&] {
        freeBytes.exchange(options.freeSpace ? options.freeSpace(path) : freeDiskBytes(path));
        return std::chrono::steady_clock::now() + kFreeSpaceInterval;
    };

    std::string reference;
    std::string description;
    BextChunk stamp; // the first file's, when hasStamp; a part's adds the frames before it
    bool hasStamp = false;
    DiskSpace disk{options.diskBytes};
    TakeFile file(ch, rate, disk, options.afterFileWrite);
    bool created = false;
    try {
        {
            std::lock_guard lock(filesMutex);
            reference = takeReference;
            description = trackName;
        }
        hasStamp = takeTimestamp.load();
        if (hasStamp)
            stamp = makeStamp(reference, description, 0); // until the take starts
        created = file.create(path, hasStamp ? &stamp : nullptr) == TakeFile::Created::Yes;
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
    bytesWritten.exchange(file.length());
    auto nextFreeSpace = askFreeSpace();
    ready.exchange(true);

    uint64_t fileSamples = 0; // in the current file
    uint64_t takeSamples = 0; // over all files of the take, silence for drops included
    uint64_t realSamples = 0; // of those, the ones the module was given
    uint64_t closedBytes = 0; // of the take's finished parts
    uint32_t nextPart = 2;
    bool stamped = false;
    bool discarding = false; // after a failure: the ring is emptied and counted as dropped
    float straddle[64];

    const auto showProgress = [&] {
        bytesWritten.exchange(closedBytes + file.length());
        takeFrames.exchange(takeSamples / ch);
        framesWritten.exchange(realSamples / ch);
    };

    // n samples of src (silence when null) into the take, continuing in a new part whenever a
    // file is full. onPiece gets the samples done after each piece that reached the disk.
    // False on a failure; written then holds the samples that are whole on disk.
    const auto writeSamples = [&](const float* src, uint64_t n, const auto& onPiece,
                                  uint64_t& written) -> bool {
        uint64_t done = 0;
        written = 0;
        while (done < n) {
            const uint64_t budget = file.sampleBudget(options.fileByteBudget);
            if (fileSamples >= budget) {
                // The next sample would pass the budget: close this file on its last whole
                // frame and go on, without a gap, in the next part. The finished part is
                // complete once its header is written; the sync waits on another thread.
                if (!file.finishHeader())
                    return false;
                closedBytes += file.length();
                syncer->hand(file.release(), take, options.beforeSync);
                BextChunk partStamp = stamp;
                partStamp.timeReference += takeSamples / ch;
                std::u16string partPath;
                if (!openNextPart(file, path, nextPart, hasStamp ? &partStamp : nullptr, partPath))
                    return false;
                noteTakeFile(partPath);
                partCount.fetch_add(1);
                fileSamples = 0;
                showProgress();
                continue;
            }
            uint64_t piece = std::min({n - done, budget - fileSamples, pieceSamples});
            if (options.refreshHeader)
                piece = std::min(piece, refreshSamples - file.unclaimedBytes() / 4);
            if (options.beforeWrite)
                options.beforeWrite(piece * 4);
            const uint64_t before = file.wholeBytes();
            const bool wrote = file.append(src ? src + done : nullptr, piece);
            const uint64_t added = (file.wholeBytes() - before) / 4;
            fileSamples += added;
            takeSamples += added;
            if (src)
                realSamples += added;
            if (options.afterWrite)
                options.afterWrite(file.unclaimedBytes());
            if (!wrote) {
                written = done + added;
                showProgress();
                return false;
            }
            done += piece;
            written = done;
            onPiece(done); // space goes back to the producer before progress is shown
            showProgress();
            if (options.refreshHeader && file.unclaimedBytes() >= refreshSamples * 4 &&
                !file.refreshSizes())
                return false;
        }
        return true;
    };
    const auto noPieces = [](uint64_t) {};

    for (;;) {
        while (options.hold && options.hold->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (std::chrono::steady_clock::now() >= nextFreeSpace)
            nextFreeSpace = askFreeSpace();

        const uint64_t r = readPosition.load(std::memory_order_relaxed);
        uint64_t w = writePosition.load(std::memory_order_acquire);
        const uint64_t gapAt = gapTail.load(std::memory_order_relaxed);
        uint64_t gapEnd = gapHead.load(std::memory_order_acquire);

        // Samples or gaps exist only after the take started, and its stamp was published
        // before them: the header gets its final layout before the first sample.
        if (!stamped && takeStarted.load()) {
            stamped = true;
            const int64_t timeline = takeTimeline.load(); // projectTimeSamples, not sampleClock
            try {
                {
                    std::lock_guard lock(filesMutex);
                    description = trackName;
                }
                hasStamp = takeTimestamp.load();
                if (hasStamp)
                    stamp = makeStamp(reference, description,
                                      timeline > 0 ? static_cast<uint64_t>(timeline) : 0);
            } catch (...) {
                hasStamp = false; // no memory for the stamp: the take goes on with a plain header
            }
            if (!file.restamp(hasStamp ? &stamp : nullptr)) {
                failTake();
                discarding = true;
            }
            showProgress();
        }

        if (gapAt != gapEnd) {
            Gap& gap = gaps[gapAt % kGapSlots];
            if (gap.position.load(std::memory_order_relaxed) == r) {
                // Frames the ring had no room for: silence in their place, so everything after
                // them stays where it was recorded. Already counted as dropped.
                const uint64_t frames = gap.frames.exchange(kGapTaken) & ~kGapTaken;
                gapTail.store(gapAt + 1, std::memory_order_release);
                uint64_t written = 0;
                if (!discarding && !writeSamples(nullptr, frames * ch, noPieces, written)) {
                    failTake();
                    discarding = true;
                }
                continue;
            }
        }

        if (r == w) {
            // Idle with new samples on disk: let the header admit them.
            if (!discarding && options.refreshHeader && file.sizesBehind() && !file.refreshSizes()) {
                failTake();
                discarding = true;
            }
            // pushing guards the gap between an automatic stop and its last samples.
            if (stopRequested.load() && !pushing.load()) {
                w = writePosition.load(std::memory_order_acquire);
                gapEnd = gapHead.load(std::memory_order_acquire);
                if (r == w && gapAt == gapEnd)
                    break;
                continue;
            }
            std::this_thread::sleep_for(kIdlePoll);
            continue;
        }

        // Up to the next gap at most: it belongs between these samples and the ones after it.
        const uint64_t limit =
            gapAt != gapEnd ? std::min(w, gaps[gapAt % kGapSlots].position.load(std::memory_order_relaxed)) : w;
        const uint64_t index = r & mask;
        const uint64_t contiguous = std::min<uint64_t>(capacity - index, limit - r);
        uint64_t count = contiguous - contiguous % ch;
        const float* src = ringData + index;
        if (count == 0) {
            // One frame wraps around the ring's end: gather it so it is written in one piece.
            count = ch;
            for (uint32_t c = 0; c < ch; ++c)
                straddle[c] = ringData[(r + c) & mask];
            src = straddle;
        }

        if (discarding) {
            readPosition.store(r + count, std::memory_order_release);
            droppedFrames.fetch_add(count / ch);
            continue;
        }
        uint64_t written = 0;
        const auto giveBack = [&](uint64_t done) { readPosition.store(r + done, std::memory_order_release); };
        if (!writeSamples(src, count, giveBack, written)) {
            // What did not reach the disk is counted as dropped below, with the rest of the ring.
            readPosition.store(r + written, std::memory_order_release);
            failTake();
            discarding = true;
        }
    }

    // The last file is complete once its header is final; its sync to the device goes on in
    // the background, so a host's deactivation never waits for the disk.
    if (file.isOpen()) {
        const bool good = file.finishHeader();
        showProgress();
        syncer->hand(file.release(), take, options.beforeSync);
        if (!good)
            failed.exchange(true);
    }
    if (failed.load()) {
        recording.exchange(false);
        stopRequested.exchange(true);
    }
    ready.exchange(false);
    finished.exchange(true);
}

} // namespace kestravel::plugins
