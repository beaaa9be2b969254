#pragma once

#include <cstdint>

namespace midi {

// The last note event, as the MIDI response reads it.
struct LastNote {
    int32_t stream = 0;      // the stream the note was played into
    int32_t note = -1;       // -1: none
    int32_t velocity = -1;   // centred value, -1: none
    int32_t pitchBend = 0;   // -16384 .. 16511
    int32_t aftertouch = 0;  // centred value
};

// A 7-bit value centred so that 1..127 spans 0..128 with 64 in the middle.
constexpr int32_t centred(int32_t value) {
    constexpr int32_t kMiddle = 64;
    if (value < kMiddle)
        return value - 1;
    if (value > kMiddle)
        return value + 1;
    return value;
}

}  // namespace midi
