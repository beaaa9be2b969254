#pragma once

#include <memory>
#include <string>

#include "midi/MidiInputBackend.h"

class RtMidiIn;

namespace midi {

// MIDI input through RtMidi: the ALSA sequencer, or JACK MIDI where no
// sequencer is available. The environment variable FRISSON_MIDI_API ("alsa" or
// "jack") chooses one of them explicitly.
class RtMidiInputBackend : public MidiInputBackend {
  public:
    // The name under which the program's input port appears to other clients.
    static constexpr const char* kClientName = "Frisson";
    static constexpr const char* kPortName = "MIDI in";

    // Thread: main. Throws std::runtime_error when no MIDI service can be reached.
    RtMidiInputBackend();
    ~RtMidiInputBackend() override;

    std::string serviceName() const override;
    unsigned portCount() override;
    std::optional<std::string> portName(unsigned port, std::string& error) override;
    bool open(unsigned port, BytesCallback onBytes, std::string& error) override;
    void close() override;

  private:
    static void onRtMidiError(int type, const std::string& text, void* self);
    static void onRtMidiMessage(double stamp, std::vector<unsigned char>* message, void* self);
    // The error RtMidi reported since the last call, if any.
    std::optional<std::string> takeError();

    std::unique_ptr<RtMidiIn> input_;
    std::string service_;
    std::string lastError_;  // set by RtMidi's error callback on the calling thread
    BytesCallback onBytes_;
};

}  // namespace midi
