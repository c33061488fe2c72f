#pragma once
// A plain PNG writer for 0xFFRRGGBB pictures (stored, uncompressed deflate blocks).

#include <cstdint>
#include <string>

namespace kestravel::plugins {

// [any thread] Writes an 8-bit RGB PNG; the path is UTF-8. False when the file cannot be written.
bool writePngFile(const std::string& utf8Path, const uint32_t* argb, int32_t width, int32_t height);

} // namespace kestravel::plugins
