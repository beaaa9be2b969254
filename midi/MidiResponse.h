#pragma once

#include <cstdint>

#include "midi/LastNote.h"
#include "midi/MidiControlSettings.h"
#include "midi/MidiTarget.h"

namespace platform {
class MessageQueue;
}

namespace midi {

// Change times of MIDI-driven parameter changes, in 1/64 s.
inline constexpr double kControllerChangeTime = 12.8;  // 0.2 s
inline constexpr double kNotePitchChangeTime = 0.64;   // 10 ms

// The events on which response rows are applied.
enum class ResponseEvent { NoteStart, NoteRelease, Aftertouch, PitchBend };

// Turns decoded MIDI data into parameter changes of a stream: controllers,
// the pitch of a note, and the six response rows. When the current stream's
// scroll bars are to follow, their new positions are posted (34268 + k).
// Thread: MIDI input (reads the live settings that the main thread may change).
class MidiResponse {
  public:
    MidiResponse(const MidiControlSettings& settings, MidiTarget& target, platform::MessageQueue& queue);

    // Controllers 4..32 set parameters 0..28 coarsely, 36..64 finely; others
    // are ignored. `data` is the 7-bit controller value.
    void controllerChange(int stream, int controller, int data);

    // Sets the stream's pitch from the note (and pitch bend) of `input`.
    void notePitch(int stream, const LastNote& input);

    // Applies one response row for the given source kinds. A row without a
    // target parameter is skipped.
    void MapMIDIresponse(ResponseRow row, int stream, const LastNote& input, uint32_t kinds);

    // Runs MapMIDIresponse for every row the event concerns, in row order.
    void applyResponses(int stream, const LastNote& input, ResponseEvent event);

  private:
    void moveSlider(int stream, int param, int32_t position);

    const MidiControlSettings& settings_;
    MidiTarget& target_;
    platform::MessageQueue& queue_;
};

}  // namespace midi
