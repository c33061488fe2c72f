// What the tests expect of each module kind, and where the built bundles are.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kestravel_host/plugin_instance.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace kestravel::plugins::testing_support {

struct KindInfo
{
    int code;
    const char* bundle;  // KestravelOutput
    const char* display; // "KESTRAVEL OUTPUT"
    int audioInputs;
    int audioOutputs;
    Steinberg::Vst::SpeakerArrangement outputArrangement;
    int inputLimit; // most channels accepted per input bus
    int outputLimit;
    const char* eventInput;  // nullptr when none
    const char* eventOutput; // nullptr when none
    std::vector<Steinberg::Vst::ParamID> parameters; // in registration order
};

// Test names and failure messages name the bundle, not the bytes.
inline void PrintTo(const KindInfo& kind, std::ostream* os) { *os << kind.bundle; }

const std::vector<KindInfo>& allKinds();
const KindInfo& kindByCode(int code);
std::string kindTestName(const ::testing::TestParamInfo<KindInfo>& info);

struct ExpectedParameter
{
    std::string title;
    std::string units;
    Steinberg::int32 stepCount;
    double defaultNormalized;
};
ExpectedParameter expectedParameter(Steinberg::Vst::ParamID id);

// The bundle folder of a kind: $KESTRAVEL_BUNDLE_DIR if set, else the build's bundle folder.
std::filesystem::path bundleDirectory();
std::filesystem::path bundlePath(const KindInfo& kind);
LoadedPlugin loadKind(const KindInfo& kind);

// The gain law of the modules: normalized v means v x 102 - 90 dB.
double gainFactor(double normalized);
double normalizedForDb(double db);

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace kestravel::plugins::testing_support
