#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "output/AlsaDevices.h"
#include "output/AlsaOutput.h"
#include "output/AudioSystem.h"
#include "output/PlayView.h"
#include "output/SoundSettings.h"
#include "output/UserWarnings.h"

namespace engine {
class Engine;
}
namespace platform {
class MessageQueue;
}

namespace output {

class Recorder;

// Starts and stops sound for every caller (the Play button, MIDI, the options
// dialog's test play, `frisson play`): opens the settings' device (a JACK or
// PulseAudio stream, or a direct ALSA PCM), fills the ring, routes the
// buffer-done message 957 back into the render cycle and closes the device.
// Thread: main.
class PlayControl {
  public:
    // A start or stop that comes from MIDI: the streams keep their loop
    // positions and grain clocks.
    static constexpr int kMidiMode = 4;
    // A performance that begins together with its recording (`frisson play
    // --record`): the streams are reset as at any fresh start, so the
    // recording begins with the frames an offline render writes.
    static constexpr int kFreshStartMode = 5;
    // See Devices::silentLimit. A period is 6 ms at 44100 Hz with 256 frames; a live server asks
    // for hundreds in this time, however busy the machine.
    static constexpr std::chrono::milliseconds kSilentDeviceLimit{2000};

    struct Devices {
        AudioSystem& audio;
        AlsaOutput& alsa;
        const AlsaDeviceTable& alsaDevices;
        platform::MessageQueue& queue;  // where the period callback posts 957
        std::ostream& log;              // device errors
        // A stream that asks for no period for this long has lost its device, even when the
        // sound server's client library never said so (a server killed while the machine is busy).
        std::chrono::milliseconds silentLimit{kSilentDeviceLimit};
    };

    // `recorder` may be null (nothing records).
    PlayControl(engine::Engine& engine, Devices devices, SoundSettings& settings, PlayView& view,
                UserWarnings& warnings, Recorder* recorder);
    ~PlayControl();
    PlayControl(const PlayControl&) = delete;
    PlayControl& operator=(const PlayControl&) = delete;

    // The play toggle: a stop request while playing, else a start (which
    // reuses the open device when a soft stop is still running).
    void togglePlay(int mode);
    bool startPlay(int mode);
    // Ends play at once: closes the device and shows the underrun report.
    void stopPlay();
    // The stop request (soft or immediate).
    void requestStop();

    // Message 957: (slot, generation) from the ALSA writer or the period
    // callback.
    void onBufferDone(std::int64_t slot, std::int64_t generation);

    // Reallocates the ring for the settings (channels, frames, count);
    // returns the engine's error text when that failed.
    std::optional<std::string> allocateBuffers();

    // Set by a MIDI note-on during play: the next toggle starts again.
    void setRestartPending() { restartPending_ = true; }
    bool restartPending() const { return restartPending_; }
    bool playing() const;

    void updatePlayButton();

    // Ends play when its device has gone away (the sound server closed the
    // stream, it asked for no period for Devices::silentLimit, or the ALSA
    // writer failed); writes the reason to the log. A
    // recording that runs then ends too, its files closed with what they hold,
    // and leaves kDeviceLostText for the status line.
    // Called on every turn of the main loop while playing.
    void checkDevice();
    // Whether the last play ended because its device went away.
    bool deviceLost() const { return deviceLost_; }

  private:
    bool openDevice();
    void fillRing();
    void queueBuffer(int slot);
    void onAlsaBufferDone();
    void adoptGrantedBuffers();
    void deviceWentAway();
    void watchPeriods();

    // Thread: audio. The device's period callback.
    static int periodCallback(void* context, std::int16_t* output, unsigned frames);

    engine::Engine& engine_;
    Devices devices_;
    SoundSettings& settings_;
    PlayView& view_;
    UserWarnings& warnings_;
    Recorder* recorder_;

    // Read by MIDI input on its own thread.
    std::atomic<bool> restartPending_{false};
    bool deviceLost_ = false;
    // Whether the open device (if any) is the direct ALSA one.
    bool onAlsa_ = false;
    // The period count of the engine when checkDevice last saw it change, and when that was.
    std::uint32_t periodsSeen_ = 0;
    std::chrono::steady_clock::time_point periodSeenAt_;
    // Done messages of an earlier play carry an older generation.
    std::atomic<std::int64_t> playGeneration_{0};
    // 16-bit copies of the ring slots queued to ALSA.
    std::vector<std::int16_t> alsaBuffers_;
};

}  // namespace output
