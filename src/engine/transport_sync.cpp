#include "engine/transport_sync.h"

#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

double tailSilenceSeconds(double normalized) noexcept
{
    return std::max(normalized * 10.0, 0.01);
}

double maximumTailSeconds(double normalized) noexcept
{
    return std::max(normalized * 3600.0, 0.01);
}

int32_t syncCommand(const Event& event) noexcept
{
    if (event.type != Event::kDataEvent || event.data.type != DataEvent::kMidiSysEx ||
        event.data.bytes == nullptr || event.data.size != static_cast<uint32>(kSyncMessageSize))
        return 0;
    const uint8* bytes = event.data.bytes;
    if (std::memcmp(bytes, kSyncStartMessage, 5) != 0 || bytes[6] != 0xF7)
        return 0;
    return bytes[5] == 0x01 || bytes[5] == 0x02 ? bytes[5] : 0;
}

void emitSyncMessage(IEventList* list, const uint8* message, int32_t offset) noexcept
{
    if (list == nullptr)
        return;
    Event event;
    std::memset(&event, 0, sizeof(event));
    event.busIndex = 0;
    event.sampleOffset = offset;
    event.ppqPosition = 0.0;
    event.flags = 0;
    event.type = Event::kDataEvent;
    event.data.size = static_cast<uint32>(kSyncMessageSize);
    event.data.type = DataEvent::kMidiSysEx;
    event.data.bytes = message;
    list->addEvent(event);
}

void requestTail(ModuleCore& core) noexcept
{
    core.recorder.requestTailStop(static_cast<uint64_t>(core.sampleClock),
                                  tailSilenceSeconds(core.paramValues[kTailSilenceTimeParam].load()),
                                  maximumTailSeconds(core.paramValues[kMaximumTailParam].load()),
                                  kTailThresholdDb);
}

void startRecorderCapture(ModuleCore& core) noexcept
{
    const auto position = static_cast<uint64_t>(core.sampleClock);
    // Wrapping sum: a host's absurd timeline must not be undefined behaviour.
    const auto timeline = static_cast<int64_t>(position + static_cast<uint64_t>(core.timelineOffset));
    core.meters.startTake(); // a new take's own light
    core.recorder.startCapture(position, timeline, core.paramValues[kTimestampTakesParam].load() > 0.5);
}

namespace {

uint32_t outputChannels(const ProcessData& data) noexcept
{
    return static_cast<uint32_t>(data.numOutputs > 0 && data.outputs != nullptr ? data.outputs[0].numChannels : 0);
}

} // namespace

void transportStep(ModuleCore& core, ProcessData& data, int32_t start) noexcept
{
    const bool hostPlaying =
        data.processContext != nullptr && (data.processContext->state & ProcessContext::kPlaying) != 0;
    const bool run = core.paramValues[kFollowTransportParam].load() > 0.5
                         ? hostPlaying
                         : core.paramValues[kPlayRecordParam].load() > 0.5;
    const bool rising = run && !core.syncRunning;
    const bool falling = !run && core.syncRunning;
    const auto position = static_cast<uint64_t>(core.sampleClock);

    if (core.kind == PLAYER) {
        // Timeline clock of this call's first sample; without a context it runs on unbroken.
        const ProcessContext* context = data.processContext;
        core.timelinePosition =
            context != nullptr && context->projectTimeSamples <= std::numeric_limits<int64_t>::max() - start
                ? context->projectTimeSamples + start
                : core.timelineNext;
        if (rising)
            core.chasing = context != nullptr && core.paramValues[kFollowTransportParam].load() > 0.5 &&
                           core.paramValues[kChasePositionParam].load() > 0.5;
        else if (run && core.chasing && core.timelinePosition != core.timelineNext)
            core.player.locate(core.sampleRate, outputChannels(data), core.timelineNext);
        if (!run)
            core.chasing = false;
    }
    if (core.kind == PLAYER && rising) {
        if (core.chasing)
            core.player.startChasing(core.sampleRate);
        else
            core.player.startPlayback(position, 0);
        emitSyncMessage(data.outputEvents, kSyncStartMessage, start);
        // Nothing to play: a follower hears the start and the stop at the same sample.
        if (core.player.totalFrames.load() == 0)
            emitSyncMessage(data.outputEvents, kSyncStopMessage, start);
    }
    if (core.kind == RECORDER) {
        if (rising)
            startRecorderCapture(core);
        else if (falling)
            requestTail(core);
    }
    if (core.kind == PLAYER && falling) {
        core.player.stopPlayback();
        emitSyncMessage(data.outputEvents, kSyncStopMessage, start);
    }
    core.syncRunning = run;
}

} // namespace kestravel::plugins
