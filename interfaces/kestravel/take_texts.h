#pragma once
// The words of RECORDER's take panel, shared by the module's editor and the command-line host
// so both tell a take the same way.

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

namespace kestravel::plugins {

// "1:02:03": hours unpadded and as many as it takes.
inline std::string clockText(std::uint64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    return text;
}

// Decimal units with one decimal: "45.6 MB"; under a kilobyte, plain bytes.
inline std::string sizeText(std::uint64_t bytes)
{
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
    if (bytes < 1000)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    for (; value >= 999.95 && unit + 1 < std::size(kUnits); ++unit)
        value /= 1000.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

// Below this much time left on the destination's disk the panel warns.
inline constexpr std::uint64_t kLowSpaceSeconds = 600;

} // namespace kestravel::plugins
