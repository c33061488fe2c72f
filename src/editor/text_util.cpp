#include "editor/text_util.h"

#include "fileaudio/text_utf.h"

#include <cstdio>

namespace kestravel::plugins {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

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

std::u16string widenAscii(const char* text)
{
    std::u16string out;
    for (; *text; ++text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
    return out;
}

} // namespace

std::u16string lenientUtf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1Fu, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0Fu, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07u, minimum = 0x10000;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t taken = 1;
        bool valid = true;
        for (; taken <= extra; ++taken) {
            if (i + taken >= text.size() || (static_cast<unsigned char>(text[i + taken]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3Fu);
        }
        if (!valid || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(kReplacement);
            i += taken; // resynchronise on the first byte that did not fit
            continue;
        }
        appendUtf16(out, cp);
        i += taken;
    }
    return out;
}

std::string lenientUtf16ToUtf8(std::u16string_view text)
{
    return utf16ToUtf8Lossy(text);
}

std::u16string decimalText(int64_t value)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return widenAscii(buffer);
}

std::u16string decimalText(uint64_t value)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(value));
    return widenAscii(buffer);
}

std::u16string decibelText(double decibels)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.1f dB", decibels);
    return widenAscii(buffer);
}

} // namespace kestravel::plugins
