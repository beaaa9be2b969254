#pragma once

#include <cstddef>

namespace engine {

// The interpolation kernels, between frame i + (kFramesRead / 2 − 1) and the next. A kernel reads
// its samples through `s(n)` (the chosen channel's sample of frame i + n) and takes t in [0, 1) in
// single precision. Difference terms are rounded to single precision as they are stored; the rest
// of each polynomial is evaluated in double, and the result is rounded to single precision.

struct LinearKernel {
    static constexpr int kFramesRead = 2;
    template <typename Sample>
    static float of(Sample&& s, float t) {
        const float s0 = s(0);
        const float d = s(1) - s0;
        return static_cast<float>(s0 + static_cast<double>(d) * t);
    }
    static float at(const float* s, size_t stride, float t) {
        return of([=](int n) { return s[static_cast<size_t>(n) * stride]; }, t);
    }
};

// Between s1 and s2.
struct CubicKernel {
    static constexpr int kFramesRead = 4;
    template <typename Sample>
    static float of(Sample&& s, float t) {
        const double s0 = s(0);
        const double s1 = s(1);
        const double s2 = s(2);
        const double s3 = s(3);
        const auto a0 = static_cast<float>(s3 - s2 - s0 + s1);
        const auto a1 = static_cast<float>(s0 - s1 - a0);
        const auto a2 = static_cast<float>(s2 - s0);
        const double td = t;
        return static_cast<float>(((a0 * td + a1) * td + a2) * td + s1);
    }
    static float at(const float* s, size_t stride, float t) {
        return of([=](int n) { return s[static_cast<size_t>(n) * stride]; }, t);
    }
};

// A six-point fifth-order spline between s2 and s3.
struct SplineKernel {
    static constexpr int kFramesRead = 6;
    template <typename Sample>
    static float of(Sample&& s, float t) {
        const float f0 = s(0);
        const float f1 = s(1);
        const float f2 = s(2);
        const float f3 = s(3);
        const float f4 = s(4);
        const float f5 = s(5);
        const double d31 = static_cast<float>(f3 - f1);
        const double d04 = static_cast<float>(f0 - f4);
        const double s31 = static_cast<float>(f3 + f1);
        const double d32 = static_cast<float>(f3 - f2);
        const double d14 = static_cast<float>(f1 - f4);
        const double d50 = static_cast<float>(f5 - f0);
        const double s0 = f0, s1 = f1, s2 = f2, s3 = f3, s4 = f4, s5 = f5;
        constexpr double kOneOver24 = static_cast<float>(1.0 / 24.0);
        const double td = t;
        const double c5 = 50 * d32 + 25 * d14 + 5 * d50;
        const double c4 = 126 * s2 - 124 * s3 + 61 * s4 - 64 * s1 - 12 * s5 + 13 * s0;
        const double c3 = 66 * s3 - 70 * s2 - 33 * s4 + 39 * s1 + 7 * s5 - 9 * s0;
        const double c2 = 16 * s31 - s0 - 30 * s2 - s4;
        const double c1 = 16 * d31 + 2 * d04;
        return static_cast<float>(s2 +
                                  (td * kOneOver24) * (c1 + td * (c2 + td * (c3 + td * (c4 + td * c5)))));
    }
    static float at(const float* s, size_t stride, float t) {
        return of([=](int n) { return s[static_cast<size_t>(n) * stride]; }, t);
    }
};

}  // namespace engine
