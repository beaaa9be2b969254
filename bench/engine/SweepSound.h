#pragma once
// The sound the engine benchmarks play besides the built-in sine: what a performer loads.
#include "sounds/SoundTable.h"
#include "tests/engine/TestSounds.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace benchsounds {

inline constexpr int32_t kSweepRate = 44100;
inline constexpr int32_t kSweepFrames = 10 * kSweepRate;

// A sine sweeping from 100 Hz to 10 kHz over ten seconds at half scale, recorded at 44100 Hz,
// as sox's "synth 10 sine 100-10000 vol 0.5" writes it, in table record `index`; the same sweep
// in each of `channels` channels.
inline sounds::Sound& loadSweep(sounds::SoundTable& table, int index = 0, int channels = 1) {
    return enginetest::makeSound(table, index, kSweepFrames, channels, kSweepRate, [](int32_t i, int) {
        const double t = static_cast<double>(i) / kSweepRate;
        const double f0 = 100.0;
        const double slope = (10000.0 - f0) / 10.0;
        return static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * (f0 * t + slope * t * t / 2)));
    });
}

}  // namespace benchsounds
