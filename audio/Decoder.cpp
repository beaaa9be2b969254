#include "audio/Decoder.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "audio/Console.h"
#include "audio/SampleConverter.h"

namespace audio {

Decoder::Decoder(file_buffer& buffer, const Description& description, std::size_t storedSampleSize)
    : buffer_(buffer), description_(description), storedSampleSize_(storedSampleSize) {}

Decoder::~Decoder() = default;

FileBlock Decoder::blockForSamples(std::uint64_t firstSample, std::uint64_t lengthBytes) {
    return buffer_.get_block(dataStart() + firstSample * storedSampleSize_, lengthBytes);
}

FileBlock Decoder::readAheadBlock(std::uint64_t sampleIndex) {
    return buffer_.readAheadBlock(dataStart() + sampleIndex * storedSampleSize_);
}

FileBlock Decoder::blockForFrames(std::uint64_t firstFrame, std::uint64_t frames) {
    const std::uint64_t frameSize = storedSampleSize_ * description_.channels;
    return buffer_.get_block(dataStart() + firstFrame * frameSize, frames * frameSize);
}

std::uint64_t Decoder::read(float* out, std::uint64_t maxFrames) {
    const std::uint64_t channels = description_.channels;
    std::uint64_t done = 0;
    try {
        const CodecFn ownCodec = codec();
        SampleConverter converter;
        if (!ownCodec)
            converter = GetConverter(description_.format, kNativeFloat);
        const std::uint64_t total = std::min(frameCount(), maxFrames) * channels;
        while (done != total) {
            const FileBlock block = readAheadBlock(done);
            const std::uint64_t k = std::min<std::uint64_t>(block.size() / storedSampleSize_, total - done);
            // Only a partial sample is left before the end of the file.
            if (k == 0)
                throw std::out_of_range("file_buffer::get_block");
            if (ownCodec)
                ownCodec(block.begin, out, k);
            else
                converter.decode(block.begin, out, k);
            done += k;
            out += k;
        }
        return done / channels;
    } catch (...) {
        console() << "Error in Decoder::read" << 0 << " + " << done / std::max<std::uint64_t>(channels, 1)
                  << "\n";
        throw;
    }
}

}  // namespace audio
