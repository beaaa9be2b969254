// frisson devices: lists the output devices as the options dialog shows them.
#include <iostream>
#include <string>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "output/AlsaDevices.h"
#include "output/AudioSystem.h"
#include "output/DeviceChoices.h"
#include "output/RtAudioApi.h"

namespace app {
namespace {

constexpr const char* kDevicesUsage =
    "usage: frisson devices\n"
    "Lists the output devices, one per line, as the options dialog shows them:\n"
    "JACK devices \"(JACK<n>) name\", PulseAudio devices \"(PULSE<n>) name\", then\n"
    "direct ALSA outputs \"(ALSA) pcm\". 'frisson play --device NAME' takes any part\n"
    "of a line.\n";

}  // namespace

int runDevices(Args args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << kDevicesUsage;
            return kExitOk;
        }
        throw UsageError("unknown argument '" + arg + "'");
    }
    output::AudioSystem audio(output::RtAudioApi::create, std::cerr);
    const output::AlsaDeviceTable alsaDevices = output::listAlsaPlaybackDevices();
    const auto choices = output::outputDeviceChoices(audio.getDeviceList(), alsaDevices);
    if (choices.empty()) {
        std::cerr << "frisson devices: no output device\n";
        return kExitFailure;
    }
    for (const output::DeviceChoice& choice : choices) {
        std::cout << choice.text << "\n";
    }
    return kExitOk;
}

}  // namespace app
