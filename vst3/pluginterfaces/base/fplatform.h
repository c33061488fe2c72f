// Platform, compiler and calling-convention switches shared by every interface header.
#pragma once

#define kLittleEndian 0
#define kBigEndian 1

#undef PLUGIN_API

#if defined(_WIN32)
	#define SMTG_OS_LINUX 0
	#define SMTG_OS_MACOS 0
	#define SMTG_OS_WINDOWS 1
	#define SMTG_OS_IOS 0
	#define SMTG_OS_OSX 0
	// mingw-w64 spells the CPU the GCC way until its own headers add the MSVC names.
	#if defined(_M_IX86) || defined(__i386__)
		#define SMTG_CPU_X86 1
	#else
		#define SMTG_CPU_X86 0
	#endif
	#if defined(_M_AMD64) || defined(__x86_64__)
		#define SMTG_CPU_X86_64 1
	#else
		#define SMTG_CPU_X86_64 0
	#endif
	#if defined(_M_ARM)
		#define SMTG_CPU_ARM 1
	#else
		#define SMTG_CPU_ARM 0
	#endif
	#if defined(_M_ARM64) || defined(__aarch64__)
		#define SMTG_CPU_ARM_64 1
	#else
		#define SMTG_CPU_ARM_64 0
	#endif
	#if defined(_M_ARM64EC)
		#define SMTG_CPU_ARM_64EC 1
	#else
		#define SMTG_CPU_ARM_64EC 0
	#endif
	#define SMTG_OS_WINDOWS_ARM (SMTG_CPU_ARM_64EC || SMTG_CPU_ARM_64 || SMTG_CPU_ARM)
	#define BYTEORDER kLittleEndian
	// Interface IDs and result codes follow COM on Windows.
	#define COM_COMPATIBLE 1
	#define PLUGIN_API __stdcall
	#define SMTG_PTHREADS 0
	#define SMTG_EXPORT_SYMBOL __declspec(dllexport)
	#define SMTG_HIDDEN_SYMBOL
	#if defined(_WIN64) || defined(_M_ARM64)
		#define SMTG_PLATFORM_64 1
	#else
		#define SMTG_PLATFORM_64 0
	#endif
	#ifndef WIN32
		#define WIN32 1
	#endif
	#define SMTG_DEPRECATED_ATTRIBUTE(message) __declspec(deprecated("Is Deprecated: " message))
#elif (defined(__gnu_linux__) && __gnu_linux__) || (defined(__linux__) && __linux__)
	#define SMTG_OS_LINUX 1
	#define SMTG_OS_MACOS 0
	#define SMTG_OS_WINDOWS 0
	#define SMTG_OS_WINDOWS_ARM 0
	#define SMTG_OS_IOS 0
	#define SMTG_OS_OSX 0
	#if defined(__i386__)
		#define SMTG_CPU_X86 1
	#else
		#define SMTG_CPU_X86 0
	#endif
	#if defined(__x86_64__)
		#define SMTG_CPU_X86_64 1
	#else
		#define SMTG_CPU_X86_64 0
	#endif
	#if defined(__arm__)
		#define SMTG_CPU_ARM 1
	#else
		#define SMTG_CPU_ARM 0
	#endif
	#if defined(__aarch64__)
		#define SMTG_CPU_ARM_64 1
	#else
		#define SMTG_CPU_ARM_64 0
	#endif
	#define SMTG_CPU_ARM_64EC 0
	#include <endian.h>
	#if __BYTE_ORDER == __LITTLE_ENDIAN
		#define BYTEORDER kLittleEndian
	#else
		#define BYTEORDER kBigEndian
	#endif
	#define COM_COMPATIBLE 0
	#define PLUGIN_API
	#define SMTG_PTHREADS 1
	#define SMTG_EXPORT_SYMBOL __attribute__((visibility("default")))
	#define SMTG_HIDDEN_SYMBOL __attribute__((visibility("hidden")))
	#if defined(__LP64__) && __LP64__
		#define SMTG_PLATFORM_64 1
	#else
		#define SMTG_PLATFORM_64 0
	#endif
#else
	#error "this VST 3 layer supports Windows and Linux only"
#endif

#ifdef __cplusplus
	#include <cstddef>
	#define SMTG_CPP11 (__cplusplus >= 201103L)
	#define SMTG_CPP14 (__cplusplus >= 201402L)
	#define SMTG_CPP17 (__cplusplus >= 201703L)
	#define SMTG_CPP20 (__cplusplus >= 202002L)
	#define SMTG_CPP11_STDLIBSUPPORT 1
	#define SMTG_HAS_NOEXCEPT 1
	#define SMTG_HAS_CPP11_CONSTEXPR SMTG_CPP11
	#define SMTG_HAS_CPP14_CONSTEXPR SMTG_CPP14
	#if !SMTG_CPP17
		#error "the VST 3 layer needs C++17 or later"
	#endif
#endif

// Short aliases that older plug-in code still spells.
#ifndef SMTG_RENAME_ASSERT
#define SMTG_RENAME_ASSERT 0
#endif
#if !SMTG_RENAME_ASSERT
	#undef WINDOWS
	#undef MAC
	#undef PTHREADS
	#undef PLATFORM_64
	#if SMTG_OS_WINDOWS
		#define WINDOWS SMTG_OS_WINDOWS
	#endif
	#define PLATFORM_64 SMTG_PLATFORM_64
	#define PTHREADS SMTG_PTHREADS
#endif

#define SMTG_OVERRIDE override
#define SMTG_CONSTEXPR constexpr
#define SMTG_CONSTEXPR14 constexpr
#define SMTG_NOEXCEPT noexcept

#ifndef SMTG_DEPRECATED_ATTRIBUTE
	#define SMTG_DEPRECATED_ATTRIBUTE(msg) [[deprecated(msg)]]
#endif
#define SMTG_DEPRECATED_MSG(msg) SMTG_DEPRECATED_ATTRIBUTE(msg)
