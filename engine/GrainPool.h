#pragma once

#include "engine/Grain.h"

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

namespace engine {

// Grain records in chunks of 64 that are never given back; an active list (newest first) and a
// free list. Enough chunks are made at construction that a dense patch of eight streams never
// needs another one. Audio thread only (construction on the main thread).
class GrainPool {
  public:
    static constexpr size_t kChunkGrains = 64;
    // 4096 grains: eight streams of 2000 grains per second lasting 0.25 s each.
    static constexpr size_t kInitialChunks = 64;

    explicit GrainPool(size_t initialChunks = kInitialChunks);

    // Takes a record (allocating a chunk only when all are in use), zeroes it and links it at the
    // head of the active list.
    Grain& start();
    // Unlinks `grain` (whose predecessor in the active list is `previous`, or nullptr at the head)
    // and puts it on the free list. Returns the grain that followed it.
    Grain* remove(Grain* previous, Grain& grain);

    Grain* active() const { return active_; }

  private:
    void addChunk();

    std::vector<std::unique_ptr<std::array<Grain, kChunkGrains>>> chunks_;
    Grain* active_ = nullptr;
    Grain* free_ = nullptr;
};

}  // namespace engine
