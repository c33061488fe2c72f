#pragma once
// A host bus's channel pointers in the block's sample width.

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <type_traits>

namespace kestravel::plugins {

template <typename S>
S** channelArray(const Steinberg::Vst::AudioBusBuffers& bus) noexcept
{
    if constexpr (std::is_same_v<S, Steinberg::Vst::Sample32>)
        return bus.channelBuffers32;
    else
        return bus.channelBuffers64;
}

} // namespace kestravel::plugins
