#include "pluginterfaces/base/funknown.h"

#include <atomic>
#include <cstdio>
#include <random>

namespace Steinberg {

namespace FUnknownPrivate {

int32 PLUGIN_API atomicAdd (int32& value, int32 amount)
{
	// The count lives in a plain int32 member (that is the ABI), so update it through atomic_ref.
	return std::atomic_ref<int32> (value).fetch_add (amount, std::memory_order_acq_rel) + amount;
}

} // namespace FUnknownPrivate

namespace {

uint32 bigEndianWord (const char* p)
{
	return (uint32 (uint8 (p[0])) << 24) | (uint32 (uint8 (p[1])) << 16) |
	       (uint32 (uint8 (p[2])) << 8) | uint32 (uint8 (p[3]));
}

int hexValue (char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

// Parses `count` hex digits into a word; false on any other character.
bool parseHex (const char8* s, int count, uint32& out)
{
	uint32 v = 0;
	for (int i = 0; i < count; ++i)
	{
		int h = hexValue (s[i]);
		if (h < 0)
			return false;
		v = (v << 4) | static_cast<uint32> (h);
	}
	out = v;
	return true;
}

} // namespace

FUID::FUID ()
{
	std::memset (data, 0, sizeof (TUID));
}

FUID::FUID (uint32 l1, uint32 l2, uint32 l3, uint32 l4)
{
	from4Int (l1, l2, l3, l4);
}

FUID::FUID (const FUID& f)
{
	std::memcpy (data, f.data, sizeof (TUID));
}

FUID::FUID (FUID&& other)
{
	std::memcpy (data, other.data, sizeof (TUID));
}

FUID& FUID::operator= (const FUID& f)
{
	std::memcpy (data, f.data, sizeof (TUID));
	return *this;
}

FUID& FUID::operator= (FUID&& other)
{
	std::memcpy (data, other.data, sizeof (TUID));
	return *this;
}

bool FUID::generate ()
{
	std::random_device device;
	std::mt19937_64 engine ((uint64 (device ()) << 32) ^ uint64 (device ()) ^
	                        uint64 (reinterpret_cast<TPtrInt> (this)));
	for (size_t i = 0; i < sizeof (TUID); i += 8)
	{
		uint64 r = engine ();
		std::memcpy (data + i, &r, 8);
	}
	return true;
}

bool FUID::isValid () const
{
	static const TUID zero = {0};
	return std::memcmp (data, zero, sizeof (TUID)) != 0;
}

void FUID::from4Int (uint32 l1, uint32 l2, uint32 l3, uint32 l4)
{
	const TUID bytes = INLINE_UID (l1, l2, l3, l4);
	std::memcpy (data, bytes, sizeof (TUID));
}

void FUID::to4Int (uint32& d1, uint32& d2, uint32& d3, uint32& d4) const
{
	d1 = getLong1 ();
	d2 = getLong2 ();
	d3 = getLong3 ();
	d4 = getLong4 ();
}

uint32 FUID::getLong1 () const
{
#if COM_COMPATIBLE
	const char b[4] = {data[3], data[2], data[1], data[0]};
	return bigEndianWord (b);
#else
	return bigEndianWord (data);
#endif
}

uint32 FUID::getLong2 () const
{
#if COM_COMPATIBLE
	const char b[4] = {data[5], data[4], data[7], data[6]};
	return bigEndianWord (b);
#else
	return bigEndianWord (data + 4);
#endif
}

uint32 FUID::getLong3 () const
{
	return bigEndianWord (data + 8);
}

uint32 FUID::getLong4 () const
{
	return bigEndianWord (data + 12);
}

void FUID::toString (char8* string) const
{
	if (!string)
		return;
	std::snprintf (string, 33, "%08X%08X%08X%08X", getLong1 (), getLong2 (), getLong3 (),
	               getLong4 ());
}

bool FUID::fromString (const char8* string)
{
	if (!string || std::strlen (string) != 32)
		return false;
	uint32 w[4];
	for (int i = 0; i < 4; ++i)
		if (!parseHex (string + 8 * i, 8, w[i]))
			return false;
	from4Int (w[0], w[1], w[2], w[3]);
	return true;
}

void FUID::toRegistryString (char8* string) const
{
	if (!string)
		return;
	uint32 l1, l2, l3, l4;
	to4Int (l1, l2, l3, l4);
	std::snprintf (string, 39, "{%08X-%04X-%04X-%04X-%04X%08X}", l1, l2 >> 16, l2 & 0xFFFF,
	               l3 >> 16, l3 & 0xFFFF, l4);
}

bool FUID::fromRegistryString (const char8* string)
{
	if (!string || std::strlen (string) != 38 || string[0] != '{' || string[37] != '}' ||
	    string[9] != '-' || string[14] != '-' || string[19] != '-' || string[24] != '-')
		return false;
	uint32 l1, a, b, c, d, l4;
	if (!parseHex (string + 1, 8, l1) || !parseHex (string + 10, 4, a) ||
	    !parseHex (string + 15, 4, b) || !parseHex (string + 20, 4, c) ||
	    !parseHex (string + 25, 4, d) || !parseHex (string + 29, 8, l4))
		return false;
	from4Int (l1, (a << 16) | b, (c << 16) | d, l4);
	return true;
}

void FUID::print (int32 style, char8* string, size_t stringBufferSize) const
{
	char8 local[128];
	if (!string || stringBufferSize == 0)
	{
		string = local;
		stringBufferSize = sizeof (local);
	}
	uint32 l1, l2, l3, l4;
	to4Int (l1, l2, l3, l4);
	const char8* pattern = "DECLARE_CLASS_IID (Interface, 0x%08X, 0x%08X, 0x%08X, 0x%08X)";
	switch (style)
	{
		case kINLINE_UID: pattern = "INLINE_UID (0x%08X, 0x%08X, 0x%08X, 0x%08X)"; break;
		case kDECLARE_UID: pattern = "DECLARE_UID (0x%08X, 0x%08X, 0x%08X, 0x%08X)"; break;
		case kFUID: pattern = "FUID (0x%08X, 0x%08X, 0x%08X, 0x%08X)"; break;
		default: break;
	}
	std::snprintf (string, stringBufferSize, pattern, l1, l2, l3, l4);
	if (string == local)
		std::printf ("%s\n", local);
}

} // namespace Steinberg
