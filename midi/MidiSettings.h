#pragma once

#include <array>
#include <cstdint>

namespace midi {

inline constexpr int kResponseRowCount = 6;
// Response targets 0..12 ("None" .. "Output amp"); the 4-bit field could name 13..15.
inline constexpr uint32_t kResponseTargetCount = 13;
inline constexpr uint32_t kDefaultResponseOptions = 0x72D;

// Packed response row: To in bits 0..6, From in bits 8..14, target index in
// bits 16..19, source kind flags in bits 24..27, source index in bits 28..31.
using ResponseRow = uint32_t;

inline constexpr int kResponseTargetShift = 16;
inline constexpr uint32_t kResponseTargetMask = 0xF;

constexpr uint32_t responseTargetIndex(ResponseRow row) {
    return (row >> kResponseTargetShift) & kResponseTargetMask;
}

// True when the row's target index names an entry of the target table.
constexpr bool hasValidTarget(ResponseRow row) {
    return responseTargetIndex(row) < kResponseTargetCount;
}

// The MIDI settings that are kept with the user's settings. The device list
// and the open device handle belong to the MIDI input itself.
struct MidiSettings {
    int32_t selectedDevice = 0;  // list position of the input device to open; -1 none
    int32_t channel = 0;         // 0 omni, 1..16 one channel
    bool moveSliders = true;     // MIDI changes of the current stream also move the scroll bars
    bool monitorInput = true;    // show incoming messages in the status line
    bool relativeFine = false;   // fine controllers 36..64 are relative increments
    uint32_t responseOptions = kDefaultResponseOptions;  // packed word, decoded by the MIDI response
    std::array<ResponseRow, kResponseRowCount> responseRows{};

    bool operator==(const MidiSettings&) const = default;
};

// "MIDI monitor": bit 0 moveSliders, bit 1 monitorInput, bit 2 relativeFine.
uint32_t packMonitorFlags(const MidiSettings& settings);
void unpackMonitorFlags(uint32_t word, MidiSettings& settings);

}  // namespace midi
