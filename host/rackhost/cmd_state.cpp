// rackhost state save / load: a module's saved state as JSON text a user can read and edit.
#include <fstream>
#include <iterator>

#include "commands.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/utf.h"

namespace kestravel::plugins {

using namespace Steinberg;

namespace {

std::string stateText(const PluginInstance& plugin)
{
    const auto bytes = plugin.saveState();
    auto text = unframeStateText(bytes);
    if (!text)
        throw HostError("\"" + plugin.description().name + "\" wrote " + std::to_string(bytes.size()) +
                        " bytes of state that are not one length-prefixed JSON text");
    return *text;
}

int runSave(const Arguments& args, std::ostream& out)
{
    LoadedPlugin loaded = loadPlugin(args.positional(0));
    const std::string text = stateText(*loaded.plugin);
    const std::string written = args.has("raw") ? text : prettyStateText(text) + "\n";
    const std::string target = args.positional(1);
    std::ofstream file(pathFromUtf8(target), std::ios::binary | std::ios::trunc);
    if (!file)
        throw HostError("Cannot create \"" + target + "\"");
    file << written;
    file.close();
    if (!file)
        throw HostError("Cannot write \"" + target + "\" completely");
    out << "saved the state of \"" << loaded.plugin->description().name << "\" (" << text.size() << " bytes of JSON"
        << (args.has("raw") ? ", as written by the module" : ", indented") << ") to " << target << '\n';
    return 0;
}

int runLoad(const Arguments& args, std::ostream& out)
{
    const std::string source = args.positional(1);
    std::ifstream file(pathFromUtf8(source), std::ios::binary);
    if (!file)
        throw HostError("Cannot open \"" + source + "\"");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    LoadedPlugin loaded = loadPlugin(args.positional(0));
    // The text goes to the module exactly as written; the module judges it.
    const tresult r = loaded.plugin->restoreState(frameStateText(text));
    out << "setState: " << resultName(r) << (r == kResultOk ? "" : " (the module refused the state)") << '\n';
    const std::string back = stateText(*loaded.plugin);
    out << "state now:\n" << prettyStateText(back) << '\n';
    return r == kResultOk ? 0 : 1;
}

constexpr std::string_view kSavePositionals[] = {"BUNDLE", "OUT.json"};
constexpr std::string_view kLoadPositionals[] = {"BUNDLE", "IN.json"};
constexpr OptionSpec kSaveOptions[] = {
    {"raw", OptionKind::Flag, "", "write the compact text exactly as the module wrote it"},
};

} // namespace

const CommandSpec kStateSaveCommand{"state save", kSavePositionals, kSaveOptions, runSave,
                                    "Write a fresh module's saved state as JSON (indented unless --raw)."};
const CommandSpec kStateLoadCommand{"state load", kLoadPositionals, {}, runLoad,
                                    "Frame a JSON file as a saved state, restore it, print the result and the state."};

} // namespace kestravel::plugins
