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
    for (Grain& grain : *chunk)
        release(grain);
    chunks_.push_back(std::move(chunk));
}

Grain& GrainPool::start(int stream) {
    if (free_ == nullptr)
        addChunk();
    Grain* grain = free_;
    free_ = grain->nextFree;
    *grain = Grain{};
    Grain*& head = activeHead(stream);
    grain->next = head;
    head = grain;
    return *grain;
}

Grain* GrainPool::remove(int stream, Grain* previous, Grain& grain) {
    Grain* following = grain.next;
    (previous == nullptr ? activeHead(stream) : previous->next) = following;
    release(grain);
    return following;
}

void GrainPool::release(Grain& grain) {
    grain.next = nullptr;
    grain.nextFree = free_;
    free_ = &grain;
}

}  // namespace engine
