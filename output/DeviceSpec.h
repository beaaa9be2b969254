#pragma once

#include <cstdint>
#include <string>

#include "audio/SampleFormat.h"
#include "output/AudioApi.h"

namespace output {

// The back end's sample format bits.
inline constexpr std::uint32_t kRtSInt8 = 0x1;
inline constexpr std::uint32_t kRtSInt16 = 0x2;
inline constexpr std::uint32_t kRtSInt24 = 0x4;
inline constexpr std::uint32_t kRtSInt32 = 0x8;
inline constexpr std::uint32_t kRtFloat32 = 0x10;
inline constexpr std::uint32_t kRtFloat64 = 0x20;

// Maps a sample format to the back end's format bits; any other format raises
// RtError "Invalid RtAudioFormat code in datatype2rtfmt".
std::uint32_t datatype2rtfmt(audio::SampleFormat sampleFormat);

inline constexpr std::uint32_t kDefaultSpecRate = 44100;
inline constexpr std::uint32_t kDefaultSpecChannels = 2;

// One direction of a stream. device is a DeviceList index when passed to
// AudioSystem::open and the index within the API once stored there; -1 means
// the direction is not used.
struct DeviceSpec {
    std::int32_t device = -1;
    std::string name;
    std::uint32_t sampleRate = kDefaultSpecRate;
    std::uint32_t channels = kDefaultSpecChannels;
    audio::SampleFormat format = audio::kInt16LE;
    std::uint32_t bufferFrames = 0;     // 0: keep the current value
    std::uint32_t numberOfBuffers = 0;  // 0: keep the current value
    std::uint32_t rtFormat = kRtSInt16;
    AudioApiId api = AudioApiId::kPulse;

    // device -1, empty name, every number 0: what the default-device records
    // start from.
    static DeviceSpec blank();

    bool operator==(const DeviceSpec&) const = default;
};

// The input direction, then the output direction.
struct StreamConfig {
    DeviceSpec input;
    DeviceSpec output;

    // Both directions unused (device -1), with this rate, channel count and
    // format.
    static StreamConfig make(std::uint32_t sampleRate, std::uint32_t channels, audio::SampleFormat format);

    bool operator==(const StreamConfig&) const = default;
};

}  // namespace output
