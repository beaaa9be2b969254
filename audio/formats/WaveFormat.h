#pragma once

#include <cstdint>

#include "audio/SampleFormat.h"

namespace audio::formats {

inline constexpr std::uint16_t kWaveTagPcm = 1;
inline constexpr std::uint16_t kWaveTagFloat = 3;
inline constexpr std::uint16_t kWaveTagALaw = 6;
inline constexpr std::uint16_t kWaveTagMuLaw = 7;
inline constexpr std::uint16_t kWaveTagExtensible = 0xFFFE;

// The fields of a WAV "fmt " chunk that describe the samples.
struct WaveFormat {
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
};

// The record for writing (rate, channels, format): tag 3 for float formats,
// else 1. Raises std::runtime_error "WAV format must be little-endian", and
// for a frame too wide for the 16-bit block align field.
WaveFormat makeWaveFormat(std::uint32_t sampleRate, std::uint32_t channels, SampleFormat format);

// The sample format a WAV tag and bit width stand for (PCM and float tags,
// A-law and mu-law as "Compressed").
SampleFormat waveSampleFormat(std::uint16_t tag, std::uint16_t bitsPerSample);

}  // namespace audio::formats
