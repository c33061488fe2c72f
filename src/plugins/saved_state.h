#pragma once
// The module's saved document: {"kind","parameters","path","schema"} as compact JSON.
// Host-free so that it can be tested and fuzzed without a stream.

#include "core/module_kind.h"
#include "core/parameter_ids.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestravel::plugins {

inline constexpr int32_t kMaxStateBytes = 1048576;
inline constexpr size_t kMaxPathUnits = 32767;

struct SavedState {
    std::u16string path;
    std::array<double, kParamSlots> parameters{};
};

// The compact JSON text, or nothing when the path has no UTF-8 form.
std::optional<std::string> encodeStateDocument(ModuleKind kind, const std::u16string& path,
                                               const ParamValues& values);

// Validates the text as a state of the given kind; throws std::runtime_error when it is not one.
SavedState decodeStateDocument(std::string_view text, ModuleKind kind);

} // namespace kestravel::plugins
