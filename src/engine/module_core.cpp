#include "engine/module_core.h"

#include "engine/engine_state.h"

#include <cmath>

namespace kestravel::plugins {

int32_t audioInputBusCount(ModuleKind kind) noexcept
{
    switch (kind) {
    case INPUT:
    case OUTPUT:
    case BREAKOUT:
    case RECORDER:
    case DISTRIBUTOR: return 1;
    case PLAYER: return 0;
    default: return 64; // SUMMING, FADER BANK and the codes that fall back to it
    }
}

int32_t audioOutputBusCount(ModuleKind kind) noexcept
{
    switch (kind) {
    case INPUT:
    case OUTPUT:
    case SUMMING:
    case PLAYER:
    case RECORDER: return 1;
    default: return 64; // BREAKOUT, DISTRIBUTOR, FADER BANK
    }
}

ModuleCore::ModuleCore(ModuleKind moduleKind)
    : kind(moduleKind)
    , numInputBuses(audioInputBusCount(moduleKind))
    , numOutputBuses(audioOutputBusCount(moduleKind))
    , engine(std::make_unique<EngineState>())
{
    resetParamDefaults(paramValues);
    // Buses start inactive, as the SDK's do, until the host activates them.
    for (auto& active : inputBusActive)
        active.store(false);
    for (auto& active : outputBusActive)
        active.store(false);
}

ModuleCore::~ModuleCore() = default;

void ModuleCore::resizeScratch(int32_t blockSize)
{
    const size_t rowLength = blockSize > 0 ? static_cast<size_t>(blockSize) : 0;
    scratchBuffer.resize(static_cast<size_t>(kMaxChannels) * rowLength);
    for (size_t c = 0; c < static_cast<size_t>(kMaxChannels); ++c) {
        float* row = rowLength ? scratchBuffer.data() + c * rowLength : nullptr;
        playerChannels[c] = row;
        recorderChannels[c] = row;
    }
    scratchRowLength = static_cast<int32_t>(rowLength);

    // a^L for every sub-block length, computed the way the audio path would compute it.
    const double a = smoothingCoefficients(sampleRate).a;
    engine->powers.resize(rowLength + 1);
    for (size_t m = 0; m <= rowLength; ++m)
        engine->powers[m] = std::pow(a, static_cast<double>(m));
    engine->powersRate = sampleRate;
}

} // namespace kestravel::plugins
