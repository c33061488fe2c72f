#pragma once
// PLAYER and RECORDER in step: run state from the host transport or the module's own switch,
// the 7-byte sync messages PLAYER announces its starts and stops with, and the tail settings
// RECORDER hands to its recorder when capture is to end.

#include "engine/module_core.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstevents.h"

#include <cstdint>

namespace kestravel::plugins {

inline constexpr int32_t kSyncMessageSize = 7;
// F0 7D "KTS" command F7: system exclusive for non-commercial use, tagged for this family.
// Emitted events point at these, so they must live as long as the program.
inline constexpr Steinberg::uint8 kSyncStartMessage[kSyncMessageSize] = {0xF0, 0x7D, 'K', 'T',
                                                                         'S',  0x01, 0xF7};
inline constexpr Steinberg::uint8 kSyncStopMessage[kSyncMessageSize] = {0xF0, 0x7D, 'K', 'T',
                                                                        'S',  0x02, 0xF7};
inline constexpr double kTailThresholdDb = -80.0;

// "Tail silence time" and "Maximum tail" in seconds, never below 10 ms.
double tailSilenceSeconds(double normalized) noexcept;
double maximumTailSeconds(double normalized) noexcept;

// The command byte (1 start, 2 stop) of an exact sync message event, else 0. The event's
// offset and bus are not looked at.
int32_t syncCommand(const Steinberg::Vst::Event& event) noexcept;

// [audio thread, never allocates] Adds one sync message at offset to list (if any); a refused
// addEvent is not retried.
void emitSyncMessage(Steinberg::Vst::IEventList* list, const Steinberg::uint8* message,
                     int32_t offset) noexcept;

// [audio thread] Arms RECORDER's tail stop at sampleClock with the module's tail settings.
void requestTail(ModuleCore& core) noexcept;

// [audio thread] Starts RECORDER's capture at sampleClock, time-stamped with the timeline
// position of that sample when "Timestamp takes (BWF)" is on.
void startRecorderCapture(ModuleCore& core) noexcept;

// [audio thread] Once per kernel call, before any audio of it: derives the run state, acts on
// its edges (PLAYER playback and messages, RECORDER capture) and stores it in syncRunning.
void transportStep(ModuleCore& core, Steinberg::Vst::ProcessData& data, int32_t start) noexcept;

} // namespace kestravel::plugins
