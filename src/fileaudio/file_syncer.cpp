#include "fileaudio/file_syncer.h"

namespace kestravel::plugins {

FileSyncer::FileSyncer(std::function<void(uint64_t)> failure) : onFailure(std::move(failure)) {}

FileSyncer::~FileSyncer()
{
    {
        std::lock_guard lock(mutex);
        done = true;
        wake.notify_all();
    }
    if (thread.joinable())
        thread.join();
}

void FileSyncer::hand(NativeFile file, uint64_t take, std::function<void()> beforeSync) noexcept
{
    Job job{std::move(file), take, std::move(beforeSync)};
    try {
        std::lock_guard lock(mutex);
        if (!thread.joinable())
            thread = std::thread(&FileSyncer::run, this);
        queue.push_back(std::move(job));
        wake.notify_one();
        return;
    } catch (...) {
    }
    if (job.file.isOpen())
        sync(job); // no thread or no memory: do it here rather than not at all
}

void FileSyncer::drain() noexcept
{
    std::unique_lock lock(mutex);
    idle.wait(lock, [&] { return queue.empty() && !busy; });
}

void FileSyncer::run() noexcept
{
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return done || !queue.empty(); });
        if (queue.empty())
            return; // done, and nothing left
        Job job = std::move(queue.front());
        queue.pop_front();
        busy = true;
        lock.unlock();
        sync(job);
        lock.lock();
        busy = false;
        if (queue.empty())
            idle.notify_all();
    }
}

void FileSyncer::sync(Job& job) noexcept
{
    if (job.beforeSync)
        job.beforeSync();
    std::error_code ec;
    bool good = job.file.syncToDisk(ec);
    good = job.file.close(ec) && good;
    if (!good && onFailure)
        onFailure(job.take);
}

} // namespace kestravel::plugins
