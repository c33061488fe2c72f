#include "public.sdk/source/common/commonstringconvert.h"

namespace Steinberg {
namespace StringConvert {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at s[i], advancing i; malformed input yields U+FFFD and skips one byte.
char32_t decodeUtf8 (const std::string& s, size_t& i)
{
	const auto byte = [&] (size_t k) { return static_cast<unsigned char> (s[k]); };
	const unsigned char lead = byte (i);
	if (lead < 0x80)
	{
		++i;
		return lead;
	}
	size_t length = 0;
	char32_t cp = 0;
	char32_t minimum = 0;
	if ((lead & 0xE0) == 0xC0)
	{
		length = 2;
		cp = lead & 0x1Fu;
		minimum = 0x80;
	}
	else if ((lead & 0xF0) == 0xE0)
	{
		length = 3;
		cp = lead & 0x0Fu;
		minimum = 0x800;
	}
	else if ((lead & 0xF8) == 0xF0)
	{
		length = 4;
		cp = lead & 0x07u;
		minimum = 0x10000;
	}
	else
	{
		++i;
		return kReplacement;
	}
	if (i + length > s.size ())
	{
		++i;
		return kReplacement;
	}
	for (size_t k = 1; k < length; ++k)
	{
		const unsigned char next = byte (i + k);
		if ((next & 0xC0) != 0x80)
		{
			++i;
			return kReplacement;
		}
		cp = (cp << 6) | (next & 0x3Fu);
	}
	if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
	{
		++i;
		return kReplacement;
	}
	i += length;
	return cp;
}

void appendUtf8 (std::string& out, char32_t cp)
{
	if (cp < 0x80)
		out += static_cast<char> (cp);
	else if (cp < 0x800)
	{
		out += static_cast<char> (0xC0 | (cp >> 6));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
	else if (cp < 0x10000)
	{
		out += static_cast<char> (0xE0 | (cp >> 12));
		out += static_cast<char> (0x80 | ((cp >> 6) & 0x3F));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
	else
	{
		out += static_cast<char> (0xF0 | (cp >> 18));
		out += static_cast<char> (0x80 | ((cp >> 12) & 0x3F));
		out += static_cast<char> (0x80 | ((cp >> 6) & 0x3F));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
}

} // namespace

std::u16string convert (const std::string& utf8Str)
{
	std::u16string out;
	out.reserve (utf8Str.size ());
	for (size_t i = 0; i < utf8Str.size ();)
	{
		const char32_t cp = decodeUtf8 (utf8Str, i);
		if (cp >= 0x10000)
		{
			const char32_t v = cp - 0x10000;
			out += static_cast<char16_t> (0xD800 + (v >> 10));
			out += static_cast<char16_t> (0xDC00 + (v & 0x3FF));
		}
		else
			out += static_cast<char16_t> (cp);
	}
	return out;
}

std::string convert (const std::u16string& str)
{
	std::string out;
	out.reserve (str.size ());
	for (size_t i = 0; i < str.size (); ++i)
	{
		char32_t cp = str[i];
		if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < str.size () && str[i + 1] >= 0xDC00 &&
		    str[i + 1] <= 0xDFFF)
		{
			cp = 0x10000 + ((cp - 0xD800) << 10) + (str[i + 1] - 0xDC00u);
			++i;
		}
		else if (cp >= 0xD800 && cp <= 0xDFFF)
			cp = kReplacement; // unpaired surrogate
		appendUtf8 (out, cp);
	}
	return out;
}

std::string convert (const char* str, uint32_t max)
{
	std::string result;
	if (str)
		for (uint32_t i = 0; i < max && str[i]; ++i)
			result += str[i];
	return result;
}

} // namespace StringConvert
} // namespace Steinberg
