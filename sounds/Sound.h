#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sounds {

// Sound positions are 28-bit fractions of the whole sound: 0x10000000 is the whole sound.
inline constexpr uint32_t kWholeSound = 0x10000000;
inline constexpr uint32_t kPositionMask = 0x0FFFFFFF;

// The most frames past a position that an interpolation kernel reads.
inline constexpr int32_t kKernelReach = 5;

// One decoded sound in memory: interleaved float samples followed by a guard region that repeats
// the start of the sound, so that kernels may read past the last frame.
//
// Thread contract: the loader thread fills a record that no stream uses yet; the main thread attaches
// it to streams under the engine lock; the audio thread reads the samples and the rate constants and
// counts its grains in `activeGrains`. `refCount` and `path` change only under the table's lock.
struct Sound {
    int32_t refCount = 0;
    std::string path;
    std::vector<float> data;  // frames × channels samples, then the guard region
    int32_t frames = 0;
    int32_t sampleRate = 0;
    int16_t channels = 0;
    int32_t clockUnit = 0;  // 0x10000000 / outputRate, for the grain clock
    int32_t rateRatio = 0;  // (outputRate × 2048) / sampleRate, for speeds at the output rate
    float unitsPerFrame = 0.0f;
    std::vector<float> ampTable;
    float ampUnitsPerFrame = 0.0f;
    // Grains playing from this sound: changed by the audio thread, read by the main thread before the
    // record may be freed (release/acquire so the samples are no longer in use once it reads 0).
    std::atomic<int32_t> activeGrains{0};
    // Set while a loader thread fills the record; the search neither frees nor reuses such a record.
    std::atomic<bool> loading{false};

    // The part of the path after its last separator (the whole path if it has none).
    std::string_view name() const;
    // Start of the samples; the guard region follows the last frame.
    const float* samples() const { return data.data(); }
    size_t channelCount() const { return static_cast<size_t>(channels); }
};

// 2^28 / frames in single precision plus channels / 2 (integer division).
float unitsPerFrameOf(int32_t frames, int channels);

// Frames of the guard region after the last frame: 0x10000000 mod trunc(unitsPerFrame) + 11, extended
// where needed so that every position a grain can reach, plus the kernel reach, lies inside the data.
int32_t guardFramesOf(int32_t frames, float unitsPerFrame);

// Copies the first frames of the sound after its last frame, repeating the sound when the guard
// region is longer than the sound. `data` must hold (frames + guard) × channels samples.
void fillGuardRegion(Sound& sound, int32_t guardFrames);

// Recomputes `clockUnit` and `rateRatio` for an output sample rate.
void setOutputRate(Sound& sound, uint32_t outputRate);

// Gives back data, path and AmpTable and sets every field to zero.
void freeSound(Sound& sound);

}  // namespace sounds
