#include "midi/MidiInput.h"

namespace midi {
namespace {

constexpr int32_t kNoDevice = -1;
constexpr int32_t kLastChannel = 16;
constexpr int32_t kChannelAfterReset = 1;

}  // namespace

MidiInput::MidiInput(MidiControlSettings& settings, MidiInputHandler& handler, MidiInputBackend& backend,
                     MidiNotices& notices)
    : settings_(settings), handler_(handler), backend_(backend), notices_(notices) {}

MidiInput::~MidiInput() {
    shutDown();
}

MidiDeviceList readDeviceList(MidiInputBackend& backend, MidiNotices& notices) {
    MidiDeviceList list;
    const unsigned count = backend.portCount();
    for (unsigned port = 0; port < count; ++port) {
        std::string error;
        if (auto name = backend.portName(port, error)) {
            list.names.push_back(std::move(*name));
            list.ports.push_back(port);
        } else {
            notices.showWarning(MidiInput::kDeviceErrorCaption, error);
        }
    }
    return list;
}

bool MidiInput::readDevices() {
    devices_ = MidiDeviceList{};
    if (backend_.portCount() == 0) {
        notices_.showStatus(kStatusPart, kNoDevicesText);
        return false;
    }
    devices_ = readDeviceList(backend_, notices_);
    return true;
}

int MidiInput::listDevices() {
    readDevices();
    return static_cast<int>(devices_.names.size());
}

int MidiInput::initMidiInput() {
    if (!readDevices())
        return 0;
    const auto usable = static_cast<int32_t>(devices_.names.size());
    if (settings_.selectedDevice < 0 || settings_.selectedDevice >= usable)
        settings_.selectedDevice = 0;
    if (settings_.channel < 0 || settings_.channel > kLastChannel)
        settings_.channel = kChannelAfterReset;
    if (usable == 0)
        return 0;
    openMidiInput();
    return usable;
}

bool MidiInput::openMidiInput() {
    shutDown();
    const int32_t selected = settings_.selectedDevice;
    if (selected == kNoDevice)
        return true;  // "None": MIDI stays off
    if (selected < 0 || selected >= static_cast<int32_t>(devices_.ports.size())) {
        notices_.showWarning(kOpenErrorCaption, "The selected MIDI input device does not exist.");
        return false;
    }
    // Messages that arrive while the port opens are ignored.
    const int32_t monitor = settings_.monitorInput;
    settings_.monitorInput = kMonitorOpening;
    std::string error;
    open_ = backend_.open(
        devices_.ports[static_cast<size_t>(selected)],
        [this](std::span<const uint8_t> bytes) { handler_.handleBytes(bytes); }, error);
    settings_.monitorInput = monitor;
    if (!open_)
        notices_.showWarning(kOpenErrorCaption, error);
    return open_;
}

void MidiInput::shutDown() {
    backend_.close();
    open_ = false;
}

std::optional<int> findDeviceContaining(const std::vector<std::string>& names, std::string_view part) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].find(part) != std::string::npos)
            return static_cast<int>(i);
    return std::nullopt;
}

}  // namespace midi
