#include "plugins/class_identity.h"

#include <cstring>

namespace kestravel::plugins {

namespace {

// Truncate at the field size (keeping the terminator) and zero-fill behind the text.
template <size_t N>
void copyField(Steinberg::char8 (&field)[N], const char* text)
{
    std::memset(field, 0, N);
    const size_t length = std::strlen(text);
    std::memcpy(field, text, length < N ? length : N - 1);
}

} // namespace

void fillFactoryInfo(Steinberg::PFactoryInfo& info)
{
    info = Steinberg::PFactoryInfo();
    copyField(info.vendor, kVendor);
    copyField(info.url, kVendorUrl);
    copyField(info.email, kVendorEmail);
    info.flags = Steinberg::PFactoryInfo::kUnicode;
}

void fillClassInfo(Steinberg::PClassInfo2& info, const Steinberg::FUID& cid, ModuleKind kind)
{
    info = Steinberg::PClassInfo2();
    cid.toTUID(info.cid);
    info.cardinality = Steinberg::PClassInfo::kManyInstances;
    copyField(info.category, kCategory);
    copyField(info.name, kindDisplayName(kind));
    info.classFlags = 0;
    copyField(info.subCategories, kSubCategories);
    copyField(info.version, kModuleVersion);
    copyField(info.sdkVersion, kSdkVersionText);
}

} // namespace kestravel::plugins
