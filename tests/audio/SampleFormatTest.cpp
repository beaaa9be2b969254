#include <gtest/gtest.h>

#include <sstream>

#include "audio/SampleFormat.h"

namespace audio {
namespace {

TEST(SampleFormat, CanonicalNames) {
    EXPECT_EQ(name(SampleFormat{0x01626201}), "byte");
    EXPECT_EQ(name(SampleFormat{0x01636301}), "char");
    EXPECT_EQ(name(SampleFormat{0x36316902}), "int16_LE");
    EXPECT_EQ(name(SampleFormat{0x02693136}), "int16_BE");
    EXPECT_EQ(name(SampleFormat{0x34326903}), "int24_LE");
    EXPECT_EQ(name(SampleFormat{0x03693234}), "int24_BE");
    EXPECT_EQ(name(SampleFormat{0x32336904}), "int32_LE");
    EXPECT_EQ(name(SampleFormat{0x04693332}), "int32_BE");
    EXPECT_EQ(name(SampleFormat{0x32336604}), "float32_LE");
    EXPECT_EQ(name(SampleFormat{0x04663332}), "float32_BE");
    EXPECT_EQ(name(SampleFormat{0x34366608}), "float64_LE");
    EXPECT_EQ(name(SampleFormat{0x08663634}), "float64_BE");
    EXPECT_EQ(name(SampleFormat{0x003E3C00}), "Compressed");
    EXPECT_EQ(name(SampleFormat{0x003F3F00}), "Unsupported");
    EXPECT_EQ(name(SampleFormat{0}), "Unknown");
    EXPECT_EQ(name(SampleFormat{0x12345678}), "Unknown");
    std::ostringstream out;
    out << kInt24BE;
    EXPECT_EQ(out.str(), "int24_BE");
}

TEST(SampleFormat, SizeAndByteOrder) {
    EXPECT_EQ(sampleSize(kByte), 1u);
    EXPECT_EQ(sampleSize(kInt16BE), 2u);
    EXPECT_EQ(sampleSize(kInt24LE), 3u);
    EXPECT_EQ(sampleSize(kInt24BE), 3u);
    EXPECT_EQ(sampleSize(kFloat64BE), 8u);
    EXPECT_EQ(sampleSize(kCompressed), 0u);
    EXPECT_EQ(sampleSize(kUnknown), 0u);

    EXPECT_EQ(byteOrder(kByte), ByteOrder::Little);
    EXPECT_EQ(byteOrder(kChar), ByteOrder::Little);
    EXPECT_EQ(byteOrder(kInt16LE), ByteOrder::Little);
    EXPECT_EQ(byteOrder(kFloat32BE), ByteOrder::Big);
    EXPECT_EQ(byteOrder(kInt24BE), ByteOrder::Big);
    EXPECT_EQ(byteOrder(kCompressed), ByteOrder::None);
    EXPECT_EQ(byteOrder(kUnknown), ByteOrder::None);
    // A tag character in b0 with b3 zero has no order.
    EXPECT_EQ(byteOrder(SampleFormat{0x00693136}), ByteOrder::None);
}

}  // namespace
}  // namespace audio
