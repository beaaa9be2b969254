#pragma once

#include <array>
#include <cstdint>

#include "midi/MidiSettings.h"

namespace midi {

// Fields of a packed response row (see MidiSettings.h for the layout).
// Thread: any (pure).
constexpr int32_t responseTo(ResponseRow row) {
    return static_cast<int32_t>(row & 0x7F);
}
constexpr int32_t responseFrom(ResponseRow row) {
    return static_cast<int32_t>((row >> 8) & 0x7F);
}
constexpr uint32_t responseSourceFlags(ResponseRow row) {
    return row & 0x0F000000;
}
constexpr uint32_t responseSourceIndex(ResponseRow row) {
    return row >> 28;
}

inline constexpr int32_t kMaxPercent = 100;

// Each returns the row with one field replaced; percentages are clamped to 0..100.
ResponseRow withTo(ResponseRow row, int32_t percent);
ResponseRow withFrom(ResponseRow row, int32_t percent);
ResponseRow withTargetIndex(ResponseRow row, uint32_t index);
// Sets the source's flags and its index together (bits 24..31).
ResponseRow withSourceIndex(ResponseRow row, uint32_t index);

// A row is worth keeping when it has a source, a target and a span.
bool isUsableRow(ResponseRow row);

// Keeps the usable rows, moved up in order; the rest become 0.
std::array<ResponseRow, kResponseRowCount> compactRows(
    const std::array<ResponseRow, kResponseRowCount>& rows);

}  // namespace midi
