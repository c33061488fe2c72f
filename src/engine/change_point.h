#pragma once
// One parameter change or transport-sync command taking effect inside a host block.

#include <cstdint>

namespace kestravel::plugins {

struct ChangePoint {
    int32_t sampleOffset = 0; // 0-based position within the block
    uint32_t paramId = 0;     // parameter id below kParamSlots, or a sync command code
    double value = 0.0;       // normalized value; 0.0 for sync commands
};

inline constexpr int32_t kMaxChangePoints = 4096;
inline constexpr int32_t kMaxParamQueues = 512;
inline constexpr int32_t kMaxPointsPerQueue = 4096;
inline constexpr int32_t kMaxScannedEvents = 4096;

// Sync commands share the id space of the points, above every parameter id.
inline constexpr uint32_t kSyncStartCode = 601;
inline constexpr uint32_t kSyncStopCode = 602;

} // namespace kestravel::plugins
