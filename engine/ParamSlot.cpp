#include "engine/ParamSlot.h"

namespace engine {

namespace {
// Both terms are offset before the difference is taken, as the step has always been computed.
constexpr double kStepOffset = 100000.0;
constexpr auto kRelaxed = std::memory_order_relaxed;
}  // namespace

void ParamSlot::startChange(int32_t newTarget, int32_t frames, int32_t frameClock) {
    target.store(newTarget, kRelaxed);
    endFrame.store(static_cast<int32_t>(static_cast<uint32_t>(frameClock) + static_cast<uint32_t>(frames)),
                   kRelaxed);
    const double updates = frames / static_cast<double>(kSmoothingFrames);
    // With a change time under 100 frames the next update snaps; the step is never used.
    const double difference = (newTarget + kStepOffset) - (static_cast<double>(currentValue()) + kStepOffset);
    step.store(frames > 0 ? static_cast<float>(difference / updates) : 0.0f, kRelaxed);
}

void ParamSlot::update(int32_t frameClock) {
    const int32_t end = endFrame.load(kRelaxed);
    if (end < frameClock)
        return;
    if (static_cast<int64_t>(end) - frameClock < kSmoothingFrames) {
        const int32_t t = target.load(kRelaxed);
        current.store(static_cast<float>(t), kRelaxed);
        value.store(t, kRelaxed);
        step.store(0.0f, kRelaxed);
        return;
    }
    const float next = static_cast<float>(static_cast<double>(currentValue()) + step.load(kRelaxed));
    current.store(next, kRelaxed);
    value.store(static_cast<int32_t>(next), kRelaxed);
}

void ParamSlot::snap() {
    const int32_t t = target.load(kRelaxed);
    current.store(static_cast<float>(t), kRelaxed);
    value.store(t, kRelaxed);
    endFrame.store(0, kRelaxed);
}

}  // namespace engine
