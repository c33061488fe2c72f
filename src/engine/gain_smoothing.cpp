#include "engine/gain_smoothing.h"

#include <array>

namespace kestravel::plugins {

void runSmoothers(double* gains, const double* targets, int32_t count, double w, int32_t steps,
                  double* const* rows) noexcept
{
    // Unused lanes run a smoother resting at 0 and write nowhere.
    std::array<double, kSmootherLanes> g{};
    std::array<double, kSmootherLanes> t{};
    for (int32_t k = 0; k < count; ++k) {
        g[static_cast<size_t>(k)] = gains[k];
        t[static_cast<size_t>(k)] = targets[k];
    }
    for (int32_t i = 0; i < steps; ++i) {
        for (size_t k = 0; k < kSmootherLanes; ++k) {
            const double next = g[k] + (t[k] - g[k]) * w;
            g[k] = next < kGainFloor ? 0.0 : next;
        }
        for (int32_t k = 0; k < count; ++k)
            rows[k][i] = g[static_cast<size_t>(k)];
    }
    for (int32_t k = 0; k < count; ++k)
        gains[k] = g[static_cast<size_t>(k)];
}

} // namespace kestravel::plugins
