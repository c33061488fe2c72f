#include "kestravel_host/component_handler.h"

namespace kestravel::plugins {

using namespace Steinberg;
using Kind = HandlerCall::Kind;

void RecordingComponentHandler::record(const HandlerCall& call)
{
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
}

tresult PLUGIN_API RecordingComponentHandler::beginEdit(Vst::ParamID id)
{
    record({Kind::BeginEdit, id, 0.0, 0});
    return kResultOk;
}

tresult PLUGIN_API RecordingComponentHandler::performEdit(Vst::ParamID id, Vst::ParamValue value)
{
    record({Kind::PerformEdit, id, value, 0});
    return kResultOk;
}

tresult PLUGIN_API RecordingComponentHandler::endEdit(Vst::ParamID id)
{
    record({Kind::EndEdit, id, 0.0, 0});
    return kResultOk;
}

tresult PLUGIN_API RecordingComponentHandler::restartComponent(int32 flags)
{
    record({Kind::RestartComponent, 0, 0.0, flags});
    return kResultOk;
}

std::vector<HandlerCall> RecordingComponentHandler::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

void RecordingComponentHandler::clear()
{
    std::lock_guard lock(mutex_);
    calls_.clear();
}

} // namespace kestravel::plugins
