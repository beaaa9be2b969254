#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "midi/MidiControlSettings.h"
#include "output/AlsaDevices.h"
#include "output/AudioSystem.h"
#include "output/DeviceChoices.h"
#include "output/SoundSettings.h"

namespace engine {
class Engine;
}
namespace output {
class PlayControl;
class Recorder;
}  // namespace output

namespace shell {

// The MIDI input as the options dialog uses it (the core adapts midi::MidiInput).
class MidiInputPort {
  public:
    virtual ~MidiInputPort() = default;
    virtual std::vector<std::string> deviceNames() const = 0;
    // (Re)opens the selected device; false (its error box shown) on failure.
    virtual bool openMidiInput() = 0;
};

// The logic of the "In/Out Options" dialog: its "Sound output" and "MIDI
// input" pages edit the live sound and MIDI settings; OK applies buffers and
// the MIDI device, Cancel puts back what the dialog found. A test play plays
// the current streams with the settings being edited, never recording.
// The window shows its state and forwards the user's actions. Thread: main.
class IoOptionsDialog {
  public:
    static constexpr std::array<std::uint32_t, 9> kSampleRates{96000, 88200, 48000, 44100, 32000,
                                                               22050, 16000, 11025, 8000};
    static constexpr int kMinTrackPosition = 3;   // 4 frames
    static constexpr int kMaxTrackPosition = 15;  // 16384 frames
    static constexpr int kMaxMidiChannel = 16;
    static constexpr std::chrono::milliseconds kTestPlayPause{200};

    struct Parts {
        output::SoundSettings& sound;
        midi::MidiControlSettings& midi;
        output::AudioSystem& audio;
        const output::AlsaDeviceTable& alsaDevices;
        output::PlayControl& play;
        engine::Engine& engine;
        output::Recorder* recorder;  // may be null
        MidiInputPort& midiInput;
    };

    // Opens the dialog: copies both settings records. `pause` waits (200 ms
    // around a test play); tests pass one that does not.
    IoOptionsDialog(Parts parts, std::function<void(std::chrono::milliseconds)> pause);

    // ---- "Sound output" page
    const std::vector<output::DeviceChoice>& deviceChoices() const { return deviceChoices_; }
    // The entry standing for the current deviceSelection; -1 when none does.
    int selectedDevice() const;
    void chooseDevice(int entry);
    // The entry whose rate is the current one; -1 when none is.
    int selectedRate() const;
    void chooseRate(int entry);
    bool stereo() const { return parts_.sound.stereo; }
    void setStereo(bool on) { parts_.sound.stereo = on; }
    int trackPosition() const;
    void moveTrackBar(int position);
    // "%d frames, %d ms": bufferCount × bufferFrames and its duration.
    std::string bufferLabel() const;
    bool testPlayChecked() const { return testPlaying_; }
    void testPlayClicked();
    // The Test Play button lost the keyboard focus (also on OK and Cancel).
    void testPlayLostFocus();

    // ---- "MIDI input" page
    // "None", then the usable MIDI input devices.
    std::vector<std::string> midiDeviceEntries() const;
    int selectedMidiEntry() const { return parts_.midi.selectedDevice.load() + 1; }
    void chooseMidiDevice(int entry) { parts_.midi.selectedDevice.store(entry - 1); }
    // The channel edit lost the focus with `text`: returns what it shows now.
    std::string channelEditLostFocus(const std::string& text);
    int midiChannel() const { return parts_.midi.channel.load(); }
    bool moveSliders() const { return parts_.midi.moveSliders.load(); }
    bool monitorInput() const { return parts_.midi.monitorInput.load() != 0; }
    void setMoveSliders(bool on) { parts_.midi.moveSliders.store(on); }
    void setMonitorInput(bool on) { parts_.midi.monitorInput.store(on ? 1 : 0); }

    // OK: applies the settings; false when the dialog stays open (the MIDI
    // device could not be opened). A text is returned in `fatal` when the
    // output buffers could not be allocated.
    bool ok(std::string& fatal);
    // Cancel: every field back as the dialog found it.
    void cancel();

  private:
    void startTestPlay();
    void stopTestPlay();
    void resumeRecording();

    Parts parts_;
    std::function<void(std::chrono::milliseconds)> pause_;
    output::SoundSettings soundBackup_;
    midi::MidiControlSettings midiBackup_;
    std::vector<output::DeviceChoice> deviceChoices_;
    bool testPlaying_ = false;
    bool recordingSuspended_ = false;
};

}  // namespace shell
