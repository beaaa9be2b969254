#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "midi/MidiSettings.h"

namespace midi {

// Source kind flags, as they sit in bits 24..27 of a response row.
inline constexpr uint32_t kSourceNote = 0x1000000;
inline constexpr uint32_t kSourcePitchBend = 0x2000000;
inline constexpr uint32_t kSourceVelocity = 0x4000000;
inline constexpr uint32_t kSourceAftertouch = 0x8000000;

struct ResponseSource {
    std::string_view text;  // as the dialog's source combo lists it
    uint32_t flags;
};
inline constexpr int kResponseSourceCount = 7;

// Indexed by the source index of bits 28..31.
inline constexpr std::array<ResponseSource, kResponseSourceCount> kResponseSources{{
    {"None", 0},
    {"Velocity", kSourceVelocity},
    {"Veloc/Aftouch", kSourceVelocity | kSourceAftertouch},
    {"Aftertouch", kSourceAftertouch},
    {"Pitchbend", kSourcePitchBend},
    {"Note/Pbend", kSourceNote | kSourcePitchBend},
    {"Note value", kSourceNote},
}};

struct ResponseTarget {
    std::string_view text;  // as the dialog's target combo lists it
    int param;              // parameter index, -1 for "None"
};

// Indexed by the target index of bits 16..19.
inline constexpr std::array<ResponseTarget, kResponseTargetCount> kResponseTargets{{
    {"None", -1},
    {"Sf rate", 4},
    {"AM --> Sf rate", 6},
    {"Grain freq", 7},
    {"Grain length", 10},
    {"Rand --> Pitch", 14},
    {"AM --> Pitch", 15},
    {"Glissando", 16},
    {"Rand --> Gliss", 17},
    {"AM --> Gliss", 18},
    {"Attack", 19},
    {"Decay", 21},
    {"Output amp", 23},
}};

// The parameter a row drives; nothing for target "None" or an index that has
// no entry (13..15, only possible through edited settings).
std::optional<int> responseTargetParam(ResponseRow row);

}  // namespace midi
