#include "output/SampleConversion.h"

#include <algorithm>

#include "engine/FixedPoint.h"

namespace output {
namespace {

constexpr double kSampleScale = 32767.5;
constexpr std::int64_t kSampleLimit = 32767;

}  // namespace

void convertTo16Bit(const float* samples, std::size_t count, std::int16_t* out) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::int64_t value = engine::roundToNearest(static_cast<double>(samples[k]) * kSampleScale);
        out[k] = static_cast<std::int16_t>(std::clamp(value, -kSampleLimit, kSampleLimit));
    }
}

}  // namespace output
