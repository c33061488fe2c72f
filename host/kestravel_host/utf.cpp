#include "kestravel_host/utf.h"

#include <cstdint>

namespace kestravel::plugins {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp)
{
    auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(static_cast<unsigned char>(byte))); };
    const auto c = static_cast<std::uint32_t>(cp);
    if (c < 0x80)
        put(c);
    else if (c < 0x800)
    {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    }
    else if (c < 0x10000)
    {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
    else
    {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

} // namespace

std::string utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const char16_t u = text[i];
        if (isHigh(u) && i + 1 < text.size() && isLow(text[i + 1]))
        {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                                (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            appendUtf8(out, cp);
            ++i;
        }
        else if (isHigh(u) || isLow(u))
            appendUtf8(out, kReplacement);
        else
            appendUtf8(out, u);
    }
    return out;
}

std::string utf16ToUtf8(const Steinberg::char16* text, std::size_t maxUnits)
{
    if (text == nullptr)
        return {};
    std::size_t n = 0;
    while (n < maxUnits && text[n] != 0)
        ++n;
    return utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), n));
}

std::u16string utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size())
    {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::size_t len = 0;
        char32_t cp = 0;
        if (b0 < 0x80)
        {
            len = 1;
            cp = b0;
        }
        else if ((b0 & 0xE0) == 0xC0)
        {
            len = 2;
            cp = b0 & 0x1Fu;
        }
        else if ((b0 & 0xF0) == 0xE0)
        {
            len = 3;
            cp = b0 & 0x0Fu;
        }
        else if ((b0 & 0xF8) == 0xF0)
        {
            len = 4;
            cp = b0 & 0x07u;
        }
        bool ok = len != 0 && i + len <= text.size();
        for (std::size_t k = 1; ok && k < len; ++k)
        {
            const auto b = static_cast<unsigned char>(text[i + k]);
            ok = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static constexpr char32_t kMinForLength[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMinForLength[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok)
        {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        if (cp >= 0x10000)
        {
            const char32_t v = cp - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        }
        else
            out.push_back(static_cast<char16_t>(cp));
        i += len;
    }
    return out;
}

void copyUtf16(std::u16string_view text, Steinberg::char16* field, std::size_t units)
{
    if (field == nullptr || units == 0)
        return;
    std::size_t n = text.size() < units - 1 ? text.size() : units - 1;
    // Never leave half a surrogate pair at the cut.
    if (n > 0 && n < text.size() && isHigh(text[n - 1]))
        --n;
    for (std::size_t i = 0; i < n; ++i)
        field[i] = static_cast<Steinberg::char16>(text[i]);
    for (std::size_t i = n; i < units; ++i)
        field[i] = 0;
}

std::string fixedField(const char* field, std::size_t size)
{
    std::size_t n = 0;
    while (n < size && field[n] != 0)
        ++n;
    return std::string(field, n);
}

std::filesystem::path pathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string pathToUtf8(const std::filesystem::path& path)
{
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

} // namespace kestravel::plugins
