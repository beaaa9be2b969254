#include "audio/SampleFormat.h"

#include <gtest/gtest.h>

#include <sstream>

namespace audio {
namespace {

TEST(SampleFormat, CodesNameTheirSizeAndByteOrder) {
    using enum ByteOrder;
    const struct {
        std::uint32_t code;
        const char* name;
        std::size_t size;
        ByteOrder order;
    } cases[] = {
        {0x01626201, "byte", 1, Little},
        {0x01636301, "char", 1, Little},
        {0x36316902, "int16_LE", 2, Little},
        {0x02693136, "int16_BE", 2, Big},
        {0x34326903, "int24_LE", 3, Little},
        {0x03693234, "int24_BE", 3, Big},
        {0x32336904, "int32_LE", 4, Little},
        {0x04693332, "int32_BE", 4, Big},
        {0x32336604, "float32_LE", 4, Little},
        {0x04663332, "float32_BE", 4, Big},
        {0x34366608, "float64_LE", 8, Little},
        {0x08663634, "float64_BE", 8, Big},
        {0x003E3C00, "Compressed", 0, None},
        {0x003F3F00, "Unsupported", 0, None},
        {0, "Unknown", 0, None},
        {0x00693136, "Unknown", 0, None},  // a tag character in b0 with b3 zero has no order
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SampleFormat format{c.code};
        EXPECT_EQ(name(format), c.name);
        EXPECT_EQ(sampleSize(format), c.size);
        EXPECT_EQ(byteOrder(format), c.order);
    }
    EXPECT_EQ(name(SampleFormat{0x12345678}), "Unknown");
    std::ostringstream out;
    out << kInt24BE;
    EXPECT_EQ(out.str(), "int24_BE");
}

}  // namespace
}  // namespace audio
