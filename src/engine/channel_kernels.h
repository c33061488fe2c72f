#pragma once
// The channel loops as a table, one per instruction set: the baseline x86-64 build, and SSE4.1
// and AVX2 where the processor has them. Every table computes the same IEEE operations in the
// same order, so they write the same bits; the wider ones only take fewer instructions.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace kestravel::plugins {

// One gain for every sample of a stretch, or a curve with one gain per sample.
struct GainView {
    const double* curve = nullptr;
    double constant = 1.0;
};

// Peaks for the meters come from the pass that moves the samples, not from a pass of their
// own. A loop keeps them as magnitude keys in a channel's lanes: running maxima raised in
// place, and only reduced to one value when the meters publish them, so a short stretch pays
// a few instructions for its peaks.
//
// A magnitude's key orders like it: the top 32 bits of |x| as an integer (a float's bits but
// the sign; a double's exponent and first 20 fraction bits). Integer maxima vectorise where
// floating ones, which must keep NaN, do not; and every non-finite key is at or above
// infinity's, so a NaN needs no test of its own.
inline constexpr int32_t kKeyLanes = 4;
struct alignas(16) KeyLanes {
    std::array<int32_t, kKeyLanes> key{};
};

// An input's lanes hold at least this key once a loop has read it, even silence, so the meters
// can tell a channel the kernel reads from one it leaves alone. It stands for no level at all.
inline constexpr int32_t kReadKey = 1;

template <typename S>
inline constexpr int32_t kInfinityKey = std::is_same_v<S, float> ? 0x7F800000 : 0x7FF00000;

template <typename S>
inline int32_t keyOfMagnitude(S a) noexcept // a = |x|
{
    if constexpr (std::is_same_v<S, float>)
        return static_cast<int32_t>(std::bit_cast<uint32_t>(a));
    else
        return static_cast<int32_t>(std::bit_cast<uint64_t>(a) >> 32);
}

// The peak a key of an S sample stands for, as the meters take it: non-finite as +infinity. A
// double's key drops its low bits, so a value below full scale never reads as 1 by rounding up.
template <typename S>
inline float peakOfKey(int32_t key) noexcept
{
    if (key >= kInfinityKey<S>)
        return std::numeric_limits<float>::infinity();
    if constexpr (std::is_same_v<S, float>)
        return std::bit_cast<float>(static_cast<uint32_t>(key));
    else
        return static_cast<float>(std::bit_cast<double>(static_cast<uint64_t>(static_cast<uint32_t>(key)) << 32));
}

// Each loop comes in one build per lane set it is given: [in given | out given << 1]. The build
// that keeps nothing is the plain loop it always was.
struct ChannelKernels {
    // out[i] = in[i] * gain narrowed to the output width, non-finite as 0; a null input is
    // silence; out is in itself or apart from it. Returns whether anything other than 0 (of
    // either sign) was written; raises inKeys by what it read and outKeys by what it wrote.
    template <typename S, typename In>
    using Scale = bool (*)(S* out, const In* in, int32_t n, GainView gain, KeyLanes* inKeys, KeyLanes* outKeys);
    // acc[i] += in[i] in double; raises inKeys by what it read.
    template <typename In>
    using Accumulate = void (*)(double* acc, const In* in, int32_t n, KeyLanes* inKeys);
    // acc[i] = (acc[i] + a[i]) + b[i]: two accumulations in one pass, in their order, so a sum
    // of many inputs waits on its running total half as often.
    template <typename In>
    using AccumulatePair = void (*)(double* acc, const In* a, const In* b, int32_t n, KeyLanes* aKeys, KeyLanes* bKeys);

    std::array<Scale<float, float>, 4> scale32{};
    std::array<Scale<double, double>, 4> scale64{};
    std::array<Scale<float, double>, 4> scale32From64{};
    std::array<Scale<double, float>, 4> scale64From32{};
    std::array<Accumulate<float>, 2> accumulate32{};
    std::array<Accumulate<double>, 2> accumulate64{};
    std::array<AccumulatePair<float>, 4> accumulatePair32{};
    std::array<AccumulatePair<double>, 4> accumulatePair64{};

    template <typename S, typename In>
    bool scale(S* out, const In* in, int32_t n, GainView gain, KeyLanes* inKeys = nullptr,
               KeyLanes* outKeys = nullptr) const noexcept;
    template <typename In>
    void accumulate(double* acc, const In* in, int32_t n, KeyLanes* inKeys = nullptr) const noexcept;
    template <typename In>
    void accumulatePair(double* acc, const In* a, const In* b, int32_t n, KeyLanes* aKeys = nullptr,
                        KeyLanes* bKeys = nullptr) const noexcept;

    static size_t build(const KeyLanes* inKeys, const KeyLanes* outKeys) noexcept
    {
        return (inKeys != nullptr ? 1u : 0u) | (outKeys != nullptr ? 2u : 0u);
    }
};

template <>
inline bool ChannelKernels::scale(float* out, const float* in, int32_t n, GainView g, KeyLanes* i, KeyLanes* o) const noexcept
{
    return scale32[build(i, o)](out, in, n, g, i, o);
}
template <>
inline bool ChannelKernels::scale(double* out, const double* in, int32_t n, GainView g, KeyLanes* i, KeyLanes* o) const noexcept
{
    return scale64[build(i, o)](out, in, n, g, i, o);
}
template <>
inline bool ChannelKernels::scale(float* out, const double* in, int32_t n, GainView g, KeyLanes* i, KeyLanes* o) const noexcept
{
    return scale32From64[build(i, o)](out, in, n, g, i, o);
}
template <>
inline bool ChannelKernels::scale(double* out, const float* in, int32_t n, GainView g, KeyLanes* i, KeyLanes* o) const noexcept
{
    return scale64From32[build(i, o)](out, in, n, g, i, o);
}
template <>
inline void ChannelKernels::accumulate(double* acc, const float* in, int32_t n, KeyLanes* i) const noexcept
{
    accumulate32[i != nullptr ? 1 : 0](acc, in, n, i);
}
template <>
inline void ChannelKernels::accumulate(double* acc, const double* in, int32_t n, KeyLanes* i) const noexcept
{
    accumulate64[i != nullptr ? 1 : 0](acc, in, n, i);
}
template <>
inline void ChannelKernels::accumulatePair(double* acc, const float* a, const float* b, int32_t n, KeyLanes* ka,
                                           KeyLanes* kb) const noexcept
{
    accumulatePair32[build(ka, kb)](acc, a, b, n, ka, kb);
}
template <>
inline void ChannelKernels::accumulatePair(double* acc, const double* a, const double* b, int32_t n, KeyLanes* ka,
                                           KeyLanes* kb) const noexcept
{
    accumulatePair64[build(ka, kb)](acc, a, b, n, ka, kb);
}

// The instruction sets the loops are built for, narrowest first.
enum class InstructionSet : uint8_t { Baseline, Sse41, Avx2 };
inline constexpr std::array kInstructionSets{InstructionSet::Baseline, InstructionSet::Sse41, InstructionSet::Avx2};
const char* instructionSetName(InstructionSet set) noexcept;

// [any thread] The loops for the baseline instruction set, always available.
const ChannelKernels& baselineChannelKernels() noexcept;
// [not audio thread] The loops for set, or null when this build or this processor lacks it;
// asks the processor once per call.
const ChannelKernels* channelKernelsFor(InstructionSet set) noexcept;
// [not audio thread] The widest table this processor runs.
const ChannelKernels& bestChannelKernels() noexcept;

} // namespace kestravel::plugins
