#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace engine {

inline constexpr size_t kEnvelopeSteps = 8192;
// Entries of 1.0 after the rise, for phases that overshoot the end of a segment.
inline constexpr size_t kEnvelopeTail = 100;
// An envelope phase in 0..0x0FFFFFFF indexes the envelope table as phase >> 15.
inline constexpr int kEnvelopeShift = 15;
inline constexpr size_t kPanSteps = 8192;
// Index of the centre gain sin(π/4) in the pan table.
inline constexpr int32_t kPanCentre = 4096;

using EnvelopeTable = std::array<float, kEnvelopeSteps + kEnvelopeTail>;
using PanTable = std::array<float, kPanSteps>;

// Thread: any (built once, then constant).
// Raised-cosine rise: entry i = 0.5 + 0.5 × cos(−π + i × π / 8192), then 100 entries of 1.0.
const EnvelopeTable& envelopeTable();
// Quarter sine: entry i = sin(i × π / 16384).
const PanTable& panTable();

}  // namespace engine
