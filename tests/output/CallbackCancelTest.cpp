// JACK's client library ends its process thread with an asynchronous cancel when a stream closes,
// also after its server died while a period was being rendered. The period must still end as
// rendered: the thread may only end once the program's callback has returned.
#include "output/AudioSystem.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace output {
namespace {

using namespace std::chrono_literals;

struct SlowPeriod {
    std::atomic<bool> entered{false};
    std::atomic<bool> mayEnd{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> threadWentOn{false};
};

// Renders until told to end, with no cancellation point on the way, as a render has none.
int slowPeriod(void* context, std::int16_t* output, unsigned frames) {
    auto& period = *static_cast<SlowPeriod*>(context);
    period.entered.store(true);
    while (!period.mayEnd.load()) {
        for (unsigned i = 0; i < 2 * frames; ++i)
            output[i] = static_cast<std::int16_t>(i);
    }
    period.ended.store(true);
    return 0;
}

// A process thread as JACK's: cancelled at any instruction.
void* processThread(void* slots) {
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    std::int16_t output[2 * 64] = {};
    callbackTrampoline(output, nullptr, 64, 0.0, 0, slots);
    static_cast<SlowPeriod*>(static_cast<CallbackSlots*>(slots)->context)->threadWentOn.store(true);
    return nullptr;
}

TEST(CallbackCancel, ACancelDuringAPeriodEndsTheThreadOnlyAfterThePeriod) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer does not follow asynchronous cancellation";
#endif
    SlowPeriod period;
    CallbackSlots slots{slowPeriod, &period};
    pthread_t thread{};
    ASSERT_EQ(pthread_create(&thread, nullptr, processThread, &slots), 0);
    while (!period.entered.load())
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(pthread_cancel(thread), 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(period.ended.load()) << "the period ended before it was told to";
    period.mayEnd.store(true);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    EXPECT_TRUE(period.ended.load()) << "the cancel cut the period short";
    EXPECT_FALSE(period.threadWentOn.load()) << "the cancel was lost";
}

}  // namespace
}  // namespace output
