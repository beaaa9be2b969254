#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/MessageQueue.h"

namespace output {
class PlayControl;
}

namespace shell {

// The application core's handling of sounds that finished loading.
class SoundArrivals {
  public:
    virtual ~SoundArrivals() = default;
    // 33318: the sound of record `record` is ready for stream `stream`.
    virtual void soundLoaded(std::int64_t stream, std::int64_t record) = 0;
    // 33319: loading failed; `text` is for status part 1.
    virtual void soundLoadFailed(const std::string& text) = 0;
};

// Whatever takes the main thread's messages and acts on them, for a loop that
// waits between turns. Thread: main.
class MessagePump {
  public:
    virtual ~MessagePump() = default;
    // Dispatches messages until `done()` holds, waiting at most `tick` at a
    // time so that `done()` is asked again at least that often.
    virtual void runUntil(const std::function<bool()>& done, std::chrono::milliseconds tick) = 0;
};

// The main thread's message loop: takes what other threads posted and hands
// each message to the part of the core that handles it (957 to play control,
// the MIDI play toggles to the play toggle, 33318/33319 to the sound
// arrivals). The window's event loop and `frisson play` both drive it.
// Thread: main.
class MessageLoop : public MessagePump {
  public:
    // `sounds` may be null: loader messages are then dropped.
    MessageLoop(platform::MessageQueue& queue, output::PlayControl& play, SoundArrivals* sounds);

    void dispatch(const platform::Message& message);

    // Receives every message the loop does not handle itself (MIDI's program
    // changes, monitor lines and scroll bar moves, for one).
    void setOtherMessages(std::function<void(const platform::Message&)> handler) {
        otherMessages_ = std::move(handler);
    }

    // Dispatches every message that is waiting, without waiting.
    void dispatchWaiting();

    // Dispatches messages until `done()` holds, waiting at most `tick` at a
    // time so that `done()` is asked again at least that often.
    void runUntil(const std::function<bool()>& done, std::chrono::milliseconds tick);

  private:
    platform::MessageQueue& queue_;
    output::PlayControl& play_;
    SoundArrivals* sounds_;
    std::function<void(const platform::Message&)> otherMessages_;
};

}  // namespace shell
