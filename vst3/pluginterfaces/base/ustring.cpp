#include "pluginterfaces/base/ustring.h"

#include <cinttypes>
#include <cstdio>

namespace Steinberg {

namespace {

// Copies up to srcSize elements (all when negative) and stops after a terminator; the last
// element of the destination is always set to zero.
template <class TDst, class TSrc>
void copyString (TDst* dst, int32 dstSize, const TSrc* src, int32 srcSize)
{
	if (!dst || dstSize <= 0)
		return;
	if (!src)
	{
		dst[0] = 0;
		return;
	}
	int32 count = dstSize;
	if (srcSize >= 0 && srcSize < dstSize)
		count = srcSize;
	int32 i = 0;
	for (; i < count; ++i)
	{
		if constexpr (sizeof (TSrc) == 1)
			dst[i] = static_cast<TDst> (static_cast<unsigned char> (src[i]));
		else
			dst[i] = static_cast<TDst> (src[i]);
		if (src[i] == 0)
			break;
	}
	if (i == count && count < dstSize)
		dst[count] = 0;
	dst[dstSize - 1] = 0;
}

// Narrows to ASCII for the C number parsers; anything outside 7-bit ends the text.
bool toNarrow (const char16* src, int32 size, char* out, size_t outSize)
{
	size_t n = 0;
	for (int32 i = 0; (size < 0 || i < size) && src[i] && n + 1 < outSize; ++i)
	{
		if (src[i] > 0x7F)
			break;
		out[n++] = static_cast<char> (src[i]);
	}
	out[n] = 0;
	return true;
}

bool widenInto (char16* dst, int32 dstSize, const char* text, int len)
{
	if (len < 0 || len >= dstSize)
		return false;
	for (int i = 0; i <= len; ++i)
		dst[i] = static_cast<char16> (static_cast<unsigned char> (text[i]));
	return true;
}

} // namespace

int32 UString::getLength () const
{
	int32 n = 0;
	while (n < thisSize && thisBuffer[n])
		++n;
	return n;
}

UString& UString::assign (const char16* src, int32 srcSize)
{
	copyString (thisBuffer, thisSize, src, srcSize);
	return *this;
}

UString& UString::append (const char16* src, int32 srcSize)
{
	int32 length = getLength ();
	if (length < thisSize)
		copyString (thisBuffer + length, thisSize - length, src, srcSize);
	return *this;
}

const UString& UString::copyTo (char16* dst, int32 dstSize) const
{
	copyString (dst, dstSize, thisBuffer, thisSize);
	return *this;
}

UString& UString::fromAscii (const char* src, int32 srcSize)
{
	copyString (thisBuffer, thisSize, src, srcSize);
	return *this;
}

const UString& UString::toAscii (char* dst, int32 dstSize) const
{
	copyString (dst, dstSize, thisBuffer, thisSize);
	return *this;
}

bool UString::scanFloat (double& value) const
{
	char narrow[512];
	toNarrow (thisBuffer, thisSize, narrow, sizeof (narrow));
	double v = 0.;
	if (std::sscanf (narrow, "%lf", &v) != 1)
		return false;
	value = v;
	return true;
}

bool UString::printFloat (double value, int32 precision)
{
	char text[512];
	int len = std::snprintf (text, sizeof (text), "%.*f", static_cast<int> (precision), value);
	return widenInto (thisBuffer, thisSize, text, len);
}

bool UString::scanInt (int64& value) const
{
	char narrow[512];
	toNarrow (thisBuffer, thisSize, narrow, sizeof (narrow));
	long long v = 0;
	if (std::sscanf (narrow, "%lld", &v) != 1)
		return false;
	value = static_cast<int64> (v);
	return true;
}

bool UString::printInt (int64 value)
{
	char text[64];
	int len = std::snprintf (text, sizeof (text), "%lld", static_cast<long long> (value));
	return widenInto (thisBuffer, thisSize, text, len);
}

} // namespace Steinberg
