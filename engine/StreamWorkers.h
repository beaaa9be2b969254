#pragma once

#include <pthread.h>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace engine {

// Helper threads that render streams beside the audio thread. A run hands out items (streams) one
// at a time to whichever thread asks first, the caller included, and returns once every item is
// done. Each item writes only its own stream's buffer, so which thread renders it never changes a
// byte. A run neither allocates nor takes a lock: the helpers sleep on an atomic word between runs
// and the caller spins for the last items, which are already being rendered.
//
// Thread contract: construction and destruction on the main thread; run() on one thread at a time
// (the audio thread, under the engine lock).
class StreamWorkers {
  public:
    using Job = void (*)(void* context, int item);

    // `helpers` threads besides the caller (0: every run renders on the caller alone).
    explicit StreamWorkers(int helpers);
    ~StreamWorkers();
    StreamWorkers(const StreamWorkers&) = delete;
    StreamWorkers& operator=(const StreamWorkers&) = delete;

    int helpers() const { return static_cast<int>(threads_.size()); }
    // Runs job(context, i) for every i in [0, items) (items < 65536), on the caller and at most
    // `helpers` helpers.
    void run(int items, int helpers, Job job, void* context);
    // The helpers take the caller's scheduling policy and priority (a real-time audio thread's) at
    // the next run, and whenever the thread that runs them changes. Thread: any.
    void matchCallerPriorityAtNextRun() { priorityMatched_.store(false, std::memory_order_relaxed); }

    // Helper threads one machine offers: one per further core, at most `limit`.
    static int helpersForThisMachine(int limit);

  private:
    void helperLoop(uint32_t index);
    // Claims and runs items of generation `generation` until none is left: the caller from the
    // first item on, the helpers from the last one back, so that in run after run each thread
    // mostly renders the same streams and finds their grains in its own cache.
    void work(uint32_t generation, bool fromFront);
    void matchCallerPriority();
    // Whether the generation moves on from `seen` within a short spin.
    bool spinUntilChanged(uint32_t seen) const;

    // The generation of the current run in the high half, the first and the end of the unclaimed
    // items in the low half: a helper that wakes late cannot claim an item of a later run.
    std::atomic<uint64_t> claim_{0};
    std::atomic<uint32_t> generation_{0};
    std::atomic<uint32_t> wanted_{0};  // helpers wanted in the current run
    std::atomic<int> done_{0};
    std::atomic<Job> job_{nullptr};
    std::atomic<void*> context_{nullptr};
    std::atomic<bool> quit_{false};
    std::atomic<bool> priorityMatched_{false};
    pthread_t caller_{};  // the thread whose priority the helpers have
    std::vector<std::thread> threads_;
};

}  // namespace engine
