#pragma once
// The Broadcast WAVE "bext" chunk (EBU Tech 3285, version 2): where a take sits on the timeline
// and which take a file belongs to. RECORDER writes it into every file of a time-stamped take;
// the reader takes TimeReference as PLAYER's anchor and joins "-partN" files by their identity.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kestravel::plugins {

// Fixed part of the chunk body; every version has the same size (later versions carved their
// fields out of the reserved bytes). A coding history may follow it.
inline constexpr uint32_t kBextBodyBytes = 602;
// The smallest body that still holds TimeReference: older writers are read this far.
inline constexpr uint32_t kBextTimeReferenceEnd = 346;

struct BextChunk {
    std::string description;         // up to 256 ASCII bytes
    std::string originator;          // up to 32
    std::string originatorReference; // up to 32; RECORDER's take identity
    std::string originationDate;     // "yyyy-mm-dd"
    std::string originationTime;     // "hh:mm:ss"
    uint64_t timeReference = 0;      // timeline sample of the file's first frame, at the file's rate
    uint16_t version = 2;
};

// Fields longer than their slot are cut at the slot; shorter ones are padded with NULs.
std::array<uint8_t, kBextBodyBytes> encodeBext(const BextChunk& chunk) noexcept;

// nullopt when the body is too short to hold TimeReference. Text fields end at their first NUL.
std::optional<BextChunk> decodeBext(const uint8_t* body, uint32_t size);

// A take identity for OriginatorReference: "KTAKE-" and 16 hex digits of the given bits. The
// files of one take carry the same identity, so a "-partN" left by another take is never joined.
std::string makeTakeReference(uint64_t bits);

// True when candidate continues the take that `first` starts, after framesBefore frames: the
// same identity, and a TimeReference that many frames later.
bool continuesTake(const BextChunk& first, uint64_t framesBefore, const BextChunk& candidate) noexcept;

} // namespace kestravel::plugins
