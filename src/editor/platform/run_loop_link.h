#pragma once
// What the editor hands to a Linux host's IRunLoop: one small reference-counted object per
// registration, which passes descriptor readiness and timer ticks on to its target until it
// is cut off. A host may keep its reference as long as it likes; calls after the cut do nothing.

#ifndef _WIN32

#include <atomic>
#include <cstdint>

#include "pluginterfaces/gui/iplugview.h"

namespace kestravel::plugins {

// [UI thread]
class RunLoopTarget {
public:
    virtual ~RunLoopTarget() = default;
    virtual void descriptorReady(int fd) = 0;
    virtual void timerFired() = 0;
};

class RunLoopLink final : public Steinberg::Linux::IEventHandler, public Steinberg::Linux::ITimerHandler {
public:
    // One reference, for the caller.
    explicit RunLoopLink(RunLoopTarget& owner) noexcept : target(&owner) {}

    void cutOff() noexcept { target = nullptr; }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;
    void PLUGIN_API onFDIsSet(Steinberg::Linux::FileDescriptor fd) override;
    void PLUGIN_API onTimer() override;

private:
    ~RunLoopLink() = default;

    std::atomic<uint32_t> references{1};
    RunLoopTarget* target;
};

// One descriptor and one timer on one host run loop. [UI thread]
class RunLoopRegistration {
public:
    explicit RunLoopRegistration(RunLoopTarget& owner) noexcept : target(owner) {}
    ~RunLoopRegistration() { close(); }
    RunLoopRegistration(const RunLoopRegistration&) = delete;
    RunLoopRegistration& operator=(const RunLoopRegistration&) = delete;

    // Takes a reference on loop; false (nothing registered) when the host refuses.
    bool open(Steinberg::Linux::IRunLoop* loop);
    bool watch(int fd);
    bool startTimer(uint64_t milliseconds);
    // Unregisters what was registered, cuts the link off and lets go of the run loop.
    void close() noexcept;
    bool isOpen() const noexcept { return runLoop != nullptr; }
    bool watching() const noexcept { return watched; }
    bool timing() const noexcept { return timed; }

private:
    RunLoopTarget& target;
    Steinberg::Linux::IRunLoop* runLoop = nullptr;
    RunLoopLink* link = nullptr;
    bool watched = false;
    bool timed = false;
};

} // namespace kestravel::plugins

#endif
