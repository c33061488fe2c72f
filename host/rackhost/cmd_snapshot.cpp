// rackhost snapshot: a module's editor rendered to PNG through the view's private snapshot interface.
#include "commands.h"
#include "kestravel/ieditorsnapshot.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/utf.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

namespace kestravel::plugins {

DEF_CLASS_IID(IEditorSnapshot)

using namespace Steinberg;

namespace {

int runSnapshot(const Arguments& args, std::ostream& out)
{
    std::vector<ParamSetting> settings;
    for (const auto& text : args.values("param"))
        settings.push_back(parseParamSetting(text));
    LoadedPlugin loaded = loadPlugin(args.positional(0));
    PluginInstance& plugin = *loaded.plugin;
    if (auto file = args.value("file"))
        setModuleFile(plugin, pathFromUtf8(*file));
    applyControllerSettings(plugin, settings);
    if (auto in = args.value("in"))
        playThrough(plugin, pathFromUtf8(*in), settings);
    if (plugin.controller() == nullptr)
        throw HostError("\"" + plugin.description().name + "\" has no edit controller, so no editor");
    auto view = Ref<IPlugView>::adopt(plugin.controller()->createView("editor"));
    if (!view)
        throw HostError("\"" + plugin.description().name + "\" offers no \"editor\" view");
    auto snapshot = queryRef<IEditorSnapshot>(view.get());
    if (!snapshot)
        throw HostError("The editor of \"" + plugin.description().name + "\" cannot render itself off screen");
    if (args.value("scale")) {
        const double factor = args.number("scale", 1.0, 1.0, 4.0);
        auto scaling = queryRef<IPlugViewContentScaleSupport>(view.get());
        if (!scaling)
            throw HostError("The editor of \"" + plugin.description().name + "\" cannot be scaled");
        const tresult s = scaling->setContentScaleFactor(static_cast<float>(factor));
        if (s != kResultTrue)
            throw HostError("The editor refused the scale " + *args.value("scale") + " (" + resultName(s) + ")");
    }
    const std::string target = *args.value("out");
    const tresult r = snapshot->renderPng(target.c_str());
    if (r != kResultOk)
        throw HostError("The editor could not write \"" + target + "\" (" + resultName(r) + ")");
    out << "wrote the editor of \"" << plugin.description().name << "\" to " << target << '\n';
    return 0;
}

constexpr std::string_view kPositionals[] = {"BUNDLE"};
constexpr OptionSpec kOptions[] = {
    {"out", OptionKind::Value, "editor.png", "the picture to write", true},
    {"param", OptionKind::List, "ID=VALUE", "normalized parameter value set before the picture is taken"},
    {"file", OptionKind::Value, "X.wav", "a PLAYER's file or a RECORDER's destination, set through the saved state"},
    {"scale", OptionKind::Value, "F", "display scale from 1 to 4: the picture is 960 x 580 times F, drawn at that size"},
    {"in", OptionKind::Value, "IN.wav", "played through the module first, so the meters show its levels"},
};

} // namespace

const CommandSpec kSnapshotCommand{"snapshot", kPositionals, kOptions, runSnapshot,
                                   "Render a module's editor to PNG."};

} // namespace kestravel::plugins
