// rackhost bench: the cost of process() for any VST 3 bundle, as a DAW's load meter sees it,
// next to a plain gain loop over the same sample-channels timed in the same run.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <numeric>
#include <optional>
#include <random>

#include "commands.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/utf.h"

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

enum class InputSignal
{
    Noise,     // about -12 dBFS
    Subnormal, // the same noise below the smallest normal number of the sample width
    Silence,
};

InputSignal parseInputSignal(const std::string& text)
{
    if (text == "noise")
        return InputSignal::Noise;
    if (text == "subnormal")
        return InputSignal::Subnormal;
    if (text == "silence")
        return InputSignal::Silence;
    throw UsageError("--input takes noise, subnormal or silence, not \"" + text + "\"");
}

// A fixed pseudo-random signal, the same on every run.
void fillInputs(BlockRunner& runner, int32 block, InputSignal signal)
{
    // 2^-130 puts a float at most 2^-132, 2^-1030 a double at most 2^-1032: subnormal either way.
    const bool wide = runner.config().sampleSize == Vst::kSample64;
    const double scale = signal == InputSignal::Silence     ? 0.0
                         : signal == InputSignal::Subnormal ? std::ldexp(1.0, wide ? -1030 : -130)
                                                            : 1.0;
    std::uint32_t state = 0x2545F491u;
    for (int32 b = 0; b < runner.busCount(Vst::kInput); ++b)
        for (int32 c = 0; c < runner.channelCount(Vst::kInput, b); ++c)
            for (int32 i = 0; i < block; ++i)
            {
                state = state * 1664525u + 1013904223u;
                const double v = (static_cast<double>(state >> 8) / 8388608.0 - 1.0) * 0.25;
                runner.setSample(Vst::kInput, b, c, i, v * scale);
            }
}

// Whether the block's output events hold a transport-sync stop (a PLAYER reached its end).
bool sentSyncStop(EventList& events)
{
    for (int32 e = 0; e < events.getEventCount(); ++e)
    {
        Vst::Event event{};
        if (events.getEvent(e, event) != kResultOk || event.type != Vst::Event::kDataEvent)
            continue;
        const Vst::DataEvent& d = event.data;
        if (d.type == Vst::DataEvent::kMidiSysEx && d.size == 7 && d.bytes != nullptr && d.bytes[5] == 2)
            return true;
    }
    return false;
}

// The reference: the same sample-channels through a plain gain loop in the same sample width,
// timed block by block as process() is. Returns the sorted block times.
template <typename S>
std::vector<double> gainLoopBlockSeconds(int32 width, int32 block, std::size_t blocks)
{
    const auto n = static_cast<std::size_t>(width) * static_cast<std::size_t>(block);
    std::vector<S> in(n), out(n);
    for (std::size_t i = 0; i < n; ++i)
        in[i] = static_cast<S>(static_cast<double>(i % 97) / 97.0 - 0.5);
    volatile S gainSource = S(0.5);
    std::vector<double> times;
    times.reserve(blocks);
    for (std::size_t k = 0; k < blocks; ++k)
    {
        const S g = gainSource;
        const auto t0 = Clock::now();
        for (std::size_t i = 0; i < n; ++i)
            out[i] = in[i] * g;
#if defined(__GNUC__)
        asm volatile("" : : "r"(out.data()) : "memory"); // the stores must happen
#endif
        times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times;
}

// A folder of its own in the system's temporary folder, removed with everything in it.
class ScratchFolder
{
public:
    ScratchFolder()
    {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 16; ++attempt)
        {
            const auto candidate = base / ("rackhost-bench-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate))
            {
                path_ = candidate;
                return;
            }
        }
        throw HostError("Cannot make a scratch folder in " + pathToUtf8(base));
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

double percentile(const std::vector<double>& sorted, double q)
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
    const InputSignal signal = parseInputSignal(args.value("input").value_or("noise"));
    std::vector<ParamSetting> settings;
    for (const auto& text : args.values("param"))
        settings.push_back(parseParamSetting(text));
    if (args.has("file") && args.has("scratch-take"))
        throw UsageError("--file and --scratch-take both name the module's file; give one");
    const bool play = args.has("play") || args.has("scratch-take");

    // Declared before the module so that it is removed after the module has closed its take.
    std::optional<ScratchFolder> scratch;
    if (args.has("scratch-take"))
        scratch.emplace();
    LoadedPlugin loaded = loadPlugin(args.positional(0));
    PluginInstance& plugin = *loaded.plugin;
    if (auto file = args.value("file"))
        setModuleFile(plugin, pathFromUtf8(*file));
    if (scratch)
        setModuleFile(plugin, scratch->path() / "take.wav");
    applyControllerSettings(plugin, settings);

    ProcessConfig config;
    config.sampleRate = rate;
    config.maxBlock = block;
    config.sampleSize = args.has("double") ? Vst::kSample64 : Vst::kSample32;
    config.processMode = Vst::kRealtime;
    config.allAudioBuses = args.has("all-buses");
    BlockRunner runner(plugin, config);
    proposeWidth(runner, channels, config.allAudioBuses);
    runner.start();
    fillInputs(runner, block, signal);
    if (args.has("file") || scratch)
        if (auto text = unframeStateText(plugin.saveState()))
            if (auto path = statePath(*text))
                out << "module file: " << *path << '\n';

    int32 busesIn = 0, busesOut = 0;
    const int32 channelsIn = activeChannelTotal(runner, Vst::kInput, busesIn);
    const int32 channelsOut = activeChannelTotal(runner, Vst::kOutput, busesOut);
    const int32 width = std::max({channelsIn, channelsOut, 1});

    // A PLAYER that reaches the end of its file is started again after one stopped block, so
    // the run measures playback, not silence.
    int restarts = 0;
    bool stoppedForRestart = false;
    runner.setPlaying(play);
    auto processOne = [&] {
        const tresult r = runner.process(block);
        if (stoppedForRestart)
        {
            runner.setPlaying(true);
            stoppedForRestart = false;
        }
        else if (play && sentSyncStop(runner.outputEvents()))
        {
            runner.setPlaying(false);
            stoppedForRestart = true;
            ++restarts;
        }
        return r;
    };

    // Warm caches and let smoothers settle before measuring; the settings reach the audio
    // side at the first sample, as an automation lane's start value would.
    for (const ParamSetting& s : settings)
        runner.inputChanges().add(s.id, 0, s.value);
    const int warmup = std::max(1, static_cast<int>(0.1 * rate / block));
    for (int i = 0; i < warmup; ++i)
        if (const tresult r = processOne(); r != kResultOk)
            throw HostError("process failed (" + resultName(r) + ")");

    std::vector<double> blockSeconds;
    // Room for a module running far faster than real time; blocks past it run untimed.
    blockSeconds.reserve(static_cast<std::size_t>(std::min(seconds * rate / block * 256.0 + 16.0, 4194304.0)));
    const auto begin = Clock::now();
    const auto deadline = begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    Clock::time_point now = begin;
    while (now < deadline)
    {
        const auto t0 = Clock::now();
        const tresult r = processOne();
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
    // Medians: on a busy machine a preempted block moves the mean, not the median.
    const std::size_t gainBlocks = std::clamp<std::size_t>(blockSeconds.size(), 1, 200000);
    const std::vector<double> gainLoop = config.sampleSize == Vst::kSample64
                                             ? gainLoopBlockSeconds<double>(width, block, gainBlocks)
                                             : gainLoopBlockSeconds<float>(width, block, gainBlocks);
    const double gainMedian = percentile(gainLoop, 0.5);

    const char* signalName = signal == InputSignal::Noise ? "noise" : signal == InputSignal::Subnormal ? "subnormal" : "silence";
    out << std::fixed;
    out << "bench \"" << plugin.description().name << "\": " << std::setprecision(0) << rate << " Hz, blocks of "
        << block << ", " << (config.sampleSize == Vst::kSample64 ? 64 : 32) << "-bit, " << channelsIn << " input channels on "
        << busesIn << " bus(es), " << channelsOut << " output channels on " << busesOut << " bus(es)\n";
    out << "input: " << signalName << ", transport " << (play ? "playing" : "stopped") << ", " << settings.size()
        << " parameter value(s)";
    if (restarts > 0)
        out << ", the file ran out and was started again " << restarts << " time(s)";
    out << '\n';
    out << "blocks timed: " << blockSeconds.size() << " (" << std::setprecision(2) << blocks * period
        << " s of audio)\n";
    out << std::setprecision(3) << "process per block: mean " << mean * 1e6 << " us, median "
        << percentile(blockSeconds, 0.5) * 1e6 << " us, p99 " << percentile(blockSeconds, 0.99) * 1e6 << " us, max "
        << blockSeconds.back() * 1e6 << " us (block period " << period * 1e6 << " us)\n";
    out << "cost per sample-channel: " << perSampleChannel * 1e9 << " ns (" << width
        << " channels: the wider of the active inputs and outputs)\n";
    out << "plain gain loop over the same sample-channels: median " << gainMedian * 1e6
        << " us per block; the module's median is " << std::setprecision(2)
        << percentile(blockSeconds, 0.5) / gainMedian << " times that\n";
    out << std::setprecision(3) << "DSP load: " << mean / period * 100.0 << " % of real time (mean), "
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
    {"input", OptionKind::Value, "SIGNAL",
     "noise (default, about -12 dBFS), subnormal (that noise below the smallest normal number) or silence"},
    {"param", OptionKind::List, "ID=VALUE", "normalized parameter value set before processing"},
    {"file", OptionKind::Value, "PATH", "a PLAYER's file or a RECORDER's destination, set through the saved state"},
    {"scratch-take", OptionKind::Flag, "", "a RECORDER records into a new file in a temporary folder, removed afterwards (plays)"},
    {"play", OptionKind::Flag, "", "host transport playing; a PLAYER whose file ends is started again"},
};

} // namespace

const CommandSpec kBenchCommand{"bench", kPositionals, kOptions, runBench,
                                "Time process() of any VST 3 bundle: cost per sample-channel and DSP load."};

} // namespace kestravel::plugins
