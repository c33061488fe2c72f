#include "kestravel_host/session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "kestravel_host/block_runner.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/module.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/plugin_instance.h"
#include "kestravel_host/utf.h"
#include "kestravel_host/wav.h"

namespace kestravel::plugins {

using namespace Steinberg;

namespace {

constexpr const char* kPlayerSyncBus = "Player Sync";
constexpr const char* kRecorderSyncBus = "Recorder Sync";
constexpr double kRecorderRingSamples = 1048576.0;

// Sync messages are F0 7D 'K' 'T' 'S' command F7.
int syncCommand(const Vst::Event& e)
{
    if (e.type != Vst::Event::kDataEvent || e.data.size != 7 || e.data.bytes == nullptr)
        return 0;
    const uint8* b = e.data.bytes;
    if (b[0] != 0xF0 || b[1] != 0x7D || b[2] != 'K' || b[3] != 'T' || b[4] != 'S' || b[6] != 0xF7)
        return 0;
    return b[5];
}

int32 requireEventBus(const PluginInstance& plugin, Vst::BusDirection dir, const char* name)
{
    if (auto bus = plugin.findBus(Vst::kEvent, dir, name))
        return *bus;
    throw HostError("\"" + plugin.description().name + "\" has no event " + (dir == Vst::kInput ? "input" : "output") +
                    " bus \"" + name + "\"");
}

int64 defaultTailFrames(const PluginInstance& recorder, double rate, int32 block)
{
    double seconds = 1.0;
    if (auto p = recorder.findParameter("Tail silence time"); p && recorder.controller())
    {
        Vst::IEditController* c = recorder.controller();
        seconds = c->normalizedParamToPlain(p->id, c->getParamNormalized(p->id));
    }
    return static_cast<int64>(std::ceil(seconds * rate)) + 2 * static_cast<int64>(block);
}

// Keeps offline processing a bounded stretch ahead of real time, so the recorder's writer
// thread drains its ring before it fills even on a busy machine.
class Pacer
{
public:
    Pacer(double rate, std::uint32_t channels)
        : rate_(rate), speed_(std::max(1.0, 5.0 * kRecorderRingSamples / (rate * std::max(1u, channels)))),
          start_(std::chrono::steady_clock::now())
    {
    }
    void after(int64 framesDone)
    {
        const double audioSeconds = static_cast<double>(framesDone) / rate_;
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start_;
        const double ahead = audioSeconds / speed_ - wall.count();
        if (ahead > 0.001)
            std::this_thread::sleep_for(std::chrono::duration<double>(ahead));
    }

private:
    double rate_;
    double speed_;
    std::chrono::steady_clock::time_point start_;
};

} // namespace

SessionReport runSession(const SessionOptions& options, std::ostream* log)
{
    auto say = [log](const std::string& line) {
        if (log != nullptr)
            *log << line << '\n';
    };
    if (options.block < 1 || options.block > 65536)
        throw HostError("The block size must be 1 to 65536 samples");

    SessionReport report;
    const WavAudio source = readWav(options.source);
    if (source.channels > 64)
        throw HostError("The source has " + std::to_string(source.channels) + " channels; at most 64 can be routed");
    report.sampleRate = source.sampleRate;
    report.sourceFrames = static_cast<int64>(source.frames());

    auto host = Ref<HostApplication>::adopt(new HostApplication());
    auto playerModule = Module::load(options.playerBundle);
    auto recorderModule = Module::load(options.recorderBundle);
    playerModule->setHostContext(static_cast<Vst::IHostApplication*>(host.get()));
    recorderModule->setHostContext(static_cast<Vst::IHostApplication*>(host.get()));
    PluginInstance player(*playerModule, findAudioModuleClass(*playerModule), host);
    PluginInstance recorder(*recorderModule, findAudioModuleClass(*recorderModule), host);
    const int32 playerSync = requireEventBus(player, Vst::kOutput, kPlayerSyncBus);
    const int32 recorderSync = requireEventBus(recorder, Vst::kInput, kRecorderSyncBus);

    setModuleFile(player, options.source);
    setModuleFile(recorder, options.take);

    ProcessConfig config;
    config.sampleRate = source.sampleRate;
    config.maxBlock = options.block;
    config.processMode = Vst::kRealtime;
    BlockRunner playerRun(player, config);
    BlockRunner recorderRun(recorder, config);

    // The PLAYER's output takes the source's channel count where it can; the RECORDER follows it.
    auto outs = playerRun.arrangements(Vst::kOutput);
    if (outs.empty())
        throw HostError("\"" + player.description().name + "\" has no audio output");
    outs[0] = arrangementFor(static_cast<int32>(source.channels));
    playerRun.proposeArrangements(playerRun.arrangements(Vst::kInput), outs);
    const int32 routed = arrangementChannels(playerRun.arrangements(Vst::kOutput)[0]);
    auto recIns = recorderRun.arrangements(Vst::kInput);
    auto recOuts = recorderRun.arrangements(Vst::kOutput);
    if (recIns.empty())
        throw HostError("\"" + recorder.description().name + "\" has no audio input");
    recIns[0] = arrangementFor(routed);
    if (!recOuts.empty())
        recOuts[0] = arrangementFor(routed);
    recorderRun.proposeArrangements(recIns, recOuts);
    report.channels = static_cast<std::uint32_t>(routed);

    playerRun.start();
    try
    {
        recorderRun.start();
    }
    catch (const HostError& e)
    {
        throw HostError("\"" + recorder.description().name + "\" could not arm a take for \"" +
                        pathToUtf8(options.take) + "\" (" + e.what() +
                        "): the folder may be missing or not writable, or every take name is used");
    }
    if (auto text = unframeStateText(recorder.saveState()))
        if (auto path = statePath(*text))
            report.armedTake = pathFromUtf8(*path);
    say("RECORDER armed " + pathToUtf8(report.armedTake));

    const int32 channelsIn = recorderRun.channelCount(Vst::kInput, 0);
    const int32 channelsOut = playerRun.channelCount(Vst::kOutput, 0);
    Pacer pacer(config.sampleRate, static_cast<std::uint32_t>(std::max(channelsIn, 1)));

    auto runBlock = [&](int32 n) {
        tresult r = playerRun.process(n);
        if (r != kResultOk)
            throw HostError("process of \"" + player.description().name + "\" failed (" + resultName(r) + ")");
        const int32 common = std::min(channelsIn, channelsOut);
        for (int32 c = 0; c < channelsIn; ++c)
        {
            float* dst = recorderRun.channel32(Vst::kInput, 0, c);
            if (c < common)
                std::copy_n(playerRun.channel32(Vst::kOutput, 0, c), n, dst);
            else
                std::fill_n(dst, n, 0.0f);
        }
        const uint64 mask = channelsIn >= 64 ? ~uint64{0} : (uint64{1} << channelsIn) - 1;
        recorderRun.busBuffers(Vst::kInput, 0).silenceFlags = playerRun.busBuffers(Vst::kOutput, 0).silenceFlags & mask;

        EventList& out = playerRun.outputEvents();
        for (int32 i = 0; i < out.getEventCount(); ++i)
        {
            Vst::Event e{};
            if (out.getEvent(i, e) != kResultOk || e.busIndex != playerSync)
                continue;
            switch (syncCommand(e))
            {
            case 1: ++report.startEvents; break;
            case 2: ++report.stopEvents; break;
            default: ++report.otherEvents; break;
            }
            e.busIndex = recorderSync;
            recorderRun.inputEvents().addEvent(e);
        }
        r = recorderRun.process(n);
        if (r != kResultOk)
            throw HostError("process of \"" + recorder.description().name + "\" failed (" + resultName(r) + ")");
    };

    playerRun.setPlaying(true);
    recorderRun.setPlaying(true);
    while (report.playedFrames < report.sourceFrames)
    {
        runBlock(options.block);
        report.playedFrames += options.block;
        pacer.after(report.playedFrames);
    }
    playerRun.setPlaying(false);
    recorderRun.setPlaying(false);
    const int64 tailBound =
        options.tailFrames ? std::max<int64>(0, *options.tailFrames) : defaultTailFrames(recorder, config.sampleRate, options.block);
    while (report.tailFrames < tailBound)
    {
        const auto n = static_cast<int32>(std::min<int64>(options.block, tailBound - report.tailFrames));
        runBlock(n);
        report.tailFrames += n;
        pacer.after(report.playedFrames + report.tailFrames);
    }
    // Deactivation finalizes the take and joins the recorder's writer.
    recorderRun.stop();
    playerRun.stop();
    say("processed " + std::to_string(report.playedFrames) + " frames playing and " + std::to_string(report.tailFrames) +
        " after the stop; routed " + std::to_string(report.startEvents) + " start and " +
        std::to_string(report.stopEvents) + " stop messages");

    const WavAudio take = readWav(report.armedTake);
    report.takeFrames = static_cast<int64>(take.frames());
    report.takeChannels = take.channels;
    const std::uint32_t compareChannels = std::min(take.channels, source.channels);
    const std::size_t compareFrames = std::min(take.frames(), source.frames());
    std::size_t f = 0;
    for (; f < compareFrames; ++f)
    {
        bool same = true;
        for (std::uint32_t c = 0; c < compareChannels && same; ++c)
            same = take.at(f, c) == source.at(f, c);
        if (!same)
            break;
    }
    report.matchingFrames = static_cast<int64>(f);
    for (std::size_t i = source.frames() * take.channels; i < take.samples.size() && report.tailSilent; ++i)
        report.tailSilent = take.samples[i] == 0.0f;
    return report;
}

} // namespace kestravel::plugins
