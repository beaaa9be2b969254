#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

// Numbers of the messages other threads post to the main window.
inline constexpr uint32_t kMsgBufferDone = 957;         // buffer done, or the render cycle's stop request
inline constexpr uint32_t kMsgMidiPlayStart = 33168;    // play toggle from MIDI, for a start
inline constexpr uint32_t kMsgMidiPlayStop = 33169;     // play toggle from MIDI, for a stop
inline constexpr uint32_t kMsgProgramChange = 33178;    // (control id, stream index)
inline constexpr uint32_t kMsgMidiMonitor = 33218;      // (packed MIDI short message)
inline constexpr uint32_t kMsgSoundLoaded = 33318;      // (stream index, sound record)
inline constexpr uint32_t kMsgSoundLoadFailed = 33319;  // text: what went wrong
inline constexpr uint32_t kMsgGestureRedraw = 33400;    // the gesture pad's marker moved on the timer thread
inline constexpr uint32_t kMsgMoveScrollBar = 34268;    // + k: (scroll position) for scroll bar k
inline constexpr uint32_t kScrollBarMessageCount = 30;  // 34268..34297

constexpr uint32_t moveScrollBarMessage(uint32_t k) {
    return kMsgMoveScrollBar + k;
}
constexpr bool isMoveScrollBarMessage(uint32_t number) {
    return number >= kMsgMoveScrollBar && number < kMsgMoveScrollBar + kScrollBarMessageCount;
}

struct Message {
    uint32_t number = 0;
    int64_t first = 0;
    int64_t second = 0;
    std::string text;  // only for messages posted with postText
};

// The main window's message queue. Any thread may post; one thread (the main
// thread) takes messages out in the order they were posted.
//
// post() is lock-free and allocation-free, so the audio and MIDI threads may
// use it. Two kinds of message are coalesced as the main window expects:
// - 34268 + k: while one is waiting, a newer one only replaces its position, so
//   the scroll bar jumps straight to the newest position;
// - 33218: a monitor line posted while another one waits is dropped.
class MessageQueue {
  public:
    static constexpr size_t kCapacity = 1024;

    MessageQueue();
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // Returns false when the message was not queued (queue full, or a monitor
    // line dropped because another waits). Thread: any, real-time safe.
    bool post(uint32_t number, int64_t first = 0, int64_t second = 0);

    // Posts a message that carries a text. Thread: any but the audio thread
    // (allocates).
    bool postText(uint32_t number, std::string text, int64_t first = 0);

    // Takes the oldest message out, if any. Thread: the one consumer.
    std::optional<Message> take();

    // Waits until a message is waiting or the timeout passes, and takes it.
    // Thread: the one consumer.
    std::optional<Message> waitAndTake(std::chrono::milliseconds timeout);

    // Called on the posting thread after every message queued, for an event
    // loop to wake up and call take(). Set it before other threads post.
    // Thread: main.
    void setWakeUpHook(std::function<void()> hook);

    // A descriptor that becomes readable while messages wait (an eventfd), for
    // an event loop that watches descriptors. Thread: any.
    int wakeDescriptor() const { return wakeFd_; }

    // Makes the wake descriptor unreadable again; an event loop calls it when
    // woken, before taking every waiting message. Thread: the one consumer.
    void clearWake();

  private:
    struct Cell {
        std::atomic<uint64_t> sequence;
        uint32_t number;
        int64_t first;
        int64_t second;
        bool hasText;
    };

    bool enqueue(uint32_t number, int64_t first, int64_t second, bool hasText);
    std::optional<Message> dequeue();
    void signal();

    std::unique_ptr<std::array<Cell, kCapacity>> cells_;
    alignas(64) std::atomic<uint64_t> enqueuePos_{0};
    alignas(64) std::atomic<uint64_t> dequeuePos_{0};

    // Newest position of each scroll bar and whether its message waits.
    std::array<std::atomic<int64_t>, kScrollBarMessageCount> scrollPositions_{};
    std::array<std::atomic<bool>, kScrollBarMessageCount> scrollWaiting_{};
    std::atomic<bool> monitorWaiting_{false};

    std::mutex textMutex_;
    std::map<int64_t, std::string> texts_;
    int64_t nextTextKey_ = 0;

    std::function<void()> wakeUpHook_;
    int wakeFd_ = -1;
};

}  // namespace platform
