#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/AudioApi.h"
#include "output/DeviceSpec.h"
#include "output/SoundSettings.h"

namespace output {

// Every device of the JACK API, then every device of the PulseAudio API, each
// renamed "(KEY) name" with KEY the API tag and the device's index within its
// API ("(JACK0) system", "(PULSE0) PulseAudio"). Built once, never rebuilt.
struct DeviceList {
    std::vector<DeviceInfo> entries;
    std::size_t jackDeviceCount = 0;  // the first entries, those of the JACK API
    DeviceSpec defaultOutputDevice = DeviceSpec::blank();
    DeviceSpec defaultInputDevice = DeviceSpec::blank();
    bool built = false;
};

// A list index must fit the 8 bits the stored selection keeps.
inline constexpr std::size_t kMaxDeviceListEntries = 256;

inline constexpr const char* kJackTag = "JACK";
inline constexpr const char* kPulseTag = "PULSE";

// The program's period callback: fills `frames` frames of interleaved 16-bit
// samples; returns 0 to continue. Thread: audio.
using OutputCallback = int (*)(void* context, std::int16_t* output, unsigned frames);

// What the back end receives as user data: the one filled callback slot.
struct CallbackSlots {
    OutputCallback output = nullptr;
    void* context = nullptr;
};

// Has the back end's callback shape; calls the filled slot of the
// CallbackSlots passed as user data, or returns 0 when none is. A cancel of
// the calling thread takes effect only once the slot has returned.
// Thread: audio.
int callbackTrampoline(void* output, void* input, unsigned frames, double streamTime, unsigned status,
                       void* userData);

enum class AudioSystemState { kClosed = 0, kOpen = 1, kRunning = 2 };

// The device layer over the sound-server back ends: device enumeration, device
// choice by name, and one 16-bit output stream with a callback.
// Thread: main (only the callback runs on the back end's thread).
class AudioSystem {
  public:
    // Diagnostics (back-end errors) are written to `log`.
    AudioSystem(AudioApiFactory factory, std::ostream& log);
    ~AudioSystem();
    AudioSystem(const AudioSystem&) = delete;
    AudioSystem& operator=(const AudioSystem&) = delete;

    // Builds the list on first call.
    const DeviceList& getDeviceList();

    // Finds the first entry whose shown name and `name` contain one another
    // (ignoring case), closes the stream and makes that device the output.
    bool selectDeviceByName(const std::string& name);

    // The list index of the entry selectDeviceByName would take.
    std::optional<std::size_t> findDeviceByName(const std::string& name);

    // Opens a stream for `config` (device fields are DeviceList indices).
    // Raises RtError.
    void open(RawAudioCallback callback, void* userData, const StreamConfig& config);

    // Opens `config` with `callback` through the trampoline, only while
    // closed. Errors are written to the log and leave the stream closed.
    void setCallback(const StreamConfig& config, OutputCallback callback, void* context);

    void start();
    void stop();
    void close();

    // Opens (or keeps open) a stream for the settings' device; true when a
    // stream is open afterwards. The granted buffer values are then in
    // config().output.
    bool openPlaybackStream(const SoundSettings& settings, OutputCallback callback, void* context);

    AudioSystemState state() const { return state_; }
    // Whether the back end still holds a stream: a sound server that shuts
    // down closes it behind our back.
    bool streamOpen() const;
    const StreamConfig& config() const { return config_; }
    AudioApiId currentApi() const;

  private:
    void buildDeviceList();
    void appendApiDevices(AudioApiId api, const char* tag);
    void useApi(AudioApiId api);
    AudioApiId apiOfEntry(std::size_t listIndex) const;

    AudioApiFactory factory_;
    std::ostream& log_;
    std::unique_ptr<AudioApi> api_;
    StreamConfig config_;
    AudioSystemState state_ = AudioSystemState::kClosed;
    DeviceList deviceList_;
    CallbackSlots slots_;
};

}  // namespace output
