// Each Windows bundle as a clean Windows machine sees it: what the file exports and imports,
// and the class it registers once loaded.

#include "pe_image.h"

#include "pluginterfaces/base/ipluginbase.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

using namespace kestravel::plugins;

namespace {

struct Bundle {
    const char* module;
    const wchar_t* classGuid; // the class ID in registry form
};

// The class ID words spell "KRACKUTILITY", then 0x00100000 plus the kind code.
constexpr Bundle kBundles[] = {
    {"KestravelInput", L"{4B524143-4B55-5449-4C49-545900100001}"},
    {"KestravelOutput", L"{4B524143-4B55-5449-4C49-545900100002}"},
    {"KestravelSumming", L"{4B524143-4B55-5449-4C49-545900100003}"},
    {"KestravelBreakout", L"{4B524143-4B55-5449-4C49-545900100004}"},
    {"KestravelPlayer", L"{4B524143-4B55-5449-4C49-545900100005}"},
    {"KestravelRecorder", L"{4B524143-4B55-5449-4C49-545900100006}"},
    {"KestravelFaderBank", L"{4B524143-4B55-5449-4C49-545900100007}"},
    {"KestravelDistributor", L"{4B524143-4B55-5449-4C49-545900100008}"},
};

std::filesystem::path binaryOf(const Bundle& b)
{
    const std::string module = b.module;
    return std::filesystem::path(KESTRAVEL_TEST_BUNDLE_DIR) / (module + ".vst3") / "Contents" /
           "x86_64-win" / (module + ".vst3");
}

// DLLs that ship with every Windows installation. The C++ and gcc runtimes and winpthread are
// not among them: a bundle importing one would not load beside a DAW.
bool isSystemDll(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::regex system(
        "(kernel32|user32|gdi32|comdlg32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+|advapi32|shell32|"
        "ole32|oleaut32|comctl32|shlwapi|uxtheme|msimg32|imm32|winmm|version|dwmapi|ntdll)\\.dll");
    return std::regex_match(name, system);
}

template <typename Fn>
Fn entryPoint(HMODULE module, const char* name)
{
    // Through void* because FARPROC has no parameters and gcc warns on the direct cast.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class BundleImage : public ::testing::TestWithParam<Bundle> {};

TEST_P(BundleImage, ExportsExactlyTheThreeEntryPointsUnderItsOwnName)
{
    const PeImage image = readPeImage(binaryOf(GetParam()));
    EXPECT_EQ(image.machine, 0x8664) << "not an x86-64 image";
    EXPECT_NE(image.characteristics & 0x2000, 0) << "not flagged as a DLL";
    EXPECT_EQ(image.exportName, std::string(GetParam().module) + ".vst3");
    std::vector<std::string> names = image.exports;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ExitDll", "GetPluginFactory", "InitDll"}));
}

TEST_P(BundleImage, ImportsOnlySystemDlls)
{
    const PeImage image = readPeImage(binaryOf(GetParam()));
    bool kernel32 = false;
    for (const std::string& dll : image.imports) {
        EXPECT_TRUE(isSystemDll(dll)) << GetParam().module << " imports " << dll;
        kernel32 = kernel32 || _stricmp(dll.c_str(), "kernel32.dll") == 0;
    }
    EXPECT_TRUE(kernel32) << "import table not read: every image imports KERNEL32.dll";
}

TEST_P(BundleImage, LoadsAndRegistersItsClassUnderTheComLayoutOfItsGuid)
{
    const std::wstring path = binaryOf(GetParam()).wstring();
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << "LoadLibraryW failed with error " << GetLastError();

    using BoolEntry = bool (*)();
    using FactoryEntry = Steinberg::IPluginFactory*(PLUGIN_API*)();
    auto initDll = entryPoint<BoolEntry>(module, "InitDll");
    auto exitDll = entryPoint<BoolEntry>(module, "ExitDll");
    auto getFactory = entryPoint<FactoryEntry>(module, "GetPluginFactory");
    ASSERT_TRUE(initDll && exitDll && getFactory);
    ASSERT_TRUE(initDll());

    Steinberg::IPluginFactory* factory = getFactory();
    ASSERT_NE(factory, nullptr);
    ASSERT_EQ(factory->countClasses(), 1);
    Steinberg::PClassInfo info{};
    ASSERT_EQ(factory->getClassInfo(0, &info), Steinberg::kResultOk);

    GUID expected{};
    ASSERT_EQ(IIDFromString(GetParam().classGuid, &expected), S_OK);
    EXPECT_EQ(std::memcmp(info.cid, &expected, sizeof expected), 0)
        << "the class ID bytes are not the Windows GUID layout";

    factory->release();
    EXPECT_TRUE(exitDll());
    EXPECT_TRUE(FreeLibrary(module));
}

INSTANTIATE_TEST_SUITE_P(Kinds, BundleImage, ::testing::ValuesIn(kBundles),
                         [](const ::testing::TestParamInfo<Bundle>& p) { return std::string(p.param.module); });

TEST(PeImageReader, RejectsAFileThatIsNoImage)
{
    const auto path = std::filesystem::temp_directory_path() / "kestravel-not-an-image.vst3";
    std::ofstream(path, std::ios::binary) << "this is a text file, not a DLL";
    EXPECT_THROW(readPeImage(path), std::runtime_error);
    std::filesystem::remove(path);
}

} // namespace
