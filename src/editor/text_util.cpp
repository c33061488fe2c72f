#include "editor/text_util.h"

#include "core/text_utf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kestravel::plugins {

namespace {

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
    return utf8ToUtf16Lossy(text);
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
    // A value that rounds to zero is "0.0 dB", whichever side of zero it came from.
    if (std::strcmp(buffer, "-0.0 dB") == 0)
        return u"0.0 dB";
    return widenAscii(buffer);
}

int32_t decibelTenths(double decibels) noexcept
{
    // Read back from the text itself, so the two can never round apart.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.1f", decibels);
    const char* c = buffer;
    const bool negative = *c == '-';
    if (negative)
        ++c;
    int64_t tenths = 0;
    for (; *c; ++c) {
        if (*c >= '0' && *c <= '9')
            tenths = std::min<int64_t>(tenths * 10 + (*c - '0'), INT32_MAX);
        else if (*c != '.')
            return 0; // "nan", "inf"
    }
    return static_cast<int32_t>(negative ? -tenths : tenths);
}

} // namespace kestravel::plugins
