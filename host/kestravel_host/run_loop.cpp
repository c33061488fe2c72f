#ifndef _WIN32

#include "kestravel_host/run_loop.h"

#include <poll.h>

#include <algorithm>

namespace kestravel::plugins {

using namespace Steinberg;

HostRunLoop::~HostRunLoop()
{
    // A module that left something registered is released here, not leaked.
    for (auto& w : watches)
        w.handler->release();
    for (auto& t : timers)
        t.handler->release();
}

tresult PLUGIN_API HostRunLoop::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd)
{
    if (handler == nullptr || fd < 0)
        return kInvalidArgument;
    handler->addRef();
    watches.push_back({handler, fd});
    return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterEventHandler(Linux::IEventHandler* handler)
{
    const auto gone = std::stable_partition(watches.begin(), watches.end(),
                                            [handler](const Watch& w) { return w.handler != handler; });
    if (gone == watches.end())
        return kInvalidArgument;
    for (auto it = gone; it != watches.end(); ++it)
        it->handler->release();
    watches.erase(gone, watches.end());
    return kResultOk;
}

tresult PLUGIN_API HostRunLoop::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds)
{
    if (handler == nullptr || milliseconds == 0)
        return kInvalidArgument;
    handler->addRef();
    const auto period = std::chrono::milliseconds(std::min<Linux::TimerInterval>(milliseconds, 24u * 3600u * 1000u));
    timers.push_back({handler, period, Clock::now() + period});
    return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterTimer(Linux::ITimerHandler* handler)
{
    const auto gone = std::stable_partition(timers.begin(), timers.end(),
                                            [handler](const Timer& t) { return t.handler != handler; });
    if (gone == timers.end())
        return kInvalidArgument;
    for (auto it = gone; it != timers.end(); ++it)
        it->handler->release();
    timers.erase(gone, timers.end());
    return kResultOk;
}

void HostRunLoop::watchOwn(int fd, std::function<void()> ready)
{
    ownFd = fd;
    ownReady = std::move(ready);
}

void HostRunLoop::runUntil(Clock::time_point deadline)
{
    stopping = false;
    while (!stopping && Clock::now() < deadline)
    {
        Clock::time_point wake = deadline;
        for (const auto& t : timers)
            wake = std::min(wake, t.due);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();

        std::vector<pollfd> fds;
        std::vector<Linux::IEventHandler*> owners;
        if (ownFd >= 0)
        {
            fds.push_back({ownFd, POLLIN, 0});
            owners.push_back(nullptr);
        }
        for (const auto& w : watches)
        {
            fds.push_back({w.fd, POLLIN, 0});
            owners.push_back(w.handler);
        }
        ::poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(wait, 0, 1000)));

        // Handlers may unregister themselves or others while called: look each one up again.
        for (std::size_t i = 0; i < fds.size() && !stopping; ++i)
        {
            if (fds[i].revents == 0)
                continue;
            if (owners[i] == nullptr)
            {
                ownReady();
                continue;
            }
            Linux::IEventHandler* h = owners[i];
            const bool still = std::any_of(watches.begin(), watches.end(), [&](const Watch& w) {
                return w.handler == h && w.fd == fds[i].fd;
            });
            if (still)
            {
                h->addRef();
                h->onFDIsSet(fds[i].fd);
                h->release();
            }
        }
        const auto now = Clock::now();
        std::vector<Linux::ITimerHandler*> due;
        for (auto& t : timers)
            if (now >= t.due)
            {
                // No catching up after a stall: the next tick is one period from now.
                t.due = now + t.period;
                due.push_back(t.handler);
            }
        for (auto* h : due)
        {
            if (stopping)
                break;
            if (std::none_of(timers.begin(), timers.end(), [h](const Timer& t) { return t.handler == h; }))
                continue;
            h->addRef();
            h->onTimer();
            h->release();
        }
    }
}

} // namespace kestravel::plugins

#endif
