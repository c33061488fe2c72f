// rackhost render: offline rendering of a WAV file (or silence) through one module.
#include <algorithm>
#include <cstring>
#include <fstream>

#include "commands.h"
#include "kestravel/imodulereport.h"
#include "kestravel/take_texts.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/utf.h"
#include "kestravel_host/wav.h"

namespace kestravel::plugins {

DEF_CLASS_IID(IModuleReport)

using namespace Steinberg;

namespace {

// A 32-bit float WAV written as the render goes, so memory stays the same whatever the length.
// The header's sizes are set when the file is closed.
class StreamedWav
{
public:
    StreamedWav(const std::filesystem::path& path, std::uint32_t channels, std::uint32_t rate)
        : name_("\"" + pathToUtf8(path) + "\""), channels_(channels)
    {
        file_.open(path, std::ios::binary | std::ios::trunc);
        if (!file_)
            throw HostError("Cannot create " + name_);
        writeHeader(rate, 0);
        rate_ = rate;
    }

    void append(const std::vector<float>& interleaved)
    {
        file_.write(reinterpret_cast<const char*>(interleaved.data()),
                    static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
        if (!file_)
            throw HostError("Cannot write " + name_ + " completely");
        dataBytes_ += interleaved.size() * sizeof(float);
    }

    void close()
    {
        file_.seekp(0);
        writeHeader(rate_, static_cast<std::uint32_t>(dataBytes_));
        file_.close();
        if (!file_)
            throw HostError("Cannot write " + name_ + " completely");
    }

private:
    void writeHeader(std::uint32_t rate, std::uint32_t dataBytes)
    {
        unsigned char h[44];
        auto put = [&](int at, std::uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i)
                h[at + i] = static_cast<unsigned char>(v >> (8 * i));
        };
        std::memcpy(h, "RIFF", 4);
        put(4, dataBytes + 36, 4);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        put(16, 16, 4);
        put(20, 3, 2); // IEEE float
        put(22, channels_, 2);
        put(24, rate, 4);
        put(28, rate * channels_ * 4, 4);
        put(32, channels_ * 4, 2);
        put(34, 32, 2);
        std::memcpy(h + 36, "data", 4);
        put(40, dataBytes, 4);
        file_.write(reinterpret_cast<const char*>(h), 44);
    }

    std::string name_;
    std::uint32_t channels_;
    std::uint32_t rate_ = 0;
    std::uint64_t dataBytes_ = 0;
    std::ofstream file_;
};

// A WAV file's sizes are 32-bit: the samples plus 36 header bytes must stay under 4 GiB.
constexpr std::uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 36;

// The module's own words for a file it refused, when it can say them.
std::optional<std::string> moduleFileError(const PluginInstance& plugin)
{
    auto report = queryRef<IModuleReport>(plugin.component());
    if (!report)
        return std::nullopt;
    char8 text[1024] = {};
    if (report->getLastFileError(text, sizeof text) != kResultTrue)
        return std::nullopt;
    return std::string(text);
}

// What the RECORDER's take panel shows: time on the timeline, size, time left on the disk.
std::string takeFacts(const TakeReport& take)
{
    const std::uint64_t bytesPerSecond = std::uint64_t{take.sampleRate} * take.channels * 4;
    std::string facts = clockText(take.timelineFrames / take.sampleRate) + " on the timeline, " +
                        sizeText(take.bytesWritten) + " written, ";
    if (take.freeBytes == ~std::uint64_t{0} || bytesPerSecond == 0)
        return facts + "free disk space unknown";
    const std::uint64_t left = take.freeBytes / bytesPerSecond;
    return facts + clockText(left) + " left on the disk at " + sizeText(bytesPerSecond) + "/s" +
           (left < kLowSpaceSeconds ? " (under ten minutes)" : "");
}

// What a RECORDER's take left on disk; false when it is incomplete (failed or dropped frames).
bool reportTake(const PluginInstance& plugin, std::ostream& out)
{
    auto report = queryRef<IModuleReport>(plugin.component());
    TakeReport take;
    if (!report || report->getTakeReport(&take) != kResultOk || take.files == 0)
        return true;
    for (int32 i = 0; i < take.files; ++i)
    {
        char8 path[4096] = {};
        if (report->getTakeFile(i, path, sizeof path) == kResultOk)
            out << (i == 0 ? "take: " : "take continued in: ") << path << '\n';
    }
    out << "take: " << take.framesWritten << " frames written, " << take.framesDropped << " dropped"
        << (take.failed ? ", ended Failed" : "") << '\n';
    if (take.size >= static_cast<int32>(sizeof take) && take.sampleRate > 0)
        out << "take: " << takeFacts(take) << '\n';
    return !take.failed && take.framesDropped == 0;
}

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

// --channels: bus 0 in and out at a width the user names, as a DAW track of that width has it.
void setMainWidth(BlockRunner& runner, int32 channels)
{
    auto ins = runner.arrangements(Vst::kInput);
    auto outs = runner.arrangements(Vst::kOutput);
    if (!ins.empty())
        ins[0] = arrangementFor(channels);
    if (!outs.empty())
        outs[0] = arrangementFor(channels);
    if (runner.proposeArrangements(ins, outs) != kResultOk)
        throw HostError("the module refuses " + std::to_string(channels) + " channels on its main buses");
}

// A timeline jump: at output frame `at` the host's playhead moves to timeline sample `to`.
struct Locate
{
    std::int64_t at;
    std::int64_t to;
};

Locate parseLocate(const std::string& text)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos)
        throw UsageError("--locate takes AT=TO, not \"" + text + "\"");
    const std::int64_t at = parseInteger(text.substr(0, eq), "The frame in \"" + text + "\"");
    const std::int64_t to = parseInteger(text.substr(eq + 1), "The timeline sample in \"" + text + "\"");
    if (at < 0 || to < 0)
        throw UsageError("The frames in \"" + text + "\" must not be negative");
    return {at, to};
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
    const std::int64_t timelineStart = args.integer("start", 0, 0, std::int64_t{1} << 62);
    std::vector<Locate> locates;
    for (const auto& text : args.values("locate"))
    {
        locates.push_back(parseLocate(text));
        if (locates.back().at >= length)
            throw UsageError("--locate at frame " + std::to_string(locates.back().at) + " lies beyond the " +
                             std::to_string(length) + " rendered frames");
    }
    // Jumps at one frame: the last one given wins.
    std::stable_sort(locates.begin(), locates.end(), [](const Locate& a, const Locate& b) { return a.at < b.at; });
    for (const ParamPoint& p : points)
        if (p.sample >= length)
            throw UsageError("--automate point at sample " + std::to_string(p.sample) + " lies beyond the " +
                             std::to_string(length) + " rendered frames");

    if (auto file = args.value("file"))
    {
        std::error_code ec;
        if (std::filesystem::is_directory(pathFromUtf8(*file), ec))
            throw HostError("--file \"" + *file +
                            "\" is a folder; give a file: a PLAYER's WAV file, or a new WAV file for a RECORDER");
    }

    LoadedPlugin loaded = loadPlugin(args.positional(0));
    PluginInstance& plugin = *loaded.plugin;
    const std::string who = "\"" + plugin.description().name + "\"";
    if (auto file = args.value("file"))
    {
        try
        {
            setModuleFile(plugin, pathFromUtf8(*file));
        }
        catch (const HostError&)
        {
            const auto words = moduleFileError(plugin);
            if (!words)
                throw;
            std::error_code ec;
            const bool missing = !std::filesystem::exists(pathFromUtf8(*file), ec);
            throw HostError(who + " refused the file \"" + *file + "\": " + *words +
                            (missing ? " (there is no file at that path)" : ""));
        }
    }
    applyControllerSettings(plugin, settings);

    ProcessConfig config;
    config.sampleRate = rate;
    config.maxBlock = block;
    config.sampleSize = args.has("double") ? Vst::kSample64 : Vst::kSample32;
    config.processMode = Vst::kOffline;
    config.allAudioBuses = args.has("all-buses");
    BlockRunner runner(plugin, config);
    if (args.has("channels"))
        setMainWidth(runner, static_cast<int32>(args.integer("channels", 2, 1, 64)));
    else if (input.channels > 0)
        matchInputWidth(runner, static_cast<int32>(input.channels));

    // The output's size is known before anything runs: refuse what one WAV file cannot hold.
    const auto outPath = args.value("out");
    if (outPath)
    {
        std::uint64_t outChannels = 0;
        for (const BusDescription& bus : plugin.buses(Vst::kAudio, Vst::kOutput))
            if (config.allAudioBuses || (bus.flags & Vst::BusInfo::kDefaultActive) != 0)
                outChannels += static_cast<std::uint64_t>(bus.channelCount);
        const std::uint64_t bytes = static_cast<std::uint64_t>(length) * outChannels * 4;
        if (bytes > kMaxWavDataBytes)
            throw HostError("Cannot write " + *outPath + ": " + std::to_string(length) + " frames of " +
                            std::to_string(outChannels) + " channels are " + std::to_string(bytes) +
                            " bytes of samples, more than a WAV file holds (4 GiB); render fewer frames, "
                            "or leave out --out to discard the output");
    }

    try
    {
        runner.start();
    }
    catch (const HostError& e)
    {
        if (!args.has("file"))
            throw;
        const auto words = moduleFileError(plugin);
        throw HostError(who + " could not take the file \"" + *args.value("file") + "\" (" + e.what() + ")" +
                        (words ? ": " + *words : "; a destination needs an existing, writable folder"));
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
    std::optional<StreamedWav> output;
    if (outPath)
    {
        if (static_cast<std::uint64_t>(length) * outs.size() * 4 > kMaxWavDataBytes)
            throw HostError("Cannot write " + *outPath + ": the output is more than a WAV file holds (4 GiB)");
        output.emplace(pathFromUtf8(*outPath), static_cast<std::uint32_t>(outs.size()),
                       static_cast<std::uint32_t>(rate));
    }
    std::vector<float> frames(static_cast<std::size_t>(config.maxBlock) * outs.size());

    runner.setPlaying(args.has("play"));
    runner.setTimes(runner.continuousTime(), timelineStart);
    std::size_t nextPoint = 0;
    std::size_t nextLocate = 0;
    for (std::int64_t pos = 0; pos < length;)
    {
        // A jump starts a block of its own, as a host splits its block at a loop's end.
        while (nextLocate < locates.size() && locates[nextLocate].at == pos)
            runner.setTimes(runner.continuousTime(), locates[nextLocate++].to);
        const std::int64_t until = nextLocate < locates.size() ? locates[nextLocate].at : length;
        const auto n = static_cast<int32>(std::min<std::int64_t>(block, until - pos));
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
        if (output)
        {
            frames.resize(static_cast<std::size_t>(n) * outs.size());
            for (std::size_t k = 0; k < outs.size(); ++k)
                for (int32 i = 0; i < n; ++i)
                    frames[static_cast<std::size_t>(i) * outs.size() + k] =
                        static_cast<float>(runner.sample(Vst::kOutput, outs[k].bus, outs[k].channel, i));
            output->append(frames);
        }
        pos += n;
    }
    runner.stop();
    if (output)
        output->close();

    out << "rendered " << length << " frames at " << rate << " Hz through \"" << plugin.description().name << "\": "
        << ins.size() << " input and " << outs.size() << " output channels, "
        << (config.sampleSize == Vst::kSample64 ? 64 : 32) << "-bit, blocks of " << block << ", transport "
        << (args.has("play") ? "playing" : "stopped") << ", " << settings.size() << " parameter value(s), "
        << points.size() << " automation point(s)\n";
    if (outPath)
        out << "wrote " << *outPath << '\n';
    else
        out << "output discarded (no --out)\n";
    if (!reportTake(plugin, out))
        throw HostError(who + "'s take is incomplete: it ended Failed or dropped frames (see above)");
    return 0;
}

constexpr std::string_view kPositionals[] = {"BUNDLE"};
constexpr OptionSpec kOptions[] = {
    {"in", OptionKind::Value, "IN.wav", "input audio (16-bit PCM or 32-bit float); its rate is the default --rate"},
    {"out", OptionKind::Value, "OUT.wav", "output, 32-bit float, every active output channel (default: discarded)"},
    {"param", OptionKind::List, "ID=VALUE", "normalized parameter value set before processing"},
    {"automate", OptionKind::List, "ID@SAMPLE=VALUE", "sample-accurate point sent through the parameter queue"},
    {"rate", OptionKind::Value, "R", "sample rate in Hz (default: the input's, else 48000)"},
    {"block", OptionKind::Value, "N", "samples per block (default 512)"},
    {"length", OptionKind::Value, "FRAMES", "frames to render (default: the input's length)"},
    {"play", OptionKind::Flag, "", "host transport playing from the first sample to the end"},
    {"start", OptionKind::Value, "SAMPLE", "timeline position of the first rendered sample (default 0)"},
    {"locate", OptionKind::List, "AT=TO", "at output frame AT the timeline jumps to sample TO (repeatable)"},
    {"file", OptionKind::Value, "PATH", "a PLAYER's file or a RECORDER's destination, set through the saved state"},
    {"double", OptionKind::Flag, "", "64-bit processing"},
    {"channels", OptionKind::Value, "N", "width of the main input and output buses, 1 to 64 (default: the input's)"},
    {"all-buses", OptionKind::Flag, "", "activate every audio bus, not only the default-active ones"},
};

} // namespace

const CommandSpec kRenderCommand{"render", kPositionals, kOptions, runRender,
                                 "Offline render through one module."};

} // namespace kestravel::plugins
