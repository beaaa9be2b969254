#include "sounds/AmpTable.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

namespace sounds {

namespace {

constexpr double kFilterCutoffHz = 10.0;
// Entries measured by the warm-up pass at the end of the sound, before the main pass.
constexpr int32_t kWarmUpEntries = kAmpTableMinEntries;

// The one-pole low-pass over squared samples.
struct LoudnessFilter {
    double a;
    double b;
    double y = 0.0;

    explicit LoudnessFilter(int32_t sampleRate) : a(0.0), b(0.0) {
        const double w = 2.0 * std::numbers::pi / sampleRate;
        const double k = 2.0 - std::cos(kFilterCutoffHz * w);
        b = k - std::sqrt(k * k - 1.0);
        a = 1.0 - b;
    }

    // Runs the filter over one entry's frames, starting at `frame`, and returns sqrt(y) in single precision.
    float run(const Sound& sound, int64_t frame) {
        const size_t channels = sound.channelCount();
        for (int64_t f = frame; f < frame + kAmpTableFrames; ++f) {
            const double x = sound.data[static_cast<size_t>(f) * channels];
            y = x * x * a + y * b;
        }
        return static_cast<float>(std::sqrt(y));
    }
};

}  // namespace

int32_t ampTableSize(int32_t frames) {
    return std::max(kAmpTableMinEntries, frames / kAmpTableFrames + 1);
}

bool buildAmpTable(Sound& sound) {
    const int32_t n = ampTableSize(sound.frames);
    std::vector<float> work;
    try {
        sound.ampTable.assign(static_cast<size_t>(n), kAmpTableNeutral);
        work.assign(static_cast<size_t>(n), 0.0f);
    } catch (const std::bad_alloc&) {
        std::vector<float>().swap(sound.ampTable);
        return false;
    }
    // Both passes read up to frame (n - 1) × 100; shorter sounds keep the neutral table.
    if (sound.frames < (kWarmUpEntries - 1) * kAmpTableFrames)
        return true;

    LoudnessFilter filter(sound.sampleRate);
    float largest = 0.0f;
    for (int32_t j = n - kWarmUpEntries; j <= n - 2; ++j) {
        work[static_cast<size_t>(j)] = filter.run(sound, static_cast<int64_t>(kAmpTableFrames) * j);
        largest = std::max(largest, work[static_cast<size_t>(j)]);
    }
    for (int32_t j = 0; j <= n - 2; ++j) {
        work[static_cast<size_t>(j)] = filter.run(sound, static_cast<int64_t>(kAmpTableFrames) * j);
        largest = std::max(largest, work[static_cast<size_t>(j)]);
    }
    if (largest == 0.0f)
        return true;  // silence: keep the neutral table
    auto& table = sound.ampTable;
    for (int32_t j = 0; j <= n - 2; ++j)
        table[static_cast<size_t>(j)] = work[static_cast<size_t>(j)] / largest;
    table[static_cast<size_t>(n - 1)] =
        static_cast<float>((static_cast<double>(table[static_cast<size_t>(n - 2)]) + table[0]) / 2);
    return true;
}

}  // namespace sounds
