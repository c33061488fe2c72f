#ifndef _WIN32

#include "editor/platform/run_loop_link.h"

namespace kestravel::plugins {

using Steinberg::kNoInterface;
using Steinberg::kResultOk;
using Steinberg::tresult;
using Steinberg::uint32;
using Steinberg::FUnknownPrivate::iidEqual;
namespace Linux = Steinberg::Linux;

tresult PLUGIN_API RunLoopLink::queryInterface(const Steinberg::TUID iid, void** obj)
{
    if (!obj)
        return Steinberg::kInvalidArgument;
    if (iidEqual(iid, Steinberg::FUnknown::iid) || iidEqual(iid, Linux::IEventHandler::iid)) {
        *obj = static_cast<Linux::IEventHandler*>(this);
    } else if (iidEqual(iid, Linux::ITimerHandler::iid)) {
        *obj = static_cast<Linux::ITimerHandler*>(this);
    } else {
        *obj = nullptr;
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

uint32 PLUGIN_API RunLoopLink::addRef() { return references.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32 PLUGIN_API RunLoopLink::release()
{
    const uint32_t left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

void PLUGIN_API RunLoopLink::onFDIsSet(Linux::FileDescriptor fd)
{
    if (target)
        target->descriptorReady(fd);
}

void PLUGIN_API RunLoopLink::onTimer()
{
    if (target)
        target->timerFired();
}

bool RunLoopRegistration::open(Linux::IRunLoop* loop)
{
    if (runLoop || !loop)
        return false;
    runLoop = loop;
    runLoop->addRef();
    link = new RunLoopLink(target);
    return true;
}

bool RunLoopRegistration::watch(int fd)
{
    if (!runLoop || watched || fd < 0)
        return false;
    watched = runLoop->registerEventHandler(static_cast<Linux::IEventHandler*>(link), fd) == kResultOk;
    return watched;
}

bool RunLoopRegistration::startTimer(uint64_t milliseconds)
{
    if (!runLoop || timed)
        return false;
    timed = runLoop->registerTimer(static_cast<Linux::ITimerHandler*>(link), milliseconds) == kResultOk;
    return timed;
}

void RunLoopRegistration::close() noexcept
{
    if (!runLoop)
        return;
    // Cut first: a host that calls back from inside unregister must find nobody home.
    link->cutOff();
    Linux::IRunLoop* loop = runLoop;
    RunLoopLink* handler = link;
    runLoop = nullptr;
    link = nullptr;
    if (watched)
        loop->unregisterEventHandler(static_cast<Linux::IEventHandler*>(handler));
    if (timed)
        loop->unregisterTimer(static_cast<Linux::ITimerHandler*>(handler));
    watched = false;
    timed = false;
    handler->release();
    loop->release();
}

} // namespace kestravel::plugins

#endif
