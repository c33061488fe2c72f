#pragma once
// Names for new recordings: automatic takes beside the stored destination, and the parts a
// take continues in once a file is full. Nothing here ever picks an existing file.

#include <cstdint>
#include <functional>
#include <string>

namespace kestravel::plugins {

inline constexpr uint32_t kMaxTakeNumber = 99999;

// [any thread, not audio] Whether anything (file, directory, link, even a dangling one) exists
// at the path. Throws std::filesystem::filesystem_error for "exists" when the test itself fails.
bool pathExists(const std::u16string& path);

using PathExistsTest = std::function<bool(const std::u16string&)>;

// The directory part of path (through its last '\' or '/') and the file name's stem (the name
// without its final extension; a name whose only dot leads it has no extension).
std::u16string directoryPrefixOf(const std::u16string& path);
std::u16string stemOf(const std::u16string& path);

// Directory of path + stem of path + tag + n in decimal + ".wav" ("song-take3.wav").
std::u16string numberedSibling(const std::u16string& path, const std::u16string& tag, uint32_t n);

// [UI thread] The stored path when nothing exists there, else the first free
// "<stem>-take<N>.wav" beside it for N = 1..limit, or the last candidate tried when all exist
// (preparing it then fails with "Destination exists; choose a new file"). exists may throw.
std::u16string chooseTakePath(const std::u16string& storedPath,
                              const PathExistsTest& exists = pathExists,
                              uint32_t limit = kMaxTakeNumber);

} // namespace kestravel::plugins
