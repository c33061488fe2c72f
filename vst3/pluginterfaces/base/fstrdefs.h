// String literal macros and small constexpr helpers for 8- and 16-bit text.
#pragma once

#include "ftypes.h"

#define SMTG_CPP11_CAT_PRIVATE_DONT_USE(a, b) a##b
#define STR16(x) SMTG_CPP11_CAT_PRIVATE_DONT_USE (u, x)

#ifdef UNICODE
	#define STR(x) STR16 (x)
	#define tStrBufferSize(buffer) (sizeof (buffer) / sizeof (Steinberg::tchar))
#else
	#define STR(x) x
	#define tStrBufferSize(buffer) (sizeof (buffer))
#endif
#define str8BufferSize(buffer) (sizeof (buffer) / sizeof (Steinberg::char8))
#define str16BufferSize(buffer) (sizeof (buffer) / sizeof (Steinberg::char16))

#if SMTG_OS_WINDOWS
	#define FORMAT_INT64A "I64d"
	#define FORMAT_UINT64A "I64u"
	#define ENDLINE_A "\r\n"
	#define ENDLINE_W STR ("\r\n")
#else
	#define FORMAT_INT64A "lld"
	#define FORMAT_UINT64A "llu"
	#define ENDLINE_A "\n"
	#define ENDLINE_W STR ("\n")
#endif
#ifdef UNICODE
	#define FORMAT_INT64W STR (FORMAT_INT64A)
	#define FORMAT_UINT64W STR (FORMAT_UINT64A)
	#define FORMAT_INT64 FORMAT_INT64W
	#define FORMAT_UINT64 FORMAT_UINT64W
	#define ENDLINE ENDLINE_W
#else
	#define FORMAT_INT64 FORMAT_INT64A
	#define FORMAT_UINT64 FORMAT_UINT64A
	#define ENDLINE ENDLINE_A
#endif

namespace Steinberg {

static constexpr const tchar kEmptyString[] = {0};
static constexpr const char8 kEmptyString8[] = {0};
static constexpr const char16 kEmptyString16[] = {0};
#ifdef UNICODE
static constexpr const tchar kInfiniteSymbol[] = {0x221E, 0};
#else
static constexpr const tchar* const kInfiniteSymbol = "oo";
#endif

template <class T>
inline constexpr int32 _tstrlen (const T* s)
{
	int32 n = 0;
	while (s[n])
		++n;
	return n;
}
inline constexpr int32 tstrlen (const tchar* s) { return _tstrlen (s); }
inline constexpr int32 strlen8 (const char8* s) { return _tstrlen (s); }
inline constexpr int32 strlen16 (const char16* s) { return _tstrlen (s); }

// Compares as the interfaces expect: a shorter string that is a prefix sorts first.
template <class T>
inline constexpr int32 _tstrcmp (const T* a, const T* b)
{
	while (*a && *a == *b)
	{
		++a;
		++b;
	}
	if (*a == *b)
		return 0;
	if (*a == 0)
		return -1;
	if (*b == 0)
		return 1;
	return static_cast<int32> (*a - *b);
}
inline constexpr int32 tstrcmp (const tchar* a, const tchar* b) { return _tstrcmp (a, b); }
inline constexpr int32 strcmp8 (const char8* a, const char8* b) { return _tstrcmp (a, b); }
inline constexpr int32 strcmp16 (const char16* a, const char16* b) { return _tstrcmp (a, b); }

template <typename T>
inline constexpr int32 strcmpT (const T* a, const T* b) { return _tstrcmp (a, b); }

template <class T>
inline constexpr int32 _tstrncmp (const T* a, const T* b, uint32 count)
{
	if (count == 0)
		return 0;
	while (--count && *a && *a == *b)
	{
		++a;
		++b;
	}
	if (*a == *b)
		return 0;
	if (*a == 0)
		return -1;
	if (*b == 0)
		return 1;
	return static_cast<int32> (*a - *b);
}
inline constexpr int32 tstrncmp (const tchar* a, const tchar* b, uint32 n) { return _tstrncmp (a, b, n); }
inline constexpr int32 strncmp8 (const char8* a, const char8* b, uint32 n) { return _tstrncmp (a, b, n); }
inline constexpr int32 strncmp16 (const char16* a, const char16* b, uint32 n) { return _tstrncmp (a, b, n); }

template <typename T>
inline constexpr int32 strncmpT (const T* a, const T* b, uint32 n) { return _tstrncmp (a, b, n); }

template <class T>
inline constexpr T* _tstrcpy (T* dst, const T* src)
{
	int32 i = 0;
	do
		dst[i] = src[i];
	while (src[i++]);
	return dst;
}
inline constexpr tchar* tstrcpy (tchar* d, const tchar* s) { return _tstrcpy (d, s); }
inline constexpr char8* strcpy8 (char8* d, const char8* s) { return _tstrcpy (d, s); }
inline constexpr char16* strcpy16 (char16* d, const char16* s) { return _tstrcpy (d, s); }

// Like C strncpy: writes exactly `count` elements, zero-filling after the text; a source of
// `count` or more characters leaves the destination without a terminator.
template <class T>
inline constexpr T* _tstrncpy (T* dst, const T* src, uint32 count)
{
	uint32 i = 0;
	for (; i < count && src[i]; ++i)
		dst[i] = src[i];
	for (; i < count; ++i)
		dst[i] = 0;
	return dst;
}
inline constexpr tchar* tstrncpy (tchar* d, const tchar* s, uint32 n) { return _tstrncpy (d, s, n); }
inline constexpr char8* strncpy8 (char8* d, const char8* s, uint32 n) { return _tstrncpy (d, s, n); }
inline constexpr char16* strncpy16 (char16* d, const char16* s, uint32 n) { return _tstrncpy (d, s, n); }

template <class T>
inline constexpr T* _tstrcat (T* dst, const T* src)
{
	_tstrcpy (dst + _tstrlen (dst), src);
	return dst;
}
inline constexpr tchar* tstrcat (tchar* d, const tchar* s) { return _tstrcat (d, s); }
inline constexpr char8* strcat8 (char8* d, const char8* s) { return _tstrcat (d, s); }
inline constexpr char16* strcat16 (char16* d, const char16* s) { return _tstrcat (d, s); }

// Widens 8-bit text byte by byte. With n >= 1 the destination holds n elements: the text,
// cut at n - 1, then zeros up to the end. With n < 1 it copies through the terminator.
inline constexpr void str8ToStr16 (char16* dst, const char8* src, int32 n = -1)
{
	int32 i = 0;
	for (;; ++i)
	{
		if (i == n - 1)
		{
			dst[i] = 0;
			return;
		}
		dst[i] = static_cast<char16> (static_cast<unsigned char> (src[i]));
		if (src[i] == 0)
			break;
	}
	for (; i < n; ++i)
		dst[i] = 0;
}

inline constexpr bool FIDStringsEqual (FIDString a, FIDString b)
{
	return (a && b) ? strcmp8 (a, b) == 0 : false;
}

static constexpr const uint32 kPrintfBufferSize = 4096;

#if SMTG_OS_WINDOWS
inline wchar_t* wscast (char16* s) { return reinterpret_cast<wchar_t*> (s); }
inline char16* wscast (wchar_t* s) { return reinterpret_cast<char16*> (s); }
inline const wchar_t* wscast (const char16* s) { return reinterpret_cast<const wchar_t*> (s); }
inline const char16* wscast (const wchar_t* s) { return reinterpret_cast<const char16*> (s); }
#endif

} // namespace Steinberg
