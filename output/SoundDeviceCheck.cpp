#include "output/SoundDeviceCheck.h"

namespace output {
namespace {

// The stored selection keeps a DeviceList index in its low byte.
constexpr DeviceSelection kListIndexMask = 0xFF;

}  // namespace

void checkSoundDevices(AudioSystem& system, const AlsaDeviceTable& alsaDevices, SoundSettings& settings,
                       UserWarnings& warnings) {
    const auto rtCount = static_cast<DeviceSelection>(system.getDeviceList().entries.size());
    const DeviceSelection alsaCount = alsaDevices.count();
    if (!alsaDevices.defaultAvailable && alsaCount + rtCount == 0) {
        warnings.showWarning(kWarningCaption, kNoOutputDeviceText);
    }
    if (!alsaDevices.hintError.empty()) {
        warnings.showWarning(kAlsaDeviceErrorCaption, alsaDevices.hintError);
    }

    if (!isRtDevice(settings.deviceSelection)) {
        if (alsaCount == 0) {
            settings.deviceSelection = kDefaultAlsaDevice;
        } else if (settings.deviceSelection < kDefaultAlsaDevice || settings.deviceSelection >= alsaCount) {
            settings.deviceSelection = 0;
        }
        return;
    }
    bool found = (settings.deviceSelection & kListIndexMask) < rtCount;
    if (!settings.deviceName.empty()) {
        found = system.selectDeviceByName(settings.deviceName);
        if (found) {
            // The name decides: keep the selection on the entry it found, even
            // when the devices were listed in another order this time.
            const auto index = system.findDeviceByName(settings.deviceName);
            settings.deviceSelection = kRtDeviceBase + static_cast<DeviceSelection>(*index);
        }
    }
    if (found) {
        return;
    }
    if (rtCount >= 1) {
        settings.deviceSelection = kRtDeviceBase;
        warnings.showWarning(kWarningCaption, kPreviousDeviceMissingText);
    } else {
        settings.deviceSelection = alsaDevices.defaultAvailable ? kDefaultAlsaDevice : 0;
        warnings.showWarning(kWarningCaption, kNoRtDeviceText);
    }
}

}  // namespace output
