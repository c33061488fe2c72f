#include "bundle_test_support.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "kestravel_host/utf.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace kestravel::plugins::testing_support {

namespace {

using Steinberg::Vst::ParamID;
namespace Arr = Steinberg::Vst::SpeakerArr;

std::vector<ParamID> faderBankParameters()
{
    std::vector<ParamID> ids{0};
    for (ParamID i = 0; i < 64; ++i)
    {
        ids.push_back(100 + i);
        ids.push_back(200 + i);
    }
    ids.push_back(4);
    return ids;
}

} // namespace

const std::vector<KindInfo>& allKinds()
{
    static const std::vector<KindInfo> kinds{
        {1, "KestravelInput", "KESTRAVEL INPUT", 1, 1, Arr::kStereo, 64, 64, nullptr, nullptr, {1, 4}},
        {2, "KestravelOutput", "KESTRAVEL OUTPUT", 1, 1, Arr::kStereo, 64, 64, nullptr, nullptr, {1, 4}},
        {3, "KestravelSumming", "KESTRAVEL SUMMING", 64, 1, Arr::kStereo, 2, 2, nullptr, nullptr, {0, 1, 4}},
        {4, "KestravelBreakout", "KESTRAVEL BREAKOUT", 1, 64, Arr::kMono, 64, 1, nullptr, nullptr, {0, 1, 4}},
        {5, "KestravelPlayer", "KESTRAVEL PLAYER", 0, 1, Arr::kStereo, 0, 64, nullptr, "Player Sync", {2, 3, 5, 4}},
        {6, "KestravelRecorder", "KESTRAVEL RECORDER", 1, 1, Arr::kStereo, 64, 64, "Recorder Sync", nullptr,
         {2, 3, 400, 401, 6, 4}},
        {7, "KestravelFaderBank", "KESTRAVEL FADER BANK", 64, 64, Arr::kStereo, 2, 2, nullptr, nullptr,
         faderBankParameters()},
        {8, "KestravelDistributor", "KESTRAVEL DISTRIBUTOR", 1, 64, Arr::kStereo, 2, 2, nullptr, nullptr, {0, 1, 4}},
    };
    return kinds;
}

const KindInfo& kindByCode(int code)
{
    for (const KindInfo& k : allKinds())
        if (k.code == code)
            return k;
    throw std::out_of_range("no kind " + std::to_string(code));
}

std::string kindTestName(const ::testing::TestParamInfo<KindInfo>& info)
{
    return std::string(info.param.bundle).substr(9); // drop "Kestravel"
}

ExpectedParameter expectedParameter(ParamID id)
{
    if (id == 0)
        return {"Active strips / branches", "", 63, 7.0 / 63.0};
    if (id == 1)
        return {"Gain", "dB", 0, 90.0 / 102.0};
    if (id == 2)
        return {"Follow DAW transport", "", 1, 1.0};
    if (id == 3)
        return {"Play / Record", "", 1, 0.0};
    if (id == 4)
        return {"Bypass", "", 1, 0.0};
    if (id == 5)
        return {"Chase DAW position", "", 1, 1.0};
    if (id == 6)
        return {"Timestamp takes (BWF)", "", 1, 1.0};
    if (id >= 100 && id < 164)
        return {"Fader " + std::to_string(id - 99) + " gain", "dB", 0, 90.0 / 102.0};
    if (id >= 200 && id < 264)
        return {"Fader " + std::to_string(id - 199) + " mute", "", 1, 0.0};
    if (id == 400)
        return {"Tail silence time", "s", 0, 0.5 / 10.0};
    if (id == 401)
        return {"Maximum tail", "s", 0, 30.0 / 3600.0};
    throw std::out_of_range("no parameter " + std::to_string(id));
}

std::filesystem::path bundleDirectory()
{
    if (const char* dir = std::getenv("KESTRAVEL_BUNDLE_DIR"); dir != nullptr && *dir != 0)
        return pathFromUtf8(dir);
    return pathFromUtf8(KESTRAVEL_BUNDLE_DIR);
}

std::filesystem::path bundlePath(const KindInfo& kind) { return bundleDirectory() / (std::string(kind.bundle) + ".vst3"); }

LoadedPlugin loadKind(const KindInfo& kind) { return loadPlugin(bundlePath(kind)); }

double gainFactor(double normalized) { return std::pow(10.0, (normalized * 102.0 - 90.0) / 20.0); }

double normalizedForDb(double db) { return (db + 90.0) / 102.0; }

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("kestravel-it-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace kestravel::plugins::testing_support
