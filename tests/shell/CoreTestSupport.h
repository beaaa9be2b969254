#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "midi/MidiControlSettings.h"
#include "output/ManualAudioApi.h"
#include "output/PlayControl.h"
#include "patches/EnginePatchStreams.h"
#include "patches/PatchPanel.h"
#include "platform/MessageQueue.h"
#include "platform/TimerService.h"
#include "shell/AppCore.h"
#include "shell/IoOptionsDialog.h"
#include "sounds/SoundTable.h"
#include "tests/audio/TestFiles.h"
#include "tests/patches/FakePanel.h"

namespace shell::testing {

// A probed stereo output device of that name.
inline output::DeviceInfo stereoDevice(const std::string& name) {
    output::DeviceInfo device;
    device.probed = true;
    device.name = name;
    device.outputChannels = 2;
    return device;
}

// The services of a core under test: `server` with one JACK device "system", no MIDI service (as
// when none runs), the settings in `settingsFile`, device diagnostics into `log`.
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

// The engine and patch panel with the timers and message queue of the gesture pad.
struct PatchRig : patches::testing::EngineRig {
    // Stores a patch in `slot` (from 0) of `bank`, each parameter k at value(k).
    void occupy(int bank, int slot, const std::function<int32_t(int)>& value) {
        patches::Patch& patch = panel.bank(bank).slots[static_cast<size_t>(slot)];
        patch.flags = patches::kPatchOccupied;
        for (int k = 0; k < engine::kParamCount; ++k)
            patch.values[static_cast<size_t>(k)] = value(k);
        ++panel.bank(bank).count;
    }

    platform::TimerService timers;
    platform::MessageQueue messages;
};

// A 16-bit stereo WAV of `frames` frames of a quiet ramp.
inline void writeStereoWav(const std::filesystem::path& path, uint32_t frames) {
    std::vector<int16_t> ramp(frames * 2);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<int16_t>(i % 2000);
    audio::test::writeFile(path.string(),
                           audio::test::waveFile(1, 2, 44100, 16, audio::test::rawBytes(ramp)));
}

}  // namespace shell::testing
