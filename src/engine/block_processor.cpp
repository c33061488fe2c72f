#include "engine/block_processor.h"

#include "engine/bypass.h"

#include "engine/engine_state.h"
#include "engine/meter_peaks.h"
#include "engine/float_modes.h"
#include "engine/transport_sync.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool busesValid(const AudioBusBuffers* buses, int32 count) noexcept
{
    if (count < 0 || count > kMaxBuses || (count != 0 && buses == nullptr))
        return false;
    for (int32 b = 0; b < count; ++b)
        if (static_cast<uint32>(buses[b].numChannels) > static_cast<uint32>(kMaxChannels))
            return false;
    return true;
}

bool blockValid(const ModuleCore& core, const ProcessData& data) noexcept
{
    return data.numSamples >= 0 && data.numSamples <= core.maxBlockSize &&
           busesValid(data.inputs, data.numInputs) && busesValid(data.outputs, data.numOutputs);
}

int32 gatherParameterChanges(EngineState& engine, IParameterChanges& changes, int32 numSamples,
                             int32 count) noexcept
{
    for (int32 q = 0; count < kMaxChangePoints &&
                      q < std::min(changes.getParameterCount(), kMaxParamQueues);
         ++q) {
        IParamValueQueue* queue = changes.getParameterData(q);
        if (queue == nullptr)
            continue;
        const ParamID id = queue->getParameterId();
        for (int32 k = 0; count < kMaxChangePoints &&
                          k < std::min(queue->getPointCount(), kMaxPointsPerQueue);
             ++k) {
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->getPoint(k, offset, value) != kResultOk || offset < 0 ||
                offset > numSamples || !std::isfinite(value))
                continue;
            engine.changePoints[static_cast<size_t>(count++)] = {offset, id, value};
        }
    }
    return count;
}

int32 gatherSyncMessages(EngineState& engine, IEventList& events, int32 numSamples,
                         int32 count) noexcept
{
    for (int32 e = 0;
         count < kMaxChangePoints && e < std::min(events.getEventCount(), kMaxScannedEvents); ++e) {
        Event event;
        std::memset(&event, 0, sizeof(event));
        if (events.getEvent(e, event) != kResultOk || event.sampleOffset < 0 ||
            event.sampleOffset >= numSamples)
            continue;
        const int32_t command = syncCommand(event);
        if (command == 0)
            continue;
        engine.changePoints[static_cast<size_t>(count++)] = {
            event.sampleOffset, 600u + static_cast<uint32_t>(command), 0.0};
    }
    return count;
}

// The clock saturates instead of wrapping when a host hands a time near the int64 limit.
void advanceClock(ModuleCore& core, int32 samples) noexcept
{
    constexpr int64_t top = std::numeric_limits<int64_t>::max();
    core.sampleClock = core.sampleClock > top - samples ? top : core.sampleClock + samples;
}

} // namespace

void applyChangePoint(ModuleCore& core, const ChangePoint& point) noexcept
{
    switch (point.paramId) {
    case kSyncStartCode:
        core.paramValues[kFollowTransportParam].exchange(0.0);
        core.paramValues[kPlayRecordParam].exchange(1.0);
        core.syncRunning = true;
        startRecorderCapture(core);
        break;
    case kSyncStopCode:
        core.paramValues[kFollowTransportParam].exchange(0.0);
        core.paramValues[kPlayRecordParam].exchange(0.0);
        core.syncRunning = false;
        requestTail(core);
        break;
    default:
        // Ids past the array are ignored; the store drops non-finite values and clamps.
        storeParamValue(core.paramValues, point.paramId, point.value);
        break;
    }
}

tresult processBlock(ModuleCore& core, ProcessData& data) noexcept
{
    const FlushDenormals flush;
    if (!blockValid(core, data))
        return kInvalidArgument;

    const ProcessContext* context = data.processContext;
    if (context != nullptr && (context->state & ProcessContext::kContTimeValid) != 0 &&
        context->continousTimeSamples >= 0)
        core.sampleClock = context->continousTimeSamples;
    core.timelineOffset = context != nullptr ? static_cast<int64_t>(static_cast<uint64_t>(context->projectTimeSamples) -
                                                                    static_cast<uint64_t>(core.sampleClock))
                                             : 0;

    EngineState& engine = *core.engine;
    int32 count = 0;
    if (data.inputParameterChanges != nullptr)
        count = gatherParameterChanges(engine, *data.inputParameterChanges, data.numSamples, count);
    if (core.kind == RECORDER && data.inputEvents != nullptr)
        count = gatherSyncMessages(engine, *data.inputEvents, data.numSamples, count);

    // Points at one offset keep the order they were gathered in, so a queue's later point wins.
    uint64_t* order = engine.pointOrder.data();
    for (int32 n = 0; n < count; ++n)
        order[n] = (static_cast<uint64_t>(engine.changePoints[static_cast<size_t>(n)].sampleOffset)
                    << 32) |
                   static_cast<uint64_t>(n);
    if (count > 1)
        std::sort(order, order + count);
    auto pointAt = [&](int32 i) -> const ChangePoint& {
        return engine.changePoints[static_cast<size_t>(order[i] & 0xFFFFFFFFu)];
    };

    beginMeterBlock(core, data); // before a kernel that writes in place
    beginBypassBlock(core);
    int32 pos = 0;
    int32 next = 0;
    for (;;) {
        while (next < count && pointAt(next).sampleOffset == pos)
            applyChangePoint(core, pointAt(next++));
        const int32 end = next < count ? pointAt(next).sampleOffset : data.numSamples;
        if (end > pos) {
            if (data.symbolicSampleSize != kSample32 && data.symbolicSampleSize != kSample64)
                return kInvalidArgument;
            const auto render = [&](int32 from, int32 n) {
                if (data.symbolicSampleSize == kSample32)
                    processSubBlock32(core, data, from, n);
                else
                    processSubBlock64(core, data, from, n);
                advanceClock(core, n);
            };
            if (bypassSettledOff(core)) {
                render(pos, end - pos);
            } else {
                core.meters.kernelOutputs = false; // the outputs are metered after the mix
                // In short chunks, so the dry input outlives a kernel that writes in place.
                for (int32 from = pos; from < end; from += kBypassChunk) {
                    const int32 n = std::min(kBypassChunk, end - from);
                    keepDryInputs(core, data, from, n);
                    render(from, n);
                    mixBypass(core, data, from, n);
                }
            }
        }
        pos = end;
        if (pos == data.numSamples) {
            finishBypassBlock(core, data);
            finishMeterBlock(core, data);
            return kResultOk;
        }
    }
}

} // namespace kestravel::plugins
