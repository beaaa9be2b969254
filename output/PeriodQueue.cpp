#include "output/PeriodQueue.h"

#include <bit>

namespace output {

size_t PeriodQueue::Entry::sampleCount() const {
    return static_cast<size_t>(samplesPerSlot) * static_cast<size_t>(std::popcount(slots));
}

void PeriodQueue::reset(size_t sampleCapacity, size_t entryCapacity) {
    // Value-initialised: every page is written once here, on the main thread.
    ring_.assign(sampleCapacity, 0.0f);
    entries_.assign(entryCapacity, Entry{});
    writeTotal_ = 0;
    reservedStart_ = 0;
    reservedCount_ = 0;
    pushed_.store(0, std::memory_order_relaxed);
    popped_.store(0, std::memory_order_relaxed);
    readTotal_.store(0, std::memory_order_relaxed);
}

float* PeriodQueue::reserve(size_t count) {
    const size_t capacity = ring_.size();
    if (count == 0 || count > capacity)
        return nullptr;
    const uint64_t pushed = pushed_.load(std::memory_order_relaxed);
    if (pushed - popped_.load(std::memory_order_acquire) >= entries_.size())
        return nullptr;
    // A period never wraps: when it does not fit before the ring's end, it starts the next lap.
    uint64_t start = writeTotal_;
    const size_t offset = static_cast<size_t>(start % capacity);
    if (offset + count > capacity)
        start += capacity - offset;
    if (start + count - readTotal_.load(std::memory_order_acquire) > capacity)
        return nullptr;
    reservedStart_ = start;
    reservedCount_ = count;
    return ring_.data() + static_cast<size_t>(start % capacity);
}

void PeriodQueue::commit(uint32_t samplesPerSlot, uint32_t slots) {
    const uint64_t pushed = pushed_.load(std::memory_order_relaxed);
    entries_[static_cast<size_t>(pushed % entries_.size())] = {reservedStart_, samplesPerSlot, slots};
    writeTotal_ = reservedStart_ + reservedCount_;
    pushed_.store(pushed + 1, std::memory_order_release);
}

std::optional<PeriodQueue::Entry> PeriodQueue::front() const {
    const uint64_t popped = popped_.load(std::memory_order_relaxed);
    if (popped == pushed_.load(std::memory_order_acquire))
        return std::nullopt;
    return entries_[static_cast<size_t>(popped % entries_.size())];
}

const float* PeriodQueue::samples(const Entry& entry) const {
    return ring_.data() + static_cast<size_t>(entry.start % ring_.size());
}

void PeriodQueue::pop() {
    const uint64_t popped = popped_.load(std::memory_order_relaxed);
    const Entry& entry = entries_[static_cast<size_t>(popped % entries_.size())];
    readTotal_.store(entry.start + entry.sampleCount(), std::memory_order_release);
    popped_.store(popped + 1, std::memory_order_release);
}

}  // namespace output
