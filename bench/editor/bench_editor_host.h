// The module side of an editor benchmark: defaults of every kind, a recording status line, and
// an overview the benchmark sets.
#pragma once

#include <string>

#include "core/parameter_ids.h"
#include "editor/editor_host.h"

namespace kestravel::plugins {

class BenchHost : public EditorHost {
public:
    explicit BenchHost(ModuleKind moduleKind) : kind(moduleKind) { resetParamDefaults(values); }

    ModuleKind kind;
    ParamValues values;
    WaveformOverview overview;
    uint64_t recorded = 48000; // frames the status line reports
    mutable uint32_t peakStep = 0; // meters: a level that keeps moving, when set
    bool metersMove = false;

    ModuleKind editorKind() const override { return kind; }
    double parameterValue(uint32_t id) const override { return readParamValue(values, id); }
    int32_t applyEditorEdit(uint32_t id, double value) override
    {
        storeParamValue(values, id, value);
        return 0;
    }
    int32_t inputBusChannelCount(int32_t busIndex) const override { return busIndex % 2 ? 2 : 1; }
    float takeMeterPeak(MeterSide, int32_t, int32_t channel) const override
    {
        if (!metersMove)
            return 0.0f;
        return 0.05f + 0.9f * static_cast<float>((++peakStep * 7 + static_cast<uint32_t>(channel)) % 64) / 64.0f;
    }
    WaveformOverview playerOverview() const override { return overview; }
    uint64_t playerTotalFrames() const override { return overview.frames; }
    bool recorderReady() const override { return true; }
    bool recorderRecording() const override { return false; }
    bool recorderFailed() const override { return false; }
    std::string statusText() const override
    {
        return "Recording " + std::to_string(recorded) + " frames; dropped 0";
    }
    bool setFile(const std::u16string&, std::string&) override { return false; }
};

} // namespace kestravel::plugins
