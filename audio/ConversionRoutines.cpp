#include "audio/ConversionRoutines.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace audio::conversion {

namespace {

// Scales from integers to floats: 1/127, 1/32767, 1/2147483647.
constexpr double kScale8d = 1.0 / 127.0;
constexpr double kScale16d = 1.0 / 32767.0;
constexpr double kScale32d = 1.0 / 2147483647.0;
constexpr float kScale8f = static_cast<float>(kScale8d);
constexpr float kScale16f = static_cast<float>(kScale16d);
constexpr float kScale32f = static_cast<float>(kScale32d);  // exactly 2^-31

// Largest magnitude a float keeps before scaling to integers, so that full
// scale never overflows the destination.
constexpr float kClipFloat = 1.0f - 0x1p-23f;
constexpr double kClipDouble = 1.0 - 0x1p-52;

// Scales from floats to integers, per source precision and destination width.
constexpr float kToInt8f = 126.5f;
constexpr float kToInt16f = 32766.5f;
constexpr float kToInt32f = 2147483648.0f;
constexpr double kToInt8d = 126.5;
constexpr double kToInt16d = 32766.5;
constexpr double kToInt32d = 2147483646.5;

constexpr int kByteOffset = 128;  // zero of unsigned 8-bit samples

// Round half to even in the default rounding mode; x is already clipped to
// the int32 range.
inline std::int64_t roundToInt(float x) {
#if defined(__SSE2__)
    return _mm_cvtss_si32(_mm_set_ss(x));
#else
    return std::lrint(x);
#endif
}

inline std::int64_t roundToInt(double x) {
#if defined(__SSE2__)
    return _mm_cvtsd_si32(_mm_set_sd(x));
#else
    return std::lrint(x);
#endif
}

// A NaN sample clips to silence rather than to an arbitrary integer.
template <class F>
inline F clip(F x, F limit) {
    if (x > limit)
        return limit;
    if (x < -limit)
        return -limit;
    return x == x ? x : F{0};
}

// Sample types of the table: how the stored value reads as a signed integer
// (or float) and how one is stored back.
struct Char8 {
    using Raw = std::int8_t;
    static constexpr bool kFloat = false;
    static constexpr int kBits = 8;
    static constexpr float kScaleF = kScale8f;
    static constexpr double kScaleD = kScale8d;
    static constexpr float kFromFloat = kToInt8f;
    static constexpr double kFromDouble = kToInt8d;
    static std::int32_t value(Raw r) { return r; }
    static Raw store(std::int64_t v) { return static_cast<Raw>(v); }
};

struct Byte8 {
    using Raw = std::uint8_t;
    static constexpr bool kFloat = false;
    static constexpr int kBits = 8;
    static constexpr float kScaleF = kScale8f;
    static constexpr double kScaleD = kScale8d;
    static constexpr float kFromFloat = kToInt8f;
    static constexpr double kFromDouble = kToInt8d;
    static std::int32_t value(Raw r) { return static_cast<std::int32_t>(r) - kByteOffset; }
    static Raw store(std::int64_t v) { return static_cast<Raw>(v + kByteOffset); }
};

struct Int16 {
    using Raw = std::int16_t;
    static constexpr bool kFloat = false;
    static constexpr int kBits = 16;
    static constexpr float kScaleF = kScale16f;
    static constexpr double kScaleD = kScale16d;
    static constexpr float kFromFloat = kToInt16f;
    static constexpr double kFromDouble = kToInt16d;
    static std::int32_t value(Raw r) { return r; }
    static Raw store(std::int64_t v) { return static_cast<Raw>(v); }
};

struct Int32 {
    using Raw = std::int32_t;
    static constexpr bool kFloat = false;
    static constexpr int kBits = 32;
    static constexpr float kScaleF = kScale32f;
    static constexpr double kScaleD = kScale32d;
    static constexpr float kFromFloat = kToInt32f;
    static constexpr double kFromDouble = kToInt32d;
    static std::int32_t value(Raw r) { return r; }
    static Raw store(std::int64_t v) { return static_cast<Raw>(v); }
};

struct Float32 {
    using Raw = float;
    static constexpr bool kFloat = true;
    static constexpr float kClip = kClipFloat;
};

struct Float64 {
    using Raw = double;
    static constexpr bool kFloat = true;
    static constexpr double kClip = kClipDouble;
};

template <class From, class To>
inline typename To::Raw convertSample(typename From::Raw x) {
    using Out = typename To::Raw;
    if constexpr (!From::kFloat && !To::kFloat) {
        const std::int32_t v = From::value(x);
        if constexpr (To::kBits > From::kBits)  // into the most significant bits
            return To::store(
                static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << (To::kBits - From::kBits)));
        else if constexpr (To::kBits < From::kBits)  // keep the most significant bits
            return To::store(v >> (From::kBits - To::kBits));
        else
            return To::store(v);
    } else if constexpr (!From::kFloat) {
        if constexpr (std::is_same_v<Out, float>)
            return static_cast<float>(From::value(x)) * From::kScaleF;
        else
            return static_cast<double>(From::value(x)) * From::kScaleD;
    } else if constexpr (!To::kFloat) {
        using In = typename From::Raw;
        constexpr In scale = std::is_same_v<In, float> ? In(To::kFromFloat) : In(To::kFromDouble);
        const In product = clip(x, From::kClip) * scale;
        return To::store(roundToInt(product));
    } else {
        return static_cast<Out>(x);
    }
}

template <class From, class To>
void convertBlock(const void* source, void* destination, std::size_t count) {
    using In = typename From::Raw;
    using Out = typename To::Raw;
    const auto* in = static_cast<const std::uint8_t*>(source);
    auto* out = static_cast<std::uint8_t*>(destination);
    if constexpr (std::is_same_v<From, To>) {
        std::memcpy(out, in, count * sizeof(In));
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            In x;
            std::memcpy(&x, in + i * sizeof(In), sizeof(In));
            const Out y = convertSample<From, To>(x);
            std::memcpy(out + i * sizeof(Out), &y, sizeof(Out));
        }
    }
}

#if defined(__SSE2__)
// The paths the loader and the recorder use most, four or eight samples at a
// time. Each lane does exactly what convertSample does: NaN to 0, clip,
// product in single precision, round half to even (the default MXCSR mode).
inline __m128 clipLanes(__m128 x) {
    const __m128 limit = _mm_set1_ps(kClipFloat);
    x = _mm_and_ps(x, _mm_cmpord_ps(x, x));
    return _mm_max_ps(_mm_min_ps(x, limit), _mm_sub_ps(_mm_setzero_ps(), limit));
}

inline __m128i roundLanes(const float* in, float scale) {
    return _mm_cvtps_epi32(_mm_mul_ps(clipLanes(_mm_loadu_ps(in)), _mm_set1_ps(scale)));
}

template <>
void convertBlock<Float32, Int16>(const void* source, void* destination, std::size_t count) {
    const auto* in = static_cast<const float*>(source);
    auto* out = static_cast<std::uint8_t*>(destination);
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i packed =
            _mm_packs_epi32(roundLanes(in + i, kToInt16f), roundLanes(in + i + 4, kToInt16f));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), packed);
    }
    for (; i < count; ++i) {
        const std::int16_t y = convertSample<Float32, Int16>(in[i]);
        std::memcpy(out + 2 * i, &y, 2);
    }
}

template <>
void convertBlock<Int16, Float32>(const void* source, void* destination, std::size_t count) {
    const auto* in = static_cast<const std::uint8_t*>(source);
    auto* out = static_cast<float*>(destination);
    const __m128 scale = _mm_set1_ps(kScale16f);
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
        // Sign-extend by placing each sample in the top half and shifting back.
        const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        _mm_storeu_ps(out + i, _mm_mul_ps(_mm_cvtepi32_ps(low), scale));
        _mm_storeu_ps(out + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(high), scale));
    }
    for (; i < count; ++i) {
        std::int16_t x;
        std::memcpy(&x, in + 2 * i, 2);
        out[i] = convertSample<Int16, Float32>(x);
    }
}
#endif

// Table rows and columns: 0 char, 1 int16, 2 int32, 3 float32, 4 float64, 5 byte.
constexpr int kByteSlot = 5;
constexpr int kSlots = 6;
using Table = std::array<std::array<ConvertFn, kSlots>, kSlots>;

template <class From>
constexpr std::array<ConvertFn, kSlots> row() {
    return {&convertBlock<From, Char8>,   &convertBlock<From, Int16>,   &convertBlock<From, Int32>,
            &convertBlock<From, Float32>, &convertBlock<From, Float64>, &convertBlock<From, Byte8>};
}

constexpr Table kTable{row<Char8>(),   row<Int16>(),   row<Int32>(),
                       row<Float32>(), row<Float64>(), row<Byte8>()};

int slot(TypeIndex index, bool isUnsigned) {
    return index == kEightBit && isUnsigned ? kByteSlot : index;
}

template <std::size_t N>
void reverseBytes(const void* source, void* destination, std::size_t count) {
    const auto* in = static_cast<const std::uint8_t*>(source);
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::size_t i = 0; i < count; ++i, in += N, out += N) {
        for (std::size_t b = 0; b < N; ++b)
            out[b] = in[N - 1 - b];
    }
}

void copyBytes(const void* source, void* destination, std::size_t count) {
    std::memcpy(destination, source, count);
}

// 24-bit samples: three bytes into the top of an int32 and back.
constexpr std::size_t kInt24Bytes = 3;
constexpr std::uint32_t kUnroundedLimit = 0x7FFFFF00;  // magnitudes above are written unrounded
constexpr float kInt32ToFloat = 0x1p-31f;

template <bool kSwapped>
inline std::int32_t load24(const std::uint8_t* p) {
    const std::uint32_t b0 = kSwapped ? p[2] : p[0];
    const std::uint32_t b1 = p[1];
    const std::uint32_t b2 = kSwapped ? p[0] : p[2];
    return static_cast<std::int32_t>((b2 << 24) | (b1 << 16) | (b0 << 8));
}

// |v| rounded to a multiple of 256, halves away from zero, unless that could overflow.
inline std::uint32_t reduceTo24(std::int32_t v) {
    const std::uint32_t bits = static_cast<std::uint32_t>(v);
    const std::uint32_t magnitude = v < 0 ? 0u - bits : bits;
    if (magnitude > kUnroundedLimit)
        return bits;
    const std::uint32_t rounded = ((magnitude >> 8) + ((magnitude >> 7) & 1u)) << 8;
    return v < 0 ? 0u - rounded : rounded;
}

template <bool kSwapped>
inline void store24(std::uint8_t* p, std::uint32_t v) {
    const auto byte = [v](int i) { return static_cast<std::uint8_t>(v >> (8 * i)); };
    p[0] = kSwapped ? byte(3) : byte(1);
    p[1] = byte(2);
    p[2] = kSwapped ? byte(1) : byte(3);
}

template <bool kFloat, bool kSwapped>
void from24(const void* source, void* destination, std::size_t count) {
    const auto* in = static_cast<const std::uint8_t*>(source);
    auto* out = static_cast<std::uint8_t*>(destination);
    std::size_t i = 0;
    if constexpr (!kSwapped && std::endian::native == std::endian::little) {
        // Four bytes at a time, the fourth belonging to the next sample and
        // shifted out; the last sample is read alone so nothing past the block is touched.
        for (; i + 1 < count; ++i, in += kInt24Bytes, out += 4) {
            std::uint32_t word;
            std::memcpy(&word, in, sizeof word);
            const auto v = static_cast<std::int32_t>(word << 8);
            if constexpr (kFloat) {
                const float f = static_cast<float>(v) * kInt32ToFloat;
                std::memcpy(out, &f, sizeof f);
            } else {
                std::memcpy(out, &v, sizeof v);
            }
        }
    }
    for (; i < count; ++i, in += kInt24Bytes, out += 4) {
        const std::int32_t v = load24<kSwapped>(in);
        if constexpr (kFloat) {
            const float f = static_cast<float>(v) * kInt32ToFloat;
            std::memcpy(out, &f, sizeof f);
        } else {
            std::memcpy(out, &v, sizeof v);
        }
    }
}

template <bool kFloat, bool kSwapped>
void to24(const void* source, void* destination, std::size_t count) {
    const auto* in = static_cast<const std::uint8_t*>(source);
    auto* out = static_cast<std::uint8_t*>(destination);
    std::size_t i = 0;
#if defined(__SSE2__)
    if constexpr (kFloat) {
        alignas(16) std::int32_t lanes[4];
        for (; i + 4 <= count; i += 4, in += 16) {
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes),
                            roundLanes(reinterpret_cast<const float*>(in), kToInt32f));
            for (const std::int32_t v : lanes) {
                store24<kSwapped>(out, reduceTo24(v));
                out += kInt24Bytes;
            }
        }
    }
#endif
    for (; i < count; ++i, in += 4, out += kInt24Bytes) {
        std::int32_t v;
        if constexpr (kFloat) {
            float f;
            std::memcpy(&f, in, sizeof f);
            v = static_cast<std::int32_t>(roundToInt(clip(f, kClipFloat) * kToInt32f));
        } else {
            std::memcpy(&v, in, sizeof v);
        }
        store24<kSwapped>(out, reduceTo24(v));
    }
}

// Indexed by isFloat + 2 * swapped + 4 * direction.
constexpr std::array<ConvertFn, 8> kInt24Routines{
    &from24<false, false>, &from24<true, false>, &from24<false, true>, &from24<true, true>,
    &to24<false, false>,   &to24<true, false>,   &to24<false, true>,   &to24<true, true>,
};

}  // namespace

TypeIndex typeIndex(SampleFormat format) {
    if (format == kByte || format == kChar)
        return kEightBit;
    if (format == kInt16LE || format == kInt16BE)
        return kInt16;
    if (format == kInt32LE || format == kInt32BE)
        return kInt32;
    if (format == kFloat32LE || format == kFloat32BE)
        return kFloat32;
    if (format == kFloat64LE || format == kFloat64BE)
        return kFloat64;
    return kNoIndex;
}

ConvertFn tableRoutine(TypeIndex from, bool fromUnsigned, TypeIndex to, bool toUnsigned) {
    return kTable[slot(from, fromUnsigned)][slot(to, toUnsigned)];
}

ConvertFn byteSwapRoutine(TypeIndex type) {
    switch (type) {
        case kInt16:
            return &reverseBytes<2>;
        case kInt32:
        case kFloat32:
            return &reverseBytes<4>;
        case kFloat64:
            return &reverseBytes<8>;
        default:
            return &copyBytes;
    }
}

ConvertFn int24Routine(Direction direction, bool isFloat, bool swapped) {
    return kInt24Routines[(isFloat ? 1 : 0) + (swapped ? 2 : 0) + 4 * static_cast<int>(direction)];
}

}  // namespace audio::conversion
