#pragma once
// Strict UTF-8 / UTF-16 conversion and UTF-16 file-system paths, for both platforms.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestravel::plugins {

// Invalid UTF-8 (overlong forms, surrogates, truncated sequences) gives nothing.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);
// Each malformed sequence becomes U+FFFD (as MultiByteToWideChar does); decoding resumes on the
// first byte that did not fit.
std::u16string utf8ToUtf16Lossy(std::string_view text);
// An unpaired surrogate gives nothing.
std::optional<std::string> utf16ToUtf8(std::u16string_view text);
// For display: an unpaired surrogate becomes U+FFFD instead of failing the whole text.
std::string utf16ToUtf8Lossy(std::u16string_view text);
// The last component of a UTF-16 path (after the last '\\' or '/', a leading drive such as
// "C:" excluded) as UTF-8; the name a status line shows.
std::string fileNameOf(const std::u16string& path);
// The path as the platform's file calls want it (wide on Windows, UTF-8 elsewhere).
// Throws std::runtime_error when the path has no form on this platform.
std::filesystem::path toFsPath(const std::u16string& path);

} // namespace kestravel::plugins
