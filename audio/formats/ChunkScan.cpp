#include "audio/formats/ChunkScan.h"

#include <ostream>

namespace audio::formats {

namespace {

constexpr std::uint8_t kFirstCodeByte = 0x20;
constexpr std::uint8_t kLastCodeByte = 0x7F;
constexpr std::uint64_t kHeaderBytes = 8;
constexpr std::uint64_t kFieldBytes = 4;

}  // namespace

std::uint16_t readLE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t readLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t readBE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}
std::uint32_t readBE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

bool isValidCode(const std::uint8_t* bytes) {
    for (int i = 0; i < 4; ++i) {
        if (bytes[i] < kFirstCodeByte || bytes[i] > kLastCodeByte)
            return false;
    }
    return true;
}

ChunkRecord scanForChunk(const std::uint8_t* base, std::uint64_t from, std::uint64_t end,
                         std::uint32_t wanted, SizeOrder order) {
    std::uint64_t p = from;
    // A header that does not fit whole before the end is not read.
    while (p < end && end - p >= kHeaderBytes) {
        const std::uint32_t code = readLE32(base + p);
        const std::uint8_t* sizeField = base + p + kFieldBytes;
        const std::uint32_t size = order == SizeOrder::Little ? readLE32(sizeField) : readBE32(sizeField);
        p += kHeaderBytes;
        if (code == wanted)
            return {code, size, p - kHeaderBytes, true};
        const bool codeValid = isValidCode(base + p - kHeaderBytes);
        const bool fits = p + size + kHeaderBytes <= end;
        if (!codeValid && !fits)
            break;
        const std::uint64_t step = size + (size & 1u);
        if (fits) {
            if (isValidCode(base + p + step))
                p += step;
        } else if (isValidCode(sizeField)) {
            p -= kFieldBytes;
        } else {
            break;
        }
    }
    return {};
}

void writeChunkRecord(std::ostream& out, const ChunkRecord& record) {
    out << "<chunk "
        << "fourcc=\"";
    for (int i = 0; i < 4; ++i)
        out << static_cast<char>(record.code >> (8 * i));
    out << "\" "
        << "filepos=\"" << record.position << "\" "
        << "size=\"" << record.size << "\" "
        << " />\n";
}

}  // namespace audio::formats
