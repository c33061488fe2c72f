// Texts as the editor writes them: numbers, decibels and lenient UTF conversion.

#include <gtest/gtest.h>

#include "editor/text_util.h"

namespace kestravel::plugins {
namespace {

TEST(TextUtil, Numbers)
{
    EXPECT_EQ(decimalText(int64_t{-42}), u"-42");
    EXPECT_EQ(decimalText(uint64_t{18446744073709551615u}), u"18446744073709551615");
    const struct {
        double db;
        const char16_t* text;
    } cases[] = {{-90.0, u"-90.0 dB"}, {12.0, u"12.0 dB"}, {-39.0, u"-39.0 dB"}, {0.04, u"0.0 dB"},
                 // rounding to zero from below never shows "-0.0 dB"
                 {-0.04, u"0.0 dB"},      {-1e-12, u"0.0 dB"},    {-0.0, u"0.0 dB"},    {-0.051, u"-0.1 dB"},
                 {5.55, u"5.5 dB"},       {5.56, u"5.6 dB"}};
    for (const auto& c : cases)
        EXPECT_EQ(decibelText(c.db), c.text) << c.db;
}

TEST(TextUtil, Utf8ReplacesWhatItCannotDecode)
{
    const struct {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"plain", u"plain"},
        {"\xc3\xa4\xe2\x86\x92\xf0\x9f\x8e\xb5", u"\u00e4\u2192\U0001F3B5"},
        {"a\xffz", u"a\uFFFDz"},
        {"a\xc3", u"a\uFFFD"},            // cut short at the end
        {"a\xe2\x86z", u"a\uFFFDz"},      // cut short in the middle
        {"\xc0\xaf", u"\uFFFD"},          // overlong
        {"\xed\xa0\x80", u"\uFFFD"},      // a surrogate
        {"\xf4\x90\x80\x80", u"\uFFFD"},  // past U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lenientUtf8ToUtf16(c.in), c.out);
    }
    EXPECT_EQ(lenientUtf16ToUtf8(u"\u00e4\u2192\U0001F3B5"), "\xc3\xa4\xe2\x86\x92\xf0\x9f\x8e\xb5");
    EXPECT_EQ(lenientUtf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xef\xbf\xbdx");
}

} // namespace
} // namespace kestravel::plugins
