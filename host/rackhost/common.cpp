#include "commands.h"

#include "kestravel_host/host_error.h"
#include "kestravel_host/utf.h"

namespace kestravel::plugins {

LoadedPlugin loadPlugin(const std::string& bundleUtf8) { return loadPlugin(pathFromUtf8(bundleUtf8)); }

namespace {

Steinberg::Vst::ParamID parseId(const std::string& text, const std::string& whole)
{
    const std::int64_t id = parseInteger(text, "The parameter id in \"" + whole + "\"");
    if (id < 0 || id > 0xFFFFFFFFll)
        throw UsageError("The parameter id in \"" + whole + "\" is out of range");
    return static_cast<Steinberg::Vst::ParamID>(id);
}

double parseNormalized(const std::string& text, const std::string& whole)
{
    const double v = parseNumber(text, "The value in \"" + whole + "\"");
    if (v < 0.0 || v > 1.0)
        throw UsageError("The value in \"" + whole + "\" must be normalized, from 0 to 1");
    return v;
}

} // namespace

ParamSetting parseParamSetting(const std::string& text)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos)
        throw UsageError("--param takes ID=VALUE, not \"" + text + "\"");
    return {parseId(text.substr(0, eq), text), parseNormalized(text.substr(eq + 1), text)};
}

ParamPoint parseParamPoint(const std::string& text)
{
    const auto at = text.find('@');
    const auto eq = text.find('=');
    if (at == std::string::npos || eq == std::string::npos || eq < at)
        throw UsageError("--automate takes ID@SAMPLE=VALUE, not \"" + text + "\"");
    const std::int64_t sample = parseInteger(text.substr(at + 1, eq - at - 1), "The sample in \"" + text + "\"");
    if (sample < 0)
        throw UsageError("The sample in \"" + text + "\" must not be negative");
    return {parseId(text.substr(0, at), text), sample, parseNormalized(text.substr(eq + 1), text)};
}

void applyControllerSettings(const PluginInstance& plugin, const std::vector<ParamSetting>& settings)
{
    if (settings.empty())
        return;
    Steinberg::Vst::IEditController* controller = plugin.controller();
    if (controller == nullptr)
        throw HostError("\"" + plugin.description().name + "\" has no edit controller to take --param values");
    for (const ParamSetting& s : settings)
        controller->setParamNormalized(s.id, s.value);
}

} // namespace kestravel::plugins
