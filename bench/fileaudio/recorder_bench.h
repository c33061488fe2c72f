#pragma once

namespace kestravel::plugins::bench {

// How long each real-time recorder run lasts (--rt_seconds=N; 60 for a full run).
extern double realtimeSeconds;

} // namespace kestravel::plugins::bench
