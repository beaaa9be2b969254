#pragma once

#include <cstdint>

#include "audio/SampleFormat.h"

namespace audio {

// What a sound file holds: frames per second, channels and how samples are stored.
struct Description {
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    SampleFormat format = kUnknown;

    friend bool operator==(const Description&, const Description&) = default;
};

}  // namespace audio
