#include "kestravel_host/plugin_instance.h"

#include <iterator>

#include "kestravel_host/host_error.h"
#include "kestravel_host/memory_stream.h"
#include "kestravel_host/utf.h"

namespace kestravel::plugins {

using namespace Steinberg;

namespace {

constexpr const char* kAudioModuleCategory = "Audio Module Class";

template <class I>
Ref<I> createFromFactory(IPluginFactory* factory, const TUID cid)
{
    void* obj = nullptr;
    if (factory->createInstance(cid, I::iid, &obj) != kResultOk || obj == nullptr)
        return {};
    return Ref<I>::adopt(static_cast<I*>(obj));
}

} // namespace

ClassDescription findAudioModuleClass(const Module& module)
{
    for (const ClassDescription& c : module.classes())
        if (c.category == kAudioModuleCategory)
            return c;
    // Built step by step: g++ 12 at -O3 misreports a chain of literal + string as overlapping.
    std::string message = "\"";
    message += pathToUtf8(module.binaryPath());
    message += "\" has no class of the category \"";
    message += kAudioModuleCategory;
    message += "\"";
    throw HostError(message);
}

PluginInstance::PluginInstance(const Module& module, const ClassDescription& cls, Ref<HostApplication> host)
    : class_(cls), host_(std::move(host)), handler_(Ref<RecordingComponentHandler>::adopt(new RecordingComponentHandler()))
{
    const std::string who = "\"" + class_.name + "\"";
    component_ = createFromFactory<Vst::IComponent>(module.factory(), class_.cid.data());
    if (!component_)
        throw HostError("The factory could not create " + who + " as an IComponent");
    const tresult init = component_->initialize(static_cast<Vst::IHostApplication*>(host_.get()));
    if (init != kResultOk)
    {
        component_.reset();
        throw HostError("initialize of " + who + " failed (" + resultName(init) + ")");
    }
    processor_ = queryRef<Vst::IAudioProcessor>(component_.get());
    if (!processor_)
    {
        component_->terminate();
        component_.reset();
        throw HostError(who + " is not an audio processor (no IAudioProcessor)");
    }

    controller_ = queryRef<Vst::IEditController>(component_.get());
    controllerIsComponent_ = static_cast<bool>(controller_);
    if (!controller_)
    {
        TUID controllerCid{};
        if (component_->getControllerClassId(controllerCid) == kResultOk)
        {
            controller_ = createFromFactory<Vst::IEditController>(module.factory(), controllerCid);
            if (controller_ && controller_->initialize(static_cast<Vst::IHostApplication*>(host_.get())) != kResultOk)
                controller_.reset();
        }
        if (controller_)
        {
            componentConnection_ = queryRef<Vst::IConnectionPoint>(component_.get());
            controllerConnection_ = queryRef<Vst::IConnectionPoint>(controller_.get());
            if (componentConnection_ && controllerConnection_)
            {
                componentConnection_->connect(controllerConnection_.get());
                controllerConnection_->connect(componentConnection_.get());
            }
            // The controller learns the component's initial state, as after loading.
            auto stream = Ref<MemoryStream>::adopt(new MemoryStream());
            if (component_->getState(stream.get()) == kResultOk)
            {
                stream->rewind();
                controller_->setComponentState(stream.get());
            }
        }
    }
    if (controller_)
        controller_->setComponentHandler(handler_.get());
}

PluginInstance::~PluginInstance()
{
    if (controller_)
        controller_->setComponentHandler(nullptr);
    if (componentConnection_ && controllerConnection_)
    {
        componentConnection_->disconnect(controllerConnection_.get());
        controllerConnection_->disconnect(componentConnection_.get());
    }
    componentConnection_.reset();
    controllerConnection_.reset();
    if (controller_ && !controllerIsComponent_)
        controller_->terminate();
    controller_.reset();
    processor_.reset();
    if (component_)
        component_->terminate();
    component_.reset();
}

std::vector<BusDescription> PluginInstance::buses(Vst::MediaType type, Vst::BusDirection dir) const
{
    std::vector<BusDescription> result;
    const int32 count = component_->getBusCount(type, dir);
    for (int32 i = 0; i < count; ++i)
    {
        Vst::BusInfo info{};
        BusDescription d;
        if (component_->getBusInfo(type, dir, i, info) == kResultOk)
        {
            d.name = utf16ToUtf8(info.name, std::size(info.name));
            d.mediaType = info.mediaType;
            d.direction = info.direction;
            d.channelCount = info.channelCount;
            d.busType = info.busType;
            d.flags = info.flags;
        }
        if (type == Vst::kAudio)
        {
            Vst::SpeakerArrangement arr = 0;
            if (processor_->getBusArrangement(dir, i, arr) == kResultOk)
                d.arrangement = arr;
        }
        result.push_back(std::move(d));
    }
    return result;
}

std::optional<int32> PluginInstance::findBus(Vst::MediaType type, Vst::BusDirection dir, std::string_view name) const
{
    const auto all = buses(type, dir);
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].name == name)
            return static_cast<int32>(i);
    return std::nullopt;
}

std::vector<ParameterDescription> PluginInstance::parameters() const
{
    std::vector<ParameterDescription> result;
    if (!controller_)
        return result;
    const int32 count = controller_->getParameterCount();
    for (int32 i = 0; i < count; ++i)
    {
        Vst::ParameterInfo info{};
        if (controller_->getParameterInfo(i, info) != kResultOk)
            continue;
        ParameterDescription d;
        d.id = info.id;
        d.title = utf16ToUtf8(info.title, std::size(info.title));
        d.shortTitle = utf16ToUtf8(info.shortTitle, std::size(info.shortTitle));
        d.units = utf16ToUtf8(info.units, std::size(info.units));
        d.stepCount = info.stepCount;
        d.defaultNormalized = info.defaultNormalizedValue;
        d.unitId = info.unitId;
        d.flags = info.flags;
        result.push_back(std::move(d));
    }
    return result;
}

std::optional<ParameterDescription> PluginInstance::findParameter(std::string_view title) const
{
    for (auto& p : parameters())
        if (p.title == title)
            return p;
    return std::nullopt;
}

std::vector<std::uint8_t> PluginInstance::saveState() const
{
    auto stream = Ref<MemoryStream>::adopt(new MemoryStream());
    const tresult r = component_->getState(stream.get());
    if (r != kResultOk)
        throw HostError("getState of \"" + class_.name + "\" failed (" + resultName(r) + ")");
    return stream->bytes();
}

tresult PluginInstance::restoreState(const std::vector<std::uint8_t>& bytes) const
{
    auto stream = Ref<MemoryStream>::adopt(new MemoryStream(bytes));
    const tresult r = component_->setState(stream.get());
    if (r == kResultOk && controller_ && !controllerIsComponent_)
    {
        stream->rewind();
        controller_->setComponentState(stream.get());
    }
    return r;
}

LoadedPlugin loadPlugin(const std::filesystem::path& bundle)
{
    LoadedPlugin loaded;
    loaded.host = Ref<HostApplication>::adopt(new HostApplication());
    loaded.module = Module::load(bundle);
    loaded.module->setHostContext(static_cast<Vst::IHostApplication*>(loaded.host.get()));
    loaded.plugin = std::make_unique<PluginInstance>(*loaded.module, findAudioModuleClass(*loaded.module), loaded.host);
    return loaded;
}

} // namespace kestravel::plugins
