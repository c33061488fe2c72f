#pragma once
// Bypass: each output bus carries the input bus of the same index, channel for channel (outputs
// without a matching input are silent), crossfaded with the module's 3 ms smoothing. The kernel
// still runs underneath, so PLAYER's transport and RECORDER's take go on as they would.

#include "engine/module_core.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

namespace kestravel::plugins {

// [audio thread] Called once at the start and once at the end of every rendered block. The
// kernel's silence flags speak of its own output; when the bypass mixed anything into this
// block, the end call flags again from what the host will actually read.
void beginBypassBlock(ModuleCore& core) noexcept;
void finishBypassBlock(ModuleCore& core, Steinberg::Vst::ProcessData& data) noexcept;
// [audio thread] True while the outputs are the kernel's alone: bypass off and settled, or a
// kind whose output is its input anyway (RECORDER).
bool bypassSettledOff(ModuleCore& core) noexcept;
// [audio thread, never allocates] Keeps the dry inputs (non-finite samples as 0) of length <= kBypassChunk samples from
// start, before the kernel may overwrite them in place.
void keepDryInputs(ModuleCore& core, const Steinberg::Vst::ProcessData& data, int32_t start,
                   int32_t length) noexcept;
// [audio thread, never allocates] Mixes the kept dry inputs into the kernel's outputs and moves
// the mix toward the bypass switch.
void mixBypass(ModuleCore& core, Steinberg::Vst::ProcessData& data, int32_t start, int32_t length) noexcept;

} // namespace kestravel::plugins
