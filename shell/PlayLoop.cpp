#include "shell/PlayLoop.h"

#include <optional>

#include "output/PlayControl.h"

namespace shell {

PlayLoop::PlayLoop(MessagePump& messages, output::PlayControl& play) : messages_(messages), play_(play) {}

void PlayLoop::run(Clock::time_point end, const std::atomic<int>& interrupts,
                   const std::function<void()>& eachTick) {
    std::optional<Clock::time_point> stopAskedAt;
    messages_.runUntil(
        [&] {
            const int pressed = interrupts.load(std::memory_order_relaxed);
            const Clock::time_point now = Clock::now();
            if (!play_.playing()) {
                if (!runWhileStopped_ || stopAskedAt) {
                    return true;
                }
                interrupted_ = interrupted_ || pressed > 0;
                return pressed > 0 || now >= end;
            }
            interrupted_ = interrupted_ || pressed > 0;
            play_.checkDevice();
            if (!play_.playing()) {
                return !runWhileStopped_;
            }
            if (pressed > 1 || (stopAskedAt && now - *stopAskedAt > kStopGrace)) {
                play_.stopPlay();
                return true;
            }
            if (!stopAskedAt && (pressed > 0 || now >= end)) {
                stopAskedAt = now;
                play_.requestStop();
                return !play_.playing();
            }
            if (eachTick) {
                eachTick();
            }
            return false;
        },
        kTick);
}

}  // namespace shell
