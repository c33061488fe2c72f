// rackhost moduleinfo: the bundle's moduleinfo.json, written from what the loaded factory reports,
// so the file a host reads instead of loading the module can never disagree with the module.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <system_error>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/utf.h"

namespace kestravel::plugins {

using namespace Steinberg;

namespace {

using Json = nlohmann::ordered_json;

// The class ID as hosts spell it in moduleinfo.json and snapshot names: the four words in order.
std::string cidHex(const std::array<char, 16>& cid)
{
    const auto w = classIdWords(cid);
    char text[33];
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X", w[0], w[1], w[2], w[3]);
    return text;
}

struct Snapshot
{
    double scale = 1.0;
    std::string path; // relative to the bundle, with forward slashes
};

// Contents/Resources/Snapshots/<CID>_snapshot.png, or ..._snapshot_<F>x.png at scale F.
std::map<std::string, std::vector<Snapshot>> findSnapshots(const std::filesystem::path& bundle)
{
    static const std::regex kName("([0-9A-Fa-f]{32})_snapshot(?:_([0-9]+(?:\\.[0-9]+)?)x)?\\.png");
    std::map<std::string, std::vector<Snapshot>> found;
    const auto folder = bundle / "Contents" / "Resources" / "Snapshots";
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return found;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    {
        const std::string name = pathToUtf8(entry.path().filename());
        std::smatch m;
        if (!entry.is_regular_file(ec) || !std::regex_match(name, m, kName))
            continue;
        std::string cid = m[1].str();
        std::transform(cid.begin(), cid.end(), cid.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const double scale = m[2].matched ? parseNumber(m[2].str(), "The scale in \"" + name + "\"") : 1.0;
        found[cid].push_back({scale, "Contents/Resources/Snapshots/" + name});
    }
    for (auto& [cid, list] : found)
        std::sort(list.begin(), list.end(), [](const Snapshot& a, const Snapshot& b) { return a.scale < b.scale; });
    return found;
}

std::vector<std::string> splitSubCategories(const std::string& text)
{
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    std::size_t start = 0;
    for (auto bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start))
    {
        parts.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

Json moduleInfo(const Module& module, const std::filesystem::path& bundle, const std::string& name,
                const std::string& version)
{
    const FactoryDescription factory = module.factoryDescription();
    const auto snapshots = findSnapshots(bundle);

    Json info;
    info["Name"] = name;
    info["Version"] = version;
    info["Factory Info"] = {
        {"Vendor", factory.vendor},
        {"URL", factory.url},
        {"E-Mail", factory.email},
        {"Flags",
         {{"Unicode", (factory.flags & PFactoryInfo::kUnicode) != 0},
          {"Classes Discardable", (factory.flags & PFactoryInfo::kClassesDiscardable) != 0},
          {"Component Non Discardable", (factory.flags & PFactoryInfo::kComponentNonDiscardable) != 0}}},
    };
    Json classes = Json::array();
    for (const ClassDescription& c : module.classes())
    {
        const std::string cid = cidHex(c.cid);
        Json shots = Json::array();
        if (auto it = snapshots.find(cid); it != snapshots.end())
            for (const Snapshot& s : it->second)
                shots.push_back({{"Scale Factor", s.scale}, {"Path", s.path}});
        classes.push_back({
            {"CID", cid},
            {"Category", c.category},
            {"Name", c.name},
            // A class without its own vendor is the factory's, as hosts list it.
            {"Vendor", c.vendor.empty() ? factory.vendor : c.vendor},
            {"Version", c.version},
            {"SDKVersion", c.sdkVersion},
            {"Sub Categories", splitSubCategories(c.subCategories)},
            {"Class Flags", c.classFlags},
            {"Cardinality", c.cardinality},
            {"Snapshots", shots},
        });
    }
    info["Classes"] = classes;
    return info;
}

int runModuleInfo(const Arguments& args, std::ostream& out)
{
    const std::filesystem::path bundle = pathFromUtf8(args.positional(0));
    std::error_code ec;
    if (std::filesystem::exists(bundle, ec) && !std::filesystem::is_directory(bundle, ec))
        throw UsageError("\"" + args.positional(0) + "\" is not a bundle folder (moduleinfo.json lives inside one)");
    auto module = Module::load(bundle);
    std::filesystem::path name = bundle.filename().empty() ? bundle.parent_path().filename() : bundle.filename();

    // A bundle's own version is not part of the factory; without --version the classes' one stands in.
    std::string version = args.value("version").value_or("");
    if (version.empty())
        for (const ClassDescription& c : module->classes())
            if (!c.version.empty())
            {
                version = c.version;
                break;
            }
    const Json info = moduleInfo(*module, bundle, pathToUtf8(name.stem()), version);
    const std::string text = info.dump(2) + "\n";

    const std::string target = args.value("out").value_or("");
    if (target == "-")
    {
        out << text;
        return 0;
    }
    const std::filesystem::path file =
        target.empty() ? bundle / "Contents" / "Resources" / "moduleinfo.json" : pathFromUtf8(target);
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream << text;
    stream.close();
    if (!stream)
        throw HostError("Cannot write \"" + pathToUtf8(file) + "\"");
    out << "wrote the module info of " << pathToUtf8(name) << " to " << pathToUtf8(file) << '\n';
    return 0;
}

constexpr std::string_view kPositionals[] = {"BUNDLE"};
constexpr OptionSpec kOptions[] = {
    {"version", OptionKind::Value, "V", "the bundle's version (default: its classes' version)"},
    {"out", OptionKind::Value, "FILE",
     "where to write (default: BUNDLE/Contents/Resources/moduleinfo.json; - for standard output)"},
};

} // namespace

const CommandSpec kModuleInfoCommand{"moduleinfo", kPositionals, kOptions, runModuleInfo,
                                     "Write a bundle's moduleinfo.json from its loaded factory and its snapshots."};

} // namespace kestravel::plugins
