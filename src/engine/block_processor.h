#pragma once
// The block frame around the signal kernels: validation of the host's block, the sample
// clock, sample-accurate parameter changes and sync commands, and the sub-block walk.

#include "engine/change_point.h"
#include "engine/module_core.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <cstdint>

namespace kestravel::plugins {

// [audio thread, processing; never allocates, frees, locks or waits] IAudioProcessor::process
// for every kind: kResultOk, or kInvalidArgument for a malformed block (then nothing is
// touched) or a sample size other than 32/64 bits (found at the first sub-block to render).
// Runs with flush-to-zero and denormals-are-zero set and restores the caller's modes.
Steinberg::tresult processBlock(ModuleCore& core, Steinberg::Vst::ProcessData& data) noexcept;

// [audio thread, never allocates] The kernel for samples [start, start + length) of the block
// in 32- or 64-bit buffers; sampleClock is the timeline position of sample start. The first
// call of a block must have start 0: it begins the block's silence bookkeeping.
void processSubBlock32(ModuleCore& core, Steinberg::Vst::ProcessData& data, int32_t start,
                       int32_t length) noexcept;
void processSubBlock64(ModuleCore& core, Steinberg::Vst::ProcessData& data, int32_t start,
                       int32_t length) noexcept;

// [audio thread] Applies one change point; sampleClock must be the position of its sample.
void applyChangePoint(ModuleCore& core, const ChangePoint& point) noexcept;

} // namespace kestravel::plugins
