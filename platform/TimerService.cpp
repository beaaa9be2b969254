#include "platform/TimerService.h"

namespace platform {

TimerService::TimerService() : thread_([this] { run(); }) {}

TimerService::~TimerService() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        timers_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

TimerService::TimerId TimerService::startOneShot(Clock::duration delay, std::function<void()> callback) {
    TimerId id = 0;
    {
        const std::lock_guard lock(mutex_);
        id = nextId_++;
        timers_.emplace(id, Timer{Clock::now() + delay, std::move(callback)});
    }
    changed_.notify_all();
    return id;
}

bool TimerService::changeDelay(TimerId id, Clock::duration delay) {
    {
        const std::lock_guard lock(mutex_);
        auto found = timers_.find(id);
        if (found == timers_.end())
            return false;
        found->second.deadline = Clock::now() + delay;
    }
    changed_.notify_all();
    return true;
}

bool TimerService::cancel(TimerId id) {
    std::unique_lock lock(mutex_);
    const bool removed = timers_.erase(id) > 0;
    if (std::this_thread::get_id() != thread_.get_id())
        callbackDone_.wait(lock, [&] { return runningId_ != id; });
    return removed;
}

bool TimerService::isPending(TimerId id) const {
    const std::lock_guard lock(mutex_);
    return timers_.contains(id);
}

void TimerService::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (timers_.empty()) {
            changed_.wait(lock);
            continue;
        }
        auto earliest = timers_.begin();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.deadline < earliest->second.deadline)
                earliest = it;
        }
        if (Clock::now() < earliest->second.deadline) {
            // A copy: the timer may be cancelled while this thread waits.
            const Clock::time_point deadline = earliest->second.deadline;
            changed_.wait_until(lock, deadline);
            continue;
        }
        // A one-shot timer is gone once it fires.
        const TimerId id = earliest->first;
        auto callback = std::move(earliest->second.callback);
        timers_.erase(earliest);
        runningId_ = id;
        lock.unlock();
        callback();
        lock.lock();
        runningId_ = 0;
        callbackDone_.notify_all();
    }
}

}  // namespace platform
