// Basic VST 3 types and the version this layer implements.
#pragma once

#include "pluginterfaces/base/fstrdefs.h"

namespace Steinberg {
namespace Vst {

#ifndef kVstVersionString
#define kVstVersionString "VST 3.8.1"
#endif

#define kVstVersionMajor 3
#define kVstVersionMinor 8
#define kVstVersionSub 1

#define VST_VERSION ((kVstVersionMajor << 16) | (kVstVersionMinor << 8) | kVstVersionSub)

#define VST_3_8_1_VERSION 0x030801
#define VST_3_8_0_VERSION 0x030800
#define VST_3_7_14_VERSION 0x03070E
#define VST_3_7_13_VERSION 0x03070D
#define VST_3_7_12_VERSION 0x03070C
#define VST_3_7_0_VERSION 0x030700
#define VST_3_6_0_VERSION 0x030600
#define VST_3_0_0_VERSION 0x030000

typedef char16 TChar;
typedef TChar String128[128];
typedef const char8* CString;

typedef int32 MediaType;
typedef int32 BusDirection;
typedef int32 BusType;
typedef int32 IoMode;
typedef int32 UnitID;
typedef double ParamValue;
typedef uint32 ParamID;
typedef int32 ProgramListID;
typedef int16 CtrlNumber;

typedef double TQuarterNotes;
typedef int64 TSamples;
typedef uint32 ColorSpec;

static const ParamID kNoParamId = 0xFFFFFFFF;
static const ParamID kMinParamId = 0;
static const ParamID kMaxParamId = 0x7FFFFFFF;

typedef float Sample32;
typedef double Sample64;
typedef double SampleRate;

// One bit per speaker.
typedef uint64 SpeakerArrangement;
typedef uint64 Speaker;

static constexpr const FIDString SDKVersionString = kVstVersionString;
static constexpr const uint32 SDKVersionMajor = kVstVersionMajor;
static constexpr const uint32 SDKVersionMinor = kVstVersionMinor;
static constexpr const uint32 SDKVersionSub = kVstVersionSub;
static constexpr const uint32 SDKVersion = (SDKVersionMajor << 16) | (SDKVersionMinor << 8) | SDKVersionSub;

} // namespace Vst
} // namespace Steinberg
