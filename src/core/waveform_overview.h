#pragma once
// What the PLAYER's editor draws of its file: the format, and the loudest sample of every
// column of the overview, worked out from every frame when the file is loaded (or, for a file
// played from disk, in the background after loading). Painting only reads it.

#include <array>
#include <cstdint>

namespace kestravel::plugins {

inline constexpr uint32_t kOverviewColumns = 898;

struct WaveformOverview {
    uint64_t frames = 0;
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    bool streamed = false; // played from disk: longer than the preload limit, or a take in parts
    bool anchored = false; // the file carries a timeline position: its first frame is at anchor
    uint64_t anchor = 0;   // timeline sample, at the file's rate
    // Largest magnitude over every channel of each column's frames; a NaN never counts.
    std::array<float, kOverviewColumns> peaks{};

    // [any thread] An overview of frames x channels at rate with every peak 0.
    static WaveformOverview empty(uint64_t frames, uint32_t channels, uint32_t rate) noexcept;
};

// The first frame of column j and the frame after its last: the file's frames split evenly,
// and every column at least one frame wide, so a short file repeats frames across columns.
uint64_t overviewColumnBegin(uint64_t frames, uint32_t column) noexcept;
uint64_t overviewColumnEnd(uint64_t frames, uint32_t column) noexcept;

// [any thread, not audio] Folds count interleaved frames, the first of them frame `from` of the
// file, into the peaks of the columns they belong to. Frames may come in any pieces, in order
// or not; the result is the same.
void addOverviewFrames(WaveformOverview& overview, const float* interleaved, uint64_t from,
                       uint64_t count) noexcept;

// [any thread, not audio] The whole overview of interleaved samples in one pass.
WaveformOverview computeOverview(const float* interleaved, uint64_t frames, uint32_t channels,
                                 uint32_t rate) noexcept;

} // namespace kestravel::plugins
