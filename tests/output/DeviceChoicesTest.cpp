#include "output/DeviceChoices.h"

#include <gtest/gtest.h>

namespace output {
namespace {

DeviceList twoServerDevices() {
    DeviceList list;
    DeviceInfo jack;
    jack.probed = true;
    jack.name = "(JACK0) system";
    DeviceInfo pulse;
    pulse.probed = true;
    pulse.name = "(PULSE0) PulseAudio";
    list.entries = {jack, pulse};
    list.jackDeviceCount = 1;
    list.built = true;
    return list;
}

TEST(DeviceChoices, ServerDevicesThenAlsaDefaultThenAlsaDevices) {
    AlsaDeviceTable alsa;
    alsa.names = {"null", "hw:CARD=PCH,DEV=0"};
    alsa.defaultAvailable = true;
    EXPECT_EQ(outputDeviceChoices(twoServerDevices(), alsa),
              (std::vector<DeviceChoice>{{"(JACK0) system", 0x10000},
                                         {"(PULSE0) PulseAudio", 0x10001},
                                         {"(ALSA) default", -1},
                                         {"(ALSA) null", 0},
                                         {"(ALSA) hw:CARD=PCH,DEV=0", 1}}));
    // Without a default PCM that opens there is no entry -1.
    alsa.defaultAvailable = false;
    EXPECT_EQ(outputDeviceChoices(DeviceList{}, alsa),
              (std::vector<DeviceChoice>{{"(ALSA) null", 0}, {"(ALSA) hw:CARD=PCH,DEV=0", 1}}));
}

TEST(DeviceChoices, AChoiceIsFoundByAnyPartOfItsTextIgnoringCase) {
    AlsaDeviceTable alsa;
    alsa.names = {"null"};
    const auto choices = outputDeviceChoices(twoServerDevices(), alsa);
    EXPECT_EQ(findDeviceChoice(choices, "pulse")->selection, 0x10001);
    EXPECT_EQ(findDeviceChoice(choices, "(jack0) SYSTEM")->selection, 0x10000);
    EXPECT_EQ(findDeviceChoice(choices, "NULL")->selection, 0);
    EXPECT_FALSE(findDeviceChoice(choices, "usb").has_value());
    EXPECT_FALSE(findDeviceChoice(choices, "").has_value());
}

}  // namespace
}  // namespace output
