// A fixed-capacity event list. Data-event payloads are copied into the list's own byte pool,
// so an event stays readable for as long as the list holds it, whoever sent it.
#pragma once

#include <cstdint>
#include <vector>

#include "kestravel_host/com_object.h"
#include "pluginterfaces/vst/ivstevents.h"

namespace kestravel::plugins {

class EventList final : public EmbeddedObject<Steinberg::Vst::IEventList>
{
public:
    explicit EventList(Steinberg::int32 maxEvents = 1024, std::size_t payloadBytes = 64 * 1024);

    Steinberg::int32 PLUGIN_API getEventCount() override { return count_; }
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) override;
    // [audio thread] never allocates; kOutOfMemory when the list or its byte pool is full.
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override;

    void clear();

private:
    std::vector<Steinberg::Vst::Event> events_;
    std::vector<std::uint8_t> pool_;
    Steinberg::int32 count_ = 0;
    std::size_t poolUsed_ = 0;
};

} // namespace kestravel::plugins
