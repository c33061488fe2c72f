#include "core/text_utf.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace kestravel::plugins {

namespace {

constexpr char32_t kMalformed = 0xFFFFFFFF;

// One code point at text[i] and its length. A malformed sequence gives kMalformed with the
// number of bytes to skip, so that decoding resumes on the first byte that did not fit.
std::pair<char32_t, size_t> decodeUtf8At(std::string_view text, size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80)
        return {lead, 1};
    char32_t cp = 0;
    size_t extra = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1Fu;
        extra = 1;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0Fu;
        extra = 2;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07u;
        extra = 3;
        minimum = 0x10000;
    } else {
        return {kMalformed, 1};
    }
    for (size_t k = 1; k <= extra; ++k) {
        if (i + k >= text.size())
            return {kMalformed, k};
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return {kMalformed, k};
        cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {kMalformed, extra + 1};
    return {cp, extra + 1};
}

void appendUtf16(std::u16string& out, char32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

} // namespace

std::optional<std::u16string> utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto [cp, length] = decodeUtf8At(text, i);
        if (cp == kMalformed)
            return std::nullopt;
        appendUtf16(out, cp);
        i += length;
    }
    return out;
}

std::u16string utf8ToUtf16Lossy(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto [cp, length] = decodeUtf8At(text, i);
        appendUtf16(out, cp == kMalformed ? char32_t{0xFFFD} : cp);
        i += length;
    }
    return out;
}

std::optional<std::string> utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string utf16ToUtf8Lossy(std::u16string_view text)
{
    std::u16string clean(text);
    for (size_t i = 0; i < clean.size(); ++i) {
        const char16_t u = clean[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < clean.size() && clean[i + 1] >= 0xDC00 &&
            clean[i + 1] <= 0xDFFF)
            ++i; // a proper pair
        else if (u >= 0xD800 && u <= 0xDFFF)
            clean[i] = u'\uFFFD';
    }
    return *utf16ToUtf8(clean);
}

std::string fileNameOf(const std::u16string& path)
{
    size_t start = path.find_last_of(u"\\/");
    if (start == std::u16string::npos) {
        // "C:name" is drive-relative: the drive is the root name, not part of the file name.
        const bool drive = path.size() >= 2 && path[1] == u':' &&
                           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
        start = drive ? 2 : 0;
    } else {
        ++start;
    }
    std::string name = utf16ToUtf8Lossy(std::u16string_view(path).substr(start));
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::filesystem::path toFsPath(const std::u16string& path)
{
#ifdef _WIN32
    return std::filesystem::path(std::wstring(path.begin(), path.end()));
#else
    const auto utf8 = utf16ToUtf8(path);
    if (!utf8)
        throw std::runtime_error("Path is not valid UTF-16");
    return std::filesystem::path(*utf8);
#endif
}

} // namespace kestravel::plugins
