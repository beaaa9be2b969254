// Sample formats and the conversions between the samples of files and of the application.
#include "audio/SampleConverter.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "tests/audio/TestFiles.h"

namespace audio {
namespace {

// Names are spelled from the code's bytes: one row per kind, byte order and edge of the widths. The last
// code has a tag character in b0 and b3 zero: no order.
TEST(SampleFormat, CodesNameTheirSizeAndByteOrder) {
    using enum ByteOrder;
    const struct {
        std::uint32_t code;
        const char* name;
        std::size_t size;
        ByteOrder order;
    } cases[] = {{0x01626201, "byte", 1, Little},       {0x01636301, "char", 1, Little},
                 {0x36316902, "int16_LE", 2, Little},   {0x02693136, "int16_BE", 2, Big},
                 {0x34326903, "int24_LE", 3, Little},   {0x04663332, "float32_BE", 4, Big},
                 {0x34366608, "float64_LE", 8, Little}, {0x003E3C00, "Compressed", 0, None},
                 {0x003F3F00, "Unsupported", 0, None},  {0, "Unknown", 0, None},
                 {0x00693136, "Unknown", 0, None}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SampleFormat format{c.code};
        EXPECT_EQ(name(format), c.name);
        EXPECT_EQ(sampleSize(format), c.size);
        EXPECT_EQ(byteOrder(format), c.order);
        EXPECT_EQ(::testing::PrintToString(format), c.name);  // as written to a stream
    }
    EXPECT_EQ(name(SampleFormat{0x12345678}), "Unknown");  // big by its bytes, but no name
}

using namespace test;

// The bytes of application samples of each type.
const auto s8 = [](std::initializer_list<std::int8_t> v) { return rawBytes(v); };
const auto s16 = [](std::initializer_list<std::int16_t> v) { return rawBytes(v); };
const auto s32 = [](std::initializer_list<std::int32_t> v) { return rawBytes(v); };
const auto f32 = [](std::initializer_list<float> v) { return rawBytes(v); };
const auto f64 = [](std::initializer_list<double> v) { return rawBytes(v); };

template <class T>
std::vector<T> values(const Bytes& bytes) {
    std::vector<T> out(bytes.size() / sizeof(T));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
    return out;
}

// Converts whole samples from file to application samples (decode) or back (encode).
Bytes convert(SampleFormat file, SampleFormat app, bool encode, const Bytes& in) {
    SampleConverter converter = GetConverter(file, app);
    const std::size_t count = in.size() / sampleSize(encode ? app : file);
    Bytes out(count * sampleSize(encode ? file : app));
    (encode ? converter.encode : converter.decode)(in.data(), out.data(), count);
    return out;
}

constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr double kK8d = 1.0 / 127.0, kK16d = 1.0 / 32767.0, kK32d = 1.0 / 2147483647.0;

// File samples to decode and what they decode to, or application samples to encode and what they encode to.
struct Conversion {
    SampleFormat file, app;
    Bytes in, out;
};

void expectConversions(std::span<const Conversion> table, bool encode) {
    for (const Conversion& c : table) {
        SCOPED_TRACE(::testing::Message() << c.file << (encode ? " <= " : " => ") << c.app);
        Bytes in = c.in;
        EXPECT_EQ(convert(c.file, c.app, encode, in), c.out);
        EXPECT_EQ(in, c.in);  // the source is left alone
    }
}

TEST(ConversionTable, FileSamplesDecodeToEveryApplicationTypeAndApplicationSamplesEncodeRoundedAndClipped) {
    const Bytes chars = s8({-128, -3, 0, 1, 127});
    const Bytes bytes{0, 128, 255};  // "byte" is unsigned with 128 as zero
    const Bytes int16 = s16({-32768, -257, -1, 0, 32767});
    const Bytes int32 = s32({0x12345678, -65536, kMax32});
    const Bytes int24le{0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x56, 0x34, 0x12};
    const Bytes int24be{0x80, 0x00, 0x00, 0x12, 0x34, 0x56};
    const Conversion decodes[] = {
        {kChar, kInt16LE, chars, s16({-32768, -768, 0, 256, 32512})},
        {kChar, kFloat32LE, chars, f32({-128 * kK8, -3 * kK8, 0.0f, kK8, 127 * kK8})},
        {kByte, kFloat32LE, bytes, f32({-128 * kK8, 0.0f, 127 * kK8})},
        {kByte, kInt16LE, bytes, s16({-32768, 0, 32512})},
        {kByte, kChar, bytes, s8({-128, 0, 127})},
        // Narrowing keeps the most significant bits (arithmetic shift).
        {kInt16LE, kChar, int16, s8({-128, -2, -1, 0, 127})},
        {kInt16LE, kInt32LE, int16, s32({kMin32, -16842752, -65536, 0, 2147418112})},
        {kInt16LE, kFloat32LE, int16, f32({-32768 * kK16, -257 * kK16, -kK16, 0.0f, 32767 * kK16})},
        {kInt32LE, kInt16LE, int32, s16({0x1234, -1, 32767})},
        // (2^31 - 1) * 2^-31 rounds to 1 in single precision.
        {kInt32LE, kFloat32LE, int32, f32({0x12345678 * 0x1p-31f, -65536 * 0x1p-31f, 1.0f})},
        // Integers to doubles: the products with the double-precision scales.
        {kChar, kFloat64LE, chars, f64({-128 * kK8d, -3 * kK8d, 0.0, kK8d, 127 * kK8d})},
        {kInt16LE, kFloat64LE, int16, f64({-32768 * kK16d, -257 * kK16d, -kK16d, 0.0, 32767 * kK16d})},
        {kInt32LE, kFloat64LE, int32, f64({0x12345678 * kK32d, -65536 * kK32d, kMax32 * kK32d})},
        {kFloat32LE, kFloat64LE, f32({0.1f, -3.0e38f}), f64({0.1f, -3.0e38f})},
        {kFloat64LE, kFloat32LE, f64({0.1, 1.5}), f32({0.1f, 1.5f})},
        // One row for the copies between equal types: also beyond full scale.
        {kFloat32LE, kFloat32LE, f32({1.5f, -2.0f}), f32({1.5f, -2.0f})},
        // 24-bit samples decode into the top bits, through a 4-byte intermediate to the other types.
        {kInt24LE, kFloat32LE, int24le, f32({-1.0f, 0x7FFFFF00 * 0x1p-31f, 0x12345600 * 0x1p-31f})},
        {kInt24LE, kInt32LE, int24le, s32({kMin32, 0x7FFFFF00, 0x12345600})},
        {kInt24LE, kInt16LE, int24le, s16({-32768, 32767, 0x1234})},
        {kInt24LE, kByte, int24le, {0, 255, 0x92}},
        {kInt24BE, kFloat32LE, int24be, f32({-1.0f, 0x12345600 * 0x1p-31f})},
        {kInt24BE, kFloat64LE, int24be, f64({-1.0, 0x12345600 * 0x1p-31f})},
        // Big-endian files swap through scratch.
        {kInt16BE, kFloat32LE, intSamples({32767, -32768, 1}, 2, true),
         f32({32767 * kK16, -32768 * kK16, kK16})},
        {kFloat32BE, kFloat32LE, {0x3F, 0x80, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00}, f32({1.0f, -2.0f})},
        {kFloat64BE, kFloat32LE, {0x3F, 0xF8, 0, 0, 0, 0, 0, 0}, f32({1.5f})},
        {kInt32BE, kFloat32LE, {0x40, 0x00, 0x00, 0x00}, f32({0.5f})},
    };
    expectConversions(decodes, false);
    // Application samples encode rounded and clipped.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Bytes floats = f32({1.0f, -1.0f, 0.5f, 2.0f, -7.0f, 0.0f, 0.99999988f});
    const Bytes doubles = f64({1.0, -1.0, 0.5, 3.0, 0.25});
    const Conversion encodes[] = {
        {kInt16LE, kFloat32LE, floats, s16({32766, -32766, 16383, 32766, -32766, 0, 32766})},
        {kChar, kFloat32LE, floats, s8({126, -126, 63, 126, -126, 0, 126})},
        {kByte, kFloat32LE, floats, {254, 2, 191, 254, 2, 128, 254}},
        {kInt32LE, kFloat32LE, f32({1.0f, -1.0f, 0.5f}), s32({2147483392, -2147483392, 1073741824})},
        // Halfway cases go to the even neighbour.
        {kInt32LE, kFloat32LE, f32({2.5f * 0x1p-31f, 3.5f * 0x1p-31f, -2.5f * 0x1p-31f}), s32({2, 4, -2})},
        {kInt16LE, kFloat64LE, doubles, s16({32766, -32766, 16383, 32766, 8192})},
        {kChar, kFloat64LE, doubles, s8({126, -126, 63, 126, 32})},
        {kInt32LE, kFloat64LE, doubles, s32({2147483646, -2147483646, 1073741823, 2147483646, 536870912})},
        {kByte, kByte, {0, 200}, {0, 200}},
        // Not a number becomes silence.
        {kInt16LE, kFloat32LE, f32({nan}), s16({0})},
        {kInt24LE, kFloat32LE, f32({nan}), {0, 0, 0}},
        // 24 bits: rounded, and never overflowing.
        {kInt24LE,
         kFloat32LE,
         f32({1.0f, -1.0f, 0.5f, 4.0f}),
         {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0x7F}},
        // Half a step (+-128) goes away from zero, less (+-127) towards it; 0x7FFFFE80 rounds up to the
        // limit, 0x7FFFFE7F down; above the limit (0x7FFFFF80) the top bytes are kept as they are.
        {kInt24LE,
         kInt32LE,
         s32({kMax32, kMin32, 128, 127, -128, -127, 0x7FFFFE80, 0x7FFFFE7F, 0x7FFFFF80}),
         {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
          0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x7F, 0xFE, 0xFF, 0x7F, 0xFF, 0xFF, 0x7F}},
        {kInt24BE, kFloat32LE, f32({1.0f, -1.0f}), {0x7F, 0xFF, 0xFF, 0x80, 0x00, 0x01}},
        {kInt24BE, kInt32LE, s32({0x12345678}), {0x12, 0x34, 0x56}},
        // Through the intermediate: int16 widens to int32 first.
        {kInt24LE, kInt16LE, s16({0x1234, -1}), {0x00, 0x34, 0x12, 0x00, 0xFF, 0xFF}},
        {kInt24LE, kFloat64LE, f64({-1.0}), {0x01, 0x00, 0x80}},
        {kInt16BE, kFloat32LE, f32({0.5f, -1.0f}), {0x3F, 0xFF, 0x80, 0x02}},
        {kFloat32BE, kFloat32LE, f32({1.0f}), {0x3F, 0x80, 0x00, 0x00}},
    };
    expectConversions(encodes, true);
}

// Long blocks take the vectorised paths; every sample must still follow the table's rule, computed here
// one value at a time.
TEST(ConversionTable, LongBlocksFollowTheRuleForEverySample) {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> floats{
        std::numeric_limits<float>::quiet_NaN(), inf, -inf, -0.0f, 1.0f, -1.0f, 0.99999988f, -1.5f};
    for (int i = -600; i < 600; ++i)
        floats.push_back(static_cast<float>(i) / 512.0f + static_cast<float>(i % 7) * 1.0e-5f);
    for (int k = -20; k < 20; ++k)
        floats.push_back((static_cast<float>(k) + 0.5f) / 32766.5f);  // near halfway products
    const Bytes source = rawBytes(floats);
    const auto int16 = values<std::int16_t>(convert(kInt16LE, kFloat32LE, true, source));
    const Bytes int24 = convert(kInt24LE, kFloat32LE, true, source);
    for (std::size_t i = 0; i < floats.size(); ++i) {
        const float clipped =
            std::isnan(floats[i]) ? 0.0f : std::fmin(std::fmax(floats[i], -0.99999988f), 0.99999988f);
        ASSERT_EQ(int16[i], static_cast<std::int16_t>(std::nearbyint(clipped * 32766.5f))) << i;
        const auto v = static_cast<std::int64_t>(std::nearbyint(clipped * 2147483648.0f));
        // Rounded to a multiple of 256, halves away from zero (no value here exceeds the limit).
        const std::int64_t rounded = ((v < 0 ? -v : v) + 128) / 256 * (v < 0 ? -1 : 1);
        ASSERT_EQ(int24[3 * i] | int24[3 * i + 1] << 8 | static_cast<std::int8_t>(int24[3 * i + 2]) << 16,
                  rounded)
            << i;
    }
    std::vector<std::int16_t> ints;
    for (int v = -32768; v < 32768; v += 37)
        ints.push_back(static_cast<std::int16_t>(v));
    const auto decoded = values<float>(convert(kInt16LE, kFloat32LE, false, rawBytes(ints)));
    for (std::size_t i = 0; i < ints.size(); ++i)
        ASSERT_EQ(decoded[i], static_cast<float>(ints[i]) * kK16) << i;
}

using ConverterObjects = ReaderTest;  // captures the console

TEST_F(ConverterObjects, TwoStageScratchOnlyGrowsNonNativeApplicationFormatsWarnAndOddFormatsAreRefused) {
    SampleConverter converter = GetConverter(kFloat32BE, kFloat32LE);
    ASSERT_TRUE(converter.decode.isTwoStage());
    std::vector<std::uint8_t> in(4 * 100);
    std::vector<float> out(100);
    converter.decode(in.data(), out.data(), 100);
    EXPECT_EQ(converter.decode.scratchCapacity(), 400u);
    converter.decode(in.data(), out.data(), 10);
    EXPECT_EQ(converter.decode.scratchCapacity(), 400u);
    // A count of zero touches nothing.
    float untouched = 42.0f;
    GetConverter(kInt16BE, kFloat32LE).decode(in.data(), &untouched, 0);
    GetConverter(kInt16BE, kFloat32LE).encode(&untouched, nullptr, 0);
    EXPECT_EQ(untouched, 42.0f);
    // The writer's formats convert in one stage.
    for (const SampleFormat format : {kInt16LE, kInt24LE, kFloat32LE})
        EXPECT_FALSE(GetConverter(format, kFloat32LE).encode.isTwoStage()) << format;
    std::ostringstream log;
    setLog(log);
    // Both big-endian: no swap, so the bytes convert as they lie.
    const Bytes converted = convert(kInt16BE, kInt32BE, false, {0x12, 0x34});
    setLog(std::cerr);
    EXPECT_EQ(converted, s32({0x34120000}));
    EXPECT_EQ(log.str(), "Data conversion warning - Byte-inverted data is not usable in app code?\n");
    EXPECT_EQ(thrown<std::runtime_error>([] { GetConverter(kCompressed, kFloat32LE); }),
              "Could not handle data conversion");
    EXPECT_EQ(console_.str(), "Compressed => float32_LE\n");
    EXPECT_EQ(thrown<std::runtime_error>([] { GetConverter(kInt16LE, kInt24LE); }),
              "Illegal conversion - 24-bit are not usable in app code?\n"
              "conversion may be accessible from GetInt24Converter");
    for (const auto& [file, app] :
         {std::pair(kUnsupported, kFloat32LE), {kUnknown, kFloat32LE}, {kInt24LE, kUnknown}})
        EXPECT_THROW(GetConverter(file, app), std::runtime_error) << file << " => " << app;
}

}  // namespace
}  // namespace audio
