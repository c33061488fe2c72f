#pragma once
// Reads what a Windows loader reads from a PE32+ image on disk: its own name, its exports and
// the DLLs it imports. Written against the file format, not the loader, so a broken image is
// reported rather than loaded.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestravel::plugins {

struct PeImage {
    uint16_t machine = 0;
    uint16_t characteristics = 0;
    std::string exportName;               // the name the export directory gives the module
    std::vector<std::string> exports;     // exported names, in table order
    std::vector<std::string> imports;     // imported DLL names, in table order
};

// Throws std::runtime_error naming what is wrong with the file.
PeImage readPeImage(const std::filesystem::path& path);

} // namespace kestravel::plugins
