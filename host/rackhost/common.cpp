#include "commands.h"

#include <algorithm>

#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/wav.h"
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

void playThrough(PluginInstance& plugin, const std::filesystem::path& wav, const std::vector<ParamSetting>& settings)
{
    const WavAudio input = readWav(wav);
    if (input.channels == 0 || input.sampleRate == 0)
        throw HostError("\"" + pathToUtf8(wav) + "\" holds no audio");
    ProcessConfig config;
    config.sampleRate = input.sampleRate;
    config.maxBlock = 512;
    BlockRunner runner(plugin, config);
    runner.start();
    std::vector<std::pair<Steinberg::int32, Steinberg::int32>> ins; // (bus, channel) of every active input channel
    for (Steinberg::int32 b = 0; b < runner.busCount(Steinberg::Vst::kInput); ++b)
        if (runner.busActive(Steinberg::Vst::kInput, b))
            for (Steinberg::int32 c = 0; c < runner.channelCount(Steinberg::Vst::kInput, b); ++c)
                ins.emplace_back(b, c);
    const auto length = static_cast<Steinberg::int64>(input.frames());
    for (Steinberg::int64 pos = 0; pos < length; pos += config.maxBlock) {
        const auto n = static_cast<Steinberg::int32>(std::min<Steinberg::int64>(config.maxBlock, length - pos));
        for (std::size_t k = 0; k < ins.size(); ++k)
            for (Steinberg::int32 i = 0; i < n; ++i)
                runner.setSample(Steinberg::Vst::kInput, ins[k].first, ins[k].second, i,
                                 input.at(static_cast<std::size_t>(pos + i), static_cast<std::uint32_t>(k % input.channels)));
        if (pos == 0)
            for (const ParamSetting& setting : settings)
                runner.inputChanges().add(setting.id, 0, setting.value);
        const Steinberg::tresult r = runner.process(n);
        if (r != Steinberg::kResultOk)
            throw HostError("process failed at frame " + std::to_string(pos) + " (" + resultName(r) + ")");
    }
    runner.stop();
}

} // namespace kestravel::plugins
