// What a DAW's scanner reads from each bundle: factory, class identity, interfaces.
#include <array>
#include <cstring>

#include "bundle_test_support.h"
#include "kestravel_host/utf.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstunits.h"

namespace kestravel::plugins::testing_support {
namespace {

using namespace Steinberg;

class BundleIdentity : public ::testing::TestWithParam<KindInfo>
{
};

bool allZero(const char* field, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        if (field[i] != 0)
            return false;
    return true;
}

bool allZero(const char16* field, std::size_t units)
{
    for (std::size_t i = 0; i < units; ++i)
        if (field[i] != 0)
            return false;
    return true;
}

TEST_P(BundleIdentity, FactoryRegistersOneClassWithTheKindsIdentity)
{
    const KindInfo& kind = GetParam();
    auto module = Module::load(bundlePath(kind));
    IPluginFactory* factory = module->factory();

    PFactoryInfo info{};
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "KESTRAVEL");
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
    ASSERT_EQ(factory->countClasses(), 1);

    PClassInfo c1{};
    ASSERT_EQ(factory->getClassInfo(0, &c1), kResultOk);
    EXPECT_STREQ(c1.name, kind.display);
    EXPECT_STREQ(c1.category, "Audio Module Class");
    EXPECT_EQ(c1.cardinality, PClassInfo::kManyInstances);
    std::array<char, 16> cid{};
    std::memcpy(cid.data(), c1.cid, 16);
    const std::array<std::uint32_t, 4> expectedWords{0x4B524143u, 0x4B555449u, 0x4C495459u,
                                                     0x00100000u + static_cast<std::uint32_t>(kind.code)};
    EXPECT_EQ(classIdWords(cid), expectedWords);

    auto factory2 = queryRef<IPluginFactory2>(factory);
    ASSERT_TRUE(factory2);
    PClassInfo2 c2{};
    ASSERT_EQ(factory2->getClassInfo2(0, &c2), kResultOk);
    EXPECT_EQ(std::memcmp(c2.cid, c1.cid, 16), 0);
    EXPECT_STREQ(c2.name, kind.display);
    EXPECT_STREQ(c2.category, "Audio Module Class");
    EXPECT_STREQ(c2.subCategories, "Fx|Tools");
    EXPECT_STREQ(c2.version, "0.1.0-beta.1");
    EXPECT_STREQ(c2.sdkVersion, "VST 3.8.1");
    EXPECT_EQ(c2.classFlags, 0u);
    EXPECT_TRUE(allZero(c2.vendor, sizeof c2.vendor)) << "the class vendor must be empty so hosts show the factory's";

    auto factory3 = queryRef<IPluginFactory3>(factory);
    ASSERT_TRUE(factory3);
    PClassInfoW cw{};
    ASSERT_EQ(factory3->getClassInfoUnicode(0, &cw), kResultOk);
    EXPECT_EQ(std::memcmp(cw.cid, c1.cid, 16), 0);
    EXPECT_EQ(utf16ToUtf8(cw.name, std::size(cw.name)), kind.display);
    EXPECT_STREQ(cw.subCategories, "Fx|Tools");
    EXPECT_EQ(utf16ToUtf8(cw.version, std::size(cw.version)), "0.1.0-beta.1");
    EXPECT_EQ(utf16ToUtf8(cw.sdkVersion, std::size(cw.sdkVersion)), "VST 3.8.1");
    EXPECT_TRUE(allZero(cw.vendor, std::size(cw.vendor)));

    // Out-of-range class indices are refused, not read past the one record.
    PClassInfo none{};
    EXPECT_NE(factory->getClassInfo(1, &none), kResultOk);
    EXPECT_NE(factory->getClassInfo(-1, &none), kResultOk);
}

TEST_P(BundleIdentity, EveryInterfaceOfTheOneObjectLeadsBackToIt)
{
    LoadedPlugin loaded = loadKind(GetParam());
    Vst::IComponent* component = loaded.plugin->component();
    auto identity = queryRef<FUnknown>(component);
    ASSERT_TRUE(identity);

    auto sameObject = [&](FUnknown* via, const char* name) {
        auto back = queryRef<FUnknown>(via);
        EXPECT_EQ(back.get(), identity.get()) << name << " does not lead back to the component's identity";
    };
    auto expectOffered = [&](const TUID iid, const char* name) {
        void* obj = nullptr;
        ASSERT_EQ(component->queryInterface(iid, &obj), kResultOk) << name;
        ASSERT_NE(obj, nullptr) << name;
        auto* unknown = static_cast<FUnknown*>(obj);
        sameObject(unknown, name);
        unknown->release();
    };
    expectOffered(FUnknown::iid, "FUnknown");
    expectOffered(IPluginBase::iid, "IPluginBase");
    expectOffered(Vst::IComponent::iid, "IComponent");
    expectOffered(Vst::IAudioProcessor::iid, "IAudioProcessor");
    expectOffered(Vst::IEditController::iid, "IEditController");
    expectOffered(Vst::IEditController2::iid, "IEditController2");
    expectOffered(Vst::IUnitInfo::iid, "IUnitInfo");
    expectOffered(Vst::IProcessContextRequirements::iid, "IProcessContextRequirements");

    // Each interface answers for all the others, as one object.
    sameObject(loaded.plugin->processor(), "IAudioProcessor");
    sameObject(loaded.plugin->controller(), "IEditController");
    auto viaController = queryRef<Vst::IAudioProcessor>(loaded.plugin->controller());
    EXPECT_EQ(viaController.get(), loaded.plugin->processor());
    EXPECT_TRUE(loaded.plugin->controllerIsComponent());

    // A single-component effect keeps IConnectionPoint to itself, as the SDK's does.
    void* connection = nullptr;
    EXPECT_EQ(component->queryInterface(Vst::IConnectionPoint::iid, &connection), kNoInterface);
    EXPECT_EQ(connection, nullptr);
}

TEST_P(BundleIdentity, AsksForContinuousTimeAndTransportState)
{
    LoadedPlugin loaded = loadKind(GetParam());
    auto requirements = queryRef<Vst::IProcessContextRequirements>(loaded.plugin->processor());
    ASSERT_TRUE(requirements);
    EXPECT_EQ(requirements->getProcessContextRequirements(),
              static_cast<uint32>(Vst::IProcessContextRequirements::kNeedContinousTimeSamples |
                                  Vst::IProcessContextRequirements::kNeedTransportState));
    EXPECT_EQ(loaded.plugin->processor()->getLatencySamples(), 0u);
    EXPECT_EQ(loaded.plugin->processor()->getTailSamples(), 0u);
    EXPECT_EQ(loaded.plugin->processor()->canProcessSampleSize(Vst::kSample32), kResultTrue);
    EXPECT_EQ(loaded.plugin->processor()->canProcessSampleSize(Vst::kSample64), kResultTrue);
}

TEST_P(BundleIdentity, OffersNoViewButTheEditor)
{
    LoadedPlugin loaded = loadKind(GetParam());
    EXPECT_EQ(loaded.plugin->controller()->createView(nullptr), nullptr);
    EXPECT_EQ(loaded.plugin->controller()->createView("Editor"), nullptr);
    EXPECT_EQ(loaded.plugin->controller()->createView("parameters"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, BundleIdentity, ::testing::ValuesIn(allKinds()), kindTestName);

} // namespace
} // namespace kestravel::plugins::testing_support
