#pragma once

#include <atomic>
#include <chrono>
#include <functional>

#include "shell/MessageLoop.h"

namespace output {
class PlayControl;
}

namespace shell {

// One performance without a window (`frisson play`): runs the message loop
// while play goes on, asks for a stop at the end time or at the first
// interrupt (a soft stop when soft stop is on), and stops at once at the
// second interrupt or when a stop request has not ended play in time (a
// sound server that went away never drains the ring). Thread: main.
class PlayLoop {
  public:
    using Clock = std::chrono::steady_clock;

    // How often the loop looks at the clock and the interrupts.
    static constexpr std::chrono::milliseconds kTick{10};
    // The longest a stop request may take: the half-second fade, the ring and
    // a generous margin.
    static constexpr std::chrono::seconds kStopGrace{5};

    PlayLoop(MessagePump& messages, output::PlayControl& play);

    // Runs until play has ended. `interrupts` counts Ctrl-C presses (written
    // by a signal handler); `eachTick` runs on every turn while playing.
    void run(Clock::time_point end, const std::atomic<int>& interrupts,
             const std::function<void()>& eachTick);

    // With MIDI attached, play may stop and start again: the loop then runs
    // until the end time or the first interrupt even while nothing plays.
    void setRunWhileStopped(bool on) { runWhileStopped_ = on; }

    // Whether play ended by an interrupt rather than at the end time.
    bool interrupted() const { return interrupted_; }

  private:
    MessagePump& messages_;
    output::PlayControl& play_;
    bool interrupted_ = false;
    bool runWhileStopped_ = false;
};

}  // namespace shell
