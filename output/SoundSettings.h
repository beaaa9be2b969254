#pragma once

#include <cstdint>
#include <string>

namespace output {

// `deviceSelection` is the one value that names the output device everywhere in the program:
//   -1            ALSA's "default" PCM
//   0 .. n-1      the ALSA playback PCM n from the device name hints
//   65536 + i     DeviceList entry i (a JACK or PulseAudio device)
using DeviceSelection = std::int32_t;

inline constexpr DeviceSelection kDefaultAlsaDevice = -1;
inline constexpr DeviceSelection kRtDeviceBase = 0x10000;

// True when the selection names an RtAudio device (JACK or PulseAudio).
constexpr bool isRtDevice(DeviceSelection selection) {
    return selection >= kRtDeviceBase;
}

inline constexpr std::uint32_t kDefaultSampleRate = 22050;
inline constexpr std::uint32_t kDefaultBufferFrames = 256;
inline constexpr std::uint32_t kDefaultBufferCount = 4;

// The output settings shared by play control, recording, the options logic and
// the stored settings.
struct SoundSettings {
    std::uint32_t sampleRate = kDefaultSampleRate;
    bool stereo = true;                                 // channels = stereo + 1
    std::uint32_t bufferFrames = kDefaultBufferFrames;  // frames per buffer (period)
    std::uint32_t bufferCount = kDefaultBufferCount;    // buffers in the output ring
    DeviceSelection deviceSelection = kRtDeviceBase;    // first JACK/PulseAudio entry
    std::string deviceName;                             // text of the entry last chosen in the options dialog
    bool softStop = true;
    bool resetLoopOnPlay = true;
    bool numberedFiles = false;  // stored inverted: bit 3 set means off
    bool oneFilePerStream = false;

    std::uint32_t channels() const { return stereo ? 2u : 1u; }

    bool operator==(const SoundSettings&) const = default;
};

}  // namespace output
