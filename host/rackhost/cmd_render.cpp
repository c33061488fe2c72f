// rackhost render: offline rendering of a WAV file (or silence) through one module.
#include <algorithm>

#include "commands.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/utf.h"
#include "kestravel_host/wav.h"

namespace kestravel::plugins {

using namespace Steinberg;

namespace {

// The input file's channels go to the input buses in bus order, skipping inactive buses.
struct ChannelSlot
{
    int32 bus;
    int32 channel;
};

std::vector<ChannelSlot> activeChannels(const BlockRunner& runner, Vst::BusDirection dir)
{
    std::vector<ChannelSlot> slots;
    for (int32 b = 0; b < runner.busCount(dir); ++b)
        if (runner.busActive(dir, b))
            for (int32 c = 0; c < runner.channelCount(dir, b); ++c)
                slots.push_back({b, c});
    return slots;
}

// A DAW puts a module on a track of the file's width: bus 0 in and out take its channel count
// where the module accepts that, else only the input, else the module keeps its defaults.
void matchInputWidth(BlockRunner& runner, int32 channels)
{
    auto ins = runner.arrangements(Vst::kInput);
    auto outs = runner.arrangements(Vst::kOutput);
    if (ins.empty() || arrangementChannels(ins[0]) == channels)
        return;
    ins[0] = arrangementFor(channels);
    auto both = outs;
    if (!both.empty())
        both[0] = arrangementFor(channels);
    if (runner.proposeArrangements(ins, both) == kResultOk)
        return;
    runner.proposeArrangements(ins, outs);
}

int runRender(const Arguments& args, std::ostream& out)
{
    std::vector<ParamSetting> settings;
    for (const auto& text : args.values("param"))
        settings.push_back(parseParamSetting(text));
    std::vector<ParamPoint> points;
    for (const auto& text : args.values("automate"))
        points.push_back(parseParamPoint(text));
    std::stable_sort(points.begin(), points.end(), [](const ParamPoint& a, const ParamPoint& b) { return a.sample < b.sample; });

    WavAudio input;
    if (auto in = args.value("in"))
        input = readWav(pathFromUtf8(*in));
    const double rate = args.number("rate", args.has("in") ? input.sampleRate : 48000.0, 1.0, 1.0e7);
    const auto block = static_cast<int32>(args.integer("block", 512, 1, 1 << 20));
    const std::int64_t length =
        args.integer("length", static_cast<std::int64_t>(input.frames()), 0, std::int64_t{1} << 40);
    if (!args.has("in") && !args.has("length"))
        throw UsageError("render needs --in IN.wav or --length FRAMES");
    for (const ParamPoint& p : points)
        if (p.sample >= length)
            throw UsageError("--automate point at sample " + std::to_string(p.sample) + " lies beyond the " +
                             std::to_string(length) + " rendered frames");

    LoadedPlugin loaded = loadPlugin(args.positional(0));
    PluginInstance& plugin = *loaded.plugin;
    if (auto file = args.value("file"))
        setModuleFile(plugin, pathFromUtf8(*file));
    applyControllerSettings(plugin, settings);

    ProcessConfig config;
    config.sampleRate = rate;
    config.maxBlock = block;
    config.sampleSize = args.has("double") ? Vst::kSample64 : Vst::kSample32;
    config.processMode = Vst::kOffline;
    config.allAudioBuses = args.has("all-buses");
    BlockRunner runner(plugin, config);
    if (input.channels > 0)
        matchInputWidth(runner, static_cast<int32>(input.channels));
    try
    {
        runner.start();
    }
    catch (const HostError& e)
    {
        if (!args.has("file"))
            throw;
        throw HostError("\"" + plugin.description().name + "\" could not take the file \"" + *args.value("file") +
                        "\" (" + e.what() + "); a destination needs an existing, writable folder");
    }
    if (args.has("file"))
        if (auto text = unframeStateText(plugin.saveState()))
            if (auto path = statePath(*text))
                out << "module file: " << *path << '\n';

    const auto ins = activeChannels(runner, Vst::kInput);
    const auto outs = activeChannels(runner, Vst::kOutput);
    if (input.channels > ins.size())
        out << "note: the input has " << input.channels << " channels; the module's active inputs take " << ins.size()
            << " (try --all-buses)\n";
    if (outs.empty())
        throw HostError("\"" + plugin.description().name + "\" has no active audio output to render");
    WavAudio output;
    output.channels = static_cast<std::uint32_t>(outs.size());
    output.sampleRate = static_cast<std::uint32_t>(rate);
    output.samples.resize(static_cast<std::size_t>(length) * outs.size());

    runner.setPlaying(args.has("play"));
    std::size_t nextPoint = 0;
    for (std::int64_t pos = 0; pos < length;)
    {
        const auto n = static_cast<int32>(std::min<std::int64_t>(block, length - pos));
        for (std::size_t k = 0; k < ins.size(); ++k)
            for (int32 i = 0; i < n; ++i)
            {
                const auto frame = static_cast<std::size_t>(pos + i);
                const double v = k < input.channels && frame < input.frames() ? input.at(frame, static_cast<std::uint32_t>(k)) : 0.0;
                runner.setSample(Vst::kInput, ins[k].bus, ins[k].channel, i, v);
            }
        if (pos == 0)
            for (const ParamSetting& s : settings)
                runner.inputChanges().add(s.id, 0, s.value);
        while (nextPoint < points.size() && points[nextPoint].sample < pos + n)
        {
            const ParamPoint& p = points[nextPoint++];
            if (!runner.inputChanges().add(p.id, static_cast<int32>(p.sample - pos), p.value))
                throw HostError("Too many automation points in one block; use a smaller --block");
        }
        const tresult r = runner.process(n);
        if (r != kResultOk)
            throw HostError("process failed at frame " + std::to_string(pos) + " (" + resultName(r) + ")");
        for (std::size_t k = 0; k < outs.size(); ++k)
            for (int32 i = 0; i < n; ++i)
                output.samples[static_cast<std::size_t>(pos + i) * outs.size() + k] =
                    static_cast<float>(runner.sample(Vst::kOutput, outs[k].bus, outs[k].channel, i));
        pos += n;
    }
    runner.stop();

    writeWavFloat(pathFromUtf8(*args.value("out")), output);
    out << "rendered " << length << " frames at " << rate << " Hz through \"" << plugin.description().name << "\": "
        << ins.size() << " input and " << outs.size() << " output channels, "
        << (config.sampleSize == Vst::kSample64 ? 64 : 32) << "-bit, blocks of " << block << ", transport "
        << (args.has("play") ? "playing" : "stopped") << ", " << settings.size() << " parameter value(s), "
        << points.size() << " automation point(s)\n"
        << "wrote " << *args.value("out") << '\n';
    return 0;
}

constexpr std::string_view kPositionals[] = {"BUNDLE"};
constexpr OptionSpec kOptions[] = {
    {"in", OptionKind::Value, "IN.wav", "input audio (16-bit PCM or 32-bit float); its rate is the default --rate"},
    {"out", OptionKind::Value, "OUT.wav", "output, 32-bit float, every active output channel", true},
    {"param", OptionKind::List, "ID=VALUE", "normalized parameter value set before processing"},
    {"automate", OptionKind::List, "ID@SAMPLE=VALUE", "sample-accurate point sent through the parameter queue"},
    {"rate", OptionKind::Value, "R", "sample rate in Hz (default: the input's, else 48000)"},
    {"block", OptionKind::Value, "N", "samples per block (default 512)"},
    {"length", OptionKind::Value, "FRAMES", "frames to render (default: the input's length)"},
    {"play", OptionKind::Flag, "", "host transport playing from the first sample to the end"},
    {"file", OptionKind::Value, "PATH", "a PLAYER's file or a RECORDER's destination, set through the saved state"},
    {"double", OptionKind::Flag, "", "64-bit processing"},
    {"all-buses", OptionKind::Flag, "", "activate every audio bus, not only the default-active ones"},
};

} // namespace

const CommandSpec kRenderCommand{"render", kPositionals, kOptions, runRender,
                                 "Offline render through one module."};

} // namespace kestravel::plugins
