#pragma once

#include <cstdint>

namespace engine {

// Divides 28-bit sound positions by a sound's units per frame with one multiplication and a
// shift: q = (pos × multiplier) >> shift with multiplier = ceil(2^shift / divisor) and
// shift = 28 + ceil(log2 divisor). The rounding error of the multiplier, at most divisor − 1 in
// 2^shift, adds less than 1 / divisor to pos / divisor for every pos below 2^28, so the quotient
// is exact. The multiplier stays below 2^29 + 1, the product below 2^58.
struct PositionDivider {
    uint32_t divisor = 1;
    uint32_t multiplier = 1u << 28;
    int shift = 28;

    static PositionDivider of(uint32_t divisor) {
        int bits = 0;
        while ((uint64_t{1} << bits) < divisor)
            ++bits;
        PositionDivider d;
        d.divisor = divisor;
        d.shift = 28 + bits;
        d.multiplier = static_cast<uint32_t>(((uint64_t{1} << d.shift) + divisor - 1) / divisor);
        return d;
    }

    uint32_t quotient(uint32_t pos) const {
        return static_cast<uint32_t>((static_cast<uint64_t>(pos) * multiplier) >> shift);
    }
};

}  // namespace engine
