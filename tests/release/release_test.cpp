// What a release ships, checked bundle by bundle: the folder layout, the entry points, the module
// info against what the loaded factory reports, the snapshots and (Windows) the version resource.
// Runs on the build tree's bundles, or on an unpacked archive named by KESTRAVEL_RELEASE_DIR.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kestravel_host/module.h"
#include "kestravel_host/utf.h"
#include "run_rackhost.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/wait.h>
#endif

namespace kestravel::plugins {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Kind
{
    const char* module;
    const char* cid; // the four class ID words in order, as moduleinfo.json and snapshot names spell them
};

constexpr Kind kKinds[] = {
    {"KestravelInput", "4B5241434B5554494C49545900100001"},
    {"KestravelOutput", "4B5241434B5554494C49545900100002"},
    {"KestravelSumming", "4B5241434B5554494C49545900100003"},
    {"KestravelBreakout", "4B5241434B5554494C49545900100004"},
    {"KestravelPlayer", "4B5241434B5554494C49545900100005"},
    {"KestravelRecorder", "4B5241434B5554494C49545900100006"},
    {"KestravelFaderBank", "4B5241434B5554494C49545900100007"},
    {"KestravelDistributor", "4B5241434B5554494C49545900100008"},
};

void PrintTo(const Kind& k, std::ostream* os) { *os << k.module; }

#ifdef _WIN32
constexpr const char* kArch = "x86_64-win";
constexpr const char* kBinarySuffix = ".vst3";
constexpr const char* kEntryPoints[] = {"GetPluginFactory", "InitDll", "ExitDll"};
#else
constexpr const char* kArch = "x86_64-linux";
constexpr const char* kBinarySuffix = ".so";
constexpr const char* kEntryPoints[] = {"GetPluginFactory", "ModuleEntry", "ModuleExit"};
#endif

const char* releaseDir()
{
    const char* dir = std::getenv("KESTRAVEL_RELEASE_DIR");
    return dir != nullptr && *dir != 0 ? dir : nullptr;
}

fs::path root() { return releaseDir() ? pathFromUtf8(releaseDir()) : pathFromUtf8(KESTRAVEL_TEST_BUNDLE_DIR); }
fs::path bundleOf(const Kind& k) { return root() / (std::string(k.module) + ".vst3"); }
fs::path binaryOf(const Kind& k)
{
    return bundleOf(k) / "Contents" / kArch / (std::string(k.module) + kBinarySuffix);
}

Json readModuleInfo(const Kind& k)
{
    std::ifstream in(bundleOf(k) / "Contents" / "Resources" / "moduleinfo.json", std::ios::binary);
    if (!in)
        throw std::runtime_error(std::string(k.module) + " has no Contents/Resources/moduleinfo.json");
    return Json::parse(in); // strict: a stray comma or comment fails here
}

std::set<std::string> keysOf(const Json& object)
{
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items())
        keys.insert(key);
    return keys;
}

// Width and height from a PNG's IHDR chunk; {0, 0} when the file is no PNG.
std::pair<std::uint32_t, std::uint32_t> pngSize(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    unsigned char head[24] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    static const unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (in.gcount() != sizeof head || std::memcmp(head, kSignature, sizeof kSignature) != 0)
        return {0, 0};
    auto be32 = [&head](int at) {
        return std::uint32_t{head[at]} << 24 | std::uint32_t{head[at + 1]} << 16 | std::uint32_t{head[at + 2]} << 8 |
               std::uint32_t{head[at + 3]};
    };
    return {be32(16), be32(20)};
}

std::string cidText(const std::array<char, 16>& cid)
{
    const auto w = classIdWords(cid);
    char text[33];
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X", w[0], w[1], w[2], w[3]);
    return text;
}

TEST(ReleaseArchive, HoldsTheEightBundlesTheLicenseAndTheInstallNotesAtItsTop)
{
    if (!releaseDir())
        GTEST_SKIP() << "checks an unpacked archive (KESTRAVEL_RELEASE_DIR)";
    std::set<std::string> expected{"LICENSE", "INSTALL.txt"};
    for (const Kind& k : kKinds)
        expected.insert(std::string(k.module) + ".vst3");
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(root()))
        found.insert(pathToUtf8(entry.path().filename()));
    EXPECT_EQ(found, expected);

    std::ifstream license(root() / "LICENSE");
    const std::string text((std::istreambuf_iterator<char>(license)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("MIT License"), std::string::npos);
    EXPECT_NE(text.find("the KESTRAVEL rack authors"), std::string::npos);
    EXPECT_GT(fs::file_size(root() / "INSTALL.txt"), 200u);
}

class ReleaseBundle : public ::testing::TestWithParam<Kind>
{
};

TEST_P(ReleaseBundle, HoldsItsBinaryAndTheResourcesTheModuleInfoNamesAndNothingElse)
{
    const Kind& k = GetParam();
    const Json info = readModuleInfo(k);
    std::set<std::string> expected{"Contents/" + std::string(kArch) + "/" + k.module + kBinarySuffix,
                                   "Contents/Resources/moduleinfo.json"};
    for (const Json& c : info.at("Classes"))
        for (const Json& s : c.at("Snapshots"))
            expected.insert(s.at("Path").get<std::string>());
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(bundleOf(k)))
        if (!entry.is_directory())
            found.insert(pathToUtf8(entry.path().lexically_relative(bundleOf(k)).generic_string()));
    EXPECT_EQ(found, expected);
}

TEST_P(ReleaseBundle, BinaryExportsTheEntryPointsHostsCall)
{
    const fs::path binary = binaryOf(GetParam());
#ifdef _WIN32
    HMODULE h = LoadLibraryW(fs::absolute(binary).make_preferred().c_str());
    ASSERT_NE(h, nullptr) << "LoadLibrary failed with " << GetLastError();
    for (const char* name : kEntryPoints)
        EXPECT_NE(GetProcAddress(h, name), nullptr) << name;
    FreeLibrary(h);
#else
    void* h = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    for (const char* name : kEntryPoints)
        EXPECT_NE(dlsym(h, name), nullptr) << name;
    dlclose(h);
#endif
}

TEST_P(ReleaseBundle, ModuleInfoEqualsWhatTheLoadedFactoryReports)
{
    const Kind& k = GetParam();
    const Json info = readModuleInfo(k);
    auto module = Module::load(bundleOf(k));
    const FactoryDescription factory = module->factoryDescription();
    const std::vector<ClassDescription> classes = module->classes();

    EXPECT_EQ(keysOf(info), (std::set<std::string>{"Name", "Version", "Factory Info", "Classes"}));
    EXPECT_EQ(info.at("Name"), k.module);
    EXPECT_EQ(info.at("Version"), std::string(KESTRAVEL_VERSION));

    const Json& fi = info.at("Factory Info");
    EXPECT_EQ(fi.at("Vendor"), factory.vendor);
    EXPECT_EQ(fi.at("URL"), factory.url);
    EXPECT_EQ(fi.at("E-Mail"), factory.email);
    const Json& flags = fi.at("Flags");
    EXPECT_EQ(keysOf(flags), (std::set<std::string>{"Unicode", "Classes Discardable", "Component Non Discardable"}));
    EXPECT_EQ(flags.at("Unicode"), (factory.flags & Steinberg::PFactoryInfo::kUnicode) != 0);
    EXPECT_EQ(flags.at("Classes Discardable"), (factory.flags & Steinberg::PFactoryInfo::kClassesDiscardable) != 0);
    EXPECT_EQ(flags.at("Component Non Discardable"),
              (factory.flags & Steinberg::PFactoryInfo::kComponentNonDiscardable) != 0);

    const Json& list = info.at("Classes");
    ASSERT_EQ(list.size(), classes.size());
    for (std::size_t i = 0; i < classes.size(); ++i)
    {
        const ClassDescription& c = classes[i];
        const Json& j = list.at(i);
        SCOPED_TRACE("class " + std::to_string(i));
        EXPECT_EQ(keysOf(j), (std::set<std::string>{"CID", "Category", "Name", "Vendor", "Version", "SDKVersion",
                                                    "Sub Categories", "Class Flags", "Cardinality", "Snapshots"}));
        EXPECT_EQ(j.at("CID"), cidText(c.cid));
        EXPECT_EQ(j.at("Category"), c.category);
        EXPECT_EQ(j.at("Name"), c.name);
        EXPECT_EQ(j.at("Vendor"), c.vendor.empty() ? factory.vendor : c.vendor);
        EXPECT_EQ(j.at("Vendor"), "KESTRAVEL");
        EXPECT_EQ(j.at("Version"), c.version);
        EXPECT_EQ(j.at("SDKVersion"), c.sdkVersion);
        std::string joined;
        for (const Json& part : j.at("Sub Categories"))
            joined += (joined.empty() ? "" : "|") + part.get<std::string>();
        EXPECT_EQ(joined, c.subCategories);
        EXPECT_EQ(j.at("Class Flags"), c.classFlags);
        EXPECT_EQ(j.at("Cardinality"), c.cardinality);
    }
    // The one class of each bundle, with the ID hosts will look it up by.
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].at("CID"), k.cid);
}

TEST_P(ReleaseBundle, SnapshotsAreNamedByClassListedWithTheirScaleAndSizedToIt)
{
    const Kind& k = GetParam();
    const Json info = readModuleInfo(k);
    const Json& snapshots = info.at("Classes").at(0).at("Snapshots");
    std::vector<double> scales;
    for (const Json& s : snapshots)
    {
        const double scale = s.at("Scale Factor").get<double>();
        const std::string path = s.at("Path").get<std::string>();
        scales.push_back(scale);
        const std::string name = scale == 1.0 ? std::string(k.cid) + "_snapshot.png"
                                              : std::string(k.cid) + "_snapshot_" + std::to_string(int(scale)) + ".0x.png";
        EXPECT_EQ(path, "Contents/Resources/Snapshots/" + name);
        const auto [w, h] = pngSize(bundleOf(k) / pathFromUtf8(path));
        EXPECT_EQ(w, static_cast<std::uint32_t>(960 * scale)) << path;
        EXPECT_EQ(h, static_cast<std::uint32_t>(580 * scale)) << path;
    }
    const std::vector<double> expected = KESTRAVEL_EXPECT_SNAPSHOT_2X ? std::vector<double>{1.0, 2.0}
                                                                      : std::vector<double>{1.0};
    EXPECT_EQ(scales, expected);
}

// rackhost moduleinfo on a copy of a bundle whose Snapshots folder holds more than it should.
using Outcome = testing_support::ProgramRun;

Outcome rackhost(const std::vector<std::string>& args) { return testing_support::runRackhost(args); }

class ModuleInfoCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (releaseDir())
            GTEST_SKIP() << "checks rackhost, not an archive";
        // ctest runs each case as its own process, side by side: each gets its own folder.
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        scratch_ = fs::temp_directory_path() / ("kestravel-" + name + "-" + std::to_string(std::random_device{}()));
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
        fs::copy(bundleOf(kKinds[1]), bundle(), fs::copy_options::recursive);
    }
    void TearDown() override
    {
        std::error_code ec;
        if (!scratch_.empty())
            fs::remove_all(scratch_, ec);
    }
    fs::path bundle() const { return scratch_ / "KestravelOutput.vst3"; }
    fs::path snapshots() const { return bundle() / "Contents" / "Resources" / "Snapshots"; }

    fs::path scratch_;
};

TEST_F(ModuleInfoCommand, ListsEverySnapshotOfTheClassByScaleAndNothingElse)
{
    const std::string cid = kKinds[1].cid;
    const fs::path one = snapshots() / (cid + "_snapshot.png");
    ASSERT_TRUE(fs::exists(one));
    // The build may have made the 2x picture already (mingw's copy_file cannot overwrite).
    fs::remove(snapshots() / (cid + "_snapshot_2.0x.png"));
    fs::copy_file(one, snapshots() / (cid + "_snapshot_2.0x.png"));
    // Not snapshots of this class: another class ID, another extension, no class ID at all.
    for (const char* stray : {"4B5241434B5554494C49545900100001_snapshot.png", "editor.png"})
        fs::copy_file(one, snapshots() / stray);
    std::ofstream(snapshots() / (cid + "_snapshot.txt")) << "x";

    const Outcome r = rackhost({"moduleinfo", pathToUtf8(bundle()), "--version", "9.8.7", "--out", "-"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const Json info = Json::parse(r.output);
    EXPECT_EQ(info.at("Version"), "9.8.7");
    const Json expected = Json::parse(R"([
        {"Scale Factor": 1.0, "Path": "Contents/Resources/Snapshots/)" + cid + R"(_snapshot.png"},
        {"Scale Factor": 2.0, "Path": "Contents/Resources/Snapshots/)" + cid + R"(_snapshot_2.0x.png"}])");
    EXPECT_EQ(info.at("Classes").at(0).at("Snapshots"), expected);
}

TEST_F(ModuleInfoCommand, WritesIntoTheBundleAndTakesTheClassVersionWhenNoneIsGiven)
{
    fs::remove(bundle() / "Contents" / "Resources" / "moduleinfo.json");
    const Outcome r = rackhost({"moduleinfo", pathToUtf8(bundle())});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::ifstream in(bundle() / "Contents" / "Resources" / "moduleinfo.json");
    const Json info = Json::parse(in);
    auto module = Module::load(bundle());
    EXPECT_EQ(info.at("Version"), module->classes().at(0).version);
}

TEST_F(ModuleInfoCommand, RefusesWhatIsNoBundleFolder)
{
    struct Case
    {
        std::string path;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {pathToUtf8(binaryOf(kKinds[1])), 2, "is not a bundle folder"},
        {pathToUtf8(scratch_ / "Missing.vst3"), 1, "No such file or directory"},
        {pathToUtf8(scratch_), 1, "not a VST 3 bundle"},
    };
    for (const Case& c : cases)
    {
        const Outcome r = rackhost({"moduleinfo", c.path, "--out", "-"});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.path << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    }
}

#ifdef _WIN32
std::wstring versionString(const std::vector<char>& data, const wchar_t* name)
{
    void* value = nullptr;
    UINT size = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(data.data(), query.c_str(), &value, &size) || value == nullptr || size == 0)
        return L"(missing)";
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST_P(ReleaseBundle, WindowsBinaryCarriesTheReleaseVersionAndNamesItsKind)
{
    const Kind& k = GetParam();
    const std::wstring file = fs::absolute(binaryOf(k)).make_preferred().wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    ASSERT_NE(fixed, nullptr);
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(KESTRAVEL_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(fixed->dwFileVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed->dwProductVersionLS, patch << 16);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    auto module = Module::load(bundleOf(k));
    const std::wstring className = pathFromUtf8(module->classes().at(0).name).wstring();
    const std::wstring version = pathFromUtf8(KESTRAVEL_VERSION).wstring();
    EXPECT_EQ(versionString(data, L"FileVersion"), version);
    EXPECT_EQ(versionString(data, L"ProductVersion"), version);
    EXPECT_EQ(versionString(data, L"ProductName"), L"KESTRAVEL utility rack");
    EXPECT_EQ(versionString(data, L"CompanyName"), pathFromUtf8(module->factoryDescription().vendor).wstring());
    EXPECT_EQ(versionString(data, L"FileDescription"), className + L" (VST 3 module)");
    EXPECT_EQ(versionString(data, L"OriginalFilename"), pathFromUtf8(std::string(k.module) + ".vst3").wstring());
}
#endif

INSTANTIATE_TEST_SUITE_P(AllKinds, ReleaseBundle, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& p) { return std::string(p.param.module); });

} // namespace
} // namespace kestravel::plugins
