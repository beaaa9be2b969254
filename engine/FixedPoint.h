#pragma once

#include "sounds/Sound.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace engine {

// Adds to a 28-bit sound position and masks the result to 28 bits (also when it went negative).
inline uint32_t addPosition(uint32_t pos, int64_t delta) {
    return (pos + static_cast<uint32_t>(static_cast<uint64_t>(delta))) & sounds::kPositionMask;
}

// 32-bit wrap-around addition for values that run as full 32-bit words (loop position, grain phase).
inline int32_t wrapAdd(int32_t a, int64_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(static_cast<uint64_t>(b)));
}

// Clamps sums that would leave the 32-bit range.
inline int32_t saturate32(int64_t v) {
    constexpr int64_t lo = std::numeric_limits<int32_t>::min();
    constexpr int64_t hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v < lo ? lo : (v > hi ? hi : v));
}

// Round half to even (the default rounding mode), saturated to 64 bits.
inline int64_t roundToNearest(double x) {
    constexpr double kLimit = 9.2e18;
    if (!(x > -kLimit))
        return x != x ? 0 : static_cast<int64_t>(-kLimit);
    if (x > kLimit)
        return static_cast<int64_t>(kLimit);
    return std::llrint(x);
}

// Truncation toward zero, saturated to 64 bits.
inline int64_t truncate(double x) {
    constexpr double kLimit = 9.2e18;
    if (!(x > -kLimit))
        return x != x ? 0 : static_cast<int64_t>(-kLimit);
    if (x > kLimit)
        return static_cast<int64_t>(kLimit);
    return static_cast<int64_t>(x);
}

}  // namespace engine
