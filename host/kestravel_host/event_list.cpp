#include "kestravel_host/event_list.h"

#include <cstring>

namespace kestravel::plugins {

using namespace Steinberg;

EventList::EventList(int32 maxEvents, std::size_t payloadBytes)
    : events_(static_cast<std::size_t>(maxEvents > 0 ? maxEvents : 1)), pool_(payloadBytes)
{
}

tresult PLUGIN_API EventList::getEvent(int32 index, Vst::Event& e)
{
    if (index < 0 || index >= count_)
        return kInvalidArgument;
    e = events_[static_cast<std::size_t>(index)];
    return kResultOk;
}

tresult PLUGIN_API EventList::addEvent(Vst::Event& e)
{
    if (static_cast<std::size_t>(count_) == events_.size())
        return kOutOfMemory;
    Vst::Event copy = e;
    if (e.type == Vst::Event::kDataEvent && e.data.bytes != nullptr && e.data.size > 0)
    {
        if (pool_.size() - poolUsed_ < e.data.size)
            return kOutOfMemory;
        std::memcpy(pool_.data() + poolUsed_, e.data.bytes, e.data.size);
        copy.data.bytes = pool_.data() + poolUsed_;
        poolUsed_ += e.data.size;
    }
    events_[static_cast<std::size_t>(count_++)] = copy;
    return kResultOk;
}

void EventList::clear()
{
    count_ = 0;
    poolUsed_ = 0;
}

} // namespace kestravel::plugins
