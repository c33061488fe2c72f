#pragma once
// The host-free state of one module: everything the audio path reads and writes.
// UtilityPlugin derives from it; the engine and its tests use it without any host.

#include "engine/bus_limits.h"
#include "engine/meter_peaks.h"
#include "fileaudio/file_player.h"
#include "fileaudio/file_recorder.h"
#include "core/module_kind.h"
#include "core/parameter_ids.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestravel::plugins {

struct EngineState;

struct ModuleCore {
    explicit ModuleCore(ModuleKind moduleKind);
    ~ModuleCore();
    ModuleCore(const ModuleCore&) = delete;
    ModuleCore& operator=(const ModuleCore&) = delete;

    const ModuleKind kind;
    ParamValues paramValues;
    std::atomic<bool> isProcessing{false};
    bool syncRunning = false;
    int64_t sampleClock = 0; // continuous clock: never jumps
    // RECORDER's time stamps: the timeline position (projectTimeSamples, which jumps on locates
    // and loops) minus sampleClock for the block being processed, so the timeline sample of
    // clock position p is p + timelineOffset. 0 when the host gives no process context.
    int64_t timelineOffset = 0;
    // PLAYER chasing the host's timeline (latched at each start): the timeline clock
    // (projectTimeSamples, jumps on locates and loops) at this kernel call's first sample, and
    // where it would be had it not jumped.
    bool chasing = false;
    int64_t timelinePosition = 0;
    int64_t timelineNext = 0;
    FilePlayer player;
    FileRecorder recorder;
    MeterPeaks meters; // what the editor's meters read
    std::u16string destinationPath;
    std::vector<float> scratchBuffer;
    std::array<float*, kMaxChannels> playerChannels{};
    std::array<float*, kMaxChannels> recorderChannels{};
    double sampleRate = 48000.0;
    int32_t maxBlockSize = 512;
    // Smoothed gains. Only FADER BANK hears its strips, so only FADER BANK advances them.
    std::array<double, kMaxStrips> stripGainState{};
    double masterGainState = 1.0;
    // False until the first kernel call after construction or setProcessing(false): that call
    // starts every gain at its target, without a ramp.
    bool gainStatePrimed = false;

    // The module's bus counts (fixed per kind) and the host-controlled active state of each
    // bus, mirrored here so the audio path never touches the SDK bus objects.
    int32_t numInputBuses = 0;
    int32_t numOutputBuses = 0;
    std::array<std::atomic<bool>, kMaxBuses> inputBusActive{};
    std::array<std::atomic<bool>, kMaxBuses> outputBusActive{};

    // Samples per scratch row as last sized by resizeScratch (0 until then); the kernels use
    // the rows only for sub-blocks that fit.
    int32_t scratchRowLength = 0;

    // The audio path's own storage (change points, gain caches, smoothing tables, silence
    // bookkeeping); allocated by the constructor, sized by resizeScratch.
    const std::unique_ptr<EngineState> engine;

    // [controller thread, not processing] Sizes the scratch rows and points both row tables at
    // them; also rebuilds the smoothing table for the current sampleRate and blockSize.
    void resizeScratch(int32_t blockSize);
};

// Audio bus counts of a kind (inputs, outputs).
int32_t audioInputBusCount(ModuleKind kind) noexcept;
int32_t audioOutputBusCount(ModuleKind kind) noexcept;

} // namespace kestravel::plugins
