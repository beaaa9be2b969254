#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "midi/MidiControlSettings.h"
#include "output/ManualAudioApi.h"
#include "output/PlayControl.h"
#include "platform/MessageQueue.h"
#include "shell/AppCore.h"
#include "shell/IoOptionsDialog.h"
#include "sounds/SoundTable.h"

namespace shell::testing {

// A probed stereo output device of that name.
inline output::DeviceInfo stereoDevice(const std::string& name) {
    output::DeviceInfo device;
    device.probed = true;
    device.name = name;
    device.outputChannels = 2;
    return device;
}

// The services of a core under test: `server` with one JACK device "system", the default output, no
// MIDI service (as when none runs), the settings in `settingsFile`, device diagnostics into `log`.
inline CoreServices testServices(output::ManualAudioServer& server, const std::filesystem::path& settingsFile,
                                 std::ostream& log) {
    server.devices[output::AudioApiId::kJack] = {stereoDevice("system")};
    server.devices[output::AudioApiId::kJack][0].isDefaultOutput = true;
    CoreServices services;
    services.audioApi = server.factory();
    services.settingsFile = settingsFile.string();
    services.log = &log;
    return services;
}

// A play view that ignores what it is told.
struct QuietView : output::PlayView, output::UserWarnings {
    void setPlayButton(bool) override {}
    void showStatusMessage(const std::string&) override {}
    void showWarning(const std::string&, const std::string&) override {}
};

// Play control as the program builds it, over an engine at `rate` (periods of 256 frames, a ring
// of four) and a manual sound server with one JACK device "system", the one selected.
struct PlayRig {
    explicit PlayRig(uint32_t rate) : sounds(rate), engine(sounds, engine::OutputFormat{rate, true, 256, 4}) {
        server.devices[output::AudioApiId::kJack] = {stereoDevice("system")};
        sound.sampleRate = rate;
        sound.deviceSelection = output::kRtDeviceBase;
    }

    sounds::SoundTable sounds;
    engine::Engine engine;
    output::ManualAudioServer server;
    std::ostringstream log;
    output::AudioSystem audio{server.factory(), log};
    platform::MessageQueue queue;
    output::AlsaOutput alsa{queue};
    output::AlsaDeviceTable alsaDevices;
    output::SoundSettings sound;
    QuietView view;
    output::PlayControl control{engine, {audio, alsa, alsaDevices, queue, log}, sound, view, view, nullptr};
};

// MIDI input ports of these names; opening them succeeds while `opens`.
struct FakeMidiInput : MidiInputPort {
    std::vector<std::string> names{"Keyboard", "Pads"};
    bool opens = true;
    int openCalls = 0;
    std::vector<std::string> deviceNames() const override { return names; }
    bool openMidiInput() override { return ++openCalls, opens; }
};

// What the I/O options dialog works on: play control as above, MIDI settings and MIDI input.
struct IoOptionsRig : PlayRig {
    explicit IoOptionsRig(uint32_t rate) : PlayRig(rate) {}
    IoOptionsDialog::Parts parts(output::Recorder* recorder = nullptr) {
        return {sound, midi, audio, alsaDevices, control, engine, recorder, midiInput};
    }

    midi::MidiControlSettings midi;
    FakeMidiInput midiInput;
};

}  // namespace shell::testing
