#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace midi {

// The platform side of MIDI input: the input ports (sources) and one open
// port that delivers its bytes on the backend's own thread.
class MidiInputBackend {
  public:
    // Thread: the backend's MIDI thread.
    using BytesCallback = std::function<void(std::span<const uint8_t>)>;

    virtual ~MidiInputBackend() = default;

    // Which service the ports come from ("ALSA sequencer", "JACK").
    virtual std::string serviceName() const = 0;
    // Thread: main.
    virtual unsigned portCount() = 0;
    // The name of a port; nothing, with the reason in `error`, when it cannot be read.
    virtual std::optional<std::string> portName(unsigned port, std::string& error) = 0;
    // Opens a port; from then on every message it receives goes to `onBytes`.
    // False, with the reason in `error`, when the port cannot be opened.
    virtual bool open(unsigned port, BytesCallback onBytes, std::string& error) = 0;
    // Stops and closes the open port, if any. No callback runs after it returns.
    virtual void close() = 0;
};

}  // namespace midi
