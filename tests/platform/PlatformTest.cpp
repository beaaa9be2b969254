// The main window's message queue, the timer service and the memory query.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/sysinfo.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "platform/MessageQueue.h"
#include "platform/SystemMemory.h"
#include "platform/TimerService.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

using Taken = std::vector<std::tuple<std::uint32_t, std::int64_t, std::int64_t>>;

// Number, first and second argument of every message waiting, in the order taken.
Taken takeAll(MessageQueue& queue) {
    Taken taken;
    while (const auto message = queue.take())
        taken.emplace_back(message->number, message->first, message->second);
    return taken;
}

TEST(MessageQueue, DeliversInOrderQueuesScrollBarAndMonitorMessagesOnceAndAFullQueueRefuses) {
    MessageQueue queue;
    EXPECT_FALSE(queue.take());
    queue.post(kMsgSoundLoaded, 3, 7);
    queue.postText(kMsgSoundLoadFailed, "Memory allocation error - sound file too large");
    queue.post(kMsgBufferDone, 2);
    const auto loaded = queue.take(), text = queue.take();
    ASSERT_TRUE(loaded && text);
    EXPECT_EQ(std::tuple(loaded->first, loaded->second, text->number, text->text),
              std::tuple(3, 7, kMsgSoundLoadFailed, "Memory allocation error - sound file too large"));
    // A scroll-bar message carries the newest position at its place in the queue.
    queue.post(moveScrollBarMessage(13), 100);
    queue.post(kMsgMidiPlayStop);
    queue.post(moveScrollBarMessage(13), 200);
    queue.post(moveScrollBarMessage(4), 5);
    queue.post(moveScrollBarMessage(13), -300);
    EXPECT_EQ(takeAll(queue),
              (Taken{{kMsgBufferDone, 2, 0}, {34281u, -300, 0}, {kMsgMidiPlayStop, 0, 0}, {34272u, 5, 0}}));
    // Once taken, a new position queues a new message. A monitor line is dropped while another waits.
    queue.post(moveScrollBarMessage(13), 9);
    EXPECT_TRUE(queue.post(kMsgMidiMonitor, 0x403C90));
    EXPECT_FALSE(queue.post(kMsgMidiMonitor, 0x003C80));
    EXPECT_EQ(takeAll(queue), (Taken{{34281u, 9, 0}, {kMsgMidiMonitor, 0x403C90, 0}}));
    EXPECT_TRUE(queue.post(kMsgMidiMonitor, 0x003C80));
    EXPECT_EQ(takeAll(queue), (Taken{{kMsgMidiMonitor, 0x003C80, 0}}));
    // A full queue refuses and keeps what it holds.
    for (size_t i = 0; i < MessageQueue::kCapacity; ++i)
        ASSERT_TRUE(queue.post(kMsgBufferDone, static_cast<int64_t>(i)));
    EXPECT_FALSE(queue.post(kMsgBufferDone, -1));
    EXPECT_FALSE(queue.postText(kMsgSoundLoadFailed, "lost"));
    EXPECT_FALSE(queue.post(moveScrollBarMessage(0), 1));
    const Taken held = takeAll(queue);
    ASSERT_EQ(held.size(), MessageQueue::kCapacity);
    EXPECT_EQ(std::pair(held.front(), held.back()),
              std::pair(Taken::value_type{kMsgBufferDone, 0, 0}, Taken::value_type{kMsgBufferDone, 1023, 0}));
    // The refused scroll-bar message did not leave its flag set: the next one is queued.
    EXPECT_TRUE(queue.post(moveScrollBarMessage(0), 2));
    EXPECT_EQ(takeAll(queue), (Taken{{moveScrollBarMessage(0), 2, 0}}));
}

TEST(MessageQueue, ConcurrentProducersKeepTheirOrderScrollPositionsNeverGoBackAndWaitsWakeOnPosts) {
    MessageQueue queue;
    constexpr int kProducers = 4;
    constexpr int kEach = 2000;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, p] {
            for (int i = 0; i < kEach; ++i)
                while (!queue.post(kMsgBufferDone, p, i))
                    std::this_thread::yield();
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
    const Taken extra = takeAll(queue);
    EXPECT_TRUE(extra.empty() || extra == (Taken{{moveScrollBarMessage(2), kPosts, 0}}));
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
    EXPECT_EQ(std::pair(message->number, hooks.load()), std::pair(kMsgMidiPlayStart, 1));
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
    EXPECT_EQ(takeAll(woken), (Taken{{kMsgSoundLoaded, 1, 2}, {kMsgBufferDone, 3, 0}}));
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
    std::atomic<int> order{0};  // the numbers of the callbacks as digits, in the order they ran
    std::promise<std::thread::id> fired;
    const auto start = TimerService::Clock::now();
    const auto id = timers.startOneShot(80ms, [&] {
        order = order * 10 + 2;
        fired.set_value(std::this_thread::get_id());
    });
    timers.startOneShot(10ms, [&] { order = order * 10 + 1; });
    EXPECT_TRUE(timers.isPending(id));
    auto future = fired.get_future();
    ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
    EXPECT_GE(TimerService::Clock::now() - start, 80ms);
    EXPECT_NE(future.get(), std::this_thread::get_id());
    // 80 ms after the dropped timers were due, neither has run.
    EXPECT_EQ(std::tuple(timers.isPending(id), timers.cancel(id), order.load(), dropped.load()),
              std::tuple(false, false, 12, 0));
    // Moved from 10 s to 20 ms: it fires within the 5 s waited.
    std::promise<void> moved;
    const auto movedId = timers.startOneShot(10s, [&] { moved.set_value(); });
    EXPECT_TRUE(timers.changeDelay(movedId, 20ms));
    ASSERT_EQ(moved.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(timers.changeDelay(movedId, 20ms));
    // A callback may schedule the next step: the fifth one ends the chain.
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
    EXPECT_TRUE(memory->availableBytes > 0 && memory->availableBytes <= memory->totalBytes);
}

}  // namespace
}  // namespace platform
