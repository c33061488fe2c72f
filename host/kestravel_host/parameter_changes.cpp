#include "kestravel_host/parameter_changes.h"

namespace kestravel::plugins {

using namespace Steinberg;

ParamValueQueue::ParamValueQueue(int32 capacity) : points_(static_cast<std::size_t>(capacity > 0 ? capacity : 1)) {}

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, Vst::ParamValue& value)
{
    if (index < 0 || index >= count_)
        return kResultFalse;
    const Point& p = points_[static_cast<std::size_t>(index)];
    sampleOffset = p.offset;
    value = p.value;
    return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, Vst::ParamValue value, int32& index)
{
    int32 at = 0;
    while (at < count_ && points_[static_cast<std::size_t>(at)].offset < sampleOffset)
        ++at;
    if (at < count_ && points_[static_cast<std::size_t>(at)].offset == sampleOffset)
    {
        points_[static_cast<std::size_t>(at)].value = value;
        index = at;
        return kResultOk;
    }
    if (static_cast<std::size_t>(count_) == points_.size())
        return kResultFalse;
    for (int32 i = count_; i > at; --i)
        points_[static_cast<std::size_t>(i)] = points_[static_cast<std::size_t>(i - 1)];
    points_[static_cast<std::size_t>(at)] = {sampleOffset, value};
    ++count_;
    index = at;
    return kResultOk;
}

void ParamValueQueue::reset(Vst::ParamID id)
{
    id_ = id;
    count_ = 0;
}

ParameterChanges::ParameterChanges(int32 maxParameters, int32 maxPointsPerParameter)
{
    queues_.reserve(static_cast<std::size_t>(maxParameters));
    for (int32 i = 0; i < maxParameters; ++i)
        queues_.push_back(std::make_unique<ParamValueQueue>(maxPointsPerParameter));
}

Vst::IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index)
{
    if (index < 0 || index >= used_)
        return nullptr;
    return queues_[static_cast<std::size_t>(index)].get();
}

Vst::IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const Vst::ParamID& id, int32& index)
{
    for (int32 i = 0; i < used_; ++i)
    {
        if (queues_[static_cast<std::size_t>(i)]->getParameterId() == id)
        {
            index = i;
            return queues_[static_cast<std::size_t>(i)].get();
        }
    }
    if (static_cast<std::size_t>(used_) == queues_.size())
        return nullptr;
    ParamValueQueue* queue = queues_[static_cast<std::size_t>(used_)].get();
    queue->reset(id);
    index = used_++;
    return queue;
}

bool ParameterChanges::add(Vst::ParamID id, int32 sampleOffset, Vst::ParamValue value)
{
    int32 queueIndex = 0;
    Vst::IParamValueQueue* queue = addParameterData(id, queueIndex);
    int32 pointIndex = 0;
    return queue != nullptr && queue->addPoint(sampleOffset, value, pointIndex) == kResultOk;
}

void ParameterChanges::clear() { used_ = 0; }

} // namespace kestravel::plugins
