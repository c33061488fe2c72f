#pragma once
// The per-channel loops of the kernels, one template over the host's sample type. Every
// written value is x narrowed to the output width, with a non-finite result written as 0;
// each loop reports whether it wrote anything other than 0 (of either sign).
//
// Included only by the files that build the loops for one instruction set each; the unnamed
// namespace keeps every such file's copies its own, so the linker never swaps one for another.

#include "engine/channel_kernels.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace kestravel::plugins {
namespace {

template <typename S>
using SampleBits = std::conditional_t<std::is_same_v<S, float>, uint32_t, uint64_t>;

// x narrowed to S, a non-finite result as 0. The narrowing is IEEE: a double beyond the float
// range becomes infinite (and is then written as 0), one just above FLT_MAX rounds down to it.
template <typename S>
inline S finiteOrZero(double x) noexcept
{
    const S y = static_cast<S>(x);
    return std::fabs(y) <= std::numeric_limits<S>::max() ? y : S(0);
}

template <typename S>
inline bool anyNonZero(SampleBits<S> bits) noexcept
{
    constexpr SampleBits<S> sign = SampleBits<S>{1} << (sizeof(S) * 8 - 1);
    return (bits & ~sign) != 0;
}

namespace detail {

template <typename S, typename In>
SampleBits<S> scaleByCurve(S* out, const In* in, const double* curve, int32_t n) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S y = finiteOrZero<S>(static_cast<double>(in[i]) * curve[i]);
        out[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

template <typename S, typename In>
SampleBits<S> scaleByConstant(S* out, const In* in, double gain, int32_t n) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S y = finiteOrZero<S>(static_cast<double>(in[i]) * gain);
        out[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

// Unity gain keeps the sample itself, in either width: widening, multiplying by 1 and narrowing
// would give it back, but under denormals-are-zero a subnormal sample would read as 0. Only the
// finiteness test is left, and it compares without changing the bits it keeps.
template <typename S>
inline S keepFinite(S v) noexcept
{
    return std::fabs(v) <= std::numeric_limits<S>::max() ? v : S(0);
}

template <typename S>
SampleBits<S> passFinite(S* out, const S* in, int32_t n) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S y = keepFinite(in[i]);
        out[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

// Same-buffer variants: with one pointer the compiler needs no overlap check to vectorise.
template <typename S>
SampleBits<S> scaleInPlaceByCurve(S* io, const double* curve, int32_t n) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S y = finiteOrZero<S>(static_cast<double>(io[i]) * curve[i]);
        io[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

template <typename S>
SampleBits<S> passFiniteInPlace(S* io, int32_t n) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S y = keepFinite(io[i]);
        io[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

template <typename S>
SampleBits<S> scaleInPlaceByConstant(S* io, double gain, int32_t n) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S y = finiteOrZero<S>(static_cast<double>(io[i]) * gain);
        io[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

} // namespace detail

// out[i] = in[i] * gain; a null input reads as silence. out may be in itself.
template <typename S, typename In>
bool writeScaled(S* out, const In* in, int32_t n, GainView gain) noexcept
{
    if (in == nullptr) {
        std::memset(out, 0, static_cast<size_t>(n) * sizeof(S));
        return false;
    }
    SampleBits<S> bits = 0;
    if constexpr (std::is_same_v<S, In>) {
        const bool unity = !gain.curve && gain.constant == 1.0;
        if (static_cast<const void*>(out) == static_cast<const void*>(in)) {
            bits = unity        ? detail::passFiniteInPlace(out, n)
                   : gain.curve ? detail::scaleInPlaceByCurve(out, gain.curve, n)
                                : detail::scaleInPlaceByConstant(out, gain.constant, n);
            return anyNonZero<S>(bits);
        }
        if (unity)
            return anyNonZero<S>(detail::passFinite(out, in, n));
    }
    bits = gain.curve ? detail::scaleByCurve(out, in, gain.curve, n)
                      : detail::scaleByConstant(out, in, gain.constant, n);
    return anyNonZero<S>(bits);
}

// acc[i] += in[i], in double.
template <typename In>
void accumulate(double* acc, const In* in, int32_t n) noexcept
{
    for (int32_t i = 0; i < n; ++i)
        acc[i] += static_cast<double>(in[i]);
}

// The table of one instruction set's loops.
constexpr ChannelKernels makeChannelKernels() noexcept
{
    ChannelKernels k;
    k.scale32 = &writeScaled<float, float>;
    k.scale64 = &writeScaled<double, double>;
    k.scale32From64 = &writeScaled<float, double>;
    k.scale64From32 = &writeScaled<double, float>;
    k.accumulate32 = &accumulate<float>;
    k.accumulate64 = &accumulate<double>;
    return k;
}

} // namespace
} // namespace kestravel::plugins
