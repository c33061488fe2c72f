#include "kestravel_host/module_state.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "kestravel_host/host_error.h"

namespace kestravel::plugins {

namespace {

nlohmann::json parseObject(std::string_view json)
{
    nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        throw HostError("The module's state is not a JSON object");
    return doc;
}

} // namespace

std::vector<std::uint8_t> frameStateText(std::string_view json)
{
    const auto n = static_cast<std::uint32_t>(json.size());
    std::vector<std::uint8_t> bytes(4 + json.size());
    for (std::size_t i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(n >> (8 * i));
    std::copy(json.begin(), json.end(), bytes.begin() + 4);
    return bytes;
}

std::optional<std::string> unframeStateText(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() < 4)
        return std::nullopt;
    const std::uint32_t n = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    if (bytes.size() - 4 != n)
        return std::nullopt;
    return std::string(bytes.begin() + 4, bytes.end());
}

std::string withStatePath(std::string_view json, std::string_view pathUtf8)
{
    nlohmann::json doc = parseObject(json);
    doc["path"] = std::string(pathUtf8);
    // Strict UTF-8: a path that is not valid text is refused rather than mangled.
    try
    {
        return doc.dump();
    }
    catch (const nlohmann::json::exception&)
    {
        throw HostError("The path is not valid UTF-8 text");
    }
}

std::optional<std::string> statePath(std::string_view json)
{
    nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return std::nullopt;
    auto it = doc.find("path");
    if (it == doc.end() || !it->is_string())
        return std::nullopt;
    return it->get<std::string>();
}

std::string prettyStateText(std::string_view json)
{
    nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
    if (doc.is_discarded())
        throw HostError("The module's state is not JSON text");
    constexpr auto kReplace = nlohmann::json::error_handler_t::replace;
    if (!doc.is_object() || doc.empty())
        return doc.dump(2, ' ', false, kReplace);
    // One member a line; arrays of numbers eight to a line, so slot n sits on line n / 8.
    std::string out = "{\n";
    std::size_t member = 0;
    for (auto it = doc.begin(); it != doc.end(); ++it, ++member)
    {
        out += "  " + nlohmann::json(it.key()).dump(-1, ' ', false, kReplace) + ": ";
        const nlohmann::json& v = it.value();
        const bool numbers = v.is_array() && !v.empty() &&
                             std::all_of(v.begin(), v.end(), [](const nlohmann::json& e) { return e.is_number(); });
        if (numbers)
        {
            out += "[";
            for (std::size_t i = 0; i < v.size(); ++i)
                out += (i % 8 == 0 ? "\n    " : " ") + v[i].dump() + (i + 1 < v.size() ? "," : "");
            out += "\n  ]";
        }
        else
            out += v.dump(-1, ' ', false, kReplace);
        out += member + 1 < doc.size() ? ",\n" : "\n";
    }
    return out + "}";
}

} // namespace kestravel::plugins

#include <system_error>

#include "kestravel_host/plugin_instance.h"
#include "kestravel_host/utf.h"
#include "kestravel_host/wav.h"

namespace kestravel::plugins {

void setModuleFile(const PluginInstance& plugin, const std::filesystem::path& file)
{
    const std::string who = "\"" + plugin.description().name + "\"";
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    if (ec)
        absolute = file;
    const std::string pathText = pathToUtf8(absolute);

    const auto text = unframeStateText(plugin.saveState());
    if (!text)
        throw HostError(who + " does not keep its state as a length-prefixed JSON document; its file cannot be set");
    const std::string edited = withStatePath(*text, pathText);
    const Steinberg::tresult r = plugin.restoreState(frameStateText(edited));
    if (r == Steinberg::kResultOk)
        return;

    // The module gives no reason through VST 3; say what the host can see about the file.
    std::string why;
    if (!std::filesystem::exists(absolute, ec))
        why = "there is no file at that path";
    else
    {
        try
        {
            readWav(absolute);
            why = "the module could not load it";
        }
        catch (const HostError& e)
        {
            why = e.what();
        }
    }
    throw HostError(who + " refused the file \"" + pathText + "\" (setState returned " + resultName(r) + "): " + why);
}

} // namespace kestravel::plugins
