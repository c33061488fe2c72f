#pragma once
// The gain law and the 3 ms one-pole smoother that every kind's gains move through.

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kestravel::plugins {

inline constexpr double kSmoothingSeconds = 0.003;

// A smoothed gain that falls below 2^-1000 (about -6000 dB) is held at exactly 0: a muted
// strip then really reaches silence. The floor sits far enough above the smallest normal double
// that no step of the smoother ever makes a subnormal number, so its curves are the same with
// or without the flush-to-zero mode that processing runs in (a step (0 - g) * w under that
// floor would flush to 0 and hold the gain where it is for ever).
inline constexpr double kGainFloor = 0x1p-1000;

// Normalized 0..1 is -90..+12 dB; 0 gives 10^-4.5, not silence.
inline double dbToLinear(double normalized) noexcept
{
    return std::pow(10.0, (normalized * 102.0 - 90.0) / 20.0);
}

struct SmoothingCoefficients {
    double a = 0.0; // per-sample decay of the distance to the target
    double w = 1.0; // 1 - a: the share of the distance covered per step
};

inline SmoothingCoefficients smoothingCoefficients(double sampleRate) noexcept
{
    // A rate that is not a positive number makes the gains jump instead of turning into NaN.
    const double a = sampleRate > 0.0 ? std::exp(-1.0 / (sampleRate * kSmoothingSeconds)) : 0.0;
    return {a, 1.0 - a};
}

// One smoothing step; the per-sample gains are exactly this recurrence.
inline double smoothingStep(double gain, double target, double w) noexcept
{
    const double next = gain + (target - gain) * w;
    return next < kGainFloor ? 0.0 : next;
}

// Where a smoother stands after L steps, in closed form (aPowL = a^L): the stored state.
inline double smoothedAfter(double gain, double target, double aPowL) noexcept
{
    const double next = target + (gain - target) * aPowL;
    return next < kGainFloor ? 0.0 : next;
}

inline constexpr int32_t kSmootherLanes = 16;
// Row strides with a fast path (the engine's two curve stores): 256 and 1024 samples, each
// padded by one cache line so that the rows written side by side fall in different cache sets.
inline constexpr size_t kSmootherStrideShort = 256 + 8;
inline constexpr size_t kSmootherStrideLong = 1024 + 8;

// [audio thread, never allocates] Runs up to kSmootherLanes independent smoothers side by side
// for `steps` steps (their dependency chains overlap instead of queueing):
// rows[k * stride + i] receives smoother k's value after step i + 1, and gains[k] is left at
// the last one. With up to kSmootherLanes smoothers at one of the fast strides, row count is
// scribbled on when count is odd, so rows must have room for it.
void runSmoothers(double* gains, const double* targets, int32_t count, double w, int32_t steps,
                  double* rows, size_t stride) noexcept;

} // namespace kestravel::plugins
