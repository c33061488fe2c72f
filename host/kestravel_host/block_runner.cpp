#include "kestravel_host/block_runner.h"

#include <bit>

#include "kestravel_host/host_error.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace kestravel::plugins {

using namespace Steinberg;

int32 arrangementChannels(Vst::SpeakerArrangement arrangement)
{
    return static_cast<int32>(std::popcount(static_cast<std::uint64_t>(arrangement)));
}

Vst::SpeakerArrangement arrangementFor(int32 channels)
{
    if (channels <= 0)
        return 0;
    if (channels == 1)
        return Vst::SpeakerArr::kMono;
    if (channels == 2)
        return Vst::SpeakerArr::kStereo;
    if (channels >= 64)
        return ~Vst::SpeakerArrangement{0};
    return (Vst::SpeakerArrangement{1} << channels) - 1;
}

BlockRunner::BlockRunner(PluginInstance& plugin, const ProcessConfig& config)
    : plugin_(plugin), config_(config), inputChanges_(512, 256), outputChanges_(512, 64), inputEvents_(4096),
      outputEvents_(4096)
{
}

BlockRunner::~BlockRunner() { stop(); }

std::vector<Vst::SpeakerArrangement> BlockRunner::arrangements(Vst::BusDirection dir) const
{
    std::vector<Vst::SpeakerArrangement> result;
    const int32 n = plugin_.component()->getBusCount(Vst::kAudio, dir);
    for (int32 i = 0; i < n; ++i)
    {
        Vst::SpeakerArrangement arr = 0;
        if (plugin_.processor()->getBusArrangement(dir, i, arr) != kResultOk)
        {
            Vst::BusInfo info{};
            plugin_.component()->getBusInfo(Vst::kAudio, dir, i, info);
            arr = arrangementFor(info.channelCount);
        }
        result.push_back(arr);
    }
    return result;
}

tresult BlockRunner::proposeArrangements(std::vector<Vst::SpeakerArrangement> inputs,
                                         std::vector<Vst::SpeakerArrangement> outputs)
{
    return plugin_.processor()->setBusArrangements(inputs.empty() ? nullptr : inputs.data(),
                                                   static_cast<int32>(inputs.size()),
                                                   outputs.empty() ? nullptr : outputs.data(),
                                                   static_cast<int32>(outputs.size()));
}

void BlockRunner::start()
{
    if (started_)
        return;
    Vst::IComponent* component = plugin_.component();
    Vst::IAudioProcessor* processor = plugin_.processor();

    for (Vst::BusDirection dir : {Vst::kInput, Vst::kOutput})
    {
        Side& s = side(dir);
        s = Side{};
        const auto arrs = arrangements(dir);
        const auto buses = plugin_.buses(Vst::kAudio, dir);
        for (std::size_t i = 0; i < buses.size(); ++i)
        {
            const bool wanted = config_.allAudioBuses || (buses[i].flags & Vst::BusInfo::kDefaultActive) != 0;
            bool on = false;
            if (wanted)
                on = component->activateBus(Vst::kAudio, dir, static_cast<int32>(i), true) == kResultOk;
            s.active.push_back(on);
            s.channels.push_back(arrangementChannels(arrs[i]));
        }
        const int32 events = component->getBusCount(Vst::kEvent, dir);
        for (int32 i = 0; i < events; ++i)
            component->activateBus(Vst::kEvent, dir, i, true);
    }

    Vst::ProcessSetup setup{config_.processMode, config_.sampleSize, config_.maxBlock, config_.sampleRate};
    tresult r = processor->setupProcessing(setup);
    if (r != kResultOk)
        throw HostError("setupProcessing (" + std::to_string(config_.sampleRate) + " Hz, block " +
                        std::to_string(config_.maxBlock) + ", " + (config_.sampleSize == Vst::kSample64 ? "64" : "32") +
                        "-bit) was refused (" + resultName(r) + ")");
    r = component->setActive(true);
    if (r != kResultOk)
        throw HostError("setActive(true) failed (" + resultName(r) + ")");
    active_ = true;
    allocate(inputs_, Vst::kInput);
    allocate(outputs_, Vst::kOutput);
    r = processor->setProcessing(true);
    if (r != kResultOk && r != kNotImplemented)
    {
        component->setActive(false);
        active_ = false;
        throw HostError("setProcessing(true) failed (" + resultName(r) + ")");
    }
    started_ = true;

    data_ = Vst::ProcessData{};
    data_.processMode = config_.processMode;
    data_.symbolicSampleSize = config_.sampleSize;
    data_.numInputs = static_cast<int32>(inputs_.buffers.size());
    data_.numOutputs = static_cast<int32>(outputs_.buffers.size());
    data_.inputs = inputs_.buffers.empty() ? nullptr : inputs_.buffers.data();
    data_.outputs = outputs_.buffers.empty() ? nullptr : outputs_.buffers.data();
    data_.inputParameterChanges = &inputChanges_;
    data_.outputParameterChanges = &outputChanges_;
    data_.inputEvents = &inputEvents_;
    data_.outputEvents = &outputEvents_;
    data_.processContext = &context_;
}

void BlockRunner::allocate(Side& s, Vst::BusDirection)
{
    const auto frames = static_cast<std::size_t>(config_.maxBlock);
    const bool wide = config_.sampleSize == Vst::kSample64;
    std::size_t total = 0;
    for (int32 c : s.channels)
    {
        s.firstChannel.push_back(total);
        total += static_cast<std::size_t>(c);
    }
    if (wide)
        s.data64.assign(total, std::vector<double>(frames, 0.0));
    else
        s.data32.assign(total, std::vector<float>(frames, 0.0f));
    s.pointers32.resize(s.channels.size());
    s.pointers64.resize(s.channels.size());
    s.buffers.resize(s.channels.size());
    for (std::size_t b = 0; b < s.channels.size(); ++b)
    {
        Vst::AudioBusBuffers& buf = s.buffers[b];
        buf = Vst::AudioBusBuffers{};
        buf.numChannels = s.channels[b];
        buf.silenceFlags = 0;
        for (int32 c = 0; c < s.channels[b]; ++c)
        {
            const std::size_t flat = s.firstChannel[b] + static_cast<std::size_t>(c);
            if (wide)
                s.pointers64[b].push_back(s.data64[flat].data());
            else
                s.pointers32[b].push_back(s.data32[flat].data());
        }
        if (wide)
            buf.channelBuffers64 = s.pointers64[b].empty() ? nullptr : s.pointers64[b].data();
        else
            buf.channelBuffers32 = s.pointers32[b].empty() ? nullptr : s.pointers32[b].data();
    }
}

void BlockRunner::stop()
{
    if (started_)
        plugin_.processor()->setProcessing(false);
    started_ = false;
    if (active_)
        plugin_.component()->setActive(false);
    active_ = false;
}

void BlockRunner::setTimes(int64 continuous, int64 project)
{
    continuousTime_ = continuous;
    projectTime_ = project;
}

tresult BlockRunner::process(int32 numSamples)
{
    if (!started_)
        return kNotInitialized;
    context_ = Vst::ProcessContext{};
    context_.state = Vst::ProcessContext::kContTimeValid | Vst::ProcessContext::kTempoValid |
                     Vst::ProcessContext::kTimeSigValid | Vst::ProcessContext::kProjectTimeMusicValid;
    if (playing_)
        context_.state |= Vst::ProcessContext::kPlaying;
    context_.sampleRate = config_.sampleRate;
    context_.projectTimeSamples = projectTime_;
    context_.continousTimeSamples = continuousTime_;
    context_.tempo = 120.0;
    context_.timeSigNumerator = 4;
    context_.timeSigDenominator = 4;
    context_.projectTimeMusic = static_cast<double>(projectTime_) / config_.sampleRate * (context_.tempo / 60.0);

    for (auto& buf : outputs_.buffers)
        buf.silenceFlags = 0;
    outputEvents_.clear();
    outputChanges_.clear();
    data_.numSamples = numSamples;

    const tresult r = plugin_.processor()->process(data_);

    inputChanges_.clear();
    inputEvents_.clear();
    continuousTime_ += numSamples;
    if (playing_)
        projectTime_ += numSamples;
    return r;
}

int32 BlockRunner::busCount(Vst::BusDirection dir) const { return static_cast<int32>(side(dir).channels.size()); }

int32 BlockRunner::channelCount(Vst::BusDirection dir, int32 bus) const
{
    const Side& s = side(dir);
    if (bus < 0 || static_cast<std::size_t>(bus) >= s.channels.size())
        return 0;
    return s.channels[static_cast<std::size_t>(bus)];
}

bool BlockRunner::busActive(Vst::BusDirection dir, int32 bus) const
{
    const Side& s = side(dir);
    return bus >= 0 && static_cast<std::size_t>(bus) < s.active.size() && s.active[static_cast<std::size_t>(bus)];
}

std::size_t BlockRunner::flatIndex(const Side& s, int32 bus, int32 channel) const
{
    if (bus < 0 || static_cast<std::size_t>(bus) >= s.firstChannel.size() || channel < 0 ||
        channel >= s.channels[static_cast<std::size_t>(bus)])
        throw HostError("No channel " + std::to_string(channel) + " on bus " + std::to_string(bus));
    return s.firstChannel[static_cast<std::size_t>(bus)] + static_cast<std::size_t>(channel);
}

float* BlockRunner::channel32(Vst::BusDirection dir, int32 bus, int32 channel)
{
    Side& s = side(dir);
    const std::size_t i = flatIndex(s, bus, channel);
    return s.data32.empty() ? nullptr : s.data32[i].data();
}

double* BlockRunner::channel64(Vst::BusDirection dir, int32 bus, int32 channel)
{
    Side& s = side(dir);
    const std::size_t i = flatIndex(s, bus, channel);
    return s.data64.empty() ? nullptr : s.data64[i].data();
}

double BlockRunner::sample(Vst::BusDirection dir, int32 bus, int32 channel, int32 i) const
{
    const Side& s = side(dir);
    const std::size_t flat = flatIndex(s, bus, channel);
    const auto at = static_cast<std::size_t>(i);
    return s.data64.empty() ? static_cast<double>(s.data32[flat][at]) : s.data64[flat][at];
}

void BlockRunner::setSample(Vst::BusDirection dir, int32 bus, int32 channel, int32 i, double value)
{
    Side& s = side(dir);
    const std::size_t flat = flatIndex(s, bus, channel);
    const auto at = static_cast<std::size_t>(i);
    if (s.data64.empty())
        s.data32[flat][at] = static_cast<float>(value);
    else
        s.data64[flat][at] = value;
}

Vst::AudioBusBuffers& BlockRunner::busBuffers(Vst::BusDirection dir, int32 bus)
{
    Side& s = side(dir);
    if (bus < 0 || static_cast<std::size_t>(bus) >= s.buffers.size())
        throw HostError("No audio bus " + std::to_string(bus));
    return s.buffers[static_cast<std::size_t>(bus)];
}

} // namespace kestravel::plugins
