#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "midi/HeldNotes.h"
#include "midi/LastNote.h"
#include "midi/MidiControlSettings.h"
#include "midi/MidiResponse.h"
#include "midi/MidiTarget.h"
#include "midi/ShortMessageAssembler.h"

namespace platform {
class MessageQueue;
}

namespace midi {

// Decodes MIDI input and acts on it: notes start, stop and pitch the sound,
// controllers and expression move parameters, program changes recall patches,
// the system Start, Continue and Stop messages start and stop play. What must
// happen on the main thread is posted: play toggles (33168, 33169), program
// changes (33178), monitor lines (33218) and scroll bar moves (34268 + k).
// Thread: MIDI input, except where noted.
class MidiInputHandler {
  public:
    MidiInputHandler(MidiControlSettings& settings, MidiTarget& target, platform::MessageQueue& queue);

    // Bytes as a MIDI port delivers them, possibly with running status.
    void handleBytes(std::span<const uint8_t> bytes);
    // One complete short message.
    void handleShortMessage(const ShortMessage& message);

    // Starts play, or carries on with a new note while playing; stream -1 for
    // a system Start or Continue.
    void startFromMidi(int stream);
    void stopFromMidi();

    const LastNote& lastNote() const { return lastNote_; }
    const HeldNotes& heldNotes() const { return heldNotes_; }

  private:
    void monitor(const ShortMessage& message);
    void handleSystem(uint8_t status);
    std::optional<int> targetStream(int channel) const;
    void noteOn(int stream, int channel, int note, int velocity);
    void noteOff(int stream, int channel, int note);
    void channelPressure(int stream, int pressure);
    void pitchBend(int stream, int low, int high);
    void controlChange(int stream, int controller, int data);
    void programChange(int stream, int program);
    // Play is on and no stop is under way: a stop request would stop it.
    bool soundOn() const;

    MidiControlSettings& settings_;
    MidiTarget& target_;
    platform::MessageQueue& queue_;
    MidiResponse response_;
    ShortMessageAssembler assembler_;
    HeldNotes heldNotes_;
    LastNote lastNote_;
    std::optional<uint32_t> lastMonitored_;
};

}  // namespace midi
