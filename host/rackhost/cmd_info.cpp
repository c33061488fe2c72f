// rackhost info: what a DAW's scanner learns from a bundle.
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/utf.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

namespace kestravel::plugins {

using namespace Steinberg;

namespace {

std::string hex(std::uint64_t v)
{
    std::ostringstream s;
    s << "0x" << std::uppercase << std::hex << v;
    return s.str();
}

std::string orEmpty(const std::string& s) { return s.empty() ? "(empty)" : "\"" + s + "\""; }

std::string factoryFlagsText(int32 flags)
{
    static const std::pair<int32, const char*> kNames[] = {
        {PFactoryInfo::kClassesDiscardable, "kClassesDiscardable"},
        {PFactoryInfo::kLicenseCheck, "kLicenseCheck"},
        {PFactoryInfo::kComponentNonDiscardable, "kComponentNonDiscardable"},
        {PFactoryInfo::kUnicode, "kUnicode"},
    };
    std::string names;
    for (const auto& [bit, name] : kNames)
        if (flags & bit)
            names += (names.empty() ? "" : " | ") + std::string(name);
    return hex(static_cast<std::uint32_t>(flags)) + (names.empty() ? "" : " (" + names + ")");
}

std::string arrangementText(Vst::SpeakerArrangement arr)
{
    std::string name;
    if (arr == Vst::SpeakerArr::kMono)
        name = "mono";
    else if (arr == Vst::SpeakerArr::kStereo)
        name = "stereo";
    else
        name = std::to_string(arrangementChannels(arr)) + " speakers";
    return hex(arr) + " (" + name + ")";
}

std::string busFlagsText(uint32 flags)
{
    std::string text;
    if (flags & Vst::BusInfo::kDefaultActive)
        text += "default-active";
    if (flags & ~static_cast<uint32>(Vst::BusInfo::kDefaultActive))
        text += (text.empty() ? "" : " ") + hex(flags & ~static_cast<uint32>(Vst::BusInfo::kDefaultActive));
    return text.empty() ? "none" : text;
}

std::string paramFlagsText(int32 flags)
{
    static const std::pair<int32, const char*> kNames[] = {
        {Vst::ParameterInfo::kCanAutomate, "automate"},   {Vst::ParameterInfo::kIsReadOnly, "read-only"},
        {Vst::ParameterInfo::kIsWrapAround, "wrap"},      {Vst::ParameterInfo::kIsList, "list"},
        {Vst::ParameterInfo::kIsHidden, "hidden"},        {Vst::ParameterInfo::kIsProgramChange, "program-change"},
        {Vst::ParameterInfo::kIsBypass, "bypass"},
    };
    std::string names;
    for (const auto& [bit, name] : kNames)
        if (flags & bit)
            names += (names.empty() ? "" : ",") + std::string(name);
    return names.empty() ? "none" : names;
}

void printBuses(std::ostream& out, const PluginInstance& plugin, Vst::MediaType type, Vst::BusDirection dir)
{
    const auto buses = plugin.buses(type, dir);
    out << "  " << (type == Vst::kAudio ? "audio" : "event") << ' ' << (dir == Vst::kInput ? "inputs" : "outputs")
        << ": " << buses.size() << '\n';
    for (std::size_t i = 0; i < buses.size(); ++i)
    {
        const BusDescription& b = buses[i];
        out << "    " << std::setw(2) << i << "  \"" << b.name << "\"  " << (b.busType == Vst::kMain ? "main" : "aux")
            << "  " << b.channelCount << " ch  flags " << busFlagsText(b.flags);
        if (type == Vst::kAudio)
            out << "  arrangement " << (b.arrangement ? arrangementText(*b.arrangement) : "(refused)");
        out << '\n';
    }
}

std::string defaultText(Vst::IEditController* controller, const ParameterDescription& p)
{
    std::ostringstream s;
    s << std::setprecision(10) << p.defaultNormalized;
    Vst::String128 text{};
    if (controller->getParamStringByValue(p.id, p.defaultNormalized, text) == kResultOk)
    {
        s << " (" << utf16ToUtf8(text, std::size(text));
        if (!p.units.empty())
            s << ' ' << p.units;
        s << ')';
    }
    return s.str();
}

void printClassDetails(std::ostream& out, const PluginInstance& plugin)
{
    Vst::IAudioProcessor* processor = plugin.processor();
    out << "  sample sizes: 32-bit " << (processor->canProcessSampleSize(Vst::kSample32) == kResultTrue ? "yes" : "no")
        << ", 64-bit " << (processor->canProcessSampleSize(Vst::kSample64) == kResultTrue ? "yes" : "no")
        << "; latency " << processor->getLatencySamples() << " samples; tail " << processor->getTailSamples()
        << " samples\n";
    if (auto req = queryRef<Vst::IProcessContextRequirements>(processor))
        out << "  process context requirements: " << hex(req->getProcessContextRequirements()) << '\n';
    printBuses(out, plugin, Vst::kAudio, Vst::kInput);
    printBuses(out, plugin, Vst::kAudio, Vst::kOutput);
    printBuses(out, plugin, Vst::kEvent, Vst::kInput);
    printBuses(out, plugin, Vst::kEvent, Vst::kOutput);

    const auto params = plugin.parameters();
    out << "  parameters: " << params.size() << (plugin.controller() ? "" : " (no edit controller)") << '\n';
    for (const ParameterDescription& p : params)
        out << "    id " << std::setw(4) << p.id << "  \"" << p.title << "\"  units " << orEmpty(p.units) << "  steps "
            << p.stepCount << "  default " << defaultText(plugin.controller(), p) << "  flags " << paramFlagsText(p.flags)
            << '\n';
}

int runInfo(const Arguments& args, std::ostream& out)
{
    const std::string bundle = args.positional(0);
    auto host = Ref<HostApplication>::adopt(new HostApplication());
    auto module = Module::load(pathFromUtf8(bundle));
    module->setHostContext(static_cast<Vst::IHostApplication*>(host.get()));
    const FactoryDescription factory = module->factoryDescription();
    const auto classes = module->classes();

    out << "bundle: " << bundle << '\n' << "binary: " << pathToUtf8(module->binaryPath()) << '\n';
    out << "factory: vendor " << orEmpty(factory.vendor) << ", url " << orEmpty(factory.url) << ", email "
        << orEmpty(factory.email) << ", flags " << factoryFlagsText(factory.flags) << '\n';
    out << "classes: " << classes.size() << '\n';
    int failures = 0;
    for (std::size_t i = 0; i < classes.size(); ++i)
    {
        const ClassDescription& c = classes[i];
        out << "class " << i << ": \"" << c.name << "\"\n"
            << "  cid: " << classIdText(c.cid) << '\n'
            << "  category: \"" << c.category << "\"\n"
            << "  cardinality: " << hex(static_cast<std::uint32_t>(c.cardinality)) << '\n';
        if (c.infoLevel >= 2)
            out << "  class flags: " << hex(c.classFlags) << '\n'
                << "  sub-categories: " << orEmpty(c.subCategories) << '\n'
                << "  vendor: " << orEmpty(c.vendor) << '\n'
                << "  version: " << orEmpty(c.version) << '\n'
                << "  sdk version: " << orEmpty(c.sdkVersion) << '\n';
        out << "  class information: " << (c.infoLevel == 3 ? "PClassInfoW" : c.infoLevel == 2 ? "PClassInfo2" : "PClassInfo")
            << '\n';
        if (c.category != "Audio Module Class")
            continue;
        try
        {
            PluginInstance plugin(*module, c, host);
            printClassDetails(out, plugin);
        }
        catch (const HostError& e)
        {
            out.flush();
            std::cerr << "rackhost: " << e.what() << '\n';
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

constexpr std::string_view kPositionals[] = {"BUNDLE"};

} // namespace

const CommandSpec kInfoCommand{"info", kPositionals, {}, runInfo,
                               "Factory, classes, buses and parameters of a bundle, as a DAW's scanner sees them."};

} // namespace kestravel::plugins
