#include "engine/ShapeTables.h"

#include <cmath>
#include <numbers>

namespace engine {

const EnvelopeTable& envelopeTable() {
    static const EnvelopeTable table = [] {
        EnvelopeTable t{};
        constexpr double pi = std::numbers::pi;
        for (size_t i = 0; i < kEnvelopeSteps; ++i)
            t[i] =
                static_cast<float>(0.5 + 0.5 * std::cos(-pi + static_cast<double>(i) * pi / kEnvelopeSteps));
        for (size_t i = kEnvelopeSteps; i < t.size(); ++i)
            t[i] = 1.0f;
        return t;
    }();
    return table;
}

const PanTable& panTable() {
    static const PanTable table = [] {
        PanTable t{};
        constexpr double pi = std::numbers::pi;
        for (size_t i = 0; i < kPanSteps; ++i)
            t[i] = static_cast<float>(std::sin(static_cast<double>(i) * pi / (2.0 * kPanSteps)));
        return t;
    }();
    return table;
}

}  // namespace engine
