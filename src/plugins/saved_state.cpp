#include "plugins/saved_state.h"

#include "core/text_utf.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <stdexcept>

namespace kestravel::plugins {

namespace {

using Json = nlohmann::json;

[[noreturn]] void refuse(const char* why)
{
    throw std::runtime_error(why);
}

// Integer members: numbers as they are (fractions truncated), booleans as 0/1, missing as 0.
int64_t readInteger(const Json& doc, const char* key)
{
    const auto it = doc.find(key);
    if (it == doc.end())
        return 0;
    switch (it->type()) {
    case Json::value_t::number_integer: return it->get<int64_t>();
    case Json::value_t::number_unsigned: {
        const auto value = it->get<uint64_t>();
        return value > INT64_MAX ? INT64_MAX : static_cast<int64_t>(value);
    }
    case Json::value_t::number_float: {
        const double value = std::trunc(it->get<double>());
        // Out-of-range values cannot equal a schema or kind; keep the conversion defined.
        if (!(value >= -9.0e18 && value <= 9.0e18))
            refuse("State number out of range");
        return static_cast<int64_t>(value);
    }
    case Json::value_t::boolean: return it->get<bool>() ? 1 : 0;
    default: refuse("State member has the wrong type");
    }
}

} // namespace

std::optional<std::string> encodeStateDocument(ModuleKind kind, const std::u16string& path,
                                               const ParamValues& values)
{
    auto utf8 = utf16ToUtf8(path);
    if (!utf8)
        return std::nullopt;
#ifdef _WIN32
    // Saved in the generic form; on other systems a backslash is part of a file name.
    for (char& c : *utf8)
        if (c == '\\')
            c = '/';
#endif

    Json doc = Json::object();
    doc["schema"] = 1;
    doc["kind"] = static_cast<int32_t>(kind);
    doc["path"] = std::move(*utf8);
    Json parameters = Json::array();
    for (const auto& slot : values)
        parameters.push_back(slot.load());
    parameters[kPlayRecordParam] = 0; // a project never starts playing or recording on load
    doc["parameters"] = std::move(parameters);
    return doc.dump(-1, ' ', false, Json::error_handler_t::strict);
}

SavedState decodeStateDocument(std::string_view text, ModuleKind kind)
{
    Json doc;
    try {
        doc = Json::parse(text.begin(), text.end(), nullptr, true, false);
    } catch (const Json::exception&) {
        refuse("State is not valid JSON");
    }
    if (!doc.is_object())
        refuse("State is not an object");
    if (readInteger(doc, "schema") != 1)
        refuse("Unknown state schema");
    if (readInteger(doc, "kind") != static_cast<int64_t>(kind))
        refuse("State belongs to another module kind");

    const auto params = doc.find("parameters");
    if (params == doc.end() || !params->is_array() || params->size() != kParamSlots)
        refuse("State needs 512 parameters");
    SavedState state;
    for (size_t i = 0; i < kParamSlots; ++i) {
        const Json& element = (*params)[i];
        if (!element.is_number())
            refuse("State parameter is not a number");
        const double value = element.get<double>();
        if (!std::isfinite(value) || value < 0.0 || value > 1.0)
            refuse("State parameter out of range");
        state.parameters[i] = value;
    }

    std::string path;
    if (const auto it = doc.find("path"); it != doc.end()) {
        if (!it->is_string())
            refuse("State path is not a string");
        path = it->get<std::string>();
    }
    auto wide = utf8ToUtf16(path);
    if (!wide)
        refuse("State path is not valid UTF-8");
    if (wide->size() > kMaxPathUnits)
        refuse("State path is too long");
    if (wide->find(u'\0') != std::u16string::npos)
        refuse("State path contains a NUL character");
    state.path = std::move(*wide);
    return state;
}

} // namespace kestravel::plugins
