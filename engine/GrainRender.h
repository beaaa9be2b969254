#pragma once

#include "engine/FixedPoint.h"
#include "engine/Grain.h"
#include "engine/ShapeTables.h"
#include "engine/Stream.h"
#include "sounds/Sound.h"

#include <array>

namespace engine {

inline constexpr int kFramesPerBlock = 8;

// With GCC on x86-64 the kernel evaluation gets an AVX2 clone where the processor has one (the
// same operations, no fused multiply-adds: identical results). ThreadSanitizer cannot run the
// clone resolver, which runs before its runtime starts.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define FRISSON_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define FRISSON_KERNEL_CLONES
#endif

// The frames of one grain in one block that produce output: where they read, at which fraction
// and with which envelope value.
// Only the first `count` entries are set.
struct AudibleFrames {
    int count = 0;
    std::array<int, kFramesPerBlock> frame;
    std::array<uint32_t, kFramesPerBlock> index;
    std::array<float, kFramesPerBlock> t;
    std::array<float, kFramesPerBlock> env;
};

// Kernel values of all audible frames of a block. The samples are gathered first and the
// arithmetic runs afterwards over independent frames, so the compiler can evaluate several side by
// side; each value is computed exactly as one kernel call would.
template <typename Kernel>
FRISSON_KERNEL_CLONES void evaluateKernel(const float* channel, size_t stride, const AudibleFrames& frames,
                                          std::array<float, kFramesPerBlock>& out) {
    std::array<std::array<float, kFramesPerBlock>, Kernel::kFramesRead> taps;
    for (int n = 0; n < frames.count; ++n) {
        const float* s = channel + static_cast<size_t>(frames.index[static_cast<size_t>(n)]) * stride;
        for (int k = 0; k < Kernel::kFramesRead; ++k)
            taps[static_cast<size_t>(k)][static_cast<size_t>(n)] = s[static_cast<size_t>(k) * stride];
    }
    for (int n = 0; n < frames.count; ++n) {
        const auto column = static_cast<size_t>(n);
        out[column] =
            Kernel::of([&](int k) { return taps[static_cast<size_t>(k)][column]; }, frames.t[column]);
    }
}

// A sound's units per frame as the integer the renderer divides positions by.
inline uint32_t unitDivisorOf(const sounds::Sound& sound) {
    return static_cast<uint32_t>(std::max<int64_t>(roundToNearest(sound.unitsPerFrame), 1));
}

// Advances a grain's envelope, position and frame count through one block and lists the frames
// that are loud enough to compute. Thread: audio.
inline void stepGrainBlock(Grain& grain, AudibleFrames& audible) {
    const PositionDivider& ui = grain.frames;
    const double uiDouble = ui.divisor;
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
            env = env * envelope[static_cast<size_t>(grain.decayPhase >> kEnvelopeShift)];
            grain.decayPhase -= grain.decayDec;
            if (grain.decayPhase < 0)
                return;
        }
        const uint32_t i = ui.quotient(grain.pos);
        const uint32_t remainder = grain.pos - i * ui.divisor;
        // Without glissando the step is the start speed itself.
        const int64_t step =
            grain.speedSlope == 0.0f
                ? int64_t{grain.speed}
                : roundToNearest(grain.speed + static_cast<double>(grain.speedSlope) * grain.frameCount);
        ++grain.frameCount;
        grain.pos = addPosition(grain.pos, step);
        if (env < grain.silenceLevel)
            continue;
        const auto t = static_cast<float>(remainder / uiDouble);
        const auto n = static_cast<size_t>(audible.count++);
        audible.frame[n] = j;
        audible.index[n] = i;
        audible.t[n] = t;
        audible.env[n] = env;
    }
}

// Where the frames of a stereo block lie: frame j's left value at j × frameStep from the block's
// start, its right value rightOffset after that. Interleaved is {2, 1}; the wide renderer mixes a
// run into separate left and right halves, {1, frames of the run}.
struct StereoLayout {
    int frameStep = 2;
    size_t rightOffset = 1;
};

// Renders one block of a grain into `dest` (the block's first frame of a buffer with `outChannels`
// channels; a stereo one laid out as `stereo` says). The kernel reads the sound's first channel,
// or the second for ChannelSelect 2; with 3 it reads both, the second for the right value.
// Thread: audio.
template <typename Kernel>
void renderGrainBlock(Grain& grain, float* dest, int outChannels, int32_t channelSelect,
                      StereoLayout stereo = {}) {
    AudibleFrames audible;
    stepGrainBlock(grain, audible);
    if (audible.count == 0)
        return;

    const sounds::Sound& sound = *grain.sound;
    const size_t stride = sound.channelCount();
    // A grain keeps its sound when its stream changes to one with another channel count.
    const int32_t select = stride == 1 ? LeftChannel : channelSelect;
    const float* channel = sound.samples() + (select == RightChannel ? 1 : 0);
    const bool both = select == BothChannels;

    std::array<float, kFramesPerBlock> left;
    std::array<float, kFramesPerBlock> right;
    evaluateKernel<Kernel>(channel, stride, audible, left);
    if (both)
        evaluateKernel<Kernel>(channel + 1, stride, audible, right);

    for (int n = 0; n < audible.count; ++n) {
        const auto k = static_cast<size_t>(n);
        const float env = audible.env[k];
        const float yL = left[k] * env;
        const float yR = both ? right[k] * env : yL;
        const int j = audible.frame[k];
        if (outChannels == 2) {
            float* left = dest + stereo.frameStep * j;
            float* right = left + stereo.rightOffset;
            *left = static_cast<float>(*left + static_cast<double>(yL) * grain.gainL);
            *right = static_cast<float>(*right + static_cast<double>(yR) * grain.gainR);
        } else if (both) {
            dest[j] = static_cast<float>(dest[j] + (static_cast<double>(yL) * grain.gainL +
                                                    0.5 * static_cast<double>(yR) * grain.gainR));
        } else {
            dest[j] = static_cast<float>(dest[j] + static_cast<double>(yL) * grain.gainL);
        }
    }
}

}  // namespace engine
