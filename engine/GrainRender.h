#pragma once

#include "engine/FixedPoint.h"
#include "engine/Grain.h"
#include "engine/ShapeTables.h"
#include "engine/Stream.h"
#include "sounds/Sound.h"

namespace engine {

inline constexpr int kFramesPerBlock = 8;

// Renders frames of one block of a grain into `dest` (the block's first frame of an interleaved
// buffer with `outChannels` channels), advancing its envelope, position and frame count. The kernel
// reads the sound's first channel, or the second for ChannelSelect 2; with 3 it reads both, the
// second for the right value. Thread: audio.
template <typename Kernel>
void renderGrainBlock(Grain& grain, float* dest, int outChannels, int32_t channelSelect) {
    const sounds::Sound& sound = *grain.sound;
    const size_t stride = sound.channelCount();
    // A grain keeps its sound when its stream changes to one with another channel count.
    const int32_t select = stride == 1 ? LeftChannel : channelSelect;
    const float* channel = sound.samples() + (select == RightChannel ? 1 : 0);
    const bool both = select == BothChannels;
    const auto ui = static_cast<uint32_t>(std::max<int64_t>(roundToNearest(sound.unitsPerFrame), 1));
    const auto& envelope = envelopeTable();

    int first = 0;
    if (grain.frameCount < 0) {
        first = -grain.frameCount;
        grain.frameCount = 0;
    }
    const bool decaying = grain.remaining <= grain.decayLen;
    if (decaying && grain.decayPhase < 0)
        return;  // the decay is spent: silent until its count runs out

    for (int j = first; j < kFramesPerBlock; ++j) {
        float env = 1.0f;
        if (grain.attackPhase < static_cast<int32_t>(sounds::kWholeSound)) {
            env = envelope[static_cast<size_t>(grain.attackPhase >> kEnvelopeShift)];
            grain.attackPhase += grain.attackInc;
        }
        if (decaying) {
            env = static_cast<float>(static_cast<double>(env) *
                                     envelope[static_cast<size_t>(grain.decayPhase >> kEnvelopeShift)]);
            grain.decayPhase -= grain.decayDec;
            if (grain.decayPhase < 0)
                return;
        }
        const uint32_t i = grain.pos / ui;
        const auto t = static_cast<float>((grain.pos % ui) / static_cast<double>(ui));
        const int64_t step =
            roundToNearest(grain.speed + static_cast<double>(grain.speedSlope) * grain.frameCount);
        ++grain.frameCount;
        grain.pos = addPosition(grain.pos, step);
        if (env < grain.silenceLevel)
            continue;

        const float* frame = channel + static_cast<size_t>(i) * stride;
        const auto yL = static_cast<float>(static_cast<double>(Kernel::at(frame, stride, t)) * env);
        const float yR =
            both ? static_cast<float>(static_cast<double>(Kernel::at(frame + 1, stride, t)) * env) : yL;
        if (outChannels == 2) {
            float* out = dest + 2 * j;
            out[0] = static_cast<float>(out[0] + static_cast<double>(yL) * grain.gainL);
            out[1] = static_cast<float>(out[1] + static_cast<double>(yR) * grain.gainR);
        } else if (both) {
            dest[j] = static_cast<float>(dest[j] + (static_cast<double>(yL) * grain.gainL +
                                                    0.5 * static_cast<double>(yR) * grain.gainR));
        } else {
            dest[j] = static_cast<float>(dest[j] + static_cast<double>(yL) * grain.gainL);
        }
    }
}

}  // namespace engine
