#include "output/SoundDeviceCheck.h"

#include <gtest/gtest.h>

#include <sstream>
#include <utility>
#include <vector>

#include "output/ManualAudioApi.h"

namespace output {
namespace {

struct RecordedWarnings : UserWarnings {
    std::vector<std::pair<std::string, std::string>> shown;
    void showWarning(const std::string& caption, const std::string& text) override {
        shown.emplace_back(caption, text);
    }
};

DeviceInfo outputDevice(const std::string& name) {
    DeviceInfo info;
    info.probed = true;
    info.name = name;
    info.outputChannels = 2;
    return info;
}

class SoundDeviceCheckTest : public ::testing::Test {
  protected:
    void check() {
        AudioSystem system(server.factory(), log);
        checkSoundDevices(system, alsa, settings, warnings);
    }
    void withRtDevices() {
        server.devices[AudioApiId::kJack] = {outputDevice("system")};
        server.devices[AudioApiId::kPulse] = {outputDevice("PulseAudio")};
    }

    ManualAudioServer server;
    std::ostringstream log;
    AlsaDeviceTable alsa;
    SoundSettings settings;
    RecordedWarnings warnings;
};

using Warning = std::pair<std::string, std::string>;

TEST_F(SoundDeviceCheckTest, NoDeviceAtAllWarnsAndFallsBackToAlsa) {
    settings.deviceSelection = kRtDeviceBase + 1;
    check();
    EXPECT_EQ(settings.deviceSelection, 0);  // no default PCM either
    EXPECT_EQ(warnings.shown,
              (std::vector<Warning>{{"Frisson Warning!", "No wave output device available!"},
                                    {"Frisson Warning!", "Could not find PulseAudio device, using ALSA"}}));
}

TEST_F(SoundDeviceCheckTest, NoServerDeviceFallsBackToTheDefaultPcm) {
    alsa.defaultAvailable = true;
    settings.deviceSelection = kRtDeviceBase;
    check();
    EXPECT_EQ(settings.deviceSelection, kDefaultAlsaDevice);
    EXPECT_EQ(warnings.shown,
              (std::vector<Warning>{{"Frisson Warning!", "Could not find PulseAudio device, using ALSA"}}));
}

TEST_F(SoundDeviceCheckTest, AlsaSelectionsOutsideTheDevicesBecomeDeviceZero) {
    alsa.names = {"null", "hw:CARD=PCH,DEV=0"};
    for (const DeviceSelection stored : {2, -2}) {
        settings.deviceSelection = stored;
        check();
        EXPECT_EQ(settings.deviceSelection, 0) << stored;
    }
    settings.deviceSelection = -1;
    check();
    EXPECT_EQ(settings.deviceSelection, -1);
    alsa.names.clear();
    settings.deviceSelection = 1;
    check();
    EXPECT_EQ(settings.deviceSelection, -1);
    EXPECT_TRUE(warnings.shown.size() <= 1u);  // only the no-device warning, when it applies
}

TEST_F(SoundDeviceCheckTest, AStoredIndexInRangeIsKeptWithoutAName) {
    withRtDevices();
    settings.deviceSelection = kRtDeviceBase + 1;
    check();
    EXPECT_EQ(settings.deviceSelection, kRtDeviceBase + 1);
    EXPECT_TRUE(warnings.shown.empty());
}

TEST_F(SoundDeviceCheckTest, AStoredNameThatMatchesNothingFallsBackToTheFirstEntry) {
    withRtDevices();
    settings.deviceSelection = kRtDeviceBase + 1;  // still in range
    settings.deviceName = "USB Headset";
    check();
    EXPECT_EQ(settings.deviceSelection, kRtDeviceBase);
    EXPECT_EQ(warnings.shown,
              (std::vector<Warning>{
                  {"Frisson Warning!", "Could not find previously selected device, so set default device"}}));
}

TEST_F(SoundDeviceCheckTest, AStoredNameFindsItsEntryWhereverItIsListed) {
    withRtDevices();
    settings.deviceSelection = kRtDeviceBase;
    settings.deviceName = "pulseaudio";  // stored without its key
    check();
    EXPECT_EQ(settings.deviceSelection, kRtDeviceBase + 1);
    EXPECT_TRUE(warnings.shown.empty());
}

}  // namespace
}  // namespace output
