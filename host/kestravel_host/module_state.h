// The saved state of a KESTRAVEL module as a host sees it: a 4-byte little-endian length,
// then a JSON document {"kind","parameters","path","schema"}.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestravel::plugins {

std::vector<std::uint8_t> frameStateText(std::string_view json);
// The JSON text when the bytes are exactly one length-prefixed text; otherwise nothing.
std::optional<std::string> unframeStateText(const std::vector<std::uint8_t>& bytes);

// The document with its "path" replaced, written compactly. Throws HostError when the text is
// not a JSON object.
std::string withStatePath(std::string_view json, std::string_view pathUtf8);
// The "path" member, or nothing when absent or not a string.
std::optional<std::string> statePath(std::string_view json);
// Indented for reading and hand-editing. Throws HostError when the text is not JSON.
std::string prettyStateText(std::string_view json);

} // namespace kestravel::plugins

#include <filesystem>

namespace kestravel::plugins {

class PluginInstance;

// Gives a module its file (a PLAYER's source, a RECORDER's destination) the way a host restores
// a project: getState, the "path" replaced by the absolute path, setState. Throws HostError
// with the reason when the state is not of this form or the module refuses it.
void setModuleFile(const PluginInstance& plugin, const std::filesystem::path& file);

} // namespace kestravel::plugins
