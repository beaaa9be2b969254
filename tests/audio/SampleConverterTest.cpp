#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "audio/Console.h"
#include "audio/SampleConverter.h"

namespace audio {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class T>
Bytes asBytes(const std::vector<T>& values) {
    Bytes out(values.size() * sizeof(T));
    std::memcpy(out.data(), values.data(), out.size());
    return out;
}

template <class T>
std::vector<T> fromBytes(const Bytes& bytes) {
    std::vector<T> out(bytes.size() / sizeof(T));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
    return out;
}

// Decodes file samples (as their raw bytes) to count application samples of type T.
template <class T>
std::vector<T> decode(SampleFormat file, SampleFormat app, const Bytes& in, std::size_t count) {
    SampleConverter converter = GetConverter(file, app);
    std::vector<T> out(count);
    converter.decode(in.data(), out.data(), count);
    return out;
}

// Encodes application samples to the bytes of count file samples.
template <class T>
Bytes encode(SampleFormat file, SampleFormat app, const std::vector<T>& in) {
    SampleConverter converter = GetConverter(file, app);
    Bytes out(in.size() * sampleSize(file));
    converter.encode(in.data(), out.data(), in.size());
    return out;
}

constexpr float kK8f = static_cast<float>(1.0 / 127.0);
constexpr float kK16f = static_cast<float>(1.0 / 32767.0);

// Captures the console and log streams for one test.
class CapturedStreams {
  public:
    CapturedStreams() {
        setConsole(console_);
        setLog(log_);
    }
    ~CapturedStreams() {
        setConsole(std::cerr);
        setLog(std::cerr);
    }
    std::string console() const { return console_.str(); }
    std::string log() const { return log_.str(); }

  private:
    std::ostringstream console_;
    std::ostringstream log_;
};

TEST(ConversionTable, EightBitSource) {
    const std::vector<std::int8_t> chars{-128, -3, 0, 1, 127};
    const Bytes in = asBytes(chars);
    EXPECT_EQ(decode<std::int8_t>(kChar, kChar, in, 5), chars);
    EXPECT_EQ(decode<std::int16_t>(kChar, kInt16LE, in, 5),
              (std::vector<std::int16_t>{-32768, -768, 0, 256, 32512}));
    EXPECT_EQ(decode<std::int32_t>(kChar, kInt32LE, in, 5),
              (std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::min(), -50331648, 0, 16777216,
                                         2130706432}));
    const auto f = decode<float>(kChar, kFloat32LE, in, 5);
    EXPECT_EQ(f[0], -128.0f * kK8f);
    EXPECT_EQ(f[2], 0.0f);
    EXPECT_NEAR(f[4], 1.0f, 1e-7);
    const auto d = decode<double>(kChar, kFloat64LE, in, 5);
    EXPECT_EQ(d[1], -3.0 / 127.0);
    EXPECT_DOUBLE_EQ(d[4], 1.0);

    // "byte" is unsigned with 128 as zero.
    const Bytes bytes{0, 128, 255};
    EXPECT_EQ(decode<float>(kByte, kFloat32LE, bytes, 3),
              (std::vector<float>{-128.0f * kK8f, 0.0f, 127.0f * kK8f}));
    EXPECT_EQ(decode<std::int16_t>(kByte, kInt16LE, bytes, 3), (std::vector<std::int16_t>{-32768, 0, 32512}));
    EXPECT_EQ(decode<std::int8_t>(kByte, kChar, bytes, 3), (std::vector<std::int8_t>{-128, 0, 127}));
}

TEST(ConversionTable, IntegerSources) {
    const Bytes int16 = asBytes(std::vector<std::int16_t>{-32768, -257, -1, 0, 32767});
    // Narrowing keeps the most significant bits (arithmetic shift).
    EXPECT_EQ(decode<std::int8_t>(kInt16LE, kChar, int16, 5),
              (std::vector<std::int8_t>{-128, -2, -1, 0, 127}));
    EXPECT_EQ(decode<std::uint8_t>(kInt16LE, kByte, int16, 5), (Bytes{0, 126, 127, 128, 255}));
    EXPECT_EQ(decode<std::int32_t>(kInt16LE, kInt32LE, int16, 5),
              (std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::min(), -16842752, -65536, 0,
                                         2147418112}));
    const auto f = decode<float>(kInt16LE, kFloat32LE, int16, 5);
    EXPECT_FLOAT_EQ(f[4], 1.0f);
    EXPECT_LT(f[0], -1.0f);
    EXPECT_EQ(f[0], -32768.0f * kK16f);
    EXPECT_EQ(decode<double>(kInt16LE, kFloat64LE, int16, 5)[2], -1.0 / 32767.0);

    const Bytes int32 =
        asBytes(std::vector<std::int32_t>{0x12345678, -65536, std::numeric_limits<std::int32_t>::max()});
    EXPECT_EQ(decode<std::int16_t>(kInt32LE, kInt16LE, int32, 3),
              (std::vector<std::int16_t>{0x1234, -1, 32767}));
    EXPECT_EQ(decode<std::int8_t>(kInt32LE, kChar, int32, 3), (std::vector<std::int8_t>{0x12, -1, 127}));
    const auto f32 = decode<float>(kInt32LE, kFloat32LE, int32, 3);
    EXPECT_EQ(f32[1], -65536.0f * 0x1p-31f);
    EXPECT_EQ(f32[2], 1.0f);  // (2^31 - 1) * 2^-31 rounds to 1 in single precision
    EXPECT_EQ(decode<double>(kInt32LE, kFloat64LE, int32, 3)[2], 2147483647.0 * (1.0 / 2147483647.0));
}

TEST(ConversionTable, Float32ToIntegersRoundsAndClips) {
    const std::vector<float> in{1.0f, -1.0f, 0.5f, 2.0f, -7.0f, 0.0f, 0.99999988f};
    EXPECT_EQ(fromBytes<std::int16_t>(encode(kInt16LE, kFloat32LE, in)),
              (std::vector<std::int16_t>{32766, -32766, 16383, 32766, -32766, 0, 32766}));
    EXPECT_EQ(fromBytes<std::int8_t>(encode(kChar, kFloat32LE, in)),
              (std::vector<std::int8_t>{126, -126, 63, 126, -126, 0, 126}));
    EXPECT_EQ(encode(kByte, kFloat32LE, in), (Bytes{254, 2, 191, 254, 2, 128, 254}));
    EXPECT_EQ(fromBytes<std::int32_t>(encode(kInt32LE, kFloat32LE, std::vector<float>{1.0f, -1.0f, 0.5f})),
              (std::vector<std::int32_t>{2147483392, -2147483392, 1073741824}));
    // Halfway cases go to the even neighbour.
    EXPECT_EQ(
        fromBytes<std::int32_t>(encode(
            kInt32LE, kFloat32LE, std::vector<float>{2.5f * 0x1p-31f, 3.5f * 0x1p-31f, -2.5f * 0x1p-31f})),
        (std::vector<std::int32_t>{2, 4, -2}));
}

TEST(ConversionTable, Float64ToIntegersRoundsAndClips) {
    const std::vector<double> in{1.0, -1.0, 0.5, 3.0, 0.25};
    EXPECT_EQ(fromBytes<std::int16_t>(encode(kInt16LE, kFloat64LE, in)),
              (std::vector<std::int16_t>{32766, -32766, 16383, 32766, 8192}));
    EXPECT_EQ(fromBytes<std::int8_t>(encode(kChar, kFloat64LE, in)),
              (std::vector<std::int8_t>{126, -126, 63, 126, 32}));
    EXPECT_EQ(fromBytes<std::int32_t>(encode(kInt32LE, kFloat64LE, in)),
              (std::vector<std::int32_t>{2147483646, -2147483646, 1073741823, 2147483646, 536870912}));
}

TEST(ConversionTable, FloatToFloat) {
    const std::vector<float> singles{0.1f, -3.0e38f};
    EXPECT_EQ(decode<double>(kFloat32LE, kFloat64LE, asBytes(singles), 2),
              (std::vector<double>{static_cast<double>(0.1f), static_cast<double>(-3.0e38f)}));
    EXPECT_EQ(decode<float>(kFloat64LE, kFloat32LE, asBytes(std::vector<double>{0.1, 1.5}), 2),
              (std::vector<float>{0.1f, 1.5f}));
    // float to float copies, also beyond full scale.
    EXPECT_EQ(decode<float>(kFloat32LE, kFloat32LE, asBytes(std::vector<float>{1.5f, -2.0f}), 2),
              (std::vector<float>{1.5f, -2.0f}));
}

TEST(ConversionTable, SameTypeCopies) {
    const std::vector<std::int16_t> int16{-32768, 5, 32767};
    EXPECT_EQ(decode<std::int16_t>(kInt16LE, kInt16LE, asBytes(int16), 3), int16);
    const std::vector<std::int32_t> int32{std::numeric_limits<std::int32_t>::min(), 7};
    EXPECT_EQ(decode<std::int32_t>(kInt32LE, kInt32LE, asBytes(int32), 2), int32);
    const std::vector<double> float64{1e300, -0.1};
    EXPECT_EQ(decode<double>(kFloat64LE, kFloat64LE, asBytes(float64), 2), float64);
    EXPECT_EQ(encode(kByte, kByte, std::vector<std::uint8_t>{0, 200}), (Bytes{0, 200}));
}

TEST(ConversionTable, NotANumberBecomesSilence) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(fromBytes<std::int16_t>(encode(kInt16LE, kFloat32LE, std::vector<float>{nan})),
              std::vector<std::int16_t>{0});
    EXPECT_EQ(encode(kInt24LE, kFloat32LE, std::vector<float>{nan}), (Bytes{0, 0, 0}));
}

TEST(ConversionTable, ZeroCountTouchesNothing) {
    SampleConverter converter = GetConverter(kInt16BE, kFloat32LE);
    const Bytes in{1, 2};
    float out = 42.0f;
    converter.decode(in.data(), &out, 0);
    converter.encode(&out, nullptr, 0);
    EXPECT_EQ(out, 42.0f);
}

// Long blocks take the vectorised paths; every sample must still follow the
// table's rule, computed here one value at a time.
std::vector<float> awkwardFloats() {
    std::vector<float> values{std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              -0.0f,
                              1.0f,
                              -1.0f,
                              0.99999988f,
                              -1.5f};
    for (int i = -600; i < 600; ++i)
        values.push_back(static_cast<float>(i) / 512.0f + static_cast<float>(i % 7) * 1.0e-5f);
    for (int k = -20; k < 20; ++k)
        values.push_back((static_cast<float>(k) + 0.5f) / 32766.5f);  // near halfway products
    return values;
}

float clipByHand(float x) {
    if (std::isnan(x))
        return 0.0f;
    return std::fmin(std::fmax(x, -0.99999988f), 0.99999988f);
}

TEST(ConversionTable, LongBlocksFollowTheRuleForEverySample) {
    const std::vector<float> values = awkwardFloats();
    const auto int16 = fromBytes<std::int16_t>(encode(kInt16LE, kFloat32LE, values));
    const Bytes int24 = encode(kInt24LE, kFloat32LE, values);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float product = clipByHand(values[i]) * 32766.5f;
        ASSERT_EQ(int16[i], static_cast<std::int16_t>(std::nearbyint(product))) << i;
        const auto v = static_cast<std::int64_t>(std::nearbyint(clipByHand(values[i]) * 2147483648.0f));
        // Rounded to a multiple of 256, halves away from zero (no value here exceeds the limit).
        const std::int64_t magnitude = v < 0 ? -v : v;
        const std::int64_t rounded = (magnitude + 128) / 256 * (v < 0 ? -1 : 1);
        const std::int32_t stored =
            int24[3 * i] | int24[3 * i + 1] << 8 | static_cast<std::int8_t>(int24[3 * i + 2]) << 16;
        ASSERT_EQ(stored, rounded) << i;
    }

    std::vector<std::int16_t> ints;
    for (int v = -32768; v < 32768; v += 37)
        ints.push_back(static_cast<std::int16_t>(v));
    const auto floats = decode<float>(kInt16LE, kFloat32LE, asBytes(ints), ints.size());
    for (std::size_t i = 0; i < ints.size(); ++i)
        ASSERT_EQ(floats[i], static_cast<float>(ints[i]) * kK16f) << i;
}

TEST(Int24, DecodesIntoTheTopBits) {
    const Bytes little{0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x56, 0x34, 0x12};
    EXPECT_EQ(decode<float>(kInt24LE, kFloat32LE, little, 3),
              (std::vector<float>{-1.0f, 0x7FFFFF00 * 0x1p-31f, 0x12345600 * 0x1p-31f}));
    EXPECT_EQ(decode<std::int32_t>(kInt24LE, kInt32LE, little, 3),
              (std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::min(), 0x7FFFFF00, 0x12345600}));
    const Bytes big{0x80, 0x00, 0x00, 0x12, 0x34, 0x56};
    EXPECT_EQ(decode<float>(kInt24BE, kFloat32LE, big, 2),
              (std::vector<float>{-1.0f, 0x12345600 * 0x1p-31f}));
    // Through the 4-byte intermediate to the other types.
    EXPECT_EQ(decode<std::int16_t>(kInt24LE, kInt16LE, little, 3),
              (std::vector<std::int16_t>{-32768, 32767, 0x1234}));
    EXPECT_EQ(decode<double>(kInt24BE, kFloat64LE, big, 2),
              (std::vector<double>{-1.0, static_cast<double>(0x12345600 * 0x1p-31f)}));
    EXPECT_EQ(decode<std::uint8_t>(kInt24LE, kByte, little, 3), (Bytes{0, 255, 0x92}));
}

TEST(Int24, DecodingLeavesTheSourceAlone) {
    const Bytes original{0x01, 0x02, 0x83, 0x7F, 0x00, 0x00};
    Bytes in = original;
    decode<std::int16_t>(kInt24LE, kInt16LE, in, 2);
    decode<float>(kInt24BE, kFloat32LE, in, 2);
    EXPECT_EQ(in, original);
}

TEST(Int24, EncodesWithRoundingAndNoOverflow) {
    EXPECT_EQ(encode(kInt24LE, kFloat32LE, std::vector<float>{1.0f, -1.0f, 0.5f, 4.0f}),
              (Bytes{0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0x7F}));
    const std::vector<std::int32_t> ints{std::numeric_limits<std::int32_t>::max(),
                                         std::numeric_limits<std::int32_t>::min(),
                                         128,          // half a step: away from zero
                                         127,          // below half: down
                                         -128,         // half a step below zero: away from zero
                                         -127,         //
                                         0x7FFFFE80,   // rounds up to the limit
                                         0x7FFFFE7F,   //
                                         0x7FFFFF80};  // above the limit: top bytes as they are
    EXPECT_EQ(encode(kInt24LE, kInt32LE, ints),
              (Bytes{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                     0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x7F, 0xFE, 0xFF, 0x7F, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(encode(kInt24BE, kFloat32LE, std::vector<float>{1.0f, -1.0f}),
              (Bytes{0x7F, 0xFF, 0xFF, 0x80, 0x00, 0x01}));
    EXPECT_EQ(encode(kInt24BE, kInt32LE, std::vector<std::int32_t>{0x12345678}), (Bytes{0x12, 0x34, 0x56}));
    // Through the intermediate: int16 widens to int32 first.
    EXPECT_EQ(encode(kInt24LE, kInt16LE, std::vector<std::int16_t>{0x1234, -1}),
              (Bytes{0x00, 0x34, 0x12, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(encode(kInt24LE, kFloat64LE, std::vector<double>{-1.0}), (Bytes{0x01, 0x00, 0x80}));
}

TEST(ByteOrder, BigEndianFilesSwapThroughScratch) {
    const Bytes int16{0x7F, 0xFF, 0x80, 0x00, 0x00, 0x01};
    EXPECT_EQ(decode<float>(kInt16BE, kFloat32LE, int16, 3),
              (std::vector<float>{32767.0f * kK16f, -32768.0f * kK16f, kK16f}));
    EXPECT_EQ(encode(kInt16BE, kFloat32LE, std::vector<float>{0.5f, -1.0f}), (Bytes{0x3F, 0xFF, 0x80, 0x02}));

    const Bytes float32{0x3F, 0x80, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00};
    EXPECT_EQ(decode<float>(kFloat32BE, kFloat32LE, float32, 2), (std::vector<float>{1.0f, -2.0f}));
    EXPECT_EQ(encode(kFloat32BE, kFloat32LE, std::vector<float>{1.0f}), (Bytes{0x3F, 0x80, 0x00, 0x00}));
    const Bytes float64{0x3F, 0xF8, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decode<float>(kFloat64BE, kFloat32LE, float64, 1), std::vector<float>{1.5f});
    const Bytes int32{0x40, 0x00, 0x00, 0x00};
    EXPECT_EQ(decode<float>(kInt32BE, kFloat32LE, int32, 1), std::vector<float>{0.5f});
}

TEST(ByteOrder, TwoStageScratchGrowsAndNeverShrinks) {
    SampleConverter converter = GetConverter(kFloat32BE, kFloat32LE);
    ASSERT_TRUE(converter.decode.isTwoStage());
    std::vector<std::uint8_t> in(4 * 100);
    std::vector<float> out(100);
    converter.decode(in.data(), out.data(), 100);
    EXPECT_EQ(converter.decode.scratchCapacity(), 400u);
    converter.decode(in.data(), out.data(), 10);
    EXPECT_EQ(converter.decode.scratchCapacity(), 400u);

    // The writer's formats convert in one stage.
    EXPECT_FALSE(GetConverter(kInt16LE, kFloat32LE).encode.isTwoStage());
    EXPECT_FALSE(GetConverter(kInt24LE, kFloat32LE).encode.isTwoStage());
    EXPECT_FALSE(GetConverter(kFloat32LE, kFloat32LE).encode.isTwoStage());
}

TEST(ByteOrder, NonNativeApplicationFormatWarnsAndSwapsOnlyAcrossOrders) {
    CapturedStreams streams;
    const Bytes bigFile{0x12, 0x34};
    // Both big-endian: no swap, so the bytes convert as they lie.
    EXPECT_EQ(decode<std::int32_t>(kInt16BE, kInt32BE, bigFile, 1), std::vector<std::int32_t>{0x34120000});
    EXPECT_EQ(streams.log(), "Data conversion warning - Byte-inverted data is not usable in app code?\n");
}

TEST(ConverterErrors, UnindexedFormatsAreRefusedWithAConsoleLine) {
    CapturedStreams streams;
    try {
        GetConverter(kCompressed, kFloat32LE);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Could not handle data conversion");
    }
    EXPECT_EQ(streams.console(), "Compressed => float32_LE\n");

    try {
        GetConverter(kInt16LE, kInt24LE);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "Illegal conversion - 24-bit are not usable in app code?\n"
                     "conversion may be accessible from GetInt24Converter");
    }
    EXPECT_THROW(GetConverter(kUnsupported, kFloat32LE), std::runtime_error);
    EXPECT_THROW(GetConverter(kUnknown, kFloat32LE), std::runtime_error);
    EXPECT_THROW(GetConverter(kInt24LE, kUnknown), std::runtime_error);
}

}  // namespace
}  // namespace audio
