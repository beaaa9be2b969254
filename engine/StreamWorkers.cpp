#include "engine/StreamWorkers.h"

#include <sched.h>
#include <algorithm>
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace engine {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(200);
constexpr int kSpinsPerClockRead = 64;

// The claim word: the generation, then the first and the end of the items still unclaimed.
uint64_t claimOf(uint32_t generation, uint32_t front, uint32_t back) {
    return (uint64_t{generation} << 32) | (uint64_t{front} << 16) | back;
}

void pause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

StreamWorkers::StreamWorkers(int helpers) {
    threads_.reserve(static_cast<size_t>(std::max(helpers, 0)));
    for (int i = 0; i < helpers; ++i)
        threads_.emplace_back([this, i] { helperLoop(static_cast<uint32_t>(i)); });
}

StreamWorkers::~StreamWorkers() {
    quit_.store(true);
    generation_.fetch_add(1);
    generation_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

int StreamWorkers::helpersForThisMachine(int limit) {
    const auto cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 0, limit);
}

void StreamWorkers::run(int items, int helpers, Job job, void* context) {
    const pthread_t caller = pthread_self();
    if (!priorityMatched_.exchange(true, kRelaxed) || pthread_equal(caller, caller_) == 0) {
        caller_ = caller;
        matchCallerPriority();
    }
    const uint32_t generation = generation_.load(kRelaxed) + 1;
    job_.store(job, kRelaxed);
    context_.store(context, kRelaxed);
    done_.store(0, kRelaxed);
    wanted_.store(static_cast<uint32_t>(std::clamp(helpers, 0, this->helpers())), kRelaxed);
    claim_.store(claimOf(generation, 0, static_cast<uint32_t>(items)), std::memory_order_release);
    generation_.store(generation, std::memory_order_release);
    if (helpers > 0)
        generation_.notify_all();
    work(generation, true);
    // What is left is being rendered by helpers that claimed it: wait for them.
    while (done_.load(std::memory_order_acquire) < items)
        pause();
}

void StreamWorkers::work(uint32_t generation, bool fromFront) {
    uint64_t claim = claim_.load(std::memory_order_acquire);
    for (;;) {
        if (claim >> 32 != generation)
            return;
        const auto front = static_cast<uint32_t>(claim >> 16) & 0xffff;
        const auto back = static_cast<uint32_t>(claim) & 0xffff;
        if (front >= back)
            return;
        const uint32_t item = fromFront ? front : back - 1;
        const uint64_t next =
            fromFront ? claimOf(generation, front + 1, back) : claimOf(generation, front, back - 1);
        if (!claim_.compare_exchange_weak(claim, next, std::memory_order_acq_rel))
            continue;
        job_.load(kRelaxed)(context_.load(kRelaxed), static_cast<int>(item));
        done_.fetch_add(1, std::memory_order_release);
        claim = claim_.load(std::memory_order_acquire);
    }
}

void StreamWorkers::helperLoop(uint32_t index) {
    uint32_t seen = 0;
    for (;;) {
        // The runs of one period follow each other within microseconds: a helper that has just
        // worked watches for the next one a little while before it sleeps, because waking a
        // sleeping thread can take longer than the run itself.
        if (!spinUntilChanged(seen))
            generation_.wait(seen, std::memory_order_acquire);
        seen = generation_.load(std::memory_order_acquire);
        if (quit_.load(kRelaxed))
            return;
        if (index < wanted_.load(kRelaxed))
            work(seen, false);
    }
}

bool StreamWorkers::spinUntilChanged(uint32_t seen) const {
    const auto until = std::chrono::steady_clock::now() + kSpinBeforeSleep;
    for (;;) {
        for (int i = 0; i < kSpinsPerClockRead; ++i) {
            if (generation_.load(std::memory_order_relaxed) != seen)
                return true;
            pause();
        }
        if (std::chrono::steady_clock::now() > until)
            return false;
    }
}

void StreamWorkers::matchCallerPriority() {
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0)
        return;
    // Without the right to real-time scheduling the helpers keep the default: nothing to report,
    // they still render, only with less protection from other programs.
    for (std::thread& thread : threads_)
        pthread_setschedparam(thread.native_handle(), policy, &param);
}

}  // namespace engine
