#include "output/DeviceChoices.h"

#include <algorithm>
#include <cctype>

namespace output {
namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::vector<DeviceChoice> outputDeviceChoices(const DeviceList& devices, const AlsaDeviceTable& alsaDevices) {
    std::vector<DeviceChoice> choices;
    for (std::size_t i = 0; i < devices.entries.size(); ++i) {
        if (devices.entries[i].probed) {
            choices.push_back({devices.entries[i].name, kRtDeviceBase + static_cast<DeviceSelection>(i)});
        }
    }
    if (alsaDevices.defaultAvailable) {
        choices.push_back({std::string(kAlsaEntryPrefix) + kAlsaDefaultPcm, kDefaultAlsaDevice});
    }
    for (int device = 0; device < alsaDevices.count(); ++device) {
        choices.push_back({kAlsaEntryPrefix + alsaDevices.pcmName(device), device});
    }
    return choices;
}

std::optional<DeviceChoice> findDeviceChoice(const std::vector<DeviceChoice>& choices,
                                             const std::string& name) {
    const std::string wanted = lowercase(name);
    if (wanted.empty()) {
        return std::nullopt;
    }
    for (const DeviceChoice& choice : choices) {
        const std::string text = lowercase(choice.text);
        if (text.find(wanted) != std::string::npos || wanted.find(text) != std::string::npos) {
            return choice;
        }
    }
    return std::nullopt;
}

}  // namespace output
