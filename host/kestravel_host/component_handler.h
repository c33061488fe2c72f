// Records every edit a module reports, in order, so tests and the host can inspect them.
#pragma once

#include <mutex>
#include <vector>

#include "kestravel_host/com_object.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace kestravel::plugins {

struct HandlerCall
{
    enum class Kind { BeginEdit, PerformEdit, EndEdit, RestartComponent };
    Kind kind;
    Steinberg::Vst::ParamID id = 0;       // edits only
    Steinberg::Vst::ParamValue value = 0; // performEdit only
    Steinberg::int32 flags = 0;           // restartComponent only

    bool operator==(const HandlerCall&) const = default;
};

// Calls may come from any thread; the log is guarded.
class RecordingComponentHandler final : public RefCountedObject<Steinberg::Vst::IComponentHandler>
{
public:
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

    std::vector<HandlerCall> calls() const;
    void clear();

private:
    void record(const HandlerCall& call);
    mutable std::mutex mutex_;
    std::vector<HandlerCall> calls_;
};

} // namespace kestravel::plugins
