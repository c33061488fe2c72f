// Parameter change queues the host fills for one block. Capacity is fixed at construction,
// so adding points on the audio thread never allocates.
#pragma once

#include <memory>
#include <vector>

#include "kestravel_host/com_object.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace kestravel::plugins {

class ParamValueQueue final : public EmbeddedObject<Steinberg::Vst::IParamValueQueue>
{
public:
    explicit ParamValueQueue(Steinberg::int32 capacity);

    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id_; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return count_; }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) override;
    // Keeps points ordered by offset; a point at an offset already present replaces its value.
    // [audio thread] never allocates; kResultFalse when full.
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) override;

    void reset(Steinberg::Vst::ParamID id);

private:
    struct Point
    {
        Steinberg::int32 offset;
        Steinberg::Vst::ParamValue value;
    };
    Steinberg::Vst::ParamID id_ = 0;
    Steinberg::int32 count_ = 0;
    std::vector<Point> points_;
};

class ParameterChanges final : public EmbeddedObject<Steinberg::Vst::IParameterChanges>
{
public:
    ParameterChanges(Steinberg::int32 maxParameters = 256, Steinberg::int32 maxPointsPerParameter = 128);

    Steinberg::int32 PLUGIN_API getParameterCount() override { return used_; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    // [audio thread] never allocates; null when every queue is taken.
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;

    // Adds one point; false when a capacity is exhausted.
    bool add(Steinberg::Vst::ParamID id, Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value);
    void clear();

private:
    std::vector<std::unique_ptr<ParamValueQueue>> queues_;
    Steinberg::int32 used_ = 0;
};

} // namespace kestravel::plugins
