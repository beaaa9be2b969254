#include "audio/Detect.h"

#include "audio/Errors.h"
#include "audio/formats/AiffDecoder.h"
#include "audio/formats/ChunkScan.h"
#include "audio/formats/WaveDecoder.h"

namespace audio {

namespace {

constexpr std::uint64_t kMinimumHeader = 16;

}  // namespace

Detection detect(file_buffer& buffer) {
    Detection result;
    if (buffer.fileSize() < kMinimumHeader)
        return result;
    const FileBlock block = buffer.readAheadBlock(0);
    if (block.size() < kMinimumHeader)
        return result;
    result.container = formats::readLE32(block.begin);
    if (result.container == formats::fourcc("RIFF"))
        result.decoder = formats::parseWave(buffer);
    else if (result.container == formats::fourcc("FORM"))
        result.decoder = formats::parseAiff(buffer);
    if (!result.decoder)
        return result;
    result.description = result.decoder->description();
    // Every frame size and sample count below divides by the channel count.
    if (result.description.channels == 0)
        throw SoundfileError("Invalid channel count: 0");
    return result;
}

}  // namespace audio
