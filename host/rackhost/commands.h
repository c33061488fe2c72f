// The commands of rackhost and what they share.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "kestravel_host/host_application.h"
#include "kestravel_host/module.h"
#include "kestravel_host/plugin_instance.h"

namespace kestravel::plugins {

extern const CommandSpec kInfoCommand;
extern const CommandSpec kRenderCommand;
extern const CommandSpec kBenchCommand;
extern const CommandSpec kStateSaveCommand;
extern const CommandSpec kStateLoadCommand;
extern const CommandSpec kSnapshotCommand;
extern const CommandSpec kSessionCommand;
extern const CommandSpec kModuleInfoCommand;
#ifndef _WIN32
extern const CommandSpec kShowCommand;
#endif

// loadPlugin with a path given as UTF-8 text.
LoadedPlugin loadPlugin(const std::string& bundleUtf8);

// "ID=VALUE" with a normalized value; UsageError otherwise.
struct ParamSetting
{
    Steinberg::Vst::ParamID id = 0;
    double value = 0;
};
ParamSetting parseParamSetting(const std::string& text);

// "ID@SAMPLE=VALUE".
struct ParamPoint
{
    Steinberg::Vst::ParamID id = 0;
    std::int64_t sample = 0;
    double value = 0;
};
ParamPoint parseParamPoint(const std::string& text);

// Applies settings on the controller side (as an automation lane's start value would be).
void applyControllerSettings(const PluginInstance& plugin, const std::vector<ParamSetting>& settings);

// A WAV file through the module, block by block (the settings at its first sample), so its
// meters hold the levels an editor then shows. Input channel k hears the file's channel k
// (a mono file feeds every channel).
void playThrough(PluginInstance& plugin, const std::filesystem::path& wav, const std::vector<ParamSetting>& settings);

} // namespace kestravel::plugins
