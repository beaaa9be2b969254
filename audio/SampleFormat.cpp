#include "audio/SampleFormat.h"

#include <ostream>

namespace audio {

namespace {

// A size byte at or above this value is a tag character: the layout is reversed.
constexpr std::uint8_t kFirstTagByte = 17;
constexpr std::uint8_t kMinWidthByte = 2;
constexpr std::uint8_t kMaxWidthByte = 9;

bool isWidthByte(std::uint8_t b) {
    return b >= kMinWidthByte && b <= kMaxWidthByte;
}

}  // namespace

ByteOrder byteOrder(SampleFormat format) {
    const std::uint8_t b0 = format.byte(0);
    if (b0 < kFirstTagByte)
        return b0 != 0 ? ByteOrder::Little : ByteOrder::None;
    return format.byte(3) != 0 ? ByteOrder::Big : ByteOrder::None;
}

std::size_t sampleSize(SampleFormat format) {
    const std::uint8_t b0 = format.byte(0);
    return b0 < kFirstTagByte ? b0 : format.byte(3);
}

std::string name(SampleFormat format) {
    const auto b = [&](int i) { return static_cast<char>(format.byte(i)); };
    std::string text;
    if (b(1) == 'i' || b(2) == 'i')
        text = "int";
    else if (b(1) == 'f' || b(2) == 'f')
        text = "float";
    if (isWidthByte(format.byte(0))) {
        text += b(2);
        text += b(3);
        text += "_LE";
    } else if (isWidthByte(format.byte(3))) {
        text += b(1);
        text += b(0);
        text += "_BE";
    } else if (format.byte(0) == 1) {
        text = b(1) == 'b' ? "byte" : "char";
    } else if (format == kCompressed) {
        text = "Compressed";
    } else if (format == kUnsupported) {
        text = "Unsupported";
    } else {
        text = "Unknown";
    }
    return text;
}

std::ostream& operator<<(std::ostream& out, SampleFormat format) {
    return out << name(format);
}

}  // namespace audio
