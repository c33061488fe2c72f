#pragma once
// A Linux host's run loop in miniature: descriptors watched with poll, timers fired when due or
// on demand, every registration counted so a test can see what a view left behind.

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins::testing {

class TestRunLoop : public Steinberg::Linux::IRunLoop {
public:
    using Clock = std::chrono::steady_clock;

    struct Watch {
        Steinberg::Linux::IEventHandler* handler;
        int fd;
    };
    struct Timer {
        Steinberg::Linux::ITimerHandler* handler;
        uint64_t period;
        Clock::time_point due;
    };

    std::vector<Watch> watches;
    std::vector<Timer> timers;
    int references = 1; // the test's own
    bool refuseTimers = false;

    ~TestRunLoop()
    {
        for (auto& w : watches)
            w.handler->release();
        for (auto& t : timers)
            t.handler->release();
    }

    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler, int fd) override
    {
        if (!handler || fd < 0)
            return Steinberg::kInvalidArgument;
        handler->addRef();
        watches.push_back({handler, fd});
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override
    {
        bool found = false;
        for (size_t i = watches.size(); i-- > 0;)
            if (watches[i].handler == handler) {
                watches.erase(watches.begin() + static_cast<std::ptrdiff_t>(i));
                handler->release();
                found = true;
            }
        return found ? Steinberg::kResultOk : Steinberg::kInvalidArgument;
    }
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval ms) override
    {
        if (!handler || refuseTimers)
            return Steinberg::kResultFalse;
        handler->addRef();
        timers.push_back({handler, ms, Clock::now() + std::chrono::milliseconds(ms)});
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override
    {
        bool found = false;
        for (size_t i = timers.size(); i-- > 0;)
            if (timers[i].handler == handler) {
                timers.erase(timers.begin() + static_cast<std::ptrdiff_t>(i));
                handler->release();
                found = true;
            }
        return found ? Steinberg::kResultOk : Steinberg::kInvalidArgument;
    }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID wanted, void** obj) override
    {
        if (Steinberg::FUnknownPrivate::iidEqual(wanted, Steinberg::Linux::IRunLoop::iid) ||
            Steinberg::FUnknownPrivate::iidEqual(wanted, Steinberg::FUnknown::iid)) {
            *obj = this;
            addRef();
            return Steinberg::kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return static_cast<Steinberg::uint32>(++references); }
    Steinberg::uint32 PLUGIN_API release() override { return static_cast<Steinberg::uint32>(--references); }

    // Fires every registered timer once, now (one "tick").
    void tick()
    {
        std::vector<Steinberg::Linux::ITimerHandler*> now;
        for (auto& t : timers)
            now.push_back(t.handler);
        for (auto* h : now)
            if (registered(h)) {
                h->addRef();
                h->onTimer();
                h->release();
            }
    }

    // Serves descriptors (and timers when fireTimers) for about ms milliseconds.
    void run(int ms, bool fireTimers = false)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            std::vector<pollfd> fds;
            std::vector<Steinberg::Linux::IEventHandler*> owners;
            for (auto& w : watches) {
                fds.push_back({w.fd, POLLIN, 0});
                owners.push_back(w.handler);
            }
            ::poll(fds.data(), fds.size(), 5);
            for (size_t i = 0; i < fds.size(); ++i)
                if (fds[i].revents && registeredWatch(owners[i], fds[i].fd)) {
                    owners[i]->addRef();
                    owners[i]->onFDIsSet(fds[i].fd);
                    owners[i]->release();
                }
            if (fireTimers) {
                std::vector<Steinberg::Linux::ITimerHandler*> due;
                for (auto& t : timers)
                    if (Clock::now() >= t.due) {
                        t.due += std::chrono::milliseconds(t.period);
                        due.push_back(t.handler);
                    }
                for (auto* h : due)
                    if (registered(h)) {
                        h->addRef();
                        h->onTimer();
                        h->release();
                    }
            }
        }
    }

    // Serves descriptors until done() or the time is up; true when done.
    template <class Done>
    bool runUntil(Done done, int ms = 5000, bool fireTimers = false)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (Clock::now() >= end)
                return false;
            run(10, fireTimers);
        }
        return true;
    }

    bool registered(Steinberg::Linux::ITimerHandler* h) const
    {
        return std::any_of(timers.begin(), timers.end(), [h](const Timer& t) { return t.handler == h; });
    }
    bool registeredWatch(Steinberg::Linux::IEventHandler* h, int fd) const
    {
        return std::any_of(watches.begin(), watches.end(),
                           [h, fd](const Watch& w) { return w.handler == h && w.fd == fd; });
    }
};

// The host's frame: hands out the run loop (or nothing, for a host without one).
class TestFrame : public Steinberg::IPlugFrame {
public:
    explicit TestFrame(TestRunLoop* loop) : runLoop(loop) {}
    TestRunLoop* runLoop;
    int references = 1;
    std::vector<Steinberg::ViewRect> resizes; // every size the view asked for

    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override
    {
        if (!view || !newSize)
            return Steinberg::kInvalidArgument;
        resizes.push_back(*newSize);
        return view->onSize(newSize); // as a host does once its window has the new size
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID wanted, void** obj) override
    {
        if (runLoop && Steinberg::FUnknownPrivate::iidEqual(wanted, Steinberg::Linux::IRunLoop::iid))
            return runLoop->queryInterface(wanted, obj);
        if (Steinberg::FUnknownPrivate::iidEqual(wanted, Steinberg::IPlugFrame::iid) ||
            Steinberg::FUnknownPrivate::iidEqual(wanted, Steinberg::FUnknown::iid)) {
            *obj = this;
            addRef();
            return Steinberg::kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return static_cast<Steinberg::uint32>(++references); }
    Steinberg::uint32 PLUGIN_API release() override { return static_cast<Steinberg::uint32>(--references); }
};

} // namespace kestravel::plugins::testing
