// One module instance as a DAW holds it: component, processor and edit controller, whether the
// module is one object or a component with a separate controller class.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kestravel_host/com_object.h"
#include "kestravel_host/component_handler.h"
#include "kestravel_host/host_application.h"
#include "kestravel_host/module.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace kestravel::plugins {

struct BusDescription
{
    std::string name;
    Steinberg::Vst::MediaType mediaType = 0;
    Steinberg::Vst::BusDirection direction = 0;
    Steinberg::int32 channelCount = 0;
    Steinberg::Vst::BusType busType = 0;
    Steinberg::uint32 flags = 0;
    // Audio buses: the processor's current arrangement, when it answers.
    std::optional<Steinberg::Vst::SpeakerArrangement> arrangement;
};

struct ParameterDescription
{
    Steinberg::Vst::ParamID id = 0;
    std::string title;
    std::string shortTitle;
    std::string units;
    Steinberg::int32 stepCount = 0;
    Steinberg::Vst::ParamValue defaultNormalized = 0;
    Steinberg::Vst::UnitID unitId = 0;
    Steinberg::int32 flags = 0;
};

// The first class of the "Audio Module Class" category; throws HostError when there is none.
ClassDescription findAudioModuleClass(const Module& module);

class PluginInstance
{
public:
    // Creates and initializes the class. Throws HostError with the failing call.
    PluginInstance(const Module& module, const ClassDescription& cls, Ref<HostApplication> host);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    const ClassDescription& description() const { return class_; }
    Steinberg::Vst::IComponent* component() const { return component_.get(); }
    Steinberg::Vst::IAudioProcessor* processor() const { return processor_.get(); }
    // Null for a module without an edit controller.
    Steinberg::Vst::IEditController* controller() const { return controller_.get(); }
    bool controllerIsComponent() const { return controllerIsComponent_; }
    RecordingComponentHandler& handler() const { return *handler_; }

    std::vector<BusDescription> buses(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir) const;
    std::optional<Steinberg::int32> findBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                            std::string_view name) const;
    std::vector<ParameterDescription> parameters() const;
    std::optional<ParameterDescription> findParameter(std::string_view title) const;

    // IComponent::getState into memory; throws HostError on failure.
    std::vector<std::uint8_t> saveState() const;
    // IComponent::setState, then IEditController::setComponentState when the controller is a
    // separate object (a single-object module restores once). Returns the component's result.
    Steinberg::tresult restoreState(const std::vector<std::uint8_t>& bytes) const;

private:
    ClassDescription class_;
    Ref<HostApplication> host_;
    Ref<RecordingComponentHandler> handler_;
    Ref<Steinberg::Vst::IComponent> component_;
    Ref<Steinberg::Vst::IAudioProcessor> processor_;
    Ref<Steinberg::Vst::IEditController> controller_;
    Ref<Steinberg::Vst::IConnectionPoint> componentConnection_;
    Ref<Steinberg::Vst::IConnectionPoint> controllerConnection_;
    bool controllerIsComponent_ = false;
};

// A bundle loaded, its host context set and its audio module class created and initialized.
struct LoadedPlugin
{
    Ref<HostApplication> host;
    std::unique_ptr<Module> module;
    std::unique_ptr<PluginInstance> plugin; // declared last: destroyed before its library
};
LoadedPlugin loadPlugin(const std::filesystem::path& bundle);

} // namespace kestravel::plugins
