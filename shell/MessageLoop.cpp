#include "shell/MessageLoop.h"

#include "output/PlayControl.h"

namespace shell {

MessageLoop::MessageLoop(platform::MessageQueue& queue, output::PlayControl& play, SoundArrivals* sounds)
    : queue_(queue), play_(play), sounds_(sounds) {}

void MessageLoop::dispatch(const platform::Message& message) {
    switch (message.number) {
        case platform::kMsgBufferDone:
            play_.onBufferDone(message.first, message.second);
            break;
        case platform::kMsgMidiPlayStart:
        case platform::kMsgMidiPlayStop:
            play_.togglePlay(output::PlayControl::kMidiMode);
            break;
        case platform::kMsgSoundLoaded:
            if (sounds_ != nullptr) {
                sounds_->soundLoaded(message.first, message.second);
            }
            break;
        case platform::kMsgSoundLoadFailed:
            if (sounds_ != nullptr) {
                sounds_->soundLoadFailed(message.text);
            }
            break;
        default:
            if (otherMessages_) {
                otherMessages_(message);
            }
            break;
    }
}

void MessageLoop::dispatchWaiting() {
    while (const auto message = queue_.take()) {
        dispatch(*message);
    }
}

void MessageLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds tick) {
    while (!done()) {
        if (const auto message = queue_.waitAndTake(tick)) {
            dispatch(*message);
        }
    }
}

}  // namespace shell
