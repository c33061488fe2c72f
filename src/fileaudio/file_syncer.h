#pragma once
// Syncs finished take files to the device on a thread of its own. An fsync can take seconds on
// a slow disk: neither the writer's drain nor a host's deactivation waits for it. The thread
// lives as long as its recorder, whose destruction waits for every handed file.

#include "fileaudio/native_file.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kestravel::plugins {

class FileSyncer {
public:
    // [sync thread] Told which take a file belonged to when its sync or close failed.
    explicit FileSyncer(std::function<void(uint64_t take)> onFailure);
    ~FileSyncer(); // syncs and closes every handed file first
    FileSyncer(const FileSyncer&) = delete;
    FileSyncer& operator=(const FileSyncer&) = delete;

    // [writer thread] Takes over a file whose header is final. beforeSync (a test seam) runs on
    // the sync thread first. Without a thread to be had the sync happens here.
    void hand(NativeFile file, uint64_t take, std::function<void()> beforeSync) noexcept;

    // [any thread] Waits until every file handed so far is synced and closed.
    void drain() noexcept;

private:
    struct Job {
        NativeFile file;
        uint64_t take;
        std::function<void()> beforeSync;
    };
    void run() noexcept;
    void sync(Job& job) noexcept;

    const std::function<void(uint64_t)> onFailure;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> queue;
    bool busy = false;
    bool done = false;
    std::thread thread; // last: started after everything it reads
};

} // namespace kestravel::plugins
