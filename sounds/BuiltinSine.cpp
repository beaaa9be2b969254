#include "sounds/BuiltinSine.h"

#include "sounds/AmpTable.h"

#include <cmath>
#include <numbers>

namespace sounds {

namespace {
constexpr double kSineCycles = 5.0;
}

void makeBuiltinSine(Sound& sound, uint32_t outputRate) {
    constexpr double pi = std::numbers::pi;
    sound.refCount = 1;
    sound.path = kBuiltinSinePath;
    sound.frames = kBuiltinSineFrames;
    sound.sampleRate = kBuiltinSineRate;
    sound.channels = 1;
    sound.data.resize(kBuiltinSineFrames + kBuiltinSineGuardFrames);
    // sin(10 × (−π + i × π / 8192)): the phase runs over 2π × 5 in 8192 frames.
    for (size_t i = 0; i < sound.data.size(); ++i)
        sound.data[i] = static_cast<float>(
            std::sin(2.0 * kSineCycles * (-pi + static_cast<double>(i) * pi / kBuiltinSineFrames)));
    sound.unitsPerFrame = static_cast<float>(kWholeSound / kBuiltinSineFrames);
    sound.ampUnitsPerFrame = sound.unitsPerFrame;
    sound.ampTable.assign(kBuiltinSineFrames, kAmpTableNeutral);
    setOutputRate(sound, outputRate);
}

}  // namespace sounds
