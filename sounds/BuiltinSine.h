#pragma once

#include "sounds/Sound.h"

#include <string_view>

namespace sounds {

// Path and name of the built-in sound; patches name it by kBuiltinPatchName.
inline constexpr std::string_view kBuiltinSinePath = "Built-in 110 Hz sine";
inline constexpr std::string_view kBuiltinPatchName = "fizz_sine";
inline constexpr int32_t kBuiltinSineFrames = 8192;
// Five cycles in 8192 frames sound at 110 Hz at this nominal rate.
inline constexpr int32_t kBuiltinSineRate = 180225;
inline constexpr int32_t kBuiltinSineGuardFrames = 11;

// Fills a record with the built-in sine: 8192 frames plus 11 guard frames continuing the sine,
// unitsPerFrame 32768, an AmpTable of 0.5 everywhere and refCount 1. The rate constants follow
// the output rate (setOutputRate).
void makeBuiltinSine(Sound& sound, uint32_t outputRate);

}  // namespace sounds
