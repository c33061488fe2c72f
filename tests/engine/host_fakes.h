#pragma once
// Minimal host-side objects for driving the engine without a host: parameter queues, the
// change list, an event list. None of them allocates once built, so the real-time test can use
// them inside its counted region.

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <cstring>
#include <utility>
#include <vector>

namespace kestravel::plugins::test {

// Not reference counted: the tests own these objects on the stack or in containers.
template <typename Interface>
class Uncounted : public Interface {
public:
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) override
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
};

struct QueuePoint {
    Steinberg::int32 offset = 0;
    double value = 0.0;
    Steinberg::tresult result = Steinberg::kResultOk; // what getPoint reports for this point
};

class FakeQueue : public Uncounted<Steinberg::Vst::IParamValueQueue> {
public:
    explicit FakeQueue(Steinberg::Vst::ParamID paramId, std::vector<QueuePoint> queuePoints = {})
        : id(paramId), points(std::move(queuePoints))
    {
    }

    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id; }
    Steinberg::int32 PLUGIN_API getPointCount() override
    {
        return static_cast<Steinberg::int32>(points.size());
    }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& offset,
                                           Steinberg::Vst::ParamValue& value) override
    {
        ++pointReads;
        if (index < 0 || static_cast<size_t>(index) >= points.size())
            return Steinberg::kInvalidArgument;
        const QueuePoint& p = points[static_cast<size_t>(index)];
        offset = p.offset;
        value = p.value;
        return p.result;
    }
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32, Steinberg::Vst::ParamValue,
                                           Steinberg::int32&) override
    {
        return Steinberg::kResultFalse;
    }

    Steinberg::Vst::ParamID id;
    std::vector<QueuePoint> points;
    int pointReads = 0;
};

class FakeChanges : public Uncounted<Steinberg::Vst::IParameterChanges> {
public:
    // A null entry stands for a queue index the host answers with null.
    std::vector<FakeQueue*> queues;
    std::vector<FakeQueue> owned;

    FakeChanges() = default;
    FakeChanges(std::initializer_list<FakeQueue> list) : owned(list) { relink(); }

    void add(FakeQueue queue)
    {
        owned.push_back(std::move(queue));
        relink();
    }
    void relink()
    {
        queues.clear();
        for (auto& q : owned)
            queues.push_back(&q);
    }

    Steinberg::int32 PLUGIN_API getParameterCount() override
    {
        return static_cast<Steinberg::int32>(queues.size());
    }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override
    {
        ++queueReads;
        if (index < 0 || static_cast<size_t>(index) >= queues.size())
            return nullptr;
        return queues[static_cast<size_t>(index)];
    }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID&,
                                                                  Steinberg::int32&) override
    {
        return nullptr;
    }

    int queueReads = 0;
};

class FakeEvents : public Uncounted<Steinberg::Vst::IEventList> {
public:
    std::vector<Steinberg::Vst::Event> events; // what getEvent hands out
    std::vector<Steinberg::tresult> results;   // per event; kResultOk when absent
    std::vector<Steinberg::Vst::Event> added;  // what addEvent received (reserve before counting)
    Steinberg::tresult addResult = Steinberg::kResultOk;
    int countReads = 0;

    Steinberg::int32 PLUGIN_API getEventCount() override
    {
        ++countReads;
        return static_cast<Steinberg::int32>(events.size());
    }
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) override
    {
        if (index < 0 || static_cast<size_t>(index) >= events.size())
            return Steinberg::kInvalidArgument;
        e = events[static_cast<size_t>(index)];
        return static_cast<size_t>(index) < results.size() ? results[static_cast<size_t>(index)]
                                                           : Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override
    {
        if (added.size() < added.capacity() || !noGrowth)
            added.push_back(e);
        return addResult;
    }

    bool noGrowth = false; // drop events instead of growing (for counted regions)
};

// A system-exclusive data event carrying `bytes` at `offset`.
inline Steinberg::Vst::Event sysexEvent(Steinberg::int32 offset, const Steinberg::uint8* bytes,
                                        Steinberg::uint32 size)
{
    Steinberg::Vst::Event e;
    std::memset(&e, 0, sizeof(e));
    e.sampleOffset = offset;
    e.type = Steinberg::Vst::Event::kDataEvent;
    e.data.type = Steinberg::Vst::DataEvent::kMidiSysEx;
    e.data.size = size;
    e.data.bytes = bytes;
    return e;
}

} // namespace kestravel::plugins::test
