#include <gtest/gtest.h>

#include <sstream>

#include "audio/formats/ChunkScan.h"
#include "tests/audio/TestFiles.h"

namespace audio::formats {
namespace {

using test::Bytes;
using test::ByteWriter;

ChunkRecord scan(const Bytes& bytes, std::uint64_t from, const char (&code)[5],
                 SizeOrder order = SizeOrder::Little) {
    return scanForChunk(bytes.data(), from, bytes.size(), fourcc(code), order);
}

TEST(ChunkScan, StepsOverChunksByTheirSizeAndPadByte) {
    ByteWriter w;
    w.text("LIST").le32(3).text("abc").zeros(1);  // odd size: a pad byte follows
    w.text("junk").le32(4).text("wxyz");
    w.text("data").le32(8).zeros(8);
    const Bytes bytes = w.take();
    const ChunkRecord data = scan(bytes, 0, "data");
    ASSERT_TRUE(data.found);
    EXPECT_EQ(data.position, 24u);
    EXPECT_EQ(data.size, 8u);
    EXPECT_EQ(data.code, fourcc("data"));
}

TEST(ChunkScan, BigEndianSizes) {
    ByteWriter w;
    w.text("FVER").be32(4).be32(0xA2805140).text("COMM").be32(18).zeros(18);
    const Bytes bytes = w.take();
    const ChunkRecord comm = scan(bytes, 0, "COMM", SizeOrder::Big);
    ASSERT_TRUE(comm.found);
    EXPECT_EQ(comm.position, 12u);
    EXPECT_EQ(comm.size, 18u);
}

TEST(ChunkScan, MissingSizeFieldRealignsFourBytesBack) {
    // "bext" lost its size field: the scan reads "LIST" as its size, which
    // runs past the end but reads as text, so it steps back onto it.
    ByteWriter w;
    w.text("bext").text("LIST").le32(4).text("INFO").text("data").le32(2).zeros(2);
    const Bytes bytes = w.take();
    const ChunkRecord data = scan(bytes, 0, "data");
    ASSERT_TRUE(data.found);
    EXPECT_EQ(data.position, 16u);
}

TEST(ChunkScan, NextHeaderNotACodeReadsTheFollowingEightBytes) {
    // The size of "junk" points at binary bytes, so the scan does not skip and
    // reads the next header right after this one.
    ByteWriter w;
    w.text("junk").le32(4).text("data").le32(2).bytes({1, 2, 0xFF, 0xFF});
    const Bytes bytes = w.take();
    const ChunkRecord data = scan(bytes, 0, "data");
    ASSERT_TRUE(data.found);
    EXPECT_EQ(data.position, 8u);
}

TEST(ChunkScan, GivesUpOnGarbage) {
    ByteWriter w;
    w.bytes({0x01, 0x02, 0x03, 0x04}).le32(0xFFFFFF00).text("data").le32(0);
    EXPECT_FALSE(scan(w.take(), 0, "data").found);
    // A wanted code past the end, or a header cut by the end, is not found.
    ByteWriter cut;
    cut.text("LIST").le32(0).text("dat");
    const Bytes bytes = cut.take();
    const ChunkRecord none = scan(bytes, 0, "data");
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.position, ChunkRecord::kNoPosition);
    EXPECT_EQ(none.size, 0u);
    EXPECT_EQ(none.code, 0u);
    EXPECT_FALSE(scan(bytes, 100, "LIST").found);
}

TEST(ChunkScan, ValidCodesArePrintable) {
    const std::uint8_t good[4] = {' ', 'a', 0x7F, '9'};
    const std::uint8_t bad[4] = {'a', 'b', 'c', 0x1F};
    const std::uint8_t high[4] = {'a', 'b', 'c', 0x80};
    EXPECT_TRUE(isValidCode(good));
    EXPECT_FALSE(isValidCode(bad));
    EXPECT_FALSE(isValidCode(high));
}

TEST(ChunkListing, WritesOneElementPerRecord) {
    std::ostringstream out;
    writeChunkRecord(out, {fourcc("fmt "), 16, 12, true});
    EXPECT_EQ(out.str(), "<chunk fourcc=\"fmt \" filepos=\"12\" size=\"16\"  />\n");
}

}  // namespace
}  // namespace audio::formats
