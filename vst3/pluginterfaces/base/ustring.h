// UString: a view on a fixed-size UTF-16 buffer with copy, widen/narrow and number printing.
#pragma once

#include "ftypes.h"

namespace Steinberg {

class UString
{
public:
	// size counts char16 elements of buffer, the terminator included.
	UString (char16* buffer, int32 size) : thisBuffer (buffer), thisSize (size) {}

	int32 getSize () const { return thisSize; }
	operator const char16* () const { return thisBuffer; }

	// Characters before the terminator, at most getSize ().
	int32 getLength () const;

	// Copies at most srcSize characters (all when negative), cut to fit, always terminated.
	UString& assign (const char16* src, int32 srcSize = -1);
	UString& append (const char16* src, int32 srcSize = -1);
	const UString& copyTo (char16* dst, int32 dstSize) const;

	// 8-bit text is widened byte by byte (ASCII and Latin-1).
	UString& fromAscii (const char* src, int32 srcSize = -1);
	UString& assign (const char* src, int32 srcSize = -1) { return fromAscii (src, srcSize); }
	// Narrowing keeps the low byte of each character.
	const UString& toAscii (char* dst, int32 dstSize) const;

	// Leading number of the text, as sscanf would read it; false when there is none.
	bool scanInt (int64& value) const;
	bool printInt (int64 value);
	bool scanFloat (double& value) const;
	// Fixed notation with `precision` decimals ("%.*f").
	bool printFloat (double value, int32 precision = 4);

protected:
	char16* thisBuffer;
	int32 thisSize;
};

template <int32 maxSize>
class UStringBuffer : public UString
{
public:
	UStringBuffer () : UString (data, maxSize) { data[0] = 0; }
	UStringBuffer (const char16* src, int32 srcSize = -1) : UString (data, maxSize)
	{
		data[0] = 0;
		if (src)
			assign (src, srcSize);
	}
	UStringBuffer (const char* src, int32 srcSize = -1) : UString (data, maxSize)
	{
		data[0] = 0;
		if (src)
			fromAscii (src, srcSize);
	}

protected:
	char16 data[static_cast<size_t> (maxSize)];
};

typedef UStringBuffer<128> UString128;
typedef UStringBuffer<256> UString256;

} // namespace Steinberg

#define USTRING(asciiString) Steinberg::UString256 (asciiString)
#define USTRINGSIZE(var) (sizeof (var) / sizeof (Steinberg::char16))
