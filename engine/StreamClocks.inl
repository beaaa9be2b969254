#pragma once

#include "engine/Stream.h"
#include "sounds/Sound.h"

namespace engine {

inline constexpr int kBlockFrames = 8;
// A grain phase with any of its top four bits set has reached 0x10000000 or gone negative.
inline constexpr uint32_t kPhaseOverflowBits = 0xF0000000u;

template <typename StartGrain>
void fireGrainClock(Stream& stream, StartGrain&& startGrain) {
    const auto inc = static_cast<uint32_t>(stream.grainPhaseInc);
    if (stream.grainPhase + (kBlockFrames - 1) * inc < sounds::kWholeSound) {
        stream.grainPhase += kBlockFrames * inc;
        return;
    }
    for (int k = 0; k < kBlockFrames; ++k) {
        if ((stream.grainPhase & kPhaseOverflowBits) != 0) {
            stream.grainPhase &= sounds::kPositionMask;
            startGrain(k);
        }
        stream.grainPhase += inc;
    }
}

}  // namespace engine
