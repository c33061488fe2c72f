#include "engine/channel_kernels.h"

#include "engine/channel_ops.h"

namespace kestravel::plugins {

#if defined(KESTRAVEL_ENGINE_ISAS)
const ChannelKernels& sse41ChannelKernelTable() noexcept; // channel_kernels_sse41.cpp
const ChannelKernels& avx2ChannelKernelTable() noexcept;  // channel_kernels_avx2.cpp
#endif

const char* instructionSetName(InstructionSet set) noexcept
{
    switch (set) {
    case InstructionSet::Sse41: return "sse4.1";
    case InstructionSet::Avx2: return "avx2";
    default: return "baseline";
    }
}

const ChannelKernels& baselineChannelKernels() noexcept
{
    static constexpr ChannelKernels table = makeChannelKernels();
    return table;
}

const ChannelKernels* channelKernelsFor(InstructionSet set) noexcept
{
    if (set == InstructionSet::Baseline)
        return &baselineChannelKernels();
#if defined(KESTRAVEL_ENGINE_ISAS)
    __builtin_cpu_init();
    if (set == InstructionSet::Sse41 && __builtin_cpu_supports("sse4.1"))
        return &sse41ChannelKernelTable();
    if (set == InstructionSet::Avx2 && __builtin_cpu_supports("avx2"))
        return &avx2ChannelKernelTable();
#endif
    return nullptr;
}

const ChannelKernels& bestChannelKernels() noexcept
{
    for (auto set = kInstructionSets.rbegin(); set != kInstructionSets.rend(); ++set)
        if (const ChannelKernels* table = channelKernelsFor(*set))
            return *table;
    return baselineChannelKernels();
}

} // namespace kestravel::plugins
