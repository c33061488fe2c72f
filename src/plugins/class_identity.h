#pragma once
// How a build of one kind presents itself to a host's scanner.

#include "core/module_kind.h"

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"

namespace kestravel::plugins {

// "KRAC" "KUTI" "LITY" as big-endian words; the fourth tells the kinds apart.
inline constexpr Steinberg::uint32 kClassIdWord1 = 0x4B524143;
inline constexpr Steinberg::uint32 kClassIdWord2 = 0x4B555449;
inline constexpr Steinberg::uint32 kClassIdWord3 = 0x4C495459;
constexpr Steinberg::uint32 classIdWord4(ModuleKind kind)
{
    return 0x00100000u + static_cast<Steinberg::uint32>(kind);
}

inline constexpr const char* kVendor = "KESTRAVEL";
inline constexpr const char* kVendorUrl = "https://kestravel.example";
inline constexpr const char* kVendorEmail = "support@kestravel.example";
inline constexpr const char* kModuleVersion = "0.1.0-beta.1";
inline constexpr const char* kSdkVersionText = "VST 3.8.1";
inline constexpr const char* kCategory = "Audio Module Class";
inline constexpr const char* kSubCategories = "Fx|Tools";

void fillFactoryInfo(Steinberg::PFactoryInfo& info);
void fillClassInfo(Steinberg::PClassInfo2& info, const Steinberg::FUID& cid, ModuleKind kind);

} // namespace kestravel::plugins
