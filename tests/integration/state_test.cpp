// Saved state through the component interface, as a host saves and reloads a project.
#include "bundle_test_support.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/memory_stream.h"
#include "kestravel_host/module_state.h"

namespace kestravel::plugins::testing_support {
namespace {

using namespace Steinberg;

class StateRoundTrip : public ::testing::TestWithParam<KindInfo>
{
};

TEST_P(StateRoundTrip, AFreshInstanceTakesTheStateWhole)
{
    const KindInfo& kind = GetParam();
    LoadedPlugin a = loadKind(kind);
    Vst::IEditController* ca = a.plugin->controller();
    for (std::size_t i = 0; i < kind.parameters.size(); ++i)
    {
        const ExpectedParameter p = expectedParameter(kind.parameters[i]);
        const double v = p.stepCount == 1 ? static_cast<double>((i + 1) % 2) : static_cast<double>(i + 1) / static_cast<double>(kind.parameters.size() + 3);
        ca->setParamNormalized(kind.parameters[i], v);
    }
    ca->setParamNormalized(3, 1.0); // "Play / Record" is never saved on
    const auto bytes = a.plugin->saveState();
    const auto text = unframeStateText(bytes);
    ASSERT_TRUE(text) << "the state is not one length-prefixed text";
    EXPECT_EQ(text->rfind("{\"kind\":" + std::to_string(kind.code) + ",\"parameters\":[", 0), 0u) << *text;

    PluginInstance b(*a.module, findAudioModuleClass(*a.module), a.host);
    ASSERT_EQ(b.restoreState(bytes), kResultOk);
    EXPECT_EQ(b.saveState(), bytes);
    for (Vst::ParamID id = 0; id < 512; ++id)
        ASSERT_EQ(b.controller()->getParamNormalized(id), id == 3 ? 0.0 : ca->getParamNormalized(id)) << "slot " << id;
}

TEST_P(StateRoundTrip, AStreamThatTakesTooLittleFailsTheSave)
{
    LoadedPlugin loaded = loadKind(GetParam());
    for (std::size_t capacity : {std::size_t{0}, std::size_t{3}, std::size_t{4}, std::size_t{40}})
    {
        auto stream = Ref<MemoryStream>::adopt(new MemoryStream());
        stream->limitCapacity(capacity);
        EXPECT_EQ(resultName(loaded.plugin->component()->getState(stream.get())), resultName(kResultFalse))
            << "capacity " << capacity;
    }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, StateRoundTrip, ::testing::ValuesIn(allKinds()), kindTestName);

TEST(StateAcrossKinds, AnotherKindsStateIsRefusedWhole)
{
    LoadedPlugin output = loadKind(kindByCode(2));
    LoadedPlugin summing = loadKind(kindByCode(3));
    output.plugin->controller()->setParamNormalized(1, 0.25);
    const auto before = summing.plugin->saveState();
    EXPECT_EQ(summing.plugin->restoreState(output.plugin->saveState()), kResultFalse);
    EXPECT_EQ(summing.plugin->saveState(), before);
}

} // namespace
} // namespace kestravel::plugins::testing_support
