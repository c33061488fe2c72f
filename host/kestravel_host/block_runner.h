// Drives one module through set-up and block processing the way a DAW's engine does.
#pragma once

#include <cstdint>
#include <vector>

#include "kestravel_host/event_list.h"
#include "kestravel_host/parameter_changes.h"
#include "kestravel_host/plugin_instance.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace kestravel::plugins {

// Speaker arrangement helpers: channel count of an arrangement, and the plain arrangement
// of n channels (mono, stereo, or the lowest n speaker bits).
Steinberg::int32 arrangementChannels(Steinberg::Vst::SpeakerArrangement arrangement);
Steinberg::Vst::SpeakerArrangement arrangementFor(Steinberg::int32 channels);

struct ProcessConfig
{
    double sampleRate = 48000.0;
    Steinberg::int32 maxBlock = 512;
    Steinberg::int32 sampleSize = Steinberg::Vst::kSample32;
    Steinberg::int32 processMode = Steinberg::Vst::kOffline;
    // Activate every audio bus, not only those flagged default-active. Event buses are always activated.
    bool allAudioBuses = false;
};

class BlockRunner
{
public:
    BlockRunner(PluginInstance& plugin, const ProcessConfig& config);
    ~BlockRunner();
    BlockRunner(const BlockRunner&) = delete;
    BlockRunner& operator=(const BlockRunner&) = delete;

    // Before start(): the current arrangements, and a proposal (the module's answer is returned;
    // on refusal the module keeps its arrangements).
    std::vector<Steinberg::Vst::SpeakerArrangement> arrangements(Steinberg::Vst::BusDirection dir) const;
    Steinberg::tresult proposeArrangements(std::vector<Steinberg::Vst::SpeakerArrangement> inputs,
                                           std::vector<Steinberg::Vst::SpeakerArrangement> outputs);

    // Activates buses, sets up processing, activates the module and switches processing on,
    // then allocates every buffer. Throws HostError naming the call that failed.
    void start();
    // Processing off, module inactive. Safe to call twice; the destructor calls it.
    void stop();
    bool started() const { return started_; }

    // One block of numSamples (at most the configured maximum). Input parameter changes and
    // input events are consumed by the block; output events stay readable until the next one.
    // Advances the clock by numSamples. Never allocates.
    Steinberg::tresult process(Steinberg::int32 numSamples);

    const ProcessConfig& config() const { return config_; }
    PluginInstance& plugin() const { return plugin_; }
    Steinberg::int32 busCount(Steinberg::Vst::BusDirection dir) const;
    Steinberg::int32 channelCount(Steinberg::Vst::BusDirection dir, Steinberg::int32 bus) const;
    bool busActive(Steinberg::Vst::BusDirection dir, Steinberg::int32 bus) const;
    // The channel's buffer of the configured sample width; null for the other width.
    float* channel32(Steinberg::Vst::BusDirection dir, Steinberg::int32 bus, Steinberg::int32 channel);
    double* channel64(Steinberg::Vst::BusDirection dir, Steinberg::int32 bus, Steinberg::int32 channel);
    // Width-independent access to sample i of a channel.
    double sample(Steinberg::Vst::BusDirection dir, Steinberg::int32 bus, Steinberg::int32 channel, Steinberg::int32 i) const;
    void setSample(Steinberg::Vst::BusDirection dir, Steinberg::int32 bus, Steinberg::int32 channel, Steinberg::int32 i,
                   double value);
    Steinberg::Vst::AudioBusBuffers& busBuffers(Steinberg::Vst::BusDirection dir, Steinberg::int32 bus);

    ParameterChanges& inputChanges() { return inputChanges_; }
    ParameterChanges& outputChanges() { return outputChanges_; }
    EventList& inputEvents() { return inputEvents_; }
    EventList& outputEvents() { return outputEvents_; }

    // Transport: the continuous clock always runs; the project position moves while playing.
    void setPlaying(bool playing) { playing_ = playing; }
    bool playing() const { return playing_; }
    Steinberg::int64 continuousTime() const { return continuousTime_; }
    Steinberg::int64 projectTime() const { return projectTime_; }
    void setTimes(Steinberg::int64 continuous, Steinberg::int64 project);
    // The context of the last processed block.
    const Steinberg::Vst::ProcessContext& context() const { return context_; }

private:
    struct Side
    {
        std::vector<Steinberg::int32> channels;
        std::vector<std::size_t> firstChannel; // flat index of each bus's channel 0
        std::vector<bool> active;
        std::vector<std::vector<float>> data32;
        std::vector<std::vector<double>> data64;
        std::vector<std::vector<float*>> pointers32;
        std::vector<std::vector<double*>> pointers64;
        std::vector<Steinberg::Vst::AudioBusBuffers> buffers;
    };
    Side& side(Steinberg::Vst::BusDirection dir) { return dir == Steinberg::Vst::kInput ? inputs_ : outputs_; }
    const Side& side(Steinberg::Vst::BusDirection dir) const { return dir == Steinberg::Vst::kInput ? inputs_ : outputs_; }
    std::size_t flatIndex(const Side& s, Steinberg::int32 bus, Steinberg::int32 channel) const;
    void allocate(Side& s, Steinberg::Vst::BusDirection dir);

    PluginInstance& plugin_;
    ProcessConfig config_;
    bool started_ = false;
    bool active_ = false;
    Side inputs_;
    Side outputs_;
    ParameterChanges inputChanges_;
    ParameterChanges outputChanges_;
    EventList inputEvents_;
    EventList outputEvents_;
    Steinberg::Vst::ProcessContext context_{};
    Steinberg::Vst::ProcessData data_{};
    bool playing_ = false;
    Steinberg::int64 continuousTime_ = 0;
    Steinberg::int64 projectTime_ = 0;
};

} // namespace kestravel::plugins
