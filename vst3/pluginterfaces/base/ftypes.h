// Fixed-width basic types of the interfaces.
#pragma once

#include "fplatform.h"

#include <cstdint>

// Interfaces pass UTF-16 text unless a project opts out.
#ifdef UNICODE_OFF
	#ifdef UNICODE
		#undef UNICODE
	#endif
#else
	#define UNICODE 1
#endif
#ifdef UNICODE
	#define _UNICODE 1
#endif

namespace Steinberg {

typedef char int8;
typedef uint8_t uint8;
typedef unsigned char uchar;
typedef int16_t int16;
typedef uint16_t uint16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;

static const int32 kMaxInt32 = INT32_MAX;
static const int32 kMinInt32 = INT32_MIN;
static const int32 kMaxLong = kMaxInt32;
static const int32 kMinLong = kMinInt32;
static const uint32 kMaxInt32u = UINT32_MAX;
static const int64 kMaxInt64 = INT64_MAX;
static const int64 kMinInt64 = INT64_MIN;
static const uint64 kMaxInt64u = UINT64_MAX;

typedef int64 TSize;
typedef int32 tresult;

static const float kMaxFloat = 3.40282346638528860E38f;
static const double kMaxDouble = 1.7976931348623158E308;

#if SMTG_PLATFORM_64
typedef uint64 TPtrInt;
#else
typedef uint32 TPtrInt;
#endif

typedef uint8 TBool;

typedef char char8;
typedef char16_t char16;
#ifdef UNICODE
typedef char16 tchar;
#else
typedef char8 tchar;
#endif

typedef const char8* CStringA;
typedef const char16* CStringW;
typedef const tchar* CString;

inline bool strEmpty (const tchar* str) { return !str || *str == 0; }
inline bool str8Empty (const char8* str) { return !str || *str == 0; }
inline bool str16Empty (const char16* str) { return !str || *str == 0; }

// Identifier passed as 8-bit text (attribute and message names, class and interface ids).
typedef const char8* FIDString;

const FIDString kPlatformStringWin = "WIN";
const FIDString kPlatformStringMac = "MAC";
const FIDString kPlatformStringIOS = "IOS";
const FIDString kPlatformStringLinux = "Linux";
#if SMTG_OS_WINDOWS
const FIDString kPlatformString = kPlatformStringWin;
#else
const FIDString kPlatformString = kPlatformStringLinux;
#endif

typedef int32 UCoord;
static const UCoord kMaxCoord = static_cast<UCoord> (0x7FFFFFFF);
static const UCoord kMinCoord = static_cast<UCoord> (-0x7FFFFFFF);

// Byte-order reversal helpers.
template <typename T>
inline void FSwapBytes (T& value)
{
	auto* bytes = reinterpret_cast<unsigned char*> (&value);
	for (size_t i = 0; i < sizeof (T) / 2; ++i)
	{
		unsigned char t = bytes[i];
		bytes[i] = bytes[sizeof (T) - 1 - i];
		bytes[sizeof (T) - 1 - i] = t;
	}
}
static inline void FSwap (int8&) {}
static inline void FSwap (uint8&) {}
static inline void FSwap (int16& v) { FSwapBytes (v); }
static inline void FSwap (uint16& v) { FSwapBytes (v); }
static inline void FSwap (int32& v) { FSwapBytes (v); }
static inline void FSwap (uint32& v) { FSwapBytes (v); }
static inline void FSwap (int64& v) { FSwapBytes (v); }
static inline void FSwap (uint64& v) { FSwapBytes (v); }

} // namespace Steinberg

#define SWAP_16(w) ::Steinberg::FSwapBytes (w);
#define SWAP_32(l) ::Steinberg::FSwapBytes (l);
#define SWAP_64(i) ::Steinberg::FSwapBytes (i);

#ifndef SMTG_ALWAYS_INLINE
	#if defined(_MSC_VER)
		#define SMTG_ALWAYS_INLINE __forceinline
		#define SMTG_NEVER_INLINE __declspec(noinline)
	#else
		#define SMTG_ALWAYS_INLINE inline __attribute__((__always_inline__))
		#define SMTG_NEVER_INLINE __attribute__((noinline))
	#endif
#endif
