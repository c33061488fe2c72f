#pragma once
// A module for the editor to talk to: values in a plain array, every edit recorded.

#include <optional>
#include <string>
#include <vector>

#include "editor/editor_host.h"
#include "core/parameter_ids.h"

namespace kestravel::plugins::testing {

struct Edit {
    uint32_t id;
    double value;
    friend bool operator==(const Edit&, const Edit&) = default;
};

class FakeEditorHost : public EditorHost {
public:
    explicit FakeEditorHost(ModuleKind moduleKind) : kind(moduleKind) { resetParamDefaults(values); }

    ModuleKind kind;
    ParamValues values;
    std::vector<Edit> edits;               // one entry per begin-perform-end group
    std::vector<int32_t> busChannels;      // input bus i has busChannels[i] channels; beyond: none
    WaveformOverview overview; // what the PLAYER shows of its file
    uint64_t totalFrames = 0;
    bool ready = false;
    bool recording = false;
    bool failed = false;
    std::string status = "Host audio ports | Digital processing | No extra hardware engine";
    std::optional<std::string> setFileRefusal; // when set, setFile fails with this message
    std::vector<std::u16string> filesSet;      // every path handed to setFile

    void set(uint32_t id, double value) { storeParamValue(values, id, value); }
    double get(uint32_t id) const { return readParamValue(values, id); }

    mutable int kindReads = 0; // every paint and every press reads the kind

    ModuleKind editorKind() const override
    {
        ++kindReads;
        return kind;
    }
    double parameterValue(uint32_t id) const override { return readParamValue(values, id); }
    int32_t applyEditorEdit(uint32_t id, double value) override
    {
        edits.push_back({id, value});
        storeParamValue(values, id, value);
        return 0;
    }
    int32_t inputBusChannelCount(int32_t busIndex) const override
    {
        return busIndex >= 0 && static_cast<size_t>(busIndex) < busChannels.size()
                   ? busChannels[static_cast<size_t>(busIndex)]
                   : 0;
    }
    WaveformOverview playerOverview() const override { return overview; }
    uint64_t playerTotalFrames() const override { return totalFrames; }
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
