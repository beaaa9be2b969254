#include "audio/formats/G711.h"

#include <array>

namespace audio::formats {

namespace {

constexpr std::uint8_t kALawToggle = 0x55;  // even bits are inverted on the line
constexpr std::uint8_t kSignBit = 0x80;
constexpr std::uint8_t kSegmentMask = 0x70;
constexpr int kSegmentShift = 4;
constexpr std::uint8_t kQuantMask = 0x0F;
constexpr int kMuLawBias = 0x84;
constexpr float kInt16ToFloat = static_cast<float>(1.0 / 32767.0);

constexpr std::int16_t alaw(std::uint8_t code) {
    const int a = code ^ kALawToggle;
    int t = (a & kQuantMask) << 4;
    const int segment = (a & kSegmentMask) >> kSegmentShift;
    if (segment == 0) {
        t += 8;
    } else {
        t += 0x108;
        if (segment > 1)
            t <<= segment - 1;
    }
    return static_cast<std::int16_t>((a & kSignBit) ? t : -t);
}

constexpr std::int16_t mulaw(std::uint8_t code) {
    const int u = static_cast<std::uint8_t>(~code);
    int t = ((u & kQuantMask) << 3) + kMuLawBias;
    t <<= (u & kSegmentMask) >> kSegmentShift;
    return static_cast<std::int16_t>((u & kSignBit) ? kMuLawBias - t : t - kMuLawBias);
}

using FloatTable = std::array<float, 256>;

template <std::int16_t (*kExpand)(std::uint8_t)>
constexpr FloatTable makeTable() {
    FloatTable table{};
    for (int code = 0; code < 256; ++code)
        table[code] = static_cast<float>(kExpand(static_cast<std::uint8_t>(code))) * kInt16ToFloat;
    return table;
}

constexpr FloatTable kALawTable = makeTable<alaw>();
constexpr FloatTable kMuLawTable = makeTable<mulaw>();

}  // namespace

std::int16_t alawToLinear(std::uint8_t code) {
    return alaw(code);
}
std::int16_t mulawToLinear(std::uint8_t code) {
    return mulaw(code);
}

void decodeALaw(const std::uint8_t* source, float* destination, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        destination[i] = kALawTable[source[i]];
}

void decodeMuLaw(const std::uint8_t* source, float* destination, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        destination[i] = kMuLawTable[source[i]];
}

}  // namespace audio::formats
