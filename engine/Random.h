#pragma once

#include <cstdint>

namespace engine {

// The one linear congruential generator all randomness comes from: s ← s × 1664525 + 1013904223
// (mod 2^32), seeded once with 381296920. Each draw returns the new state as a signed value, so
// that arithmetic shifts of it spread around zero.
class Lcg {
  public:
    static constexpr uint32_t kSeed = 381296920u;
    static constexpr uint32_t kMultiplier = 1664525u;
    static constexpr uint32_t kIncrement = 1013904223u;

    int32_t draw() {
        state_ = state_ * kMultiplier + kIncrement;
        return static_cast<int32_t>(state_);
    }
    uint32_t state() const { return state_; }

  private:
    uint32_t state_ = kSeed;
};

}  // namespace engine
