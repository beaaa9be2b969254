#pragma once

#include "engine/Random.h"

#include <cstdint>

namespace engine {

struct Stream;

// The per-stream part of a control update after smoothing: loop rate, loop length, grain-clock
// increment (one draw when the increment is below 0x20000000) and ampNow. Thread: audio.
void updateStreamRates(Stream& stream, Lcg& rng);

// The loudness at the loop position (loopPos + Start), used by the rate and density modulations.
float loudnessAtLoop(const Stream& stream);

// Advances a stream's grain clock by one block of 8 frames. For each frame at which the clock
// reaches 0x10000000 (or went negative) `startGrain(k)` is called with the frame k in the block.
template <typename StartGrain>
void fireGrainClock(Stream& stream, StartGrain&& startGrain);

// Advances the loop by one block; returns true when it wrapped (drawing a new length deviation).
bool advanceLoop(Stream& stream, Lcg& rng);

}  // namespace engine

#include "engine/StreamClocks.inl"
