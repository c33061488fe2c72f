#pragma once
// A module object driven directly, with the few host objects the tests need.

#include "plugins/utility_plugin.h"

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestravel::plugins::test {

// Owns one initialized module; released (not deleted) at the end, as a host would.
struct Module {
    explicit Module(ModuleKind kind);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    UtilityPlugin* operator->() const { return plugin; }
    UtilityPlugin& operator*() const { return *plugin; }
    UtilityPlugin* plugin;
};

// A byte stream in memory; writeLimit caps how many bytes one write accepts.
class MemoryStream : public Steinberg::IBStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : data(std::move(bytes)) {}
    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                       Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode,
                                       Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) override
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    std::string data;
    size_t position = 0;
    Steinberg::int32 writeLimit = -1;
};

// Records every begin/perform/end edit as text, e.g. "begin 3", "perform 3 1".
class RecordingHandler : public Steinberg::Vst::IComponentHandler {
public:
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue value) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override
    {
        calls.push_back("restart " + std::to_string(flags));
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queried, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    std::vector<std::string> calls;
};

// A fresh scratch folder per test, removed afterwards.
struct TempDir {
    TempDir();
    ~TempDir();
    std::u16string file(const std::string& name) const;
    std::filesystem::path path;
};

// A small 16-bit stereo WAV with the given frame count.
void writeTestWav(const std::filesystem::path& path, uint32_t frames, uint32_t rate = 48000);

} // namespace kestravel::plugins::test
