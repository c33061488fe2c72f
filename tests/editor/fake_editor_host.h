#pragma once
// A module for the editor to talk to: values in a plain array, every edit recorded.

#include <map>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "editor/editor_edits.h"
#include "editor/editor_host.h"
#include "core/parameter_ids.h"

namespace kestravel::plugins::testing {

struct Edit {
    uint32_t id;
    double value;
    friend bool operator==(const Edit&, const Edit&) = default;
};

// What the host's component handler saw, in order.
enum class Call { Begin, Perform, End };
struct HostCall {
    Call call;
    uint32_t id;
    double value = 0.0; // Perform only
    friend bool operator==(const HostCall&, const HostCall&) = default;
};

class FakeEditorHost : public EditorHost, public EditorEdits {
public:
    explicit FakeEditorHost(ModuleKind moduleKind) : kind(moduleKind) { resetParamDefaults(values); }

    ModuleKind kind;
    ParamValues values;
    std::vector<Edit> edits;               // one entry per performEdit
    std::vector<HostCall> calls;           // every beginEdit, performEdit and endEdit
    std::vector<int32_t> busChannels;      // input bus i has busChannels[i] channels; beyond: none
    std::vector<int32_t> outputChannels;   // the same for output buses
    // Peaks a meter takes once, by (side, bus, channel); taking leaves 0 behind.
    mutable std::map<std::tuple<MeterSide, int32_t, int32_t>, float> peaks;
    bool takeClipped = false;
    WaveformOverview overview; // what the PLAYER shows of its file
    uint64_t totalFrames = 0;
    uint64_t position = ~uint64_t{0};
    bool ready = false;
    bool recording = false;
    bool failed = false;
    TakePanel takePanel; // what RECORDER tells of its take
    std::string status = "Host audio ports | Digital processing | No extra hardware engine";
    std::optional<std::string> setFileRefusal; // when set, setFile fails with this message
    std::vector<std::u16string> filesSet;      // every path handed to setFile

    void set(uint32_t id, double value) { storeParamValue(values, id, value); }
    double get(uint32_t id) const { return readParamValue(values, id); }

    mutable int kindReads = 0; // every paint and every press reads the kind

    TakePanel recorderTakePanel() const override { return takePanel; }

    ModuleKind editorKind() const override
    {
        ++kindReads;
        return kind;
    }
    double parameterValue(uint32_t id) const override { return readParamValue(values, id); }
    int32_t applyEditorEdit(uint32_t id, double value) override
    {
        beginEditorGesture(id);
        performEditorGesture(id, value);
        endEditorGesture(id);
        return 0;
    }
    void beginEditorGesture(uint32_t id) override { calls.push_back({Call::Begin, id}); }
    void performEditorGesture(uint32_t id, double value) override
    {
        calls.push_back({Call::Perform, id, value});
        edits.push_back({id, value});
        storeParamValue(values, id, value);
    }
    void endEditorGesture(uint32_t id) override { calls.push_back({Call::End, id}); }

    // True when every beginEdit is closed by its endEdit before another opens.
    bool gesturesBalanced() const
    {
        bool open = false;
        uint32_t openId = 0;
        for (const HostCall& c : calls) {
            if (c.call == Call::Begin) {
                if (open)
                    return false;
                open = true;
                openId = c.id;
            } else if (!open || c.id != openId) {
                return false;
            } else if (c.call == Call::End) {
                open = false;
            }
        }
        return !open;
    }
    int32_t inputBusChannelCount(int32_t busIndex) const override
    {
        return busIndex >= 0 && static_cast<size_t>(busIndex) < busChannels.size()
                   ? busChannels[static_cast<size_t>(busIndex)]
                   : 0;
    }
    int32_t outputBusChannelCount(int32_t busIndex) const override
    {
        return busIndex >= 0 && static_cast<size_t>(busIndex) < outputChannels.size()
                   ? outputChannels[static_cast<size_t>(busIndex)]
                   : 0;
    }
    float takeMeterPeak(MeterSide side, int32_t bus, int32_t channel) const override
    {
        const auto it = peaks.find({side, bus, channel});
        if (it == peaks.end())
            return 0.0f;
        const float p = it->second;
        peaks.erase(it);
        return p;
    }
    bool recorderTakeClipped() const override { return takeClipped; }
    WaveformOverview playerOverview() const override { return overview; }
    uint64_t playerTotalFrames() const override { return totalFrames; }
    uint64_t playerPosition() const override { return position; }
    bool recorderReady() const override { return ready; }
    bool recorderRecording() const override { return recording; }
    bool recorderFailed() const override { return failed; }
    mutable int statusReads = 0; // once per PLAYER or RECORDER paint
    std::string statusText() const override
    {
        ++statusReads;
        return status;
    }
    bool setFile(const std::u16string& path, std::string& message) override
    {
        filesSet.push_back(path);
        if (setFileRefusal) {
            message = *setFileRefusal;
            return false;
        }
        return true;
    }
};

} // namespace kestravel::plugins::testing
