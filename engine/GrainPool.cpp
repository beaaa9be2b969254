#include "engine/GrainPool.h"

#include <algorithm>

namespace engine {

namespace {
// Room for the chunk list itself, so that adding a chunk rarely moves it.
constexpr size_t kChunkListReserve = 1024;
}  // namespace

GrainPool::GrainPool(size_t initialChunks) {
    chunks_.reserve(std::max(initialChunks, kChunkListReserve));
    for (size_t c = 0; c < initialChunks; ++c)
        addChunk();
}

void GrainPool::addChunk() {
    auto chunk = std::make_unique<std::array<Grain, kChunkGrains>>();
    for (Grain& grain : *chunk) {
        grain.nextFree = free_;
        free_ = &grain;
    }
    chunks_.push_back(std::move(chunk));
}

Grain& GrainPool::start() {
    if (free_ == nullptr)
        addChunk();
    Grain* grain = free_;
    free_ = grain->nextFree;
    *grain = Grain{};
    grain->next = active_;
    active_ = grain;
    return *grain;
}

Grain* GrainPool::remove(Grain* previous, Grain& grain) {
    Grain* following = grain.next;
    if (previous == nullptr)
        active_ = following;
    else
        previous->next = following;
    grain.next = nullptr;
    grain.nextFree = free_;
    free_ = &grain;
    return following;
}

}  // namespace engine
