#include "sounds/Sound.h"

#include <algorithm>
#include <cmath>

namespace sounds {

namespace {
constexpr uint32_t kSpeedScale = 2048;  // speeds are converted to the output rate in 1/2048 units
constexpr int32_t kMinimumGuardFrames = 11;
}  // namespace

std::string_view Sound::name() const {
    const std::string_view full(path);
    const size_t slash = full.find_last_of('/');
    return slash == std::string_view::npos ? full : full.substr(slash + 1);
}

float unitsPerFrameOf(int32_t frames, int channels) {
    const float perFrame = static_cast<float>(static_cast<double>(kWholeSound) / frames);
    return static_cast<float>(static_cast<double>(perFrame) + channels / 2);
}

int32_t guardFramesOf(int32_t frames, float unitsPerFrame) {
    const auto whole = static_cast<uint32_t>(unitsPerFrame);
    const int32_t standard =
        static_cast<int32_t>(kWholeSound % std::max<uint32_t>(whole, 1)) + kMinimumGuardFrames;
    // A kernel reads frames i .. i + 5 where i = position / round(unitsPerFrame).
    const auto rounded = static_cast<uint32_t>(std::lrint(unitsPerFrame));
    const int64_t lastIndex = kPositionMask / std::max<uint32_t>(rounded, 1);
    const int64_t needed = lastIndex + kKernelReach + 1 - frames;
    return static_cast<int32_t>(std::max<int64_t>(standard, needed));
}

void fillGuardRegion(Sound& sound, int32_t guardFrames) {
    const size_t channels = sound.channelCount();
    const size_t soundSamples = static_cast<size_t>(sound.frames) * channels;
    const size_t guardSamples = static_cast<size_t>(guardFrames) * channels;
    if (soundSamples == 0)
        return;
    for (size_t k = 0; k < guardSamples; ++k)
        sound.data[soundSamples + k] = sound.data[k % soundSamples];
}

void setOutputRate(Sound& sound, uint32_t outputRate) {
    sound.clockUnit = static_cast<int32_t>(kWholeSound / outputRate);
    const uint32_t ratio =
        sound.sampleRate > 0 ? (outputRate * kSpeedScale) / static_cast<uint32_t>(sound.sampleRate) : 0;
    // A sound rate above 2048 times the output rate would give 0; keep the divisor usable.
    sound.rateRatio = static_cast<int32_t>(std::max<uint32_t>(ratio, 1));
}

void freeSound(Sound& sound) {
    sound.refCount = 0;
    std::string().swap(sound.path);
    std::vector<float>().swap(sound.data);
    sound.frames = 0;
    sound.sampleRate = 0;
    sound.channels = 0;
    sound.clockUnit = 0;
    sound.rateRatio = 0;
    sound.unitsPerFrame = 0.0f;
    std::vector<float>().swap(sound.ampTable);
    sound.ampUnitsPerFrame = 0.0f;
    sound.activeGrains.store(0, std::memory_order_relaxed);
}

}  // namespace sounds
