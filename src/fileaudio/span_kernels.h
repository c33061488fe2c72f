#pragma once
// The PLAYER's inner loops over one span of a file's frames, each giving the very bits of the
// per-sample interpolation a + (b - a) * u: a de-interleaving copy where positions are whole
// frames, and the interpolation four channels (or a stereo pair) at a time where they are not.

#include "fileaudio/file_stream.h"

#include <cstdint>

namespace kestravel::plugins {

#if defined(__SSE2__)
inline constexpr bool kInterpolatesStereo = true;
#else
inline constexpr bool kInterpolatesStereo = false;
#endif

// [audio thread] Output frames [at, at + m) of every non-null row from file frames f.. of span,
// at weight 0 (the frame itself, as the interpolation computes it).
void copySpan(float* const* rows, uint32_t rowCount, uint32_t at, const FrameSpan& span, uint64_t f,
              uint32_t m, uint64_t fileFrames) noexcept;

// [audio thread] Output frames [at, at + m): row j from channel min(j, channels - 1), between the
// samples at offsets a[i] and b[i] of span.data (channel 0 of each frame) with weight u[i].
void interpolateSpan(float* const* rows, uint32_t rowCount, uint32_t at, const FrameSpan& span,
                     const uint32_t* a, const uint32_t* b, const float* u, uint32_t m) noexcept;

// [audio thread] A stereo span's output frames [at, at + m) at file positions p, all of whose
// frames and next frames lie in span; rows 0 and 1 are not null. Needs SSE2 (kInterpolatesStereo).
void interpolateStereo(float* const* rows, uint32_t channelCount, uint32_t at, const FrameSpan& span,
                       const double* p, uint32_t m) noexcept;

} // namespace kestravel::plugins
