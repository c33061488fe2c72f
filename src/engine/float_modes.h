#pragma once
// Flush-to-zero and denormals-are-zero for the span of one process call. Subnormal numbers
// (the end of every decaying tail, most of all in 64-bit hosts) otherwise cost the processor
// tens of times a normal operation; flushed, they are 0, far below anything audible.

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#define KESTRAVEL_HAS_MXCSR 1
#endif

namespace kestravel::plugins {

#if defined(KESTRAVEL_HAS_MXCSR)
inline constexpr uint32_t kMxcsrFlushToZero = 0x8000;
inline constexpr uint32_t kMxcsrDenormalsAreZero = 0x0040;
#endif

// [audio thread, never allocates] Sets both modes on construction and gives the host back its
// own control word on destruction, exception flags included: nothing of the call leaks out.
class FlushDenormals {
public:
    FlushDenormals() noexcept
    {
#if defined(KESTRAVEL_HAS_MXCSR)
        hostWord = _mm_getcsr();
        const uint32_t wanted = hostWord | kMxcsrFlushToZero | kMxcsrDenormalsAreZero;
        changed = wanted != hostWord;
        if (changed)
            _mm_setcsr(wanted);
#endif
    }
    ~FlushDenormals()
    {
#if defined(KESTRAVEL_HAS_MXCSR)
        // Loading the word costs far more than reading it: load only when it differs.
        if (changed || _mm_getcsr() != hostWord)
            _mm_setcsr(hostWord);
#endif
    }
    FlushDenormals(const FlushDenormals&) = delete;
    FlushDenormals& operator=(const FlushDenormals&) = delete;

private:
#if defined(KESTRAVEL_HAS_MXCSR)
    uint32_t hostWord = 0;
    bool changed = false;
#endif
};

} // namespace kestravel::plugins
