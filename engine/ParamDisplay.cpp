#include "engine/ParamDisplay.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace engine {
namespace {

constexpr double kStartLengthUnits = 4096.0;
constexpr double kGrainLenSquaredUnits = 1048576.0;  // GrainLen^2 / 2^20 is seconds
constexpr double kRateLockThreshold = 0.0001;
constexpr int kChangeTimeUnitsPerSecond = 64;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* pattern, ...) {
    char text[256];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

std::string percent(int param, int32_t value) {
    return format("%.2f %%", static_cast<double>(value) * 100.0 * displayScale(param));
}

// Loop playback rate: 1.0 plays the loop at the sound's own speed.
float loopRate(const DisplayContext& c) {
    return static_cast<float>(static_cast<double>(c.targets[Rate]) / (6000 - 11 * c.targets[RateScale]));
}

std::string loopDurationText(const DisplayContext& c) {
    const float r = loopRate(c);
    if (std::fabs(r) < kRateLockThreshold)
        return "Loop locked";
    const auto lengthFraction = static_cast<float>(c.targets[Length] / kStartLengthUnits);
    const auto seconds = static_cast<float>(lengthFraction * c.soundSeconds / std::fabs(r));
    return format("Length/rate: %.3f sec", static_cast<double>(seconds));
}

std::string densityText(const DisplayContext& c) {
    return format("Density: %.3f", grainDensity(c.targets[Freq], c.targets[GrainLen])) +
           format(" (%.3f)", c.totalDensity);
}

std::string frequencyText(int32_t freq) {
    const float f = grainsPerSecond(freq);
    std::string text = f >= 1.0f ? format("%.3f per sec", static_cast<double>(f))
                                 : format("1 per %.3f sec", 1.0 / static_cast<double>(f));
    if (f > 0.332f && f <= 5.0f)
        text += format(" (%.2f bpm)", 60.0 * static_cast<double>(f));
    return text;
}

std::string pitchText(int32_t pitch) {
    const char* suffix = pitch < 0 ? ", reverse" : "";
    const float e = pitch == 0 ? 0.0f : pitchOctaves(static_cast<float>(std::abs(pitch)));
    if (e >= -4.0f)
        return format("%+.3f semitones%s", 12.0 * static_cast<double>(e), suffix);
    return format("%.3f rate%s", -1.0 / static_cast<double>(e), suffix);
}

// Output amplitude in percent, reduced when attack and decay together leave
// less than a whole grain at full level.
std::string adjustedAmpText(const DisplayContext& c) {
    auto amp = static_cast<float>(c.targets[Amp] * 100.0 / 512.0);
    const auto x = static_cast<float>(2.0 - c.targets[Attack] / 256.0 - c.targets[Decay] / 256.0);
    if (x < 1.0f)
        amp = static_cast<float>(amp * (0.25 + 0.75 * x));
    return format("A/D adj. amp: %.3f %%", static_cast<double>(amp));
}

std::string panText(int32_t pan) {
    if (pan == 0)
        return "Middle";
    return format("%.1f%%", std::abs(pan) * 100.0 / 256.0) + (pan > 0 ? " left" : " right");
}

}  // namespace

float displayScale(int param) {
    switch (param) {
        case Start:
        case Length:
            return 1.0f / 4096;
        case Rate:
            return 1.0f / 6000;
        case Pitch:
            return 1.0f / 6144;
        case AttackRnd:
        case DecayRnd:
            return 1.0f / 255;
        case Freq:
        case GrainLen:
        case ChangeTime:
            return 1.0f;
        case RateScale:
        case RateAM:
        case FreqAM:
        case GrainLenAM:
        case PitchAM:
        case Gliss:
        case GlissAM:
        case Amp:
        case AmpAM:
            return 1.0f / 512;
        default:  // randomness 0..256, Attack, Decay, PanAM, PanPos
            return 1.0f / 256;
    }
}

float grainsPerSecond(int32_t freq) {
    return static_cast<float>(freq * 35.0 / (16670 - freq));
}

double grainDensity(int32_t freq, int32_t grainLen) {
    const auto seconds = static_cast<float>(static_cast<double>(grainLen) * grainLen / kGrainLenSquaredUnits);
    return static_cast<double>(seconds) * static_cast<double>(grainsPerSecond(freq));
}

float pitchOctaves(float p) {
    const auto k = static_cast<float>(p / (8192.0 - p / 3.0));
    return p >= 6144.0f ? static_cast<float>(k - 1.0) : static_cast<float>(1.0 - 1.0 / k);
}

ParamDisplayTexts displayParam(int param, const DisplayContext& c) {
    const int32_t t = c.targets[static_cast<size_t>(param)];
    const double d = c.soundSeconds;
    switch (param) {
        case Start:
        case Length:
            return {format("Start: %.3f s; Len: %.3f s", c.targets[Start] / kStartLengthUnits * d,
                           c.targets[Length] / kStartLengthUnits * d),
                    loopDurationText(c), std::nullopt};
        case Rate:
        case RateScale:
            return {format("1:%.4f", static_cast<double>(loopRate(c))),
                    c.builtinSound ? std::nullopt : std::optional(loopDurationText(c)), std::nullopt};
        case Freq:
            return {frequencyText(t), densityText(c), std::nullopt};
        case GrainLen:
            return {format("%.4f secs", static_cast<double>(t) * t / kGrainLenSquaredUnits), densityText(c),
                    std::nullopt};
        case Pitch:
            return {pitchText(t), std::nullopt, std::nullopt};
        case Gliss:
            return {format("%+.3f semitones", t / 512.0 * 12.0), std::nullopt, std::nullopt};
        case Attack:
        case Decay:
        case Amp:
            return {percent(param, t), adjustedAmpText(c), std::nullopt};
        case PanPos:
            return {panText(t), std::nullopt, std::nullopt};
        case ChangeTime:
            return {std::string(), std::nullopt,
                    format("  \u00EE  parm chng time: %.2f s",
                           static_cast<double>(t) / kChangeTimeUnitsPerSecond)};
        default:
            return {percent(param, t), std::nullopt, std::nullopt};
    }
}

}  // namespace engine
