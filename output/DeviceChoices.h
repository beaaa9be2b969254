#pragma once

#include <optional>
#include <string>
#include <vector>

#include "output/AlsaDevices.h"
#include "output/AudioSystem.h"
#include "output/SoundSettings.h"

namespace output {

// One entry of the output device list as the options dialog shows it: its
// text and the deviceSelection it stands for.
struct DeviceChoice {
    std::string text;
    DeviceSelection selection = kDefaultAlsaDevice;

    bool operator==(const DeviceChoice&) const = default;
};

// Every probed JACK and PulseAudio device (65536 + list index), then the
// direct ALSA devices from -1 ("default", only when it opens) to n - 1, each
// shown as "(ALSA) " and its PCM name. Thread: main.
std::vector<DeviceChoice> outputDeviceChoices(const DeviceList& devices, const AlsaDeviceTable& alsaDevices);

// The first choice whose text and `name` contain one another, ignoring case
// (so "system", "(JACK0) system" and "null" all find their entry).
std::optional<DeviceChoice> findDeviceChoice(const std::vector<DeviceChoice>& choices,
                                             const std::string& name);

}  // namespace output
