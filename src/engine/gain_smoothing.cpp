#include "engine/gain_smoothing.h"

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestravel::plugins {

namespace {

#if defined(__SSE2__)

// Two smoothers per SSE2 register; every lane is exactly the scalar recurrence (the packed
// subtract, multiply and add round as the scalar ones do).
//
// The lane count and the row stride are compile-time constants so the running values stay in
// registers and every store addresses off one pointer. A step is then bound by one smoother's
// chain (subtract, multiply, add); the other lanes ride along in its latency.
template <size_t Vectors, size_t Stride, bool Floor>
void runPairs(double* gains, const double* targets, int32_t count, double w, int32_t steps,
              double* rows) noexcept
{
    alignas(16) double start[2 * Vectors];
    alignas(16) double goal[2 * Vectors]; // read from memory each step: the registers are g's
    for (size_t lane = 0; lane < 2 * Vectors; ++lane) {
        const auto k = static_cast<int32_t>(lane);
        start[lane] = k < count ? gains[k] : 0.0;
        goal[lane] = k < count ? targets[k] : 0.0;
    }
    __m128d g[Vectors];
    for (size_t v = 0; v < Vectors; ++v)
        g[v] = _mm_load_pd(start + 2 * v);
    const __m128d step = _mm_set1_pd(w);
    const __m128d floor = _mm_set1_pd(kGainFloor);
    for (int32_t i = 0; i < steps; ++i) {
        double* column = rows + i;
        for (size_t v = 0; v < Vectors; ++v) {
            const __m128d t = _mm_load_pd(goal + 2 * v);
            g[v] = _mm_add_pd(g[v], _mm_mul_pd(_mm_sub_pd(t, g[v]), step));
            if constexpr (Floor)
                g[v] = _mm_and_pd(g[v], _mm_cmpge_pd(g[v], floor));
            _mm_storel_pd(column + (2 * v) * Stride, g[v]);
            _mm_storeh_pd(column + (2 * v + 1) * Stride, g[v]);
        }
    }
    for (size_t v = 0; v < Vectors; ++v)
        _mm_store_pd(start + 2 * v, g[v]);
    for (int32_t k = 0; k < count; ++k)
        gains[k] = start[k];
}

template <size_t Stride, bool Floor>
void runLanes(double* gains, const double* targets, int32_t count, double w, int32_t steps,
              double* rows) noexcept
{
    switch ((count + 1) / 2) {
    case 1: runPairs<1, Stride, Floor>(gains, targets, count, w, steps, rows); break;
    case 2: runPairs<2, Stride, Floor>(gains, targets, count, w, steps, rows); break;
    case 3: runPairs<3, Stride, Floor>(gains, targets, count, w, steps, rows); break;
    case 4: runPairs<4, Stride, Floor>(gains, targets, count, w, steps, rows); break;
    case 5: runPairs<5, Stride, Floor>(gains, targets, count, w, steps, rows); break;
    case 6: runPairs<6, Stride, Floor>(gains, targets, count, w, steps, rows); break;
    case 7: runPairs<7, Stride, Floor>(gains, targets, count, w, steps, rows); break;
    default: runPairs<8, Stride, Floor>(gains, targets, count, w, steps, rows); break;
    }
}

template <size_t Stride>
void runStrided(double* gains, const double* targets, int32_t count, double w, int32_t steps,
                double* rows) noexcept
{
    // Only a smoother heading for 0 can pass below the floor: the others skip the test.
    bool towardZero = false;
    for (int32_t k = 0; k < count; ++k)
        towardZero = towardZero || targets[k] < kGainFloor;
    if (towardZero)
        runLanes<Stride, true>(gains, targets, count, w, steps, rows);
    else
        runLanes<Stride, false>(gains, targets, count, w, steps, rows);
}

#endif

// Any stride, one lane after the other.
void runScalar(double* gains, const double* targets, int32_t count, double w, int32_t steps,
               double* rows, size_t stride) noexcept
{
    for (int32_t k = 0; k < count; ++k) {
        double* row = rows + static_cast<size_t>(k) * stride;
        double g = gains[k];
        for (int32_t i = 0; i < steps; ++i) {
            g = smoothingStep(g, targets[k], w);
            row[i] = g;
        }
        gains[k] = g;
    }
}

} // namespace

void runSmoothers(double* gains, const double* targets, int32_t count, double w, int32_t steps,
                  double* rows, size_t stride) noexcept
{
    if (count <= 0 || steps <= 0)
        return;
#if defined(__SSE2__)
    if (count <= kSmootherLanes) {
        if (stride == kSmootherStrideShort)
            return runStrided<kSmootherStrideShort>(gains, targets, count, w, steps, rows);
        if (stride == kSmootherStrideLong)
            return runStrided<kSmootherStrideLong>(gains, targets, count, w, steps, rows);
    }
#endif
    runScalar(gains, targets, count, w, steps, rows, stride);
}

} // namespace kestravel::plugins
