#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace audio {

// How the samples of a file are stored: a 32-bit value handled as four bytes
// b0 b1 b2 b3 (b0 is the least significant byte). Little-endian layouts keep
// the sample size in b0 followed by a three-character tag ('i' or 'f' and the
// bit width); big-endian layouts are the same four bytes reversed.
struct SampleFormat {
    std::uint32_t value = 0;

    constexpr std::uint8_t byte(int i) const { return static_cast<std::uint8_t>(value >> (8 * i)); }
    friend constexpr bool operator==(SampleFormat, SampleFormat) = default;
};

inline constexpr SampleFormat kByte{0x01626201};  // 8-bit unsigned, 128 is zero (WAV)
inline constexpr SampleFormat kChar{0x01636301};  // 8-bit signed (AIFF)
inline constexpr SampleFormat kInt16LE{0x36316902};
inline constexpr SampleFormat kInt16BE{0x02693136};
inline constexpr SampleFormat kInt24LE{0x34326903};
inline constexpr SampleFormat kInt24BE{0x03693234};
inline constexpr SampleFormat kInt32LE{0x32336904};
inline constexpr SampleFormat kInt32BE{0x04693332};
inline constexpr SampleFormat kFloat32LE{0x32336604};
inline constexpr SampleFormat kFloat32BE{0x04663332};
inline constexpr SampleFormat kFloat64LE{0x34366608};
inline constexpr SampleFormat kFloat64BE{0x08663634};
inline constexpr SampleFormat kCompressed{0x003E3C00};   // needs a codec (A-law, mu-law, ...)
inline constexpr SampleFormat kUnsupported{0x003F3F00};  // a layout the library cannot read
inline constexpr SampleFormat kUnknown{0};

// The format every application buffer uses: native 32-bit float.
inline constexpr SampleFormat kNativeFloat = kFloat32LE;

enum class ByteOrder { None = 0, Little = 1, Big = 2 };

// The library's own byte order (x86 and every other little-endian target).
inline constexpr ByteOrder kNativeOrder = ByteOrder::Little;

// Thread: any (all pure).
ByteOrder byteOrder(SampleFormat format);
std::size_t sampleSize(SampleFormat format);
std::string name(SampleFormat format);  // "int16_LE", "byte", "Compressed", "Unknown", ...
std::ostream& operator<<(std::ostream& out, SampleFormat format);

}  // namespace audio
