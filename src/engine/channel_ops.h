#pragma once
// The per-channel loops of the kernels, one template over the host's sample type. Every
// written value is x narrowed to the output width, with a non-finite result written as 0;
// each loop reports whether it wrote anything other than 0 (of either sign).
//
// Included only by the files that build the loops for one instruction set each; the unnamed
// namespace keeps every such file's copies its own, so the linker never swaps one for another.

#include "engine/channel_kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

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

template <typename S>
inline int32_t magnitudeKey(S x) noexcept
{
    return keyOfMagnitude(std::fabs(x));
}

// What a loop keeps besides the samples: nothing, the input's keys, the output's, or both.
enum : unsigned { kKeepNothing = 0, kKeepIn = 1, kKeepOut = 2 };

// One call's largest keys, before they join a channel's lanes.
struct PeakKeys {
    int32_t in = 0;
    int32_t out = 0;
};

inline void raiseLane(KeyLanes* lanes, int32_t key) noexcept
{
    lanes->key[0] = std::max(lanes->key[0], key);
}

namespace detail {

// Each loop in builds that keep no peaks, the input's, the output's or both; the writes and
// their bits are the same in all of them. The output's key is taken before a non-finite
// result becomes 0, from the magnitude the finiteness test computes anyway: a key at infinity
// then means "look again" (see writeScaledKeeping).

// One written sample: raw narrowed to S, or 0 when it is not finite.
template <unsigned kKeep, typename S, typename In>
inline S written(PeakKeys& k, In x, S raw) noexcept
{
    const S a = std::fabs(raw);
    if constexpr ((kKeep & kKeepIn) != 0)
        k.in = std::max(k.in, magnitudeKey(x));
    if constexpr ((kKeep & kKeepOut) != 0)
        k.out = std::max(k.out, keyOfMagnitude(a));
    return a <= std::numeric_limits<S>::max() ? raw : S(0);
}

// Unity gain keeps the sample itself, in either width: widening, multiplying by 1 and narrowing
// would give it back, but under denormals-are-zero a subnormal sample would read as 0. Only the
// finiteness test is left, and it compares without changing the bits it keeps. The input's key
// and the output's are one here.
template <unsigned kKeep, typename S>
inline S kept(PeakKeys& k, S x) noexcept
{
    return written<kKeep != 0 ? kKeepOut : 0u, S, S>(k, x, x);
}

template <unsigned kKeep, typename S, typename In>
SampleBits<S> scaleByCurve(S* out, const In* in, const double* curve, int32_t n, PeakKeys& k) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const In x = in[i];
        const S y = written<kKeep>(k, x, static_cast<S>(static_cast<double>(x) * curve[i]));
        out[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

template <unsigned kKeep, typename S, typename In>
SampleBits<S> scaleByConstant(S* out, const In* in, double gain, int32_t n, PeakKeys& k) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const In x = in[i];
        const S y = written<kKeep>(k, x, static_cast<S>(static_cast<double>(x) * gain));
        out[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

template <unsigned kKeep, typename S>
SampleBits<S> passFinite(S* out, const S* in, int32_t n, PeakKeys& k) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S y = kept<kKeep>(k, in[i]);
        out[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

// Same-buffer variants: with one pointer the compiler needs no overlap check to vectorise.
template <unsigned kKeep, typename S>
SampleBits<S> scaleInPlaceByCurve(S* io, const double* curve, int32_t n, PeakKeys& k) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S x = io[i];
        const S y = written<kKeep>(k, x, static_cast<S>(static_cast<double>(x) * curve[i]));
        io[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

template <unsigned kKeep, typename S>
SampleBits<S> passFiniteInPlace(S* io, int32_t n, PeakKeys& k) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S y = kept<kKeep>(k, io[i]);
        io[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

template <unsigned kKeep, typename S>
SampleBits<S> scaleInPlaceByConstant(S* io, double gain, int32_t n, PeakKeys& k) noexcept
{
    SampleBits<S> bits = 0;
    for (int32_t i = 0; i < n; ++i) {
        const S x = io[i];
        const S y = written<kKeep>(k, x, static_cast<S>(static_cast<double>(x) * gain));
        io[i] = y;
        bits |= std::bit_cast<SampleBits<S>>(y);
    }
    return bits;
}

template <unsigned kKeep, typename S, typename In>
SampleBits<S> writeScaledBits(S* out, const In* in, int32_t n, GainView gain, PeakKeys& k) noexcept
{
    if constexpr (std::is_same_v<S, In>) {
        const bool unity = !gain.curve && gain.constant == 1.0;
        if (unity) {
            const SampleBits<S> bits = out == in ? passFiniteInPlace<kKeep>(out, n, k) : passFinite<kKeep>(out, in, n, k);
            k.in = k.out;
            return bits;
        }
        if (out == in)
            return gain.curve ? scaleInPlaceByCurve<kKeep>(out, gain.curve, n, k)
                              : scaleInPlaceByConstant<kKeep>(out, gain.constant, n, k);
    }
    return gain.curve ? scaleByCurve<kKeep>(out, in, gain.curve, n, k)
                      : scaleByConstant<kKeep>(out, in, gain.constant, n, k);
}

// The key of what a loop wrote, read again after a non-finite result was written as 0. Rare,
// so out of line.
template <typename S>
[[gnu::noinline]] int32_t writtenKey(const S* out, int32_t n) noexcept
{
    int32_t key = 0;
    for (int32_t i = 0; i < n; ++i)
        key = std::max(key, magnitudeKey(out[i]));
    return key;
}

template <unsigned kKeep, typename S, typename In>
SampleBits<S> writeScaledKeeping(S* out, const In* in, int32_t n, GainView gain, PeakKeys& k) noexcept
{
    const SampleBits<S> bits = writeScaledBits<kKeep>(out, in, n, gain, k);
    if constexpr ((kKeep & kKeepOut) != 0) {
        // A non-finite result was written as 0: the output's peak is that of what was written.
        if (k.out >= kInfinityKey<S>)
            k.out = writtenKey(out, n);
    }
    return bits;
}

template <bool kKeepsIn, typename In>
void accumulate(double* acc, const In* in, int32_t n, PeakKeys& k) noexcept
{
    for (int32_t i = 0; i < n; ++i) {
        const In x = in[i];
        acc[i] += static_cast<double>(x);
        if constexpr (kKeepsIn)
            k.in = std::max(k.in, magnitudeKey(x));
    }
}

template <unsigned kKeep, typename In>
void accumulatePair(double* acc, const In* a, const In* b, int32_t n, PeakKeys& ka, PeakKeys& kb) noexcept
{
    for (int32_t i = 0; i < n; ++i) {
        const In x = a[i];
        const In y = b[i];
        acc[i] = (acc[i] + static_cast<double>(x)) + static_cast<double>(y);
        if constexpr ((kKeep & 1u) != 0)
            ka.in = std::max(ka.in, magnitudeKey(x));
        if constexpr ((kKeep & 2u) != 0)
            kb.in = std::max(kb.in, magnitudeKey(y));
    }
}

} // namespace detail

#if defined(__AVX2__)
// With AVX2 the keeping loops, and every scaling loop, are written out eight samples at a
// time, so their keys stay in vector lanes until they are folded into the channel's: no
// reduction per call. The samples and their bits are those of the baseline loops: the same
// IEEE operations in the same order. Keys are maxima, so the lanes they sit in need not follow
// the samples' order.
namespace wide {

inline __m256i magnitudeMask32() noexcept
{
    return _mm256_set1_epi32(0x7FFFFFFF);
}

// The samples past the last whole vector, as lanes of one more: the masked lanes are neither
// read nor written, and their keys stay 0.
struct TailMask {
    __m256i m32;  // eight 32-bit lanes
    __m256i lo64; // the first four as 64-bit lanes
    __m256i hi64; // the last four
    explicit TailMask(int32_t count) noexcept
        : m32(_mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7))),
          lo64(_mm256_cmpgt_epi64(_mm256_set1_epi64x(count), _mm256_setr_epi64x(0, 1, 2, 3))),
          hi64(_mm256_cmpgt_epi64(_mm256_set1_epi64x(count), _mm256_setr_epi64x(4, 5, 6, 7)))
    {
    }
};

template <typename T>
struct Eight;

template <>
struct Eight<float> {
    __m256 v;

    static Eight at(const float* p) noexcept { return {_mm256_loadu_ps(p)}; }
    static Eight narrowed(__m256d lo, __m256d hi) noexcept
    {
        return {_mm256_set_m128(_mm256_cvtpd_ps(hi), _mm256_cvtpd_ps(lo))};
    }
    __m256d low() const noexcept { return _mm256_cvtps_pd(_mm256_castps256_ps128(v)); }
    __m256d high() const noexcept { return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)); }
    // The same, converted from memory (p is where v came from): one instruction on the vector
    // pipes where the extract and the conversion take two, in loops those pipes bound.
    __m256d highFrom(const float* p) const noexcept { return _mm256_cvtps_pd(_mm_loadu_ps(p + 4)); }
    __m256 magnitude() const noexcept { return _mm256_and_ps(v, _mm256_castsi256_ps(magnitudeMask32())); }
    __m256i keys() const noexcept { return _mm256_castps_si256(magnitude()); }
    static Eight atMasked(const float* p, const TailMask& t) noexcept { return {_mm256_maskload_ps(p, t.m32)}; }
    void store(float* p) const noexcept { _mm256_storeu_ps(p, v); }
    void storeMasked(float* p, const TailMask& t) const noexcept { _mm256_maskstore_ps(p, t.m32, v); }
    // A float's key keeps every bit but the sign: a key above 0 is a sample other than 0.
    static constexpr bool kKeysTellZero = true;
    void orBits(__m256i&) const noexcept {}
};

template <>
struct Eight<double> {
    __m256d a;
    __m256d b;

    static Eight at(const double* p) noexcept { return {_mm256_loadu_pd(p), _mm256_loadu_pd(p + 4)}; }
    static Eight narrowed(__m256d lo, __m256d hi) noexcept { return {lo, hi}; }
    __m256d low() const noexcept { return a; }
    __m256d high() const noexcept { return b; }
    __m256d highFrom(const double*) const noexcept { return b; }
    static __m256d magnitude(__m256d x) noexcept
    {
        return _mm256_and_pd(x, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF)));
    }
    // a's keys in the low halves of the 64-bit lanes, b's in the high ones.
    __m256i keys() const noexcept
    {
        const __m256i ka = _mm256_srli_epi64(_mm256_castpd_si256(magnitude(a)), 32);
        const __m256i kb = _mm256_and_si256(_mm256_castpd_si256(magnitude(b)), _mm256_set1_epi64x(static_cast<long long>(0xFFFFFFFF00000000ULL)));
        return _mm256_or_si256(ka, kb);
    }
    static Eight atMasked(const double* p, const TailMask& t) noexcept
    {
        return {_mm256_maskload_pd(p, t.lo64), _mm256_maskload_pd(p + 4, t.hi64)};
    }
    void storeMasked(double* p, const TailMask& t) const noexcept
    {
        _mm256_maskstore_pd(p, t.lo64, a);
        _mm256_maskstore_pd(p + 4, t.hi64, b);
    }
    void store(double* p) const noexcept
    {
        _mm256_storeu_pd(p, a);
        _mm256_storeu_pd(p + 4, b);
    }
    // A double's key drops the low fraction bits, which a tiny sample may have alone.
    static constexpr bool kKeysTellZero = false;
    void orBits(__m256i& bits) const noexcept
    {
        bits = _mm256_or_si256(bits, _mm256_or_si256(_mm256_castpd_si256(a), _mm256_castpd_si256(b)));
    }
    static bool anyNonZero(__m256i bits) noexcept
    {
        return _mm256_testz_si256(bits, _mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF)) == 0;
    }
};

// GCC copies a running maximum to another register every round when the loop's last value
// has more than one use after it; one opaque use right after the loop stops that.
inline void settle(__m256i& m) noexcept
{
    asm("" : "+x"(m));
}

// Folds eight lanes into a channel's four; an input's are marked read (kRead) here, once per
// call, rather than in every lane the loop starts from.
template <bool kRead>
inline void fold(KeyLanes* lanes, __m256i m) noexcept
{
    auto* four = reinterpret_cast<__m128i*>(lanes->key.data()); // KeyLanes is 16-byte aligned
    settle(m);
    __m128i eight = _mm_max_epi32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
    if constexpr (kRead)
        eight = _mm_max_epi32(eight, _mm_set1_epi32(kReadKey));
    _mm_store_si128(four, _mm_max_epi32(eight, _mm_load_si128(four)));
}

enum class Gain { Unity, Constant, Curve };

// The loops' rare paths stay out of line and are reached by tail calls only: a call that
// returns to a function using 256-bit registers makes GCC realign its stack on every call.
template <typename In>
[[gnu::noinline]] void accumulateTail(double* acc, const In* in, int32_t n, KeyLanes* inKeys) noexcept
{
    PeakKeys k;
    detail::accumulate<true>(acc, in, n, k);
    raiseLane(inKeys, k.in);
}

template <unsigned kKeep, typename In>
[[gnu::noinline]] void pairTail(double* acc, const In* a, const In* b, int32_t n, KeyLanes* aKeys, KeyLanes* bKeys) noexcept
{
    PeakKeys ta, tb;
    detail::accumulatePair<kKeep>(acc, a, b, n, ta, tb);
    if constexpr ((kKeep & 1u) != 0)
        raiseLane(aKeys, ta.in);
    if constexpr ((kKeep & 2u) != 0)
        raiseLane(bKeys, tb.in);
}

// A loop wrote a non-finite result as it came: the plain in-place pass writes those as 0, and
// the output's keys and whether anything but 0 was written come from what stays. Rare, so out
// of line, and it takes the loop's own arguments, so the loop reaches it by a tail call.
template <unsigned kKeep, typename S>
[[gnu::noinline]] bool writeFiniteAgain(S* out, int32_t n, KeyLanes* outKeys) noexcept
{
    PeakKeys unused;
    const SampleBits<S> bits = detail::passFiniteInPlace<kKeepNothing>(out, n, unused);
    if constexpr ((kKeep & kKeepOut) != 0)
        raiseLane(outKeys, detail::writtenKey(out, n));
    return anyNonZero<S>(bits);
}

// Every build, the plain one too, writes its results as they come and keeps the largest key of
// what it wrote. That one maximum is the finiteness test (a key at infinity: a second pass writes
// those results as 0), tells whether anything but 0 was written, and is the output's peak, so
// the output's meter costs a fold and no more. The last samples go as one masked vector.
//
// kDerived: rounding is monotonic, so under one gain the largest |x| of a lane, scaled and
// narrowed as its samples were, is the largest |y| of that lane. The output's keys then come
// from the input's after the loop, which pays from a few dozen samples on. (A double's key
// has lost the bits that would make this exact.)
template <unsigned kKeep, Gain kGain, bool kDerived, typename S, typename In>
bool scaled(S* out, const In* in, int32_t n, GainView gain, KeyLanes* inKeys, KeyLanes* outKeys) noexcept
{
    // At unity what is written is what was read: one maximum serves both.
    constexpr bool kReadKeys = kDerived || ((kKeep & kKeepIn) != 0 && kGain != Gain::Unity);
    __m256i mi = _mm256_setzero_si256(), mo = mi, bits = mi;
    const auto step = [&](int32_t i, const TailMask* tail) {
        const Eight<In> x = tail ? Eight<In>::atMasked(in + i, *tail) : Eight<In>::at(in + i);
        Eight<S> raw;
        if constexpr (kGain == Gain::Unity) {
            raw = x;
        } else if constexpr (kGain == Gain::Curve) {
            const __m256d lo = tail ? _mm256_maskload_pd(gain.curve + i, tail->lo64) : _mm256_loadu_pd(gain.curve + i);
            const __m256d hi = tail ? _mm256_maskload_pd(gain.curve + i + 4, tail->hi64) : _mm256_loadu_pd(gain.curve + i + 4);
            raw = Eight<S>::narrowed(_mm256_mul_pd(x.low(), lo), _mm256_mul_pd(x.high(), hi));
        } else {
            const __m256d g = _mm256_set1_pd(gain.constant);
            raw = Eight<S>::narrowed(_mm256_mul_pd(x.low(), g), _mm256_mul_pd(x.high(), g));
        }
        if (tail)
            raw.storeMasked(out + i, *tail);
        else
            raw.store(out + i);
        if constexpr (!Eight<S>::kKeysTellZero)
            raw.orBits(bits);
        if constexpr (kReadKeys)
            mi = _mm256_max_epi32(mi, x.keys());
        if constexpr (!kDerived)
            mo = _mm256_max_epi32(mo, raw.keys());
    };
    int32_t i = 0;
    for (; i + 8 <= n; i += 8)
        step(i, nullptr);
    settle(mi);
    settle(mo);
    settle(bits);
    if (i < n) {
        const TailMask tail(n - i);
        step(i, &tail);
    }
    settle(mi);
    settle(mo);
    settle(bits);
    if constexpr (kDerived) {
        const Eight<float> largest{_mm256_castsi256_ps(mi)};
        const __m256d g = _mm256_set1_pd(std::fabs(gain.constant));
        mo = Eight<S>::narrowed(_mm256_mul_pd(largest.low(), g), _mm256_mul_pd(largest.high(), g)).keys();
    }
    if constexpr ((kKeep & kKeepIn) != 0)
        fold<true>(inKeys, kReadKeys ? mi : mo);
    const __m256i over = _mm256_cmpgt_epi32(mo, _mm256_set1_epi32(kInfinityKey<S> - 1));
    if (_mm256_testz_si256(over, over) == 0)
        return writeFiniteAgain<kKeep>(out, n, outKeys);
    if constexpr ((kKeep & kKeepOut) != 0)
        fold<false>(outKeys, mo);
    if constexpr (Eight<S>::kKeysTellZero)
        return _mm256_testz_si256(mo, mo) == 0;
    else
        return Eight<S>::anyNonZero(bits);
}

template <unsigned kKeep, typename S, typename In>
bool scaledBy(S* out, const In* in, int32_t n, GainView gain, KeyLanes* inKeys, KeyLanes* outKeys) noexcept
{
    if constexpr (std::is_same_v<S, In>)
        if (!gain.curve && gain.constant == 1.0)
            return scaled<kKeep, Gain::Unity, false>(out, in, n, gain, inKeys, outKeys);
    if (gain.curve)
        return scaled<kKeep, Gain::Curve, false>(out, in, n, gain, inKeys, outKeys);
    if constexpr (std::is_same_v<In, float> && kKeep == (kKeepIn | kKeepOut))
        if (n >= 64)
            return scaled<kKeep, Gain::Constant, true>(out, in, n, gain, inKeys, outKeys);
    return scaled<kKeep, Gain::Constant, false>(out, in, n, gain, inKeys, outKeys);
}

template <typename In>
void accumulateKeeping(double* acc, const In* in, int32_t n, KeyLanes* inKeys) noexcept
{
    __m256i mi = _mm256_setzero_si256();
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const Eight<In> x = Eight<In>::at(in + i);
        _mm256_storeu_pd(acc + i, _mm256_add_pd(_mm256_loadu_pd(acc + i), x.low()));
        _mm256_storeu_pd(acc + i + 4, _mm256_add_pd(_mm256_loadu_pd(acc + i + 4), x.highFrom(in + i)));
        mi = _mm256_max_epi32(mi, x.keys());
    }
    fold<true>(inKeys, mi);
    if (i < n)
        accumulateTail(acc + i, in + i, n - i, inKeys);
}

template <unsigned kKeep, typename In>
void accumulatePair(double* acc, const In* a, const In* b, int32_t n, KeyLanes* aKeys, KeyLanes* bKeys) noexcept
{
    __m256i ma = _mm256_setzero_si256(), mb = ma;
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const Eight<In> x = Eight<In>::at(a + i);
        const Eight<In> y = Eight<In>::at(b + i);
        _mm256_storeu_pd(acc + i, _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(acc + i), x.low()), y.low()));
        _mm256_storeu_pd(acc + i + 4, _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(acc + i + 4), x.highFrom(a + i)),
                                                    y.highFrom(b + i)));
        if constexpr ((kKeep & 1u) != 0)
            ma = _mm256_max_epi32(ma, x.keys());
        if constexpr ((kKeep & 2u) != 0)
            mb = _mm256_max_epi32(mb, y.keys());
    }
    if constexpr ((kKeep & 1u) != 0)
        fold<true>(aKeys, ma);
    if constexpr ((kKeep & 2u) != 0)
        fold<true>(bKeys, mb);
    if (i < n)
        pairTail<kKeep>(acc + i, a + i, b + i, n - i, aKeys, bKeys);
}

} // namespace wide
#endif

// Out of line and reached by a tail call, for the reason the AVX2 loops' rare paths are.
template <typename S>
[[gnu::noinline]] bool writeSilence(S* out, int32_t n) noexcept
{
    std::memset(out, 0, static_cast<size_t>(n) * sizeof(S));
    return false;
}

// out[i] = in[i] * gain; a null input reads as silence. out may be in itself.
template <unsigned kKeep, typename S, typename In>
bool writeScaled(S* out, const In* in, int32_t n, GainView gain, KeyLanes* inKeys, KeyLanes* outKeys) noexcept
{
    if (in == nullptr)
        return writeSilence(out, n);
#if defined(__AVX2__)
    return wide::scaledBy<kKeep>(out, in, n, gain, inKeys, outKeys);
#else
    PeakKeys k;
    if constexpr (kKeep == kKeepNothing) {
        return anyNonZero<S>(detail::writeScaledBits<kKeep>(out, in, n, gain, k));
    } else {
        // One reduction per call here; the lanes only take its result.
        const SampleBits<S> bits = detail::writeScaledKeeping<kKeep>(out, in, n, gain, k);
        if constexpr ((kKeep & kKeepIn) != 0)
            raiseLane(inKeys, std::max(k.in, kReadKey));
        if constexpr ((kKeep & kKeepOut) != 0)
            raiseLane(outKeys, k.out);
        return anyNonZero<S>(bits);
    }
#endif
}

// acc[i] += in[i], in double.
template <bool kKeep, typename In>
void accumulate(double* acc, const In* in, int32_t n, KeyLanes* inKeys) noexcept
{
    if constexpr (!kKeep) {
        PeakKeys k;
        detail::accumulate<false>(acc, in, n, k);
    } else {
#if defined(__AVX2__)
        wide::accumulateKeeping(acc, in, n, inKeys);
#else
        PeakKeys k;
        detail::accumulate<true>(acc, in, n, k);
        raiseLane(inKeys, std::max(k.in, kReadKey));
#endif
    }
}

template <unsigned kKeep, typename In>
void accumulatePair(double* acc, const In* a, const In* b, int32_t n, KeyLanes* aKeys, KeyLanes* bKeys) noexcept
{
    if constexpr (kKeep == 0) {
#if defined(__AVX2__)
        // Long stretches run faster through the wide loop; short ones through the compiler's.
        if (n >= 64)
            return wide::accumulatePair<0>(acc, a, b, n, aKeys, bKeys);
#endif
        PeakKeys ka, kb;
        detail::accumulatePair<0>(acc, a, b, n, ka, kb);
    } else {
#if defined(__AVX2__)
        wide::accumulatePair<kKeep>(acc, a, b, n, aKeys, bKeys);
#else
        PeakKeys ka, kb;
        detail::accumulatePair<kKeep>(acc, a, b, n, ka, kb);
        if constexpr ((kKeep & 1u) != 0)
            raiseLane(aKeys, std::max(ka.in, kReadKey));
        if constexpr ((kKeep & 2u) != 0)
            raiseLane(bKeys, std::max(kb.in, kReadKey));
#endif
    }
}

template <typename In>
constexpr std::array<ChannelKernels::AccumulatePair<In>, 4> pairLoops() noexcept
{
    return {&accumulatePair<0, In>, &accumulatePair<1, In>, &accumulatePair<2, In>, &accumulatePair<3, In>};
}

template <typename S, typename In>
constexpr std::array<ChannelKernels::Scale<S, In>, 4> scaleLoops() noexcept
{
    return {&writeScaled<kKeepNothing, S, In>, &writeScaled<kKeepIn, S, In>, &writeScaled<kKeepOut, S, In>,
            &writeScaled<kKeepIn | kKeepOut, S, In>};
}

// The table of one instruction set's loops.
constexpr ChannelKernels makeChannelKernels() noexcept
{
    ChannelKernels k;
    k.scale32 = scaleLoops<float, float>();
    k.scale64 = scaleLoops<double, double>();
    k.scale32From64 = scaleLoops<float, double>();
    k.scale64From32 = scaleLoops<double, float>();
    k.accumulate32 = {&accumulate<false, float>, &accumulate<true, float>};
    k.accumulate64 = {&accumulate<false, double>, &accumulate<true, double>};
    k.accumulatePair32 = pairLoops<float>();
    k.accumulatePair64 = pairLoops<double>();
    return k;
}

} // namespace
} // namespace kestravel::plugins
