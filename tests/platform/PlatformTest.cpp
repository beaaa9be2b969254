// The main window's message queue, the timer service and the memory query.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/sysinfo.h>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/MessageQueue.h"
#include "platform/SystemMemory.h"
#include "platform/TimerService.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// Number, first and second argument of a message, or number 0 when none waits.
std::tuple<std::uint32_t, std::int64_t, std::int64_t> next(MessageQueue& queue) {
    const auto message = queue.take();
    return message ? std::tuple(message->number, message->first, message->second) : std::tuple(0u, 0l, 0l);
}

TEST(MessageQueue, DeliversInOrderQueuesScrollBarAndMonitorMessagesOnceAndAFullQueueRefuses) {
    MessageQueue queue;
    EXPECT_FALSE(queue.take());
    queue.post(kMsgSoundLoaded, 3, 7);
    queue.postText(kMsgSoundLoadFailed, "Memory allocation error - sound file too large");
    queue.post(kMsgBufferDone, 2);
    EXPECT_EQ(next(queue), std::tuple(kMsgSoundLoaded, 3, 7));
    const auto text = queue.take();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->number, kMsgSoundLoadFailed);
    EXPECT_EQ(text->text, "Memory allocation error - sound file too large");
    EXPECT_EQ(next(queue), std::tuple(kMsgBufferDone, 2, 0));
    // A scroll-bar message carries the newest position at its place in the queue.
    queue.post(moveScrollBarMessage(13), 100);
    queue.post(kMsgMidiPlayStop);
    queue.post(moveScrollBarMessage(13), 200);
    queue.post(moveScrollBarMessage(4), 5);
    queue.post(moveScrollBarMessage(13), -300);
    EXPECT_EQ(next(queue), std::tuple(34281u, -300, 0));
    EXPECT_EQ(next(queue), std::tuple(kMsgMidiPlayStop, 0, 0));
    EXPECT_EQ(next(queue), std::tuple(34272u, 5, 0));
    EXPECT_FALSE(queue.take());
    // Once taken, a new position queues a new message.
    queue.post(moveScrollBarMessage(13), 9);
    EXPECT_EQ(next(queue), std::tuple(34281u, 9, 0));
    // A monitor line is dropped while another waits.
    EXPECT_TRUE(queue.post(kMsgMidiMonitor, 0x403C90));
    EXPECT_FALSE(queue.post(kMsgMidiMonitor, 0x003C80));
    EXPECT_EQ(next(queue), std::tuple(kMsgMidiMonitor, 0x403C90, 0));
    EXPECT_FALSE(queue.take());
    EXPECT_TRUE(queue.post(kMsgMidiMonitor, 0x003C80));
    EXPECT_EQ(next(queue), std::tuple(kMsgMidiMonitor, 0x003C80, 0));
    // A full queue refuses and keeps what it holds.
    for (size_t i = 0; i < MessageQueue::kCapacity; ++i)
        ASSERT_TRUE(queue.post(kMsgBufferDone, static_cast<int64_t>(i)));
    EXPECT_FALSE(queue.post(kMsgBufferDone, -1));
    EXPECT_FALSE(queue.postText(kMsgSoundLoadFailed, "lost"));
    EXPECT_FALSE(queue.post(moveScrollBarMessage(0), 1));
    EXPECT_EQ(next(queue), std::tuple(kMsgBufferDone, 0, 0));
    // The refused scroll-bar message did not leave its flag set.
    EXPECT_TRUE(queue.post(moveScrollBarMessage(0), 2));
}

TEST(MessageQueue, ConcurrentProducersKeepTheirOrderScrollPositionsNeverGoBackAndWaitsWakeOnPosts) {
    MessageQueue queue;
    constexpr int kProducers = 4;
    constexpr int kEach = 2000;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, p] {
            for (int i = 0; i < kEach; ++i) {
                while (!queue.post(kMsgBufferDone, p, i))
                    std::this_thread::yield();
            }
        });
    }
    std::vector<int64_t> expected(kProducers, 0);
    for (int received = 0; received < kProducers * kEach; ++received) {
        auto message = queue.waitAndTake(1000ms);
        ASSERT_TRUE(message);
        ASSERT_EQ(message->second, expected[static_cast<size_t>(message->first)]++);
    }
    for (auto& producer : producers)
        producer.join();
    EXPECT_FALSE(queue.take());
    // Concurrent scroll posts end with the last position.
    constexpr int kPosts = 5000;
    std::thread producer([&] {
        for (int i = 1; i <= kPosts; ++i)
            queue.post(moveScrollBarMessage(2), i);
    });
    int64_t last = 0;
    int taken = 0;
    for (; last != kPosts; ++taken) {
        auto message = queue.waitAndTake(1000ms);
        ASSERT_TRUE(message);
        ASSERT_GE(message->first, last);
        last = message->first;
    }
    producer.join();
    EXPECT_LE(taken, kPosts);
    // A post that raced with the last take may have queued one more message; it carries the same
    // last position.
    if (auto extra = queue.take()) {
        EXPECT_EQ(extra->first, kPosts);
    }
    // A wait times out, and wakes on a post.
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue.waitAndTake(30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - before, 30ms);
    std::atomic<int> hooks{0};
    queue.setWakeUpHook([&] { ++hooks; });
    std::thread poster([&] {
        std::this_thread::sleep_for(20ms);
        queue.post(kMsgMidiPlayStart);
    });
    auto message = queue.waitAndTake(10s);
    poster.join();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->number, kMsgMidiPlayStart);
    EXPECT_EQ(hooks.load(), 1);
    MessageQueue woken;
    const auto readable = [&] {
        pollfd descriptor{woken.wakeDescriptor(), POLLIN, 0};
        return poll(&descriptor, 1, 0) == 1;
    };
    EXPECT_FALSE(readable());
    woken.post(kMsgSoundLoaded, 1, 2);
    woken.post(kMsgBufferDone, 3);
    EXPECT_TRUE(readable());
    woken.clearWake();
    EXPECT_FALSE(readable());
    EXPECT_EQ(next(woken), std::tuple(kMsgSoundLoaded, 1, 2));
    EXPECT_EQ(next(woken), std::tuple(kMsgBufferDone, 3, 0));
}

TEST(TimerService, FiresOnceAfterItsDelayOnItsOwnThreadEarliestFirstAndIsCancelledDroppedMovedAndChained) {
    std::atomic<int> dropped{0};
    {
        TimerService timers;
        const auto id = timers.startOneShot(30ms, [&] { ++dropped; });
        EXPECT_TRUE(timers.cancel(id));
        EXPECT_FALSE(timers.isPending(id));
        timers.startOneShot(20ms, [&] { ++dropped; });  // dropped with the service
    }
    TimerService timers;
    std::mutex mutex;
    std::vector<int> order;
    std::promise<std::thread::id> fired;
    const auto start = TimerService::Clock::now();
    const auto id = timers.startOneShot(80ms, [&] {
        const std::lock_guard lock(mutex);
        order.push_back(2);
        fired.set_value(std::this_thread::get_id());
    });
    timers.startOneShot(10ms, [&] {
        const std::lock_guard lock(mutex);
        order.push_back(1);
    });
    EXPECT_TRUE(timers.isPending(id));
    auto future = fired.get_future();
    ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
    EXPECT_GE(TimerService::Clock::now() - start, 80ms);
    EXPECT_NE(future.get(), std::this_thread::get_id());
    EXPECT_FALSE(timers.isPending(id));
    EXPECT_FALSE(timers.cancel(id));
    {
        const std::lock_guard lock(mutex);
        EXPECT_EQ(order, (std::vector<int>{1, 2}));
    }
    EXPECT_EQ(dropped.load(), 0);  // 80 ms after the dropped timers were due
    std::promise<void> moved;
    const auto movedStart = TimerService::Clock::now();
    const auto movedId = timers.startOneShot(10s, [&] { moved.set_value(); });
    EXPECT_TRUE(timers.changeDelay(movedId, 20ms));
    ASSERT_EQ(moved.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_LT(TimerService::Clock::now() - movedStart, 5s);
    EXPECT_FALSE(timers.changeDelay(movedId, 20ms));
    // A callback may schedule the next step.
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
    std::promise<void> entered;
    std::atomic<bool> finished{false};
    const auto running = timers.startOneShot(0ms, [&] {
        entered.set_value();
        std::this_thread::sleep_for(50ms);
        finished = true;
    });
    entered.get_future().wait();
    EXPECT_FALSE(timers.cancel(running));  // too late to stop it ...
    EXPECT_TRUE(finished);                 // ... but it has returned
}

TEST(SystemMemory, ReportsTheMachinesPhysicalMemory) {
    auto memory = queryPhysicalMemory();
    ASSERT_TRUE(memory);
    struct sysinfo info {};
    ASSERT_EQ(sysinfo(&info), 0);
    // /proc/meminfo and sysinfo count the same RAM, in kB and bytes.
    EXPECT_NEAR(static_cast<double>(memory->totalBytes), static_cast<double>(info.totalram) * info.mem_unit,
                1024.0 * 1024.0);
    EXPECT_GT(memory->availableBytes, 0u);
    EXPECT_LE(memory->availableBytes, memory->totalBytes);
}

}  // namespace
}  // namespace platform
