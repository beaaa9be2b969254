#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace engine {

inline constexpr int kParamCount = 29;
inline constexpr int kFirstParamScrollId = 1500;

// Parameter indices, in scroll-bar order.
enum Param : int {
    Start,
    StartRnd,
    Length,
    LengthRnd,
    Rate,
    RateScale,
    RateAM,
    Freq,
    FreqRnd,
    FreqAM,
    GrainLen,
    GrainLenRnd,
    GrainLenAM,
    Pitch,
    PitchRnd,
    PitchAM,
    Gliss,
    GlissRnd,
    GlissAM,
    Attack,
    AttackRnd,
    Decay,
    DecayRnd,
    Amp,
    AmpAM,
    PanRnd,
    PanAM,
    PanPos,
    ChangeTime,
};

// One row of the constant parameter table. `home` is the 7-bit controller
// position from which a stream's coarse MIDI value starts.
struct ParamSpec {
    std::string_view name;
    int32_t min;
    int32_t max;
    int32_t defaultValue;
    int32_t home;
    std::string_view tooltip;
};

// Thread: any (constant).
const std::array<ParamSpec, kParamCount>& paramSpecs();
inline const ParamSpec& paramSpec(int param) {
    return paramSpecs()[static_cast<size_t>(param)];
}

// The scroll bar control id of a parameter (1500..1528).
constexpr int scrollIdOf(int param) {
    return kFirstParamScrollId + param;
}

// Looks a parameter up by its exact name ("GrainLen"); nothing if unknown.
std::optional<int> findParam(std::string_view name);

// The 29 parameter targets of a stream, in parameter order.
using ParamSet = std::array<int32_t, kParamCount>;

// The set of all 29 default values.
ParamSet defaultParamSet();

// The value span of one step of a 7-bit MIDI controller, (max − min) / 128, and of one step of a
// 14-bit controller, (max − min) / 16384, in single precision.
float controllerStep(int param);
float fineControllerStep(int param);

}  // namespace engine
