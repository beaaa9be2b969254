#pragma once

#include "engine/PositionDivider.h"

#include <cstdint>

namespace sounds {
struct Sound;
}

namespace engine {

struct Stream;

// One sounding grain. Positions and phases are 28-bit fixed point (0x10000000 = whole sound or a
// finished envelope segment). Audio thread only.
struct alignas(64) Grain {
    Grain* next = nullptr;  // the next grain of the same stream's active list
    Grain* nextFree = nullptr;
    Stream* stream = nullptr;
    sounds::Sound* sound = nullptr;
    uint32_t speed = 0;
    uint32_t pos = 0;
    int32_t remaining = 0;
    int32_t decayLen = 0;
    int32_t attackPhase = 0;
    int32_t attackInc = 0;
    int32_t decayPhase = 0;
    int32_t decayDec = 0;
    bool fixedGain = false;
    float gainL = 0.0f;
    float gainR = 0.0f;
    float baseGainL = 0.0f;
    float baseGainR = 0.0f;
    float silenceLevel = 0.0f;
    float speedSlope = 0.0f;
    int32_t frameCount = 0;
    // The block of the current run of blocks in which the grain starts sounding: 0 for a grain that
    // sounded before the run, the block it started in for a grain started during the run.
    int32_t firstBlock = 0;
    // The sound's units per frame as an integer, set when the grain starts.
    PositionDivider frames;
};

}  // namespace engine
