#pragma once

#include <cstdint>

#include "audio/formats/ChunkRecord.h"

namespace audio::formats {

enum class SizeOrder { Little, Big };  // RIFF sizes are little-endian, IFF sizes big-endian

// The four-character code as read little-endian from text, e.g. fourcc("data").
constexpr std::uint32_t fourcc(const char (&text)[5]) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[0])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[3])) << 24;
}

// Looks for the chunk with code wanted among the chunk headers between the
// offsets from and end of the memory at base (file offset 0). Steps over each
// chunk by its size and pad byte while the next header reads as a code; a
// size that runs past the end but reads as text is taken for a missing size
// field, and the scan realigns on it. Never reads outside [base, base + end).
ChunkRecord scanForChunk(const std::uint8_t* base, std::uint64_t from, std::uint64_t end,
                         std::uint32_t wanted, SizeOrder order);

// Each of the four bytes is printable ASCII (0x20..0x7F).
bool isValidCode(const std::uint8_t* bytes);

std::uint16_t readLE16(const std::uint8_t* p);
std::uint32_t readLE32(const std::uint8_t* p);
std::uint16_t readBE16(const std::uint8_t* p);
std::uint32_t readBE32(const std::uint8_t* p);

}  // namespace audio::formats
