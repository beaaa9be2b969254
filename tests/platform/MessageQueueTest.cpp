#include "platform/MessageQueue.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(MessageQueue, DeliversInPostingOrderWithArgumentsAndTexts) {
    MessageQueue queue;
    EXPECT_FALSE(queue.take());
    queue.post(kMsgSoundLoaded, 3, 7);
    queue.postText(kMsgSoundLoadFailed, "Memory allocation error - sound file too large");
    queue.post(kMsgBufferDone, 2);
    auto a = queue.take();
    auto b = queue.take();
    auto c = queue.take();
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->number, kMsgSoundLoaded);
    EXPECT_EQ(a->first, 3);
    EXPECT_EQ(a->second, 7);
    EXPECT_EQ(b->number, kMsgSoundLoadFailed);
    EXPECT_EQ(b->text, "Memory allocation error - sound file too large");
    EXPECT_EQ(c->number, kMsgBufferDone);
    EXPECT_EQ(c->first, 2);
    EXPECT_FALSE(queue.take());
}

TEST(MessageQueue, ScrollBarMessageCarriesNewestPositionAtItsPlaceInTheQueue) {
    MessageQueue queue;
    queue.post(moveScrollBarMessage(13), 100);
    queue.post(kMsgMidiPlayStop);
    queue.post(moveScrollBarMessage(13), 200);
    queue.post(moveScrollBarMessage(4), 5);
    queue.post(moveScrollBarMessage(13), -300);

    auto first = queue.take();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->number, 34281u);
    EXPECT_EQ(first->first, -300);
    EXPECT_EQ(queue.take()->number, kMsgMidiPlayStop);
    auto other = queue.take();
    EXPECT_EQ(other->number, 34272u);
    EXPECT_EQ(other->first, 5);
    EXPECT_FALSE(queue.take());

    // Once taken, a new position queues a new message.
    queue.post(moveScrollBarMessage(13), 9);
    EXPECT_EQ(queue.take()->first, 9);
}

TEST(MessageQueue, MonitorLineIsDroppedWhileAnotherWaits) {
    MessageQueue queue;
    EXPECT_TRUE(queue.post(kMsgMidiMonitor, 0x403C90));
    EXPECT_FALSE(queue.post(kMsgMidiMonitor, 0x003C80));
    auto line = queue.take();
    EXPECT_EQ(line->first, 0x403C90);
    EXPECT_FALSE(queue.take());
    EXPECT_TRUE(queue.post(kMsgMidiMonitor, 0x003C80));
    EXPECT_EQ(queue.take()->first, 0x003C80);
}

TEST(MessageQueue, FullQueueRefusesAndKeepsWhatItHolds) {
    MessageQueue queue;
    for (size_t i = 0; i < MessageQueue::kCapacity; ++i)
        ASSERT_TRUE(queue.post(kMsgBufferDone, static_cast<int64_t>(i)));
    EXPECT_FALSE(queue.post(kMsgBufferDone, -1));
    EXPECT_FALSE(queue.postText(kMsgSoundLoadFailed, "lost"));
    EXPECT_FALSE(queue.post(moveScrollBarMessage(0), 1));
    EXPECT_EQ(queue.take()->first, 0);
    // The refused scroll-bar message did not leave its flag set.
    EXPECT_TRUE(queue.post(moveScrollBarMessage(0), 2));
}

TEST(MessageQueue, ManyProducersKeepEachProducersOrder) {
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
    std::vector<int64_t> next(kProducers, 0);
    int received = 0;
    while (received < kProducers * kEach) {
        auto message = queue.waitAndTake(std::chrono::milliseconds(1000));
        ASSERT_TRUE(message);
        ASSERT_EQ(message->second, next[static_cast<size_t>(message->first)]);
        ++next[static_cast<size_t>(message->first)];
        ++received;
    }
    for (auto& producer : producers)
        producer.join();
    EXPECT_FALSE(queue.take());
}

TEST(MessageQueue, ConcurrentScrollPostsEndWithTheLastPosition) {
    MessageQueue queue;
    constexpr int kPosts = 5000;
    std::thread producer([&] {
        for (int i = 1; i <= kPosts; ++i)
            queue.post(moveScrollBarMessage(2), i);
    });
    int64_t last = 0;
    int taken = 0;
    while (last != kPosts) {
        auto message = queue.waitAndTake(std::chrono::milliseconds(1000));
        ASSERT_TRUE(message);
        ASSERT_GE(message->first, last);  // positions never go back
        last = message->first;
        ++taken;
    }
    producer.join();
    EXPECT_LE(taken, kPosts);
}

TEST(MessageQueue, WaitTimesOutAndWakesOnPost) {
    MessageQueue queue;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue.waitAndTake(std::chrono::milliseconds(30)));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(30));

    std::atomic<int> hooks{0};
    queue.setWakeUpHook([&] { ++hooks; });
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.post(kMsgMidiPlayStart);
    });
    auto message = queue.waitAndTake(std::chrono::seconds(10));
    poster.join();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->number, kMsgMidiPlayStart);
    EXPECT_EQ(hooks.load(), 1);
}

TEST(MessageQueue, WakeDescriptorIsReadableWhileMessagesWait) {
    MessageQueue queue;
    auto readable = [&] {
        pollfd descriptor{queue.wakeDescriptor(), POLLIN, 0};
        return poll(&descriptor, 1, 0) == 1;
    };
    EXPECT_FALSE(readable());
    queue.post(kMsgSoundLoaded, 1, 2);
    queue.post(kMsgBufferDone, 3);
    EXPECT_TRUE(readable());
    queue.clearWake();
    EXPECT_FALSE(readable());
    EXPECT_EQ(queue.take()->number, kMsgSoundLoaded);
    EXPECT_EQ(queue.take()->number, kMsgBufferDone);
}

}  // namespace
}  // namespace platform
