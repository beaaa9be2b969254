#pragma once

#include "sounds/Sound.h"

#include <cstdint>
#include <vector>

namespace sounds {

// Frames described by one AmpTable entry.
inline constexpr int32_t kAmpTableFrames = 100;
// The fewest entries an AmpTable has.
inline constexpr int32_t kAmpTableMinEntries = 20;
// The value of every entry of a table that cannot be measured (very short or silent sounds).
inline constexpr float kAmpTableNeutral = 0.5f;

// Entries of the AmpTable of a sound with `frames` frames: max(20, frames / 100 + 1).
int32_t ampTableSize(int32_t frames);

// Computes the loudness table of a sound from its first channel: a 10 Hz one-pole low-pass over the
// squared samples, sampled every 100 frames, normalised so that the largest value is 1.0. The last
// entry bridges to the first so that the table is continuous across the loop.
// Returns false, leaving no table, when memory runs out ("Memory allocation error for amptable").
bool buildAmpTable(Sound& sound);

// The entry at `index`, or the last entry for an index past the end.
inline float ampAt(const std::vector<float>& table, int64_t index) {
    const auto last = static_cast<int64_t>(table.size()) - 1;
    return table[static_cast<size_t>(index < last ? (index < 0 ? 0 : index) : last)];
}

}  // namespace sounds
