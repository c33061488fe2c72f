#include "fileaudio/take_naming.h"

#include "core/text_utf.h"

#include <filesystem>
#include <stdexcept>

namespace kestravel::plugins {

namespace {
size_t nameStart(const std::u16string& path)
{
    const size_t sep = path.find_last_of(u"\\/");
    return sep == std::u16string::npos ? 0 : sep + 1;
}

std::u16string decimal(uint32_t n)
{
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n != 0);
    return digits;
}
} // namespace

bool pathExists(const std::u16string& path)
{
    std::filesystem::path fsPath;
    try {
        fsPath = toFsPath(path);
    } catch (const std::runtime_error&) {
        return false; // a name this platform cannot spell cannot be taken
    }
    std::error_code ec;
    // Not following links: a link, even a dangling one, occupies the name.
    const auto status = std::filesystem::symlink_status(fsPath, ec);
    if (!std::filesystem::status_known(status))
        throw std::filesystem::filesystem_error("exists", fsPath, ec);
    return status.type() != std::filesystem::file_type::not_found;
}

std::u16string directoryPrefixOf(const std::u16string& path)
{
    return path.substr(0, nameStart(path));
}

std::u16string stemOf(const std::u16string& path)
{
    const std::u16string name = path.substr(nameStart(path));
    if (name == u"..")
        return name;
    const size_t dot = name.rfind(u'.');
    return dot == std::u16string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::u16string numberedSibling(const std::u16string& path, const std::u16string& tag, uint32_t n)
{
    return directoryPrefixOf(path) + stemOf(path) + tag + decimal(n) + u".wav";
}

std::u16string chooseTakePath(const std::u16string& storedPath, const PathExistsTest& exists,
                              uint32_t limit)
{
    std::u16string candidate = storedPath;
    for (uint32_t n = 1; exists(candidate) && n <= limit; ++n)
        candidate = numberedSibling(storedPath, u"-take", n);
    return candidate;
}

} // namespace kestravel::plugins
