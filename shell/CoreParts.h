#pragma once

// The parts the application core owns, shared by the files that implement it.
#include <iostream>
#include <memory>

#include "engine/Engine.h"
#include "midi/EngineMidiTarget.h"
#include "midi/MidiControlSettings.h"
#include "midi/MidiInput.h"
#include "midi/MidiInputHandler.h"
#include "midi/MidiResponseDialog.h"
#include "output/AlsaOutput.h"
#include "output/AudioSystem.h"
#include "output/PlayControl.h"
#include "output/Recorder.h"
#include "output/RecordingSwitch.h"
#include "patches/EnginePatchStreams.h"
#include "patches/PatchPanel.h"
#include "platform/SettingsStore.h"
#include "platform/TimerService.h"
#include "shell/AppCore.h"
#include "shell/CoreAdapters.h"
#include "shell/FileList.h"
#include "shell/GesturePad.h"
#include "shell/IoOptionsDialog.h"
#include "shell/LoginDialog.h"
#include "shell/MessageLoop.h"
#include "shell/StreamTabs.h"
#include "shell/UserSettings.h"
#include "sounds/SoundLoader.h"
#include "sounds/SoundTable.h"

namespace shell {

// The MIDI input as the options dialog sees it.
class MidiPort : public MidiInputPort {
  public:
    explicit MidiPort(midi::MidiInput& input) : input_(input) {}
    std::vector<std::string> deviceNames() const override { return input_.deviceNames(); }
    bool openMidiInput() override { return input_.openMidiInput(); }

  private:
    midi::MidiInput& input_;
};

// Everything the core owns, in the order it must be built (and, reversed, torn down).
struct AppCore::Parts {
    Parts(AppCore& core, View& view, CoreServices& services, platform::MessageQueue& queue)
        : store(services.settingsFile.empty() ? platform::defaultSettingsFile()
                                              : std::filesystem::path(services.settingsFile)),
          adapters(view, [&core](const std::string& text, bool clear) { core.showStatus(text, clear); }),
          user(store, recentFiles,
               [&view](const std::string& text, const std::string& caption) { view.warn(text, caption); }),
          relay(queue),
          loader(table, queue, relay),
          engine(table),
          log(services.log != nullptr ? *services.log : std::cerr),
          audio(services.audioApi, log),
          alsaDevices(services.alsaDevices ? services.alsaDevices() : output::AlsaDeviceTable{}),
          alsa(queue),
          recorder(engine.lock()),
          recording(recorder, {}),
          play(engine, {audio, alsa, alsaDevices, queue, log}, user.settings().sound, adapters, adapters,
               &recorder),
          patchStreams(engine),
          panel(patchStreams, adapters),
          midiTarget(engine, play, &recorder),
          midiHandler(midiSettings, midiTarget, queue),
          midiBackend(services.midiBackend ? services.midiBackend() : nullptr),
          midiInput(midiBackend
                        ? std::make_unique<midi::MidiInput>(midiSettings, midiHandler, *midiBackend, adapters)
                        : nullptr),
          midiPort(midiInput ? std::make_unique<MidiPort>(*midiInput) : nullptr),
          gesture(engine, panel, view, timers, queue, services.gestureClocks),
          messages(queue, play, &core) {}

    platform::SettingsStore store;
    ViewAdapters adapters;
    FileList recentFiles;
    UserSettings user;
    sounds::SoundTable table{output::kDefaultSampleRate};
    LargeSoundRelay relay;
    sounds::SoundLoader loader;
    engine::Engine engine;
    std::ostream& log;
    output::AudioSystem audio;
    output::AlsaDeviceTable alsaDevices;
    output::AlsaOutput alsa;
    output::Recorder recorder;
    output::RecordingSwitch recording;
    output::PlayControl play;
    patches::EnginePatchStreams patchStreams;
    patches::PatchPanel panel;
    midi::MidiControlSettings midiSettings;
    midi::EngineMidiTarget midiTarget;
    midi::MidiInputHandler midiHandler;
    std::unique_ptr<midi::MidiInputBackend> midiBackend;
    std::unique_ptr<midi::MidiInput> midiInput;
    std::unique_ptr<MidiPort> midiPort;
    platform::TimerService timers;
    GesturePad gesture;
    MessageLoop messages;
    std::unique_ptr<StreamTabs> tabs;
};

}  // namespace shell
