#pragma once

#include "engine/Engine.h"
#include "engine/Grain.h"
#include "engine/GrainRender.h"

#include <cstddef>
#include <cstdint>

namespace engine {

// The most blocks in one run: the engine runs a control update every hundred frames at least.
inline constexpr int kMaxRunBlocks = 16;

// Where a run of blocks is mixed: the buffer of the run's first block, the number of blocks (at
// most kMaxRunBlocks) and the output channel count.
struct RunDestination {
    float* buffer = nullptr;
    int blocks = 1;
    int channels = 2;
};

// Renders a run of blocks (those between two control updates, when no gain changes) of every
// grain in `list` (one stream's active list, linked by `next`) into one buffer: each grain in turn
// through all of its blocks of the run, from its `firstBlock`, counting its `remaining` frames down
// by a block after each, until they run out. A frame's contributions still arrive in list order,
// so the mix is the one that rendering block after block gives. The grains whose frames ran out
// leave the list; they are returned, linked by `next`, for the caller to finish. Eight frames
// of a grain are computed side by side with the widest SIMD instruction set the processor offers
// (chosen at run time). Integer state (positions, envelope phases, frame counts) advances exactly
// as in the reference renderer; the kernel, the envelope product and the mix are evaluated in
// single precision, the same operations in the same order on every instruction set, so every
// machine renders the same bytes. Blocks the wide path does not cover (a grain's first block, a
// decay that ends inside the block) go through the reference renderer. Leaves every grain's
// `firstBlock` at 0. Touches nothing but the list, its grains and the buffer, so the lists of
// different streams may render on different threads at once. Thread: audio or a stream worker.
Grain* renderGrainRun(Grain*& list, const RunDestination& out, Interpolation kind);

// The instruction set renderGrainRun runs with on this processor ("AVX2", "SSE4", ...).
const char* wideRendererTarget();

// The reference renderer for one block of one grain: every frame in turn, in double precision
// where the engine's arithmetic asks for it. Thread: audio.
void renderGrainBlockReference(Grain& grain, float* dest, int channels, int32_t channelSelect,
                               Interpolation kind, StereoLayout stereo);

}  // namespace engine
