// The channel loops built for AVX2 (this file alone is compiled with -mavx2, and without FMA:
// the results must stay those of separate multiplies and adds).

#include "engine/channel_kernels.h"

#include "engine/channel_ops.h"

namespace kestravel::plugins {

const ChannelKernels& avx2ChannelKernelTable() noexcept
{
    static constexpr ChannelKernels table = makeChannelKernels();
    return table;
}

} // namespace kestravel::plugins
