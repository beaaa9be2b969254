#pragma once

#include "engine/ParamSlot.h"
#include "engine/ParamSpec.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace sounds {
struct Sound;
}

namespace engine {

inline constexpr int kMaxStreams = 8;

enum StreamState : int32_t {
    Busy = -2,  // sound being exchanged: skipped by the play list
    Muted = -1,
    Empty = 0,
    Active = 1,
    Solo = 2,
};

// Which channels of a stereo sound a stream reads: bit 0 left, bit 1 right.
enum ChannelSelect : int32_t {
    LeftChannel = 1,
    RightChannel = 2,
    BothChannels = 3,
};

// One of the eight grain generators.
//
// Thread contract: `state`, `channelSelect`, `hardSync` and the parameter slots are atomic words the
// main thread writes without the lock. `sound` is exchanged under the engine lock. The loop and
// grain-clock fields belong to the audio thread (reset at play start under the engine lock).
struct Stream {
    std::atomic<int32_t> state{Empty};
    sounds::Sound* sound = nullptr;
    float* outBuffer = nullptr;
    std::atomic<int32_t> channelSelect{LeftChannel};
    std::array<ParamSlot, kParamCount> params;
    int32_t bankIndex = 0;
    int32_t patchSlot = 0;

    int32_t loopPos = 0;
    int32_t loopRate = 0;
    int32_t loopLen = 0;
    int32_t loopLenDev = 0;
    uint32_t grainPhase = 0;
    int32_t grainPhaseInc = 0;
    std::atomic<int32_t> hardSync{0};
    int32_t ampNow = 0;

    ParamSlot& param(int p) { return params[static_cast<size_t>(p)]; }
    const ParamSlot& param(int p) const { return params[static_cast<size_t>(p)]; }
    float current(int p) const { return param(p).currentValue(); }
    int32_t value(int p) const { return param(p).intValue(); }
    int32_t stateNow() const { return state.load(std::memory_order_relaxed); }
    // In the play list: playing, soloed or muted (a muted stream's grains finish).
    bool playsGrains() const {
        const int32_t s = stateNow();
        return s > 0 || s == Muted;
    }
    // Starts grains, advances its loop and follows its parameters.
    bool runsClocks() const { return stateNow() >= Active; }
};

}  // namespace engine
