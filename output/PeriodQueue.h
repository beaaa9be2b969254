#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace output {

// A wait-free queue of rendered periods from one producer (the audio thread)
// to one consumer (the recording's writer thread). The samples of a period go
// into one preallocated ring of floats, its description into a ring of
// entries; neither side ever allocates, locks or calls the system.
//
// An entry holds `samplesPerSlot` samples for each recording slot whose bit is
// set in `slots`, one slot after the other in slot order.
class PeriodQueue {
  public:
    struct Entry {
        uint64_t start = 0;  // where its samples begin, counted over the ring's whole history
        uint32_t samplesPerSlot = 0;
        uint32_t slots = 0;

        size_t sampleCount() const;
    };

    // Thread: main, while neither side runs. Sizes the rings and touches every
    // page of them, so that no page is faulted in while the audio thread writes.
    void reset(size_t sampleCapacity, size_t entryCapacity);

    // ---- Producer. Thread: audio.
    // Room for `count` contiguous samples, or nullptr when the queue is full.
    float* reserve(size_t count);
    // Publishes the samples written into the last reservation.
    void commit(uint32_t samplesPerSlot, uint32_t slots);

    // ---- Consumer. Thread: writer.
    // The oldest entry not yet taken, if any.
    std::optional<Entry> front() const;
    const float* samples(const Entry& entry) const;
    // Gives the oldest entry's room back to the producer.
    void pop();

    // Thread: any.
    size_t capacity() const { return ring_.size(); }
    uint64_t pushed() const { return pushed_.load(std::memory_order_acquire); }
    uint64_t popped() const { return popped_.load(std::memory_order_acquire); }

  private:
    std::vector<float> ring_;
    std::vector<Entry> entries_;

    // Producer only.
    uint64_t writeTotal_ = 0;
    uint64_t reservedStart_ = 0;
    size_t reservedCount_ = 0;

    alignas(64) std::atomic<uint64_t> pushed_{0};
    alignas(64) std::atomic<uint64_t> popped_{0};
    alignas(64) std::atomic<uint64_t> readTotal_{0};
};

}  // namespace output
