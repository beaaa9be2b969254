#pragma once

#include <cstdint>
#include <iosfwd>

namespace audio::formats {

// One chunk of a RIFF or IFF file as found by the chunk scan.
struct ChunkRecord {
    static constexpr std::uint64_t kNoPosition = ~std::uint64_t{0};

    std::uint32_t code = 0;                // the four code bytes as stored, read little-endian
    std::uint32_t size = 0;                // as stored in the chunk header
    std::uint64_t position = kNoPosition;  // file offset of the chunk header
    bool found = false;

    // File offset just past the chunk's contents and its pad byte.
    std::uint64_t endWithPad() const { return position + 8 + size + (size & 1u); }
};

// Writes <chunk fourcc="...." filepos="N" size="N"  />\n
void writeChunkRecord(std::ostream& out, const ChunkRecord& record);

}  // namespace audio::formats
