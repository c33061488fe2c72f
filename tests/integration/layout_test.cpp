// Buses and parameters of each kind, as the host enumerates them.
#include "bundle_test_support.h"
#include "kestravel_host/block_runner.h"
#include "kestravel_host/utf.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace kestravel::plugins::testing_support {
namespace {

using namespace Steinberg;

class BundleLayout : public ::testing::TestWithParam<KindInfo>
{
};

void expectAudioBuses(const PluginInstance& plugin, Vst::BusDirection dir, int count, const char* prefix,
                      Vst::SpeakerArrangement arrangement)
{
    const auto buses = plugin.buses(Vst::kAudio, dir);
    ASSERT_EQ(static_cast<int>(buses.size()), count) << prefix;
    for (int i = 0; i < count; ++i)
    {
        const BusDescription& b = buses[static_cast<std::size_t>(i)];
        SCOPED_TRACE(std::string(prefix) + std::to_string(i + 1));
        EXPECT_EQ(b.name, std::string(prefix) + std::to_string(i + 1));
        EXPECT_EQ(b.mediaType, Vst::kAudio);
        EXPECT_EQ(b.direction, dir);
        EXPECT_EQ(b.busType, i == 0 ? Vst::kMain : Vst::kAux);
        EXPECT_EQ(b.flags, i == 0 ? static_cast<uint32>(Vst::BusInfo::kDefaultActive) : 0u);
        ASSERT_TRUE(b.arrangement.has_value());
        EXPECT_EQ(*b.arrangement, arrangement);
        EXPECT_EQ(b.channelCount, arrangementChannels(arrangement));
    }
}

void expectEventBus(const PluginInstance& plugin, Vst::BusDirection dir, const char* name)
{
    const auto buses = plugin.buses(Vst::kEvent, dir);
    if (name == nullptr)
    {
        EXPECT_TRUE(buses.empty());
        return;
    }
    ASSERT_EQ(buses.size(), 1u);
    EXPECT_EQ(buses[0].name, name);
    EXPECT_EQ(buses[0].mediaType, Vst::kEvent);
    EXPECT_EQ(buses[0].channelCount, 1);
    EXPECT_EQ(buses[0].busType, Vst::kMain);
    EXPECT_EQ(buses[0].flags, static_cast<uint32>(Vst::BusInfo::kDefaultActive));
}

TEST_P(BundleLayout, BusesHaveTheKindsCountsNamesFlagsAndArrangements)
{
    const KindInfo& kind = GetParam();
    LoadedPlugin loaded = loadKind(kind);
    expectAudioBuses(*loaded.plugin, Vst::kInput, kind.audioInputs, "Input ", Vst::SpeakerArr::kStereo);
    expectAudioBuses(*loaded.plugin, Vst::kOutput, kind.audioOutputs, "Output ", kind.outputArrangement);
    expectEventBus(*loaded.plugin, Vst::kInput, kind.eventInput);
    expectEventBus(*loaded.plugin, Vst::kOutput, kind.eventOutput);
}

TEST_P(BundleLayout, ParametersComeInOrderWithTitlesUnitsStepsAndDefaults)
{
    const KindInfo& kind = GetParam();
    LoadedPlugin loaded = loadKind(kind);
    Vst::IEditController* controller = loaded.plugin->controller();
    const auto params = loaded.plugin->parameters();
    ASSERT_EQ(params.size(), kind.parameters.size());
    ASSERT_EQ(controller->getParameterCount(), static_cast<int32>(kind.parameters.size()));
    for (std::size_t i = 0; i < params.size(); ++i)
    {
        const ParameterDescription& p = params[i];
        const ExpectedParameter want = expectedParameter(kind.parameters[i]);
        SCOPED_TRACE("parameter " + std::to_string(i) + " \"" + want.title + "\"");
        EXPECT_EQ(p.id, kind.parameters[i]);
        EXPECT_EQ(p.title, want.title);
        EXPECT_EQ(p.units, want.units);
        EXPECT_EQ(p.stepCount, want.stepCount);
        EXPECT_DOUBLE_EQ(p.defaultNormalized, want.defaultNormalized);
        EXPECT_EQ(p.flags, Vst::ParameterInfo::kCanAutomate | (p.id == 4 ? Vst::ParameterInfo::kIsBypass : 0));
        // FADER BANK's strips come in one group each.
        const bool strip = p.id >= 100 && p.id < 264;
        EXPECT_EQ(p.unitId, strip ? static_cast<Vst::UnitID>(p.id % 100 + 1) : Vst::kRootUnitId);
        EXPECT_EQ(p.shortTitle, "");
        // A fresh module holds its defaults, as the controller reports them.
        EXPECT_DOUBLE_EQ(controller->getParamNormalized(p.id), want.defaultNormalized);
    }
}

// Hosts show FADER BANK's parameters as one group per strip; the other kinds have one list, the
// root unit alone.
TEST_P(BundleLayout, FaderBankGroupsEachStripInAUnit)
{
    const KindInfo& kind = GetParam();
    LoadedPlugin loaded = loadKind(kind);
    auto units = queryRef<Vst::IUnitInfo>(loaded.plugin->controller());
    ASSERT_TRUE(units);
    Vst::UnitInfo info{};
    ASSERT_GE(units->getUnitCount(), 1);
    ASSERT_EQ(units->getUnitInfo(0, info), kResultOk);
    EXPECT_EQ(info.id, Vst::kRootUnitId);
    EXPECT_EQ(info.parentUnitId, Vst::kNoParentUnitId);
    if (kind.code != 7)
    {
        EXPECT_EQ(units->getUnitCount(), 1);
        return;
    }
    ASSERT_EQ(units->getUnitCount(), 65);
    for (int32 i = 1; i <= 64; ++i)
    {
        ASSERT_EQ(units->getUnitInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, i);
        EXPECT_EQ(info.parentUnitId, Vst::kRootUnitId);
        EXPECT_EQ(utf16ToUtf8(info.name, 128), "Strip " + std::to_string(i));
    }
}

TEST(BundleLayoutValues, TimesAndGainsConvertToTheirPlainRanges)
{
    LoadedPlugin recorder = loadKind(kindByCode(6));
    Vst::IEditController* c = recorder.plugin->controller();
    EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(400, 0.05), 0.5);
    EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(401, 1.0 / 120.0), 30.0);
    LoadedPlugin summing = loadKind(kindByCode(3));
    c = summing.plugin->controller();
    EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(1, 0.0), -90.0);
    EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(1, 1.0), 12.0);
    EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(0, 1.0 / 9.0), 8.0);
    EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(0, 1.0), 64.0);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, BundleLayout, ::testing::ValuesIn(allKinds()), kindTestName);

} // namespace
} // namespace kestravel::plugins::testing_support
