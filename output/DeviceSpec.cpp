#include "output/DeviceSpec.h"

#include "output/RtError.h"

namespace output {

std::uint32_t datatype2rtfmt(std::uint32_t sampleFormat) {
    switch (sampleFormat) {
        case kFormatByte:
            return kRtSInt8;
        case kFormatInt16LE:
            return kRtSInt16;
        case kFormatInt24LE:
        case kFormatInt24BE:
            return kRtSInt24;
        case kFormatInt32LE:
            return kRtSInt32;
        case kFormatFloat32LE:
            return kRtFloat32;
        case kFormatFloat64LE:
            return kRtFloat64;
        default:
            throw RtError("Invalid RtAudioFormat code in datatype2rtfmt");
    }
}

DeviceSpec DeviceSpec::blank() {
    DeviceSpec spec;
    spec.sampleRate = 0;
    spec.channels = 0;
    spec.format = 0;
    spec.rtFormat = 0;
    return spec;
}

StreamConfig StreamConfig::make(std::uint32_t sampleRate, std::uint32_t channels, std::uint32_t format) {
    DeviceSpec spec;
    spec.sampleRate = sampleRate;
    spec.channels = channels;
    spec.format = format;
    spec.rtFormat = datatype2rtfmt(format);
    return StreamConfig{spec, spec};
}

}  // namespace output
