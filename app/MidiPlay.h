#pragma once

#include <memory>
#include <string>

#include "platform/MessageQueue.h"

namespace engine {
class Engine;
}
namespace output {
class PlayControl;
class Recorder;
}  // namespace output

namespace app {

// MIDI for `frisson play --midi PORT`: the user's MIDI settings, the session's
// patch banks for program changes, and the input opened on the source whose
// name contains PORT. Notes, controllers and the system messages then play the
// engine; the play toggles they post go through the play loop as usual.
// Thread: main.
class MidiPlay {
  public:
    // Throws CommandFailure when no MIDI service is reachable, no source
    // matches or the source cannot be opened.
    MidiPlay(engine::Engine& engine, output::PlayControl& play, const output::Recorder* recorder,
             platform::MessageQueue& queue, const std::string& port);
    ~MidiPlay();
    MidiPlay(const MidiPlay&) = delete;
    MidiPlay& operator=(const MidiPlay&) = delete;

    // The name of the source that was opened.
    const std::string& sourceName() const;

    // Handles what MIDI posts besides the play toggles: a program change
    // recalls a patch or shows a bank, a monitor line is printed on stderr,
    // scroll bar moves are dropped (there is no window). False for any other
    // message.
    bool dispatch(const platform::Message& message);

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace app
