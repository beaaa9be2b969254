#pragma once

#include <atomic>
#include <cstdint>

namespace engine {

// Control updates are spaced for every 100 frames (they come every 104), so a change always arrives
// by the final snap.
inline constexpr int32_t kSmoothingFrames = 100;
// Change times are counted in 1/64 s.
inline constexpr double kChangeTimeUnitsPerSecond = 64.0;

// One smoothed parameter. The main thread (scroll bars, patches, MIDI) starts changes; the audio
// thread advances them at each control update. Every field is a 32-bit atomic word read and written
// with relaxed ordering: a torn pair (new `current`, old `step`) lasts at most one update.
struct ParamSlot {
    std::atomic<float> current{0.0f};
    std::atomic<float> step{0.0f};
    std::atomic<int32_t> value{0};
    std::atomic<int32_t> target{0};
    std::atomic<int32_t> endFrame{0};
    std::atomic<int32_t> coarseValue{0};

    float currentValue() const { return current.load(std::memory_order_relaxed); }
    int32_t intValue() const { return value.load(std::memory_order_relaxed); }
    int32_t targetValue() const { return target.load(std::memory_order_relaxed); }

    // Thread: main. Sets the target and starts a change over `frames` output frames from `frameClock`.
    void startChange(int32_t newTarget, int32_t frames, int32_t frameClock);
    // Thread: audio. One control update at `frameClock`.
    void update(int32_t frameClock);
    // current = value = target, no change under way.
    void snap();
};

}  // namespace engine
