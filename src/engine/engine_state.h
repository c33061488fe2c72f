#pragma once
// Audio-thread working storage of one module: allocated once with the module and sized at
// set-up, so the block path never allocates.

#include "engine/bus_limits.h"
#include "engine/change_point.h"
#include "engine/channel_kernels.h"
#include "engine/gain_smoothing.h"
#include "core/parameter_ids.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kestravel::plugins {

inline constexpr int32_t kCurveChunk = 256; // samples per stretch when curves are made piecewise
inline constexpr size_t kChunkStride = kSmootherStrideShort;
inline constexpr size_t kEngineBuses = kMaxBuses;
inline constexpr size_t kMasterGainIndex = kMaxStrips; // gain index after the 64 strips

// Gain curves of one smoother for the call at hand and the calls that follow it while its
// target and the sub-block length stay put. Each call starts from the closed-form state the
// previous one left, so those curves are independent and can be made side by side.
struct SmootherLookahead {
    static constexpr int32_t kDepth = kSmootherLanes;
    static constexpr int32_t kMaxLength = 1024;
    static constexpr size_t kStride = kSmootherStrideLong;
    // Curves made per fill: as many calls as fit in about 4096 samples (8 to 16 calls).
    static constexpr int32_t kFillSamples = 4096;

    double target = 0.0;
    double w = -1.0; // no curves yet
    int32_t length = 0;
    int32_t count = 0;
    std::array<double, kDepth> starts{};
    std::array<double, kDepth * kStride> rows{}; // curve j at j * kStride
};

// While bypass is on or moving, blocks are rendered in chunks of this many samples.
inline constexpr int32_t kBypassChunk = 16;
inline constexpr size_t kBypassDrySamples = kEngineBuses * 64 * kBypassChunk; // buses x channels

struct EngineState {
    // The channel loops for this processor, chosen when the module is made.
    const ChannelKernels* kernels = &bestChannelKernels();

    // The block's change points and their walk order: (offset << 32) | gathering index.
    std::array<ChangePoint, kMaxChangePoints> changePoints{};
    std::array<uint64_t, kMaxChangePoints> pointOrder{};

    // The strip count of "Active strips / branches", keyed by the bits of the value it came from.
    uint64_t activeValueBits = ~uint64_t{0};
    int32_t activeCount = 1;
    // FADER BANK: every strip from here on is closed and its smoothed gain is exactly 0.
    int32_t stripBound = kMaxStrips;

    // dbToLinear results, keyed by the bits of the normalized value they came from.
    uint64_t masterValueBits = ~uint64_t{0};
    double masterLinear = 0.0;
    std::array<uint64_t, kMaxStrips> stripValueBits{};
    std::array<double, kMaxStrips> stripLinear{};

    // Smoothing coefficients for coefficientRate, and a^0..a^n built at set-up for powersRate.
    double coefficientRate = 0.0;
    SmoothingCoefficients coefficients{};
    double powersRate = 0.0;
    std::vector<double> powers;

    SmootherLookahead lookahead;
    // Piecewise curves, one row of kCurveChunk per moving smoother (plus a spare lane's row).
    std::array<double, (kMaxStrips + 2) * kChunkStride> chunkCurves{};

    // Per output bus over the current host block: channels written, and channels that
    // received a sample other than 0.
    std::array<uint64_t, kEngineBuses> writtenChannels{};
    std::array<uint64_t, kEngineBuses> nonZeroChannels{};

    // Bypass: the smoothed share of the dry input in the outputs (0 processed, 1 dry), and the
    // dry inputs of one bypass chunk, kept before the kernel may overwrite them in place.
    double bypassMix = 0.0;
    bool bypassMixed = false; // this block, so its silence flags are taken again at the end
    std::vector<double> bypassDry = std::vector<double>(kBypassDrySamples);

    EngineState() { stripValueBits.fill(~uint64_t{0}); }
};

} // namespace kestravel::plugins
