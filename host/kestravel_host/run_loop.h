// A Linux host's run loop: the descriptors and timers a module's editor registers, served on
// the thread that runs it (poll), as a Linux DAW's UI thread does.
#pragma once

#ifndef _WIN32

#include <chrono>
#include <functional>
#include <vector>

#include "kestravel_host/com_object.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins {

class HostRunLoop : public EmbeddedObject<Steinberg::Linux::IRunLoop>
{
public:
    using Clock = std::chrono::steady_clock;

    ~HostRunLoop() override;

    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                       Steinberg::Linux::FileDescriptor fd) override;
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval milliseconds) override;
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

    // The host's own descriptor (its X connection), served before the module's.
    void watchOwn(int fd, std::function<void()> ready);
    // Serves descriptors and timers until the deadline or until stop() is called.
    void runUntil(Clock::time_point deadline);
    void stop() { stopping = true; }
    // Registrations still held (a view that was removed should hold none).
    std::size_t registrations() const { return watches.size() + timers.size(); }

private:
    struct Watch
    {
        Steinberg::Linux::IEventHandler* handler;
        int fd;
    };
    struct Timer
    {
        Steinberg::Linux::ITimerHandler* handler;
        std::chrono::milliseconds period;
        Clock::time_point due;
    };

    std::vector<Watch> watches;
    std::vector<Timer> timers;
    int ownFd = -1;
    std::function<void()> ownReady;
    bool stopping = false;
};

} // namespace kestravel::plugins

#endif
