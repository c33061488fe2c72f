// On Windows, interface and class IDs must sit in memory exactly as COM GUIDs do, or a host
// built with the official headers asks for interfaces no module recognises.

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstplugview.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <unknwn.h>

#include <cstring>

using namespace Steinberg;

namespace {

TEST(ComLayout, FUnknownIdIsTheComIUnknownGuid)
{
    static_assert(sizeof(TUID) == sizeof(GUID));
    EXPECT_EQ(std::memcmp(FUnknown::iid.toTUID(), &IID_IUnknown, sizeof(GUID)), 0);
}

struct Interface {
    const char* name;
    const FUID& iid;
    const wchar_t* guid; // registry form, as Windows tools print it
};

// IDs whose words are all different, so a swapped half or a wrong word order shows.
const Interface kInterfaces[] = {
    {"IPluginBase", IPluginBase::iid, L"{22888DDB-156E-45AE-8358-B34808190625}"},
    {"IPluginFactory", IPluginFactory::iid, L"{7A4D811C-5211-4A1F-AED9-D2EE0B43BF9F}"},
    {"IPluginFactory2", IPluginFactory2::iid, L"{0007B650-F24B-4C0B-A464-EDB9F00B2ABB}"},
    {"IComponent", Vst::IComponent::iid, L"{E831FF31-F2D5-4301-928E-BBEE25697802}"},
    {"IAudioProcessor", Vst::IAudioProcessor::iid, L"{42043F99-B7DA-453C-A569-E79D9AAEC33D}"},
    {"IEditController", Vst::IEditController::iid, L"{DCD7BBE3-7742-448D-A874-AACC979C759E}"},
    {"IComponentHandler", Vst::IComponentHandler::iid, L"{93A0BEA3-0BD0-45DB-8E89-0B0CC1E46AC6}"},
    {"IPlugView", IPlugView::iid, L"{5BC32507-D060-49EA-A615-1B522B755B29}"},
    {"IPlugViewContentScaleSupport", IPlugViewContentScaleSupport::iid, L"{65ED9690-8AC4-4525-8AAD-EF7A72EA703F}"},
    {"IBStream", IBStream::iid, L"{C3BF6EA2-3099-4752-9B6B-F9901EE33E9B}"},
    {"IParameterFinder", Vst::IParameterFinder::iid, L"{0F618302-215D-4587-A512-073C77B9D383}"},
    {"IComponentHandler3", Vst::IComponentHandler3::iid, L"{69F11617-D26B-400D-A4B6-B9647B6EBBAB}"},
    {"IContextMenuTarget", Vst::IContextMenuTarget::iid, L"{3CDF2E75-85D3-4144-BF86-D36BD7C4894D}"},
    {"IContextMenu", Vst::IContextMenu::iid, L"{2E93C863-0C9C-4588-97DB-ECF5AD17817D}"},
};

TEST(ComLayout, InterfaceIdsEqualTheGuidsWindowsParses)
{
    for (const Interface& i : kInterfaces) {
        GUID guid{};
        ASSERT_EQ(IIDFromString(i.guid, &guid), S_OK) << i.name;
        EXPECT_EQ(std::memcmp(i.iid.toTUID(), &guid, sizeof guid), 0) << i.name;
    }
}

TEST(ComLayout, FourWordConstructorGivesTheGuidOfThoseWords)
{
    const FUID id(0x4B524143, 0x4B555449, 0x4C495459, 0x00100002);
    GUID guid{};
    ASSERT_EQ(IIDFromString(L"{4B524143-4B55-5449-4C49-545900100002}", &guid), S_OK);
    EXPECT_EQ(std::memcmp(id.toTUID(), &guid, sizeof guid), 0);
    EXPECT_EQ(id.getLong1(), 0x4B524143u);
    EXPECT_EQ(id.getLong2(), 0x4B555449u);
    EXPECT_EQ(id.getLong3(), 0x4C495459u);
    EXPECT_EQ(id.getLong4(), 0x00100002u);
}

} // namespace
