#include "platform/MessageQueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>

namespace platform {

namespace {

constexpr uint64_t kIndexMask = MessageQueue::kCapacity - 1;
static_assert((MessageQueue::kCapacity & kIndexMask) == 0, "capacity must be a power of two");

}  // namespace

MessageQueue::MessageQueue() : cells_(std::make_unique<std::array<Cell, kCapacity>>()) {
    for (size_t i = 0; i < kCapacity; ++i)
        (*cells_)[i].sequence.store(i, std::memory_order_relaxed);
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        throw std::runtime_error("Could not create the message queue's wake-up descriptor");
}

MessageQueue::~MessageQueue() {
    close(wakeFd_);
}

void MessageQueue::setWakeUpHook(std::function<void()> hook) {
    wakeUpHook_ = std::move(hook);
}

// A bounded multi-producer queue of fixed cells: each cell's sequence number
// says whether it is free for the producer at that position or filled for the
// consumer, so posting needs neither a lock nor an allocation.
bool MessageQueue::enqueue(uint32_t number, int64_t first, int64_t second, bool hasText) {
    uint64_t pos = enqueuePos_.load(std::memory_order_relaxed);
    Cell* cell = nullptr;
    for (;;) {
        cell = &(*cells_)[pos & kIndexMask];
        const uint64_t sequence = cell->sequence.load(std::memory_order_acquire);
        const auto diff = static_cast<int64_t>(sequence - pos);
        if (diff == 0) {
            if (enqueuePos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                break;
        } else if (diff < 0) {
            return false;  // full
        } else {
            pos = enqueuePos_.load(std::memory_order_relaxed);
        }
    }
    cell->number = number;
    cell->first = first;
    cell->second = second;
    cell->hasText = hasText;
    cell->sequence.store(pos + 1, std::memory_order_release);
    signal();
    return true;
}

std::optional<Message> MessageQueue::dequeue() {
    uint64_t pos = dequeuePos_.load(std::memory_order_relaxed);
    Cell* cell = nullptr;
    for (;;) {
        cell = &(*cells_)[pos & kIndexMask];
        const uint64_t sequence = cell->sequence.load(std::memory_order_acquire);
        const auto diff = static_cast<int64_t>(sequence - (pos + 1));
        if (diff == 0) {
            if (dequeuePos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                break;
        } else if (diff < 0) {
            return std::nullopt;  // empty
        } else {
            pos = dequeuePos_.load(std::memory_order_relaxed);
        }
    }
    Message message{cell->number, cell->first, cell->second, {}};
    const bool hasText = cell->hasText;
    cell->sequence.store(pos + kCapacity, std::memory_order_release);
    if (hasText) {
        const std::lock_guard lock(textMutex_);
        auto found = texts_.find(message.second);
        if (found != texts_.end()) {
            message.text = std::move(found->second);
            texts_.erase(found);
        }
        message.second = 0;
    }
    return message;
}

void MessageQueue::signal() {
    const uint64_t one = 1;
    // A full counter already means "readable"; nothing is lost if this fails.
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    if (wakeUpHook_)
        wakeUpHook_();
}

void MessageQueue::clearWake() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
}

bool MessageQueue::post(uint32_t number, int64_t first, int64_t second) {
    if (isMoveScrollBarMessage(number)) {
        const uint32_t k = number - kMsgMoveScrollBar;
        scrollPositions_[k].store(first);
        if (scrollWaiting_[k].exchange(true))
            return true;  // the waiting message will carry the new position
        if (enqueue(number, 0, second, false))
            return true;
        scrollWaiting_[k].store(false);
        return false;
    }
    if (number == kMsgMidiMonitor) {
        if (monitorWaiting_.exchange(true))
            return false;
        if (enqueue(number, first, second, false))
            return true;
        monitorWaiting_.store(false);
        return false;
    }
    return enqueue(number, first, second, false);
}

bool MessageQueue::postText(uint32_t number, std::string text, int64_t first) {
    int64_t key = 0;
    {
        const std::lock_guard lock(textMutex_);
        key = nextTextKey_++;
        texts_.emplace(key, std::move(text));
    }
    if (enqueue(number, first, key, true))
        return true;
    const std::lock_guard lock(textMutex_);
    texts_.erase(key);
    return false;
}

std::optional<Message> MessageQueue::take() {
    auto message = dequeue();
    if (!message)
        return message;
    if (isMoveScrollBarMessage(message->number)) {
        // Clear the flag before reading, so a position posted after the read
        // queues a message of its own.
        const uint32_t k = message->number - kMsgMoveScrollBar;
        scrollWaiting_[k].store(false);
        message->first = scrollPositions_[k].load();
    } else if (message->number == kMsgMidiMonitor) {
        monitorWaiting_.store(false);
    }
    return message;
}

std::optional<Message> MessageQueue::waitAndTake(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        clearWake();
        if (auto message = take())
            return message;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd descriptor{wakeFd_, POLLIN, 0};
        poll(&descriptor, 1, static_cast<int>(left.count()) + 1);
    }
}

}  // namespace platform
