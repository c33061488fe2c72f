#pragma once
// Module kinds and their display names; shared by every room.

#include <cstdint>

namespace kestravel::plugins {

enum ModuleKind : int32_t {
    INPUT = 1,
    OUTPUT = 2,
    SUMMING = 3,
    BREAKOUT = 4,
    PLAYER = 5,
    RECORDER = 6,
    FADER_BANK = 7,
    DISTRIBUTOR = 8,
};

// Code 7 has no case of its own: it, and every unknown code, falls back to FADER BANK.
constexpr const char* kindDisplayName(int32_t kind) noexcept
{
    switch (kind) {
    case INPUT: return "KESTRAVEL INPUT";
    case OUTPUT: return "KESTRAVEL OUTPUT";
    case SUMMING: return "KESTRAVEL SUMMING";
    case BREAKOUT: return "KESTRAVEL BREAKOUT";
    case PLAYER: return "KESTRAVEL PLAYER";
    case RECORDER: return "KESTRAVEL RECORDER";
    case DISTRIBUTOR: return "KESTRAVEL DISTRIBUTOR";
    default: return "KESTRAVEL FADER BANK";
    }
}

} // namespace kestravel::plugins
