// frisson midi-ports: lists the MIDI sources that `frisson play --midi` can open.
#include <exception>
#include <iostream>
#include <string>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "midi/MidiInput.h"
#include "midi/RtMidiInputBackend.h"

namespace app {
namespace {

constexpr const char* kMidiPortsUsage =
    "usage: frisson midi-ports\n"
    "Lists the MIDI sources (ALSA sequencer ports, or JACK MIDI ports where no\n"
    "sequencer is available), one per line with its list position. Set\n"
    "FRISSON_MIDI_API=alsa or FRISSON_MIDI_API=jack to choose the service.\n";

// Warnings go to the standard error stream.
class StderrNotices : public midi::MidiNotices {
  public:
    void showStatus(int, std::string_view text) override { std::cerr << text << "\n"; }
    void showWarning(std::string_view caption, std::string_view text) override {
        std::cerr << caption << ": " << text << "\n";
    }
};

}  // namespace

int runMidiPorts(Args args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << kMidiPortsUsage;
            return kExitOk;
        }
        throw UsageError("unknown argument '" + arg + "'");
    }
    try {
        midi::RtMidiInputBackend backend;
        StderrNotices notices;
        const auto list = midi::readDeviceList(backend, notices);
        if (list.names.empty()) {
            std::cerr << midi::MidiInput::kNoDevicesText << " (" << backend.serviceName() << ")\n";
            return kExitOk;
        }
        for (size_t i = 0; i < list.names.size(); ++i)
            std::cout << i << ": " << list.names[i] << "\n";
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace app
