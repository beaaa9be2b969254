#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace midi {

inline constexpr int kMidiNoteCount = 128;

// The Pitch parameter value for each MIDI note, 0..127. Note 60 gives 6144, at
// which a grain plays at the sound's own pitch; notes 120..127 give the top of
// the range, 16384.
const std::array<int16_t, kMidiNoteCount>& notePitchTable();

inline int32_t notePitchValue(int note) {
    return notePitchTable()[static_cast<size_t>(note)];
}

}  // namespace midi
