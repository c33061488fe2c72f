#include "fileaudio/span_kernels.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace kestravel::plugins {

namespace {

// Rows at or past the file's channel count repeat its last channel.
uint64_t channelOfRow(uint32_t row, uint64_t channels) noexcept
{
    return std::min<uint64_t>(row, channels - 1);
}

// The interpolation at weight 0, as the resampling arithmetic does it: a + (b - a) * 0 with b the
// next frame. It is a itself except for -0, a difference past the float range and subnormals
// under DAZ, so it is computed, not dropped; in registers it costs next to nothing.
inline float weightZero(float a, float b) noexcept
{
    return a + (b - a) * 0.0f;
}

// De-interleaves m frames into one row per channel (rows may be null), each sample through
// weightZero with its next frame, which lies in memory right after (frame m included).
void copyWeighted(float* const* out, uint32_t rowCount, const float* src, uint32_t channels,
                  uint32_t m) noexcept
{
    const uint32_t used = std::min(rowCount, channels);
    uint32_t c = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps();
    const auto weigh = [zero](__m128 a, __m128 b) { return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), zero)); };
    if (channels == 1 && used == 1 && out[0]) {
        float* r = out[0];
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4)
            _mm_storeu_ps(r + i, weigh(_mm_loadu_ps(src + i), _mm_loadu_ps(src + i + 1)));
        for (; i < m; ++i)
            r[i] = weightZero(src[i], src[i + 1]);
        return;
    }
    if (channels == 2 && used == 2 && out[0] && out[1]) {
        float* r0 = out[0];
        float* r1 = out[1];
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4) {
            const float* f = src + 2 * i;
            const __m128 w0 = weigh(_mm_loadu_ps(f), _mm_loadu_ps(f + 2));
            const __m128 w1 = weigh(_mm_loadu_ps(f + 4), _mm_loadu_ps(f + 6));
            _mm_storeu_ps(r0 + i, _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(r1 + i, _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(3, 1, 3, 1)));
        }
        for (; i < m; ++i) {
            r0[i] = weightZero(src[2 * i], src[2 * i + 2]);
            r1[i] = weightZero(src[2 * i + 1], src[2 * i + 3]);
        }
        return;
    }
    // Four channels by four frames at a time, weighed while still interleaved, then transposed.
    for (; c + 4 <= used; c += 4) {
        float* r[4] = {out[c], out[c + 1], out[c + 2], out[c + 3]};
        if (!r[0] || !r[1] || !r[2] || !r[3])
            break;
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4) {
            const float* f = src + size_t{i} * channels + c;
            __m128 v[5];
            for (uint32_t q = 0; q < 5; ++q)
                v[q] = _mm_loadu_ps(f + q * size_t{channels});
            for (uint32_t q = 0; q < 4; ++q)
                v[q] = weigh(v[q], v[q + 1]);
            _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]);
            for (uint32_t q = 0; q < 4; ++q)
                _mm_storeu_ps(r[q] + i, v[q]);
        }
        for (; i < m; ++i) {
            const float* f = src + size_t{i} * channels + c;
            for (uint32_t q = 0; q < 4; ++q)
                r[q][i] = weightZero(f[q], f[q + channels]);
        }
    }
#endif
    for (; c < used; ++c) {
        float* r = out[c];
        if (!r)
            continue;
        const float* s = src + c;
        for (uint32_t i = 0; i < m; ++i)
            r[i] = weightZero(s[size_t{i} * channels], s[size_t{i + 1} * channels]);
    }
}

} // namespace

void copySpan(float* const* rows, uint32_t rowCount, uint32_t at, const FrameSpan& span, uint64_t f,
              uint32_t m, uint64_t fileFrames) noexcept
{
    const uint64_t channels = span.channels;
    const float* src = span.data + (f - span.first) * channels;
    const uint32_t used = static_cast<uint32_t>(std::min<uint64_t>(rowCount, channels));
    float* direct[64];
    for (uint32_t j = 0; j < used; ++j)
        direct[j] = rows[j] ? rows[j] + at : nullptr;
    // The file's last frame is its own next one; every other next frame follows in memory.
    const bool atEnd = f + m == fileFrames;
    const uint32_t inner = atEnd ? m - 1 : m;
    copyWeighted(direct, used, src, span.channels, inner);
    for (uint32_t j = 0; j < rowCount; ++j) {
        if (!rows[j])
            continue;
        const uint64_t c = channelOfRow(j, channels);
        float* out = rows[j] + at;
        if (j >= used) { // repeats the last channel
            if (rows[used - 1])
                std::memcpy(out, rows[used - 1] + at, inner * sizeof(float));
            else
                for (uint32_t i = 0; i < inner; ++i)
                    out[i] = weightZero(src[i * channels + c], src[(i + 1) * channels + c]);
        }
        if (atEnd) {
            const float last = src[(m - 1) * channels + c];
            out[m - 1] = weightZero(last, last);
        }
    }
}

void interpolateSpan(float* const* rows, uint32_t rowCount, uint32_t at, const FrameSpan& span,
                     const uint32_t* a, const uint32_t* b, const float* u, uint32_t m) noexcept
{
    const uint32_t channels = span.channels;
    uint32_t j = 0;
#if defined(__SSE2__)
    // Four channels of four output frames at a time: frame-wise loads of both neighbours, the
    // same float arithmetic lane by lane, a transpose into the rows.
    const uint32_t used = std::min(rowCount, channels);
    for (; j + 4 <= used; j += 4) {
        float* r0 = rows[j];
        float* r1 = rows[j + 1];
        float* r2 = rows[j + 2];
        float* r3 = rows[j + 3];
        if (!r0 || !r1 || !r2 || !r3)
            break;
        r0 += at;
        r1 += at;
        r2 += at;
        r3 += at;
        const float* s = span.data + j;
        uint32_t i = 0;
        __m128 v[4];
        for (; i + 4 <= m; i += 4) {
            for (uint32_t q = 0; q < 4; ++q) {
                const __m128 x = _mm_loadu_ps(s + a[i + q]);
                const __m128 y = _mm_loadu_ps(s + b[i + q]);
                v[q] = _mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(y, x), _mm_set1_ps(u[i + q])));
            }
            _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]);
            _mm_storeu_ps(r0 + i, v[0]);
            _mm_storeu_ps(r1 + i, v[1]);
            _mm_storeu_ps(r2 + i, v[2]);
            _mm_storeu_ps(r3 + i, v[3]);
        }
        float* r[4] = {r0, r1, r2, r3};
        for (; i < m; ++i)
            for (uint32_t q = 0; q < 4; ++q) {
                const float x = s[a[i] + q];
                const float y = s[b[i] + q];
                r[q][i] = x + (y - x) * u[i];
            }
    }
    if (channels == 2 && j == 0 && rowCount >= 2 && rows[0] && rows[1]) {
        // Stereo: both channels of two output frames in one vector.
        float* r0 = rows[0] + at;
        float* r1 = rows[1] + at;
        const float* s = span.data;
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4) {
            __m128 w[2];
            for (uint32_t h = 0; h < 2; ++h) {
                const uint32_t q = i + 2 * h;
                const auto* xa = reinterpret_cast<const __m64*>(s + a[q]);
                const auto* xb = reinterpret_cast<const __m64*>(s + a[q + 1]);
                const auto* ya = reinterpret_cast<const __m64*>(s + b[q]);
                const auto* yb = reinterpret_cast<const __m64*>(s + b[q + 1]);
                const __m128 x = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), xa), xb);
                const __m128 y = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), ya), yb);
                const __m128 k = _mm_set_ps(u[q + 1], u[q + 1], u[q], u[q]);
                w[h] = _mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(y, x), k));
            }
            _mm_storeu_ps(r0 + i, _mm_shuffle_ps(w[0], w[1], _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(r1 + i, _mm_shuffle_ps(w[0], w[1], _MM_SHUFFLE(3, 1, 3, 1)));
        }
        for (; i < m; ++i)
            for (uint32_t c = 0; c < 2; ++c) {
                const float x = s[a[i] + c];
                const float y = s[b[i] + c];
                (c == 0 ? r0 : r1)[i] = x + (y - x) * u[i];
            }
        j = 2;
    }
#endif
    for (; j < rowCount; ++j) {
        if (!rows[j])
            continue;
        const float* s = span.data + channelOfRow(j, channels);
        float* out = rows[j] + at;
        for (uint32_t i = 0; i < m; ++i) {
            const float x = s[a[i]];
            const float y = s[b[i]];
            out[i] = x + (y - x) * u[i];
        }
    }
}

#if defined(__SSE2__)
void interpolateStereo(float* const* rows, uint32_t channelCount, uint32_t at, const FrameSpan& span,
                       const double* p, uint32_t m) noexcept
{
    const float* s = span.data;
    const __m128i base = _mm_set1_epi32(static_cast<int32_t>(span.first));
    float* r0 = rows[0] + at;
    float* r1 = rows[1] + at;
    uint32_t q = 0;
    for (; q + 4 <= m; q += 4) {
        __m128 w[2];
        for (uint32_t h = 0; h < 2; ++h) {
            const __m128d x = _mm_loadu_pd(p + q + 2 * h);
            const __m128i whole = _mm_cvttpd_epi32(x);
            const __m128 weight = _mm_cvtpd_ps(_mm_sub_pd(x, _mm_cvtepi32_pd(whole)));
            const __m128i offset = _mm_slli_epi32(_mm_sub_epi32(whole, base), 1);
            const float* a0 = s + _mm_cvtsi128_si32(offset);
            const float* a1 = s + _mm_cvtsi128_si32(_mm_srli_si128(offset, 4));
            const __m128 xa = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(a0)),
                                           reinterpret_cast<const __m64*>(a1));
            const __m128 ya = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(a0 + 2)),
                                           reinterpret_cast<const __m64*>(a1 + 2));
            w[h] = _mm_add_ps(xa, _mm_mul_ps(_mm_sub_ps(ya, xa), _mm_unpacklo_ps(weight, weight)));
        }
        _mm_storeu_ps(r0 + q, _mm_shuffle_ps(w[0], w[1], _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(r1 + q, _mm_shuffle_ps(w[0], w[1], _MM_SHUFFLE(3, 1, 3, 1)));
    }
    for (; q < m; ++q) {
        const auto f = static_cast<uint32_t>(p[q]);
        const auto u = static_cast<float>(p[q] - static_cast<double>(f));
        const float* a = s + (f - span.first) * 2;
        r0[q] = a[0] + (a[2] - a[0]) * u;
        r1[q] = a[1] + (a[3] - a[1]) * u;
    }
    for (uint32_t j = 2; j < channelCount; ++j) // more rows repeat the last channel
        if (rows[j])
            std::memcpy(rows[j] + at, r1, m * sizeof(float));
}
#else
void interpolateStereo(float* const*, uint32_t, uint32_t, const FrameSpan&, const double*, uint32_t) noexcept {}
#endif

} // namespace kestravel::plugins
