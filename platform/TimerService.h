#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace platform {

// One-shot timers that fire on the service's own thread, timed on the steady
// clock. Callbacks run one at a time, without the service's lock held, so a
// callback may start, change or cancel timers itself.
class TimerService {
  public:
    using TimerId = uint64_t;
    using Clock = std::chrono::steady_clock;

    TimerService();
    // Cancels every pending timer and waits for a running callback.
    ~TimerService();
    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

    // Fires callback once, after delay. Thread: any.
    TimerId startOneShot(Clock::duration delay, std::function<void()> callback);

    // Moves a pending timer's deadline to now + delay; false when the timer has
    // already fired or was cancelled. Thread: any.
    bool changeDelay(TimerId id, Clock::duration delay);

    // Cancels a pending timer; true when it will no longer fire. When its
    // callback is running on the timer thread, waits until it has returned
    // (unless called from that callback). Thread: any.
    bool cancel(TimerId id);

    // Whether the timer is still waiting to fire. Thread: any.
    bool isPending(TimerId id) const;

  private:
    struct Timer {
        Clock::time_point deadline;
        std::function<void()> callback;
    };

    void run();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable callbackDone_;
    std::map<TimerId, Timer> timers_;
    TimerId nextId_ = 1;
    TimerId runningId_ = 0;  // timer whose callback runs now, 0 if none
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace platform
