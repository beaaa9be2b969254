// frisson info FILE: describes a sound file as the reader sees it.
#include <exception>
#include <iostream>
#include <string>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "audio/SampleFormat.h"
#include "audio/Soundfile.h"

namespace app {

namespace {

constexpr const char* kInfoUsage =
    "usage: frisson info FILE\n"
    "Prints the container, sample rate, channels, sample format and frame count of a\n"
    "WAV, AIFF or AIFC file, then the header chunks the reader found.\n";

}  // namespace

int runInfo(Args args) {
    const auto given = parseSinglePath(args, kInfoUsage, "info", "FILE");
    if (!given)
        return kExitOk;
    const std::string& path = *given;

    try {
        const auto file = audio::Soundfile::open(path);
        const audio::Description& description = file->description();
        std::cout << "container: " << file->containerName() << "\n"
                  << "sample rate: " << description.sampleRate << "\n"
                  << "channels: " << description.channels << "\n"
                  << "sample format: " << audio::name(description.format) << "\n"
                  << "frames: " << file->decoder().frameCount() << "\n";
        file->decoder().listChunks(std::cout);
        std::cout.flush();
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace app
