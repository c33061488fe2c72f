#pragma once
// The channel loops as a table, one per instruction set: the baseline x86-64 build, and AVX2
// where the processor has it. Both tables compute the same IEEE operations in the same order,
// so they write the same bits; the wider one only does more samples per instruction.

#include <cstdint>

namespace kestravel::plugins {

// One gain for every sample of a stretch, or a curve with one gain per sample.
struct GainView {
    const double* curve = nullptr;
    double constant = 1.0;
};

struct ChannelKernels {
    // out[i] = in[i] * gain narrowed to the output width, non-finite as 0; a null input is
    // silence; out may be in itself. Returns whether anything other than 0 was written.
    bool (*scale32)(float* out, const float* in, int32_t n, GainView gain) = nullptr;
    bool (*scale64)(double* out, const double* in, int32_t n, GainView gain) = nullptr;
    bool (*scale32From64)(float* out, const double* in, int32_t n, GainView gain) = nullptr;
    bool (*scale64From32)(double* out, const float* in, int32_t n, GainView gain) = nullptr;
    // acc[i] += in[i] in double.
    void (*accumulate32)(double* acc, const float* in, int32_t n) = nullptr;
    void (*accumulate64)(double* acc, const double* in, int32_t n) = nullptr;

    template <typename S, typename In>
    bool scale(S* out, const In* in, int32_t n, GainView gain) const noexcept;
    template <typename In>
    void accumulate(double* acc, const In* in, int32_t n) const noexcept;
};

template <>
inline bool ChannelKernels::scale(float* out, const float* in, int32_t n, GainView g) const noexcept
{
    return scale32(out, in, n, g);
}
template <>
inline bool ChannelKernels::scale(double* out, const double* in, int32_t n, GainView g) const noexcept
{
    return scale64(out, in, n, g);
}
template <>
inline bool ChannelKernels::scale(float* out, const double* in, int32_t n, GainView g) const noexcept
{
    return scale32From64(out, in, n, g);
}
template <>
inline bool ChannelKernels::scale(double* out, const float* in, int32_t n, GainView g) const noexcept
{
    return scale64From32(out, in, n, g);
}
template <>
inline void ChannelKernels::accumulate(double* acc, const float* in, int32_t n) const noexcept
{
    accumulate32(acc, in, n);
}
template <>
inline void ChannelKernels::accumulate(double* acc, const double* in, int32_t n) const noexcept
{
    accumulate64(acc, in, n);
}

// [any thread] The loops for the baseline instruction set, always available.
const ChannelKernels& baselineChannelKernels() noexcept;
// [any thread] The AVX2 loops, or null when this build or this processor has none.
const ChannelKernels* avx2ChannelKernels() noexcept;
// [not audio thread] The widest table this processor runs; asks the processor once per call.
const ChannelKernels& bestChannelKernels() noexcept;

} // namespace kestravel::plugins
