#pragma once

#include "engine/Engine.h"
#include "engine/Grain.h"

#include <cstddef>
#include <cstdint>

namespace engine {

// Where one block of grains is mixed: the block's offset into the stream buffers, the output
// channel count, and whether every stream has a buffer of its own (per-stream recording) or all
// mix into `mix`.
struct BlockDestination {
    float* mix = nullptr;
    bool perStream = false;
    size_t offset = 0;
    int channels = 2;
};

// Renders one block of every grain in the list starting at `first`, with the widest SIMD
// instruction set the processor offers (chosen at run time), eight frames of a grain side by
// side. Integer state (positions, envelope phases, frame counts) advances exactly as in the
// reference renderer; the kernel, the envelope product and the mix are evaluated in single
// precision, the same operations in the same order on every instruction set, so every machine
// renders the same bytes. Blocks the wide path does not cover (a grain's first block, a decay
// that ends inside the block) go through the reference renderer. Thread: audio.
void renderGrainBlocks(Grain* first, const BlockDestination& out, Interpolation kind);

// The instruction set renderGrainBlocks runs with on this processor ("AVX2", "SSE4", ...).
const char* wideRendererTarget();

// The reference renderer for one block of one grain: every frame in turn, in double precision
// where the engine's arithmetic asks for it. Thread: audio.
void renderGrainBlockReference(Grain& grain, float* dest, int channels, int32_t channelSelect,
                               Interpolation kind);

}  // namespace engine
