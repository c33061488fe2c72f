// rackhost bench: the cost of process() for any VST 3 bundle, as a DAW's load meter sees it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iomanip>
#include <numeric>

#include "commands.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"

namespace kestravel::plugins {

using namespace Steinberg;

namespace {

using Clock = std::chrono::steady_clock;

// Every active audio bus gets the requested width where the module accepts it; failing that,
// bus 0 of each direction; failing that, the module's defaults.
void proposeWidth(BlockRunner& runner, int32 channels, bool allBuses)
{
    auto ins = runner.arrangements(Vst::kInput);
    auto outs = runner.arrangements(Vst::kOutput);
    auto widen = [&](std::vector<Vst::SpeakerArrangement> v, bool every) {
        for (std::size_t i = 0; i < v.size(); ++i)
            if (i == 0 || every)
                v[i] = arrangementFor(channels);
        return v;
    };
    if (runner.proposeArrangements(widen(ins, allBuses), widen(outs, allBuses)) == kResultOk)
        return;
    if (allBuses && runner.proposeArrangements(widen(ins, false), widen(outs, false)) == kResultOk)
        return;
    runner.proposeArrangements(ins, outs);
}

int32 activeChannelTotal(const BlockRunner& runner, Vst::BusDirection dir, int32& activeBuses)
{
    int32 total = 0;
    activeBuses = 0;
    for (int32 b = 0; b < runner.busCount(dir); ++b)
        if (runner.busActive(dir, b))
        {
            total += runner.channelCount(dir, b);
            ++activeBuses;
        }
    return total;
}

// A fixed pseudo-random signal at about -12 dBFS, the same on every run.
void fillInputs(BlockRunner& runner, int32 block)
{
    std::uint32_t state = 0x2545F491u;
    for (int32 b = 0; b < runner.busCount(Vst::kInput); ++b)
        for (int32 c = 0; c < runner.channelCount(Vst::kInput, b); ++c)
            for (int32 i = 0; i < block; ++i)
            {
                state = state * 1664525u + 1013904223u;
                const double v = (static_cast<double>(state >> 8) / 8388608.0 - 1.0) * 0.25;
                runner.setSample(Vst::kInput, b, c, i, v);
            }
}

double percentile(std::vector<double> sorted, double q)
{
    if (sorted.empty())
        return 0.0;
    const auto at = static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1));
    return sorted[at];
}

int runBench(const Arguments& args, std::ostream& out)
{
    const auto block = static_cast<int32>(args.integer("block", 512, 1, 65536));
    const auto channels = static_cast<int32>(args.integer("channels", 2, 1, 64));
    const double seconds = args.number("seconds", 3.0, 0.01, 3600.0);
    const double rate = args.number("rate", 48000.0, 1.0, 1.0e7);

    LoadedPlugin loaded = loadPlugin(args.positional(0));
    PluginInstance& plugin = *loaded.plugin;
    ProcessConfig config;
    config.sampleRate = rate;
    config.maxBlock = block;
    config.sampleSize = args.has("double") ? Vst::kSample64 : Vst::kSample32;
    config.processMode = Vst::kRealtime;
    config.allAudioBuses = args.has("all-buses");
    BlockRunner runner(plugin, config);
    proposeWidth(runner, channels, config.allAudioBuses);
    runner.start();
    fillInputs(runner, block);

    int32 busesIn = 0, busesOut = 0;
    const int32 channelsIn = activeChannelTotal(runner, Vst::kInput, busesIn);
    const int32 channelsOut = activeChannelTotal(runner, Vst::kOutput, busesOut);
    const int32 width = std::max({channelsIn, channelsOut, 1});

    // Warm caches and let smoothers settle before measuring.
    const int warmup = std::max(1, static_cast<int>(0.1 * rate / block));
    for (int i = 0; i < warmup; ++i)
        if (const tresult r = runner.process(block); r != kResultOk)
            throw HostError("process failed (" + resultName(r) + ")");

    std::vector<double> blockSeconds;
    blockSeconds.reserve(static_cast<std::size_t>(seconds * rate / block * 4.0 + 16.0));
    const auto begin = Clock::now();
    const auto deadline = begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    Clock::time_point now = begin;
    while (now < deadline)
    {
        const auto t0 = Clock::now();
        const tresult r = runner.process(block);
        now = Clock::now();
        if (r != kResultOk)
            throw HostError("process failed (" + resultName(r) + ")");
        if (blockSeconds.size() < blockSeconds.capacity())
            blockSeconds.push_back(std::chrono::duration<double>(now - t0).count());
    }
    runner.stop();

    std::sort(blockSeconds.begin(), blockSeconds.end());
    const double total = std::accumulate(blockSeconds.begin(), blockSeconds.end(), 0.0);
    const auto blocks = static_cast<double>(blockSeconds.size());
    const double mean = total / blocks;
    const double period = block / rate;
    const double perSampleChannel = total / (blocks * block * width);

    out << std::fixed;
    out << "bench \"" << plugin.description().name << "\": " << std::setprecision(0) << rate << " Hz, blocks of "
        << block << ", " << (config.sampleSize == Vst::kSample64 ? 64 : 32) << "-bit, " << channelsIn << " input channels on "
        << busesIn << " bus(es), " << channelsOut << " output channels on " << busesOut << " bus(es)\n";
    out << "blocks timed: " << blockSeconds.size() << " (" << std::setprecision(2) << blocks * period
        << " s of audio)\n";
    out << std::setprecision(3) << "process per block: mean " << mean * 1e6 << " us, median "
        << percentile(blockSeconds, 0.5) * 1e6 << " us, p99 " << percentile(blockSeconds, 0.99) * 1e6 << " us, max "
        << blockSeconds.back() * 1e6 << " us (block period " << period * 1e6 << " us)\n";
    out << "cost per sample-channel: " << perSampleChannel * 1e9 << " ns (" << width
        << " channels: the wider of the active inputs and outputs)\n";
    out << "DSP load: " << mean / period * 100.0 << " % of real time (mean), "
        << percentile(blockSeconds, 0.99) / period * 100.0 << " % (p99 block)\n";
    return 0;
}

constexpr std::string_view kPositionals[] = {"BUNDLE"};
constexpr OptionSpec kOptions[] = {
    {"block", OptionKind::Value, "N", "samples per block (default 512)"},
    {"channels", OptionKind::Value, "C", "channels per bus proposed to the module (default 2)"},
    {"seconds", OptionKind::Value, "S", "wall-clock time to measure (default 3)"},
    {"rate", OptionKind::Value, "R", "sample rate in Hz (default 48000)"},
    {"all-buses", OptionKind::Flag, "", "activate every audio bus, not only the default-active ones"},
    {"double", OptionKind::Flag, "", "64-bit processing"},
};

} // namespace

const CommandSpec kBenchCommand{"bench", kPositionals, kOptions, runBench,
                                "Time process() of any VST 3 bundle: cost per sample-channel and DSP load."};

} // namespace kestravel::plugins
