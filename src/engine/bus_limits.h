#pragma once
// How many buses a module offers at most, and how many channels a bus carries: the frame
// refuses wider arrangements, so the audio path sizes its tables by these.

#include <cstdint>

namespace kestravel::plugins {

inline constexpr int32_t kMaxBuses = 64;
inline constexpr int32_t kMaxChannels = 64;

} // namespace kestravel::plugins
