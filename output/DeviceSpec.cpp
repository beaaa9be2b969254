#include "output/DeviceSpec.h"

#include "output/RtError.h"

namespace output {

std::uint32_t datatype2rtfmt(audio::SampleFormat sampleFormat) {
    if (sampleFormat == audio::kByte)
        return kRtSInt8;
    if (sampleFormat == audio::kInt16LE)
        return kRtSInt16;
    if (sampleFormat == audio::kInt24LE || sampleFormat == audio::kInt24BE)
        return kRtSInt24;
    if (sampleFormat == audio::kInt32LE)
        return kRtSInt32;
    if (sampleFormat == audio::kFloat32LE)
        return kRtFloat32;
    if (sampleFormat == audio::kFloat64LE)
        return kRtFloat64;
    throw RtError("Invalid RtAudioFormat code in datatype2rtfmt");
}

DeviceSpec DeviceSpec::blank() {
    DeviceSpec side;
    side.sampleRate = 0;
    side.channels = 0;
    side.format = audio::kUnknown;
    side.rtFormat = 0;
    return side;
}

StreamConfig StreamConfig::make(std::uint32_t sampleRate, std::uint32_t channels,
                                audio::SampleFormat format) {
    DeviceSpec side;
    side.sampleRate = sampleRate;
    side.channels = channels;
    side.format = format;
    side.rtFormat = datatype2rtfmt(format);
    return StreamConfig{side, side};
}

}  // namespace output
