#pragma once

#include "output/AlsaDevices.h"
#include "output/AudioSystem.h"
#include "output/SoundSettings.h"
#include "output/UserWarnings.h"

namespace output {

inline constexpr const char* kNoOutputDeviceText = "No wave output device available!";
inline constexpr const char* kPreviousDeviceMissingText =
    "Could not find previously selected device, so set default device";
inline constexpr const char* kNoRtDeviceText = "Could not find PulseAudio device, using ALSA";

// The start-up check of the sound devices: builds the device list, warns
// when there is no output at all, and makes the settings' device selection
// name a device that exists. Thread: main.
void checkSoundDevices(AudioSystem& system, const AlsaDeviceTable& alsaDevices, SoundSettings& settings,
                       UserWarnings& warnings);

}  // namespace output
