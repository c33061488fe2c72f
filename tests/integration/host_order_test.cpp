// The order some DAWs use when a project opens: set up, activate and start processing, then hand
// back the saved state while their audio thread is already calling process.
#include <atomic>
#include <thread>

#include "bundle_test_support.h"
#include "kestravel/imodulereport.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/module_state.h"
#include "kestravel_host/wav.h"

namespace kestravel::plugins {
DEF_CLASS_IID(IModuleReport)
}

namespace kestravel::plugins::testing_support {
namespace {

using namespace Steinberg;

class RestoreWhileProcessing : public ::testing::TestWithParam<KindInfo>
{
};

std::string moduleStatus(const PluginInstance& plugin)
{
    auto report = queryRef<IModuleReport>(plugin.component());
    char8 text[1024] = {};
    if (!report || report->getStatusText(text, sizeof text) != kResultOk)
        return {};
    return text;
}

TEST_P(RestoreWhileProcessing, EveryKindComesBackWithItsFile)
{
    const KindInfo& kind = GetParam();
    TempDir dir;
    const bool player = kind.code == 5, recorder = kind.code == 6;
    if (player)
    {
        WavAudio tone{2, 48000, std::vector<float>(2 * 4800, 0.25f)};
        writeWavFloat(dir / "tone.wav", tone);
    }

    // The project as it was saved.
    LoadedPlugin saved = loadKind(kind);
    for (std::size_t i = 0; i < kind.parameters.size(); ++i)
    {
        const Vst::ParamID id = kind.parameters[i];
        if (id != 3) // "Play / Record" is never saved on
            saved.plugin->controller()->setParamNormalized(id, static_cast<double>(i % 5 + 1) / 7.0);
    }
    if (player || recorder)
        setModuleFile(*saved.plugin, dir / (player ? "tone.wav" : "take.wav"));
    const auto bytes = saved.plugin->saveState();

    // The project reopened: processing runs on its own thread while the state arrives.
    LoadedPlugin reopened = loadKind(kind);
    ProcessConfig config;
    config.processMode = Vst::kRealtime;
    config.maxBlock = 256;
    BlockRunner runner(*reopened.plugin, config);
    runner.setPlaying(true);
    runner.start();
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0}, failures{0};
    std::thread audio([&] {
        while (!stop.load())
        {
            if (runner.process(256) != kResultOk)
                failures.fetch_add(1);
            blocks.fetch_add(1);
        }
    });
    while (blocks.load() < 20)
        std::this_thread::yield();
    const tresult restored = reopened.plugin->restoreState(bytes);
    const int before = blocks.load();
    while (blocks.load() < before + 20)
        std::this_thread::yield();
    stop.store(true);
    audio.join();

    EXPECT_EQ(restored, kResultOk);
    EXPECT_EQ(failures.load(), 0);
    for (Vst::ParamID id : kind.parameters)
        EXPECT_EQ(reopened.plugin->controller()->getParamNormalized(id),
                  saved.plugin->controller()->getParamNormalized(id))
            << "parameter " << id;
    EXPECT_EQ(reopened.plugin->saveState(), bytes);
    if (player)
    {
        EXPECT_EQ(moduleStatus(*reopened.plugin).rfind("tone.wav | ", 0), 0u) << moduleStatus(*reopened.plugin);
    }
    if (recorder)
    {
        EXPECT_TRUE(std::filesystem::exists(dir / "take.wav")) << "armed at once: " << moduleStatus(*reopened.plugin);
    }
    runner.stop();
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RestoreWhileProcessing, ::testing::ValuesIn(allKinds()), kindTestName);

} // namespace
} // namespace kestravel::plugins::testing_support
