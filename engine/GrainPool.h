#pragma once

#include "engine/Grain.h"
#include "engine/Stream.h"

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

namespace engine {

// Grain records in chunks of 64 that are never given back; one active list per stream (newest
// first), linked by `Grain::next`, and a free list. A stream's grains mix into its own buffer in
// the order of its list, so only the order within a list matters. Enough chunks are made at
// construction that a dense patch of eight streams never needs another one. Audio thread only
// (construction on the main thread).
class GrainPool {
  public:
    static constexpr size_t kChunkGrains = 64;
    // 4096 grains: eight streams of 2000 grains per second lasting 0.25 s each.
    static constexpr size_t kInitialChunks = 64;

    explicit GrainPool(size_t initialChunks = kInitialChunks);

    // Takes a record (allocating a chunk only when all are in use), zeroes it and links it at the
    // head of stream `stream`'s active list.
    Grain& start(int stream);
    // Unlinks `grain` from stream `stream`'s list (its predecessor there is `previous`, or nullptr
    // at the head) and puts it on the free list. Returns the grain that followed it.
    Grain* remove(int stream, Grain* previous, Grain& grain);
    // Puts a grain that is no longer in any active list on the free list.
    void release(Grain& grain);

    Grain* active(int stream) const { return active_[static_cast<size_t>(stream)]; }
    // The head of a stream's list itself, for a renderer that unlinks the grains it finishes (and
    // gives them back with release afterwards).
    Grain*& activeHead(int stream) { return active_[static_cast<size_t>(stream)]; }

  private:
    void addChunk();

    std::vector<std::unique_ptr<std::array<Grain, kChunkGrains>>> chunks_;
    std::array<Grain*, kMaxStreams> active_{};
    Grain* free_ = nullptr;
};

}  // namespace engine
