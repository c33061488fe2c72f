// The channel loops built for SSE4.1 (this file alone is compiled with -msse4.1). The source is
// the baseline's; what the compiler gains is a 32-bit integer max, so the loops that keep peaks
// take one instruction per vector for them where SSE2 needs four. No instruction it adds
// changes a result.

#include "engine/channel_kernels.h"

#include "engine/channel_ops.h"

namespace kestravel::plugins {

const ChannelKernels& sse41ChannelKernelTable() noexcept
{
    static constexpr ChannelKernels table = makeChannelKernels();
    return table;
}

} // namespace kestravel::plugins
