#pragma once
// Parameter ids, the shared value array and its one store rule.

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>

namespace kestravel::plugins {

inline constexpr uint32_t kActiveStripsParam = 0;
inline constexpr uint32_t kGainParam = 1;
inline constexpr uint32_t kFollowTransportParam = 2;
inline constexpr uint32_t kPlayRecordParam = 3;
inline constexpr uint32_t kBypassParam = 4;          // every kind
inline constexpr uint32_t kChasePositionParam = 5;   // PLAYER
inline constexpr uint32_t kTimestampTakesParam = 6;  // RECORDER
inline constexpr uint32_t kFaderGainParamBase = 100;
inline constexpr uint32_t kFaderMuteParamBase = 200;
inline constexpr uint32_t kTailSilenceTimeParam = 400;
inline constexpr uint32_t kMaximumTailParam = 401;
inline constexpr uint32_t kParamSlots = 512;
inline constexpr uint32_t kMaxStrips = 64;

// Every slot is written by one atomic exchange and read by one load, from any thread.
using ParamValues = std::array<std::atomic<double>, kParamSlots>;

// Fills the slots with the normalized defaults of every kind.
inline void resetParamDefaults(ParamValues& values) noexcept
{
    for (auto& v : values)
        v.store(0.0);
    values[kActiveStripsParam].store(1.0 / 9.0);
    values[kGainParam].store(15.0 / 17.0);
    values[kFollowTransportParam].store(1.0);
    values[kChasePositionParam].store(1.0); // a state saved before the switch existed holds 0
    values[kTimestampTakesParam].store(1.0); // a saved state from before keeps its 0 here
    for (uint32_t i = 0; i < kMaxStrips; ++i)
        values[kFaderGainParamBase + i].store(15.0 / 17.0);
    values[kTailSilenceTimeParam].store(0.05);
    values[kMaximumTailParam].store(1.0 / 120.0);
}

// [any thread] Ids past the array and non-finite values are dropped; the rest are clamped.
inline void storeParamValue(ParamValues& values, uint32_t id, double value) noexcept
{
    if (id >= kParamSlots || !std::isfinite(value))
        return;
    values[id].exchange(value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value));
}

// [any thread] getParamNormalized semantics: unknown ids read as 0.
inline double readParamValue(const ParamValues& values, uint32_t id) noexcept
{
    return id < kParamSlots ? values[id].load() : 0.0;
}

// "Active strips / branches", 1..64, read the way a host reads a parameter with 63 steps:
// step k covers the normalized values from k/64 up to (k+1)/64, and 1.0 is the last step.
// The engine, the editor and the value text all count with this one function, so what a host
// shows is what the module does; the editor's own values k/63 fall inside step k.
inline int32_t activeStripCount(double normalized) noexcept
{
    constexpr auto steps = static_cast<int32_t>(kMaxStrips) - 1;
    if (!(normalized > 0.0)) // NaN as well
        return 1;
    if (normalized >= 1.0)
        return steps + 1;
    const auto step = static_cast<int32_t>(normalized * static_cast<double>(steps + 1));
    return (step < steps ? step : steps) + 1;
}

} // namespace kestravel::plugins
