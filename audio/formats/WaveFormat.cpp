#include "audio/formats/WaveFormat.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace audio::formats {

namespace {

constexpr unsigned kBitsPerByte = 8;

}  // namespace

WaveFormat makeWaveFormat(std::uint32_t sampleRate, std::uint32_t channels, SampleFormat format) {
    if (byteOrder(format) != ByteOrder::Little)
        throw std::runtime_error("WAV format must be little-endian");
    const std::uint64_t blockAlign = std::uint64_t{channels} * sampleSize(format);
    if (channels == 0 || channels > std::numeric_limits<std::uint16_t>::max() ||
        blockAlign > std::numeric_limits<std::uint16_t>::max())
        throw std::runtime_error("WAV format cannot hold " + std::to_string(channels) + " channels");
    WaveFormat wave;
    wave.tag = format.byte(1) == 'f' ? kWaveTagFloat : kWaveTagPcm;
    wave.channels = static_cast<std::uint16_t>(channels);
    wave.sampleRate = sampleRate;
    wave.blockAlign = static_cast<std::uint16_t>(blockAlign);
    wave.bytesPerSecond = static_cast<std::uint32_t>(blockAlign * sampleRate);
    wave.bitsPerSample = static_cast<std::uint16_t>(sampleSize(format) * kBitsPerByte);
    return wave;
}

SampleFormat waveSampleFormat(std::uint16_t tag, std::uint16_t bitsPerSample) {
    switch (tag) {
        case 0:
            return kUnsupported;
        case kWaveTagPcm:
        case kWaveTagExtensible:
            switch (bitsPerSample) {
                case 8:
                    return kByte;
                case 16:
                    return kInt16LE;
                case 24:
                    return kInt24LE;
                case 32:
                    return kInt32LE;
                default:
                    return kUnsupported;
            }
        case kWaveTagFloat:
            switch (bitsPerSample) {
                case 32:
                    return kFloat32LE;
                case 64:
                    return kFloat64LE;
                default:
                    return kUnsupported;
            }
        case kWaveTagALaw:
        case kWaveTagMuLaw:
            return kCompressed;
        default:
            return kUnknown;
    }
}

}  // namespace audio::formats
