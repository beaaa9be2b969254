#include "audio/formats/ChunkScan.h"

#include <sstream>

#include "tests/audio/TestFiles.h"

namespace audio::formats {
namespace {

using test::Bytes;
using test::ByteWriter;

TEST(ChunkScan, FindsTheWantedChunkOrGivesUp) {
    constexpr std::uint64_t kNone = ChunkRecord::kNoPosition;
    ByteWriter padded, big, noSize, binary, garbage, cut;
    padded.text("LIST").le32(3).text("abc").zeros(1);  // odd size: a pad byte follows
    padded.text("junk").le32(4).text("wxyz").text("data").le32(8).zeros(8);
    big.text("FVER").be32(4).be32(0xA2805140).text("COMM").be32(18).zeros(18);
    // "bext" lost its size field: the scan reads "LIST" as its size, which runs
    // past the end but reads as text, so it steps back onto it.
    noSize.text("bext").text("LIST").le32(4).text("INFO").text("data").le32(2).zeros(2);
    // The size of "junk" points at binary bytes, so the scan does not skip and
    // reads the next header right after this one.
    binary.text("junk").le32(4).text("data").le32(2).bytes({1, 2, 0xFF, 0xFF});
    garbage.bytes({0x01, 0x02, 0x03, 0x04}).le32(0xFFFFFF00).text("data").le32(0);
    cut.text("LIST").le32(0).text("dat");  // a header cut by the end
    const Bytes cutBytes = cut.take();
    const struct {
        const char* name;
        Bytes bytes;
        std::uint64_t from;
        std::uint32_t wanted;
        SizeOrder order;
        std::uint64_t position;  // kNone: not found
        std::uint32_t size;
    } cases[] = {
        {"steps by size and pad byte", padded.take(), 0, fourcc("data"), SizeOrder::Little, 24, 8},
        {"big-endian sizes", big.take(), 0, fourcc("COMM"), SizeOrder::Big, 12, 18},
        {"missing size field", noSize.take(), 0, fourcc("data"), SizeOrder::Little, 16, 2},
        {"next header not a code", binary.take(), 0, fourcc("data"), SizeOrder::Little, 8, 2},
        {"garbage", garbage.take(), 0, fourcc("data"), SizeOrder::Little, kNone, 0},
        {"cut header", cutBytes, 0, fourcc("data"), SizeOrder::Little, kNone, 0},
        {"start past the end", cutBytes, 100, fourcc("LIST"), SizeOrder::Little, kNone, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChunkRecord r = scanForChunk(c.bytes.data(), c.from, c.bytes.size(), c.wanted, c.order);
        EXPECT_EQ(r.found, c.position != kNone);
        EXPECT_EQ(r.position, c.position);
        EXPECT_EQ(r.size, c.size);
        EXPECT_EQ(r.code, r.found ? c.wanted : 0u);
    }
}

TEST(ChunkScan, ValidCodesArePrintableAndRecordsAreListed) {
    const std::uint8_t good[4] = {' ', 'a', 0x7F, '9'};
    const std::uint8_t bad[4] = {'a', 'b', 'c', 0x1F};
    const std::uint8_t high[4] = {'a', 'b', 'c', 0x80};
    EXPECT_TRUE(isValidCode(good));
    EXPECT_FALSE(isValidCode(bad));
    EXPECT_FALSE(isValidCode(high));
    std::ostringstream out;
    writeChunkRecord(out, {fourcc("fmt "), 16, 12, true});
    EXPECT_EQ(out.str(), "<chunk fourcc=\"fmt \" filepos=\"12\" size=\"16\"  />\n");
}

}  // namespace
}  // namespace audio::formats
