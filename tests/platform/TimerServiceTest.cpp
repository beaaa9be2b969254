#include "platform/TimerService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;

TEST(TimerService, FiresOnceAfterItsDelayOnItsOwnThread) {
    TimerService timers;
    std::promise<std::thread::id> fired;
    const auto start = TimerService::Clock::now();
    const auto id = timers.startOneShot(40ms, [&] { fired.set_value(std::this_thread::get_id()); });
    EXPECT_TRUE(timers.isPending(id));
    auto future = fired.get_future();
    ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
    EXPECT_GE(TimerService::Clock::now() - start, 40ms);
    EXPECT_NE(future.get(), std::this_thread::get_id());
    EXPECT_FALSE(timers.isPending(id));
    EXPECT_FALSE(timers.cancel(id));
}

TEST(TimerService, EarlierDeadlineFiresFirst) {
    TimerService timers;
    std::mutex mutex;
    std::vector<int> order;
    std::promise<void> done;
    timers.startOneShot(80ms, [&] {
        const std::lock_guard lock(mutex);
        order.push_back(2);
        done.set_value();
    });
    timers.startOneShot(10ms, [&] {
        const std::lock_guard lock(mutex);
        order.push_back(1);
    });
    ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    const std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(TimerService, CancelledTimerNeverFires) {
    TimerService timers;
    std::atomic<bool> fired{false};
    const auto id = timers.startOneShot(30ms, [&] { fired = true; });
    EXPECT_TRUE(timers.cancel(id));
    EXPECT_FALSE(timers.isPending(id));
    std::this_thread::sleep_for(80ms);
    EXPECT_FALSE(fired);
}

TEST(TimerService, ChangedDelayMovesTheDeadline) {
    TimerService timers;
    std::promise<void> fired;
    const auto start = TimerService::Clock::now();
    const auto id = timers.startOneShot(10s, [&] { fired.set_value(); });
    EXPECT_TRUE(timers.changeDelay(id, 20ms));
    ASSERT_EQ(fired.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_LT(TimerService::Clock::now() - start, 5s);
    EXPECT_FALSE(timers.changeDelay(id, 20ms));
}

TEST(TimerService, CallbackMayScheduleTheNextStep) {
    TimerService timers;
    std::atomic<int> steps{0};
    std::promise<void> done;
    std::function<void()> step = [&] {
        if (++steps == 5)
            done.set_value();
        else
            timers.startOneShot(1ms, step);
    };
    timers.startOneShot(0ms, step);
    ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_EQ(steps.load(), 5);
}

TEST(TimerService, CancelWaitsForARunningCallback) {
    TimerService timers;
    std::promise<void> entered;
    std::atomic<bool> finished{false};
    const auto id = timers.startOneShot(0ms, [&] {
        entered.set_value();
        std::this_thread::sleep_for(50ms);
        finished = true;
    });
    entered.get_future().wait();
    EXPECT_FALSE(timers.cancel(id));  // too late to stop it ...
    EXPECT_TRUE(finished);            // ... but it has returned
}

TEST(TimerService, DestroyingTheServiceDropsPendingTimers) {
    std::atomic<bool> fired{false};
    {
        TimerService timers;
        timers.startOneShot(20ms, [&] { fired = true; });
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(fired);
}

}  // namespace
}  // namespace platform
