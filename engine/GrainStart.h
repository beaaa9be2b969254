#pragma once

#include "engine/Grain.h"
#include "engine/Random.h"

#include <cstdint>

namespace sounds {
struct Sound;
}

namespace engine {

struct Stream;

// Fills a new grain from its stream's smoothed parameters: start position, length, gains and pan,
// speed and glissando, attack and decay. Draws from `rng` in this order: start deviation (StartRnd
// not 0), length randomness (GrainLenRnd not 0), pan, pitch, glissando, attack (attack longer than 0
// frames), decay (decay longer than 0 frames). Thread: audio.
void shapeGrain(Grain& grain, Stream& stream, sounds::Sound& sound, Lcg& rng, uint32_t outputRate);

// The loudness (AmpTable value) at a grain of `lengthFrames` starting at `pos`.
float loudnessAtGrain(const sounds::Sound& sound, uint32_t pos, int32_t lengthFrames);

}  // namespace engine
