// A PLAYER and a RECORDER run side by side on one host clock, the PLAYER's sync events and
// audio routed into the RECORDER in the same block, as a DAW routes one track into another.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>

namespace kestravel::plugins {

struct SessionOptions
{
    std::filesystem::path playerBundle;
    std::filesystem::path recorderBundle;
    std::filesystem::path source; // the PLAYER's file
    std::filesystem::path take;   // the RECORDER's destination
    std::int32_t block = 512;
    // Frames processed after the transport stops; by default the RECORDER's "Tail silence time" and two blocks.
    std::optional<std::int64_t> tailFrames;
};

struct SessionReport
{
    std::filesystem::path armedTake; // where the RECORDER armed: the destination or a "-takeN" name
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    std::int64_t sourceFrames = 0;
    std::int64_t playedFrames = 0; // frames processed with the transport playing
    std::int64_t tailFrames = 0;   // frames processed after it stopped
    std::int32_t startEvents = 0;  // sync messages routed
    std::int32_t stopEvents = 0;
    std::int32_t otherEvents = 0;
    // The take as written.
    std::int64_t takeFrames = 0;
    std::uint32_t takeChannels = 0;
    std::int64_t matchingFrames = 0; // leading frames equal to the source, sample for sample
    bool tailSilent = true;          // every take frame after the source is silent

    bool aligned() const { return takeChannels == channels && matchingFrames == sourceFrames && takeFrames >= sourceFrames; }
};

// Throws HostError with the reason when a module cannot be loaded, refuses its file or set-up,
// or a block fails. Progress lines go to log when given.
SessionReport runSession(const SessionOptions& options, std::ostream* log);

} // namespace kestravel::plugins
