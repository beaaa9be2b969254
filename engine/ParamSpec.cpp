#include "engine/ParamSpec.h"

namespace engine {

const std::array<ParamSpec, kParamCount>& paramSpecs() {
    static const std::array<ParamSpec, kParamCount> table{{
        {"Start", 0, 4096, 0, 0, "Set starting position for the currently used part of sound file"},
        {"StartRnd", 0, 256, 0, 0, "Random deviation from start position of soundfile loop"},
        {"Length", 0, 4096, 4096, 127, "Set length of used part of sound file"},
        {"LengthRnd", 0, 256, 0, 0, "Degree of randomness for loop length"},
        {"Rate", -8192, 8192, 4086, 96,
         "Soundfile playback rate (distance between starting points of consecutive grains)"},
        {"RateScale", 0, 512, 174, 0,
         "Sets span of soundfile playback rate scroll (Rate range: +/-1.3 through +/-23)"},
        {"RateAM", -512, 512, 0, 64,
         "Amplitude modulation of distance in soundfile between consecutive grains"},
        {"Freq", 25, 16384, 6062, 48, "Frequency of new grains"},
        {"FreqRnd", 0, 256, 0, 0, "Degree of randomness for grain generation frequency"},
        {"FreqAM", -512, 512, 0, 64, "Amplitude modulation of grain frequency"},
        {"GrainLen", 13, 4096, 324, 10, "Grain length"},
        {"GrainLenRnd", 0, 256, 0, 0, "Degree of randomness for grain length"},
        {"GrainLenAM", -512, 512, 0, 64, "Amplitude modulation of grain length"},
        {"Pitch", -16384, 16384, 6144, 88, "Grain pitch (playback rate of each soundfile chunk)"},
        {"PitchRnd", 0, 256, 0, 0, "Degree of randomness for grain pitch"},
        {"PitchAM", -512, 512, 0, 64, "Amplitude modulation of grain internal pitch"},
        {"Gliss", -2048, 2048, 0, 64, "Grain glissando (playback speed at end of grain)"},
        {"GlissRnd", 0, 256, 0, 0, "Degree of randomness for grain glissando"},
        {"GlissAM", -512, 512, 0, 64, "Amplitude modulation of grain glissando"},
        {"Attack", 0, 256, 128, 64, "Attack in percents of grain length"},
        {"AttackRnd", 0, 255, 0, 0, "Attack randomness"},
        {"Decay", 0, 256, 128, 64, "Decay in percents of grain length"},
        {"DecayRnd", 0, 255, 0, 0, "Decay randomness"},
        {"Amp", 0, 1024, 461, 58, "Sets output amplitude"},
        {"AmpAM", -512, 512, 0, 64, "Amplitude modulation of output amp (compress/expand)"},
        {"PanRnd", 0, 256, 0, 0, "Panning randomness (only used with stereo output)"},
        {"PanAM", -256, 256, 0, 64, "Amplitude modulation of panning randomness (only with stereo output)"},
        {"PanPos", -256, 256, 0, 64, "Absolute left-right position (only used with stereo output)"},
        {"ChangeTime", 1, 4096, 64, 2,
         "Sets the time it will take for scroll value changes to take full effect"},
    }};
    return table;
}

std::optional<int> findParam(std::string_view name) {
    const auto& table = paramSpecs();
    for (int p = 0; p < kParamCount; ++p)
        if (table[static_cast<size_t>(p)].name == name)
            return p;
    return std::nullopt;
}

ParamSet defaultParamSet() {
    ParamSet set{};
    for (int p = 0; p < kParamCount; ++p)
        set[static_cast<size_t>(p)] = paramSpec(p).defaultValue;
    return set;
}

namespace {

// The value span of one step when a controller's range covers the parameter's range in `steps`.
float valueSpanPerStep(int param, float steps) {
    const ParamSpec& row = paramSpec(param);
    return static_cast<float>(row.max - row.min) / steps;
}

}  // namespace

float controllerStep(int param) {
    return valueSpanPerStep(param, 128.0f);
}

float fineControllerStep(int param) {
    return valueSpanPerStep(param, 16384.0f);
}

}  // namespace engine
