#pragma once
// What the editor needs from its module. The plug-in object implements it; tests use a fake.

#include <cstdint>
#include <string>

#include "core/meter_tap.h"
#include "core/module_kind.h"
#include "core/take_panel.h"
#include "core/waveform_overview.h"

namespace kestravel::plugins {

// Every method is called on the UI thread only.
class EditorHost {
public:
    virtual ~EditorHost() = default;
    virtual ModuleKind editorKind() const = 0;                 // the module's kind
    virtual double parameterValue(uint32_t id) const = 0;       // 0..511 from paramValues, else 0.0
    virtual int32_t applyEditorEdit(uint32_t id, double value) = 0; // begin/store/set/perform/end; returns tresult
    virtual int32_t inputBusChannelCount(int32_t busIndex) const = 0; // getBusInfo(audio, input, busIndex).channelCount, 0 when none
    virtual int32_t outputBusChannelCount(int32_t) const { return 0; } // as above, output buses
    // The largest absolute sample of one channel since the last call for it (+infinity when a
    // non-finite sample passed), and the channel starts again from 0; 0 for a channel that
    // does not exist or has not sounded.
    virtual float takeMeterPeak(MeterSide, int32_t /*bus*/, int32_t /*channel*/) const { return 0.0f; }
    // RECORDER: a sample of the take's input reached 0 dBFS (or was not finite) since the take
    // armed; false again when the next take arms.
    virtual bool recorderTakeClipped() const { return false; }
    virtual WaveformOverview playerOverview() const = 0;       // the PLAYER's file: format and column peaks
    virtual uint64_t playerTotalFrames() const = 0;
    // The PLAYER's playhead (a file frame); ~0 while nothing of the file sounds.
    virtual uint64_t playerPosition() const { return ~uint64_t{0}; }
    virtual bool recorderReady() const = 0;
    virtual bool recorderRecording() const = 0;
    virtual bool recorderFailed() const = 0;
    virtual TakePanel recorderTakePanel() const { return {}; } // RECORDER's take in progress
    virtual std::string statusText() const = 0;                // UTF-8
    virtual bool setFile(const std::u16string& path, std::string& message) = 0;
};

} // namespace kestravel::plugins
