#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midi/MidiControlSettings.h"
#include "midi/MidiInputBackend.h"
#include "midi/MidiInputHandler.h"

namespace midi {

// What MIDI input shows the user: the status line and warning boxes.
class MidiNotices {
  public:
    virtual ~MidiNotices() = default;
    // Thread: main.
    virtual void showStatus(int part, std::string_view text) = 0;
    virtual void showWarning(std::string_view caption, std::string_view text) = 0;
};

// The usable input devices: those whose name can be read, in port order.
struct MidiDeviceList {
    std::vector<std::string> names;
    std::vector<unsigned> ports;  // the backend's port of each list position
};
// Thread: main. A port that cannot be described is left out with a warning.
MidiDeviceList readDeviceList(MidiInputBackend& backend, MidiNotices& notices);

// The one MIDI input device: its list, opening it (the handler then receives
// everything it sends) and closing it. Thread: main.
class MidiInput {
  public:
    static constexpr int kStatusPart = 2;
    static constexpr const char* kNoDevicesText = "No MIDI input devices found";
    static constexpr const char* kDeviceErrorCaption = "MIDI input device error";
    static constexpr const char* kOpenErrorCaption = "Error opening MIDI input device";

    MidiInput(MidiControlSettings& settings, MidiInputHandler& handler, MidiInputBackend& backend,
              MidiNotices& notices);
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Builds the device list, puts the settings in range and opens the
    // selected device. Returns the number of usable devices (0: none).
    int initMidiInput();
    // Builds the device list only; returns the number of usable devices.
    int listDevices();
    // (Re)opens the selected device; "None" (-1) closes it and succeeds.
    bool openMidiInput();
    // Stops and closes the device.
    void shutDown();

    // Names of the usable devices, in list order.
    const std::vector<std::string>& deviceNames() const { return devices_.names; }
    bool isOpen() const { return open_; }

  private:
    // False when the service has no port at all (the status line says so).
    bool readDevices();

    MidiControlSettings& settings_;
    MidiInputHandler& handler_;
    MidiInputBackend& backend_;
    MidiNotices& notices_;
    MidiDeviceList devices_;
    bool open_ = false;
};

// The list position of the first name that contains `part`; nothing if none does.
std::optional<int> findDeviceContaining(const std::vector<std::string>& names, std::string_view part);

}  // namespace midi
