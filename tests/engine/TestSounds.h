#pragma once

#include "sounds/AmpTable.h"
#include "sounds/SoundTable.h"

#include <functional>
#include <string>
#include <vector>

namespace enginetest {

// Fills table record `index` with a sound whose sample of frame i, channel c is `sample(i, c)`,
// as the loader would (guard region, AmpTable, one user).
inline sounds::Sound& makeSound(sounds::SoundTable& table, int index, int32_t frames, int channels,
                                int32_t sampleRate, const std::function<float(int32_t, int)>& sample) {
    sounds::Sound& sound = table.record(index);
    sound.path = "/test/sound" + std::to_string(index) + ".wav";
    sound.frames = frames;
    sound.channels = static_cast<int16_t>(channels);
    sound.sampleRate = sampleRate;
    sound.unitsPerFrame = sound.ampUnitsPerFrame = sounds::unitsPerFrameOf(frames, channels);
    const int32_t guard = sounds::guardFramesOf(frames, sound.unitsPerFrame);
    sound.data.assign(static_cast<size_t>((frames + guard) * channels), 0.0f);
    for (int32_t k = 0; k < frames * channels; ++k)
        sound.data[static_cast<size_t>(k)] = sample(k / channels, k % channels);
    sounds::fillGuardRegion(sound, guard);
    sounds::buildAmpTable(sound);
    sound.refCount = 1;
    return sound;
}

}  // namespace enginetest
