#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/ParamSpec.h"

namespace engine {

// How the value of a parameter is shown in the status bar. A field left empty
// (nullopt) keeps whatever it showed before; an empty string clears it.
struct ParamDisplayTexts {
    std::optional<std::string> value;            // status field 2
    std::optional<std::string> derived;          // status field 3
    std::optional<std::string> changeTimeLabel;  // the label beside the Play button
};

// What the display of one parameter needs to know about the current stream.
struct DisplayContext {
    std::array<int32_t, kParamCount> targets{};  // the current stream's parameter targets
    double soundSeconds = 0.0;                   // the stream's sound: frames / sample rate
    bool builtinSound = false;                   // the stream plays the built-in sine
    double totalDensity = 0.0;                   // sum of grainDensity() over streams with state > 0
};

// The factor from a parameter value to the fraction shown as a percentage.
float displayScale(int param);

// Average number of a stream's grains sounding at once: grain length in
// seconds times grains per second.
double grainDensity(int32_t freq, int32_t grainLen);

// Grains per second for a Freq value.
float grainsPerSecond(int32_t freq);

// Octave shift of a grain's pitch for a Pitch magnitude (0 < pitch <= 16384).
float pitchOctaves(float pitchMagnitude);

// Thread: main. The texts for parameter `param` of the current stream.
ParamDisplayTexts displayParam(int param, const DisplayContext& context);

}  // namespace engine
