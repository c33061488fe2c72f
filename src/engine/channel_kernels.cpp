#include "engine/channel_kernels.h"

#include "engine/channel_ops.h"

namespace kestravel::plugins {

#if defined(KESTRAVEL_ENGINE_AVX2)
const ChannelKernels& avx2ChannelKernelTable() noexcept; // channel_kernels_avx2.cpp
#endif

const ChannelKernels& baselineChannelKernels() noexcept
{
    static constexpr ChannelKernels table = makeChannelKernels();
    return table;
}

const ChannelKernels* avx2ChannelKernels() noexcept
{
#if defined(KESTRAVEL_ENGINE_AVX2)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return &avx2ChannelKernelTable();
#endif
    return nullptr;
}

const ChannelKernels& bestChannelKernels() noexcept
{
    const ChannelKernels* wide = avx2ChannelKernels();
    return wide ? *wide : baselineChannelKernels();
}

} // namespace kestravel::plugins
