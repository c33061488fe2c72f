// Library entry points of one bundle; KESTRAVEL_MODULE_KIND fixes the kind of the build.

#include "plugins/class_identity.h"
#include "plugins/utility_plugin.h"

#include "public.sdk/source/main/pluginfactory.h"

#include <mutex>

#ifndef KESTRAVEL_MODULE_KIND
#error "KESTRAVEL_MODULE_KIND must name the module kind of this build"
#endif

using namespace Steinberg;
using namespace kestravel::plugins;

namespace {

constexpr ModuleKind kModuleKind = static_cast<ModuleKind>(KESTRAVEL_MODULE_KIND);

const FUID kClassId(kClassIdWord1, kClassIdWord2, kClassIdWord3, classIdWord4(kModuleKind));

FUnknown* createModule(void* /*context*/)
{
    return UtilityPlugin::createInstance(kModuleKind);
}

std::once_flag classInfoOnce;
PClassInfo2 classInfo;
std::mutex factoryMutex;

} // namespace

extern "C" {

SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()
{
    std::call_once(classInfoOnce, [] { fillClassInfo(classInfo, kClassId, kModuleKind); });
    std::lock_guard<std::mutex> lock(factoryMutex);
    if (gPluginFactory == nullptr) {
        PFactoryInfo factoryInfo;
        fillFactoryInfo(factoryInfo);
        gPluginFactory = new CPluginFactory(factoryInfo);
        gPluginFactory->registerClass(&classInfo, createModule, nullptr);
    } else {
        gPluginFactory->addRef();
    }
    return gPluginFactory;
}

#ifdef _WIN32
SMTG_EXPORT_SYMBOL bool InitDll()
{
    return true;
}

SMTG_EXPORT_SYMBOL bool ExitDll()
{
    return true;
}
#else
SMTG_EXPORT_SYMBOL bool ModuleEntry(void* /*sharedLibraryHandle*/)
{
    return true;
}

SMTG_EXPORT_SYMBOL bool ModuleExit()
{
    return true;
}
#endif

} // extern "C"

#ifdef _WIN32
#include <windows.h>

// Nothing to set up or tear down per process or thread.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
#endif
