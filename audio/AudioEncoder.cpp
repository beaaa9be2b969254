#include "audio/AudioEncoder.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "audio/Console.h"
#include "audio/SampleConverter.h"

namespace audio {

namespace {

constexpr std::uint64_t kGrowthMargin = 1024;        // grow before the data gets this close to the end
constexpr std::uint64_t kMinGrowthFrames = 1048576;  // grow by at least this many frames' worth

}  // namespace

AudioEncoder::AudioEncoder(file_buffer& buffer, std::uint32_t sampleRate, std::uint32_t channels,
                           SampleFormat format)
    : buffer_(buffer), sampleRate_(sampleRate), channels_(channels), format_(format) {}

AudioEncoder::~AudioEncoder() = default;

std::uint64_t AudioEncoder::write(const float* samples, std::uint64_t count) {
    std::uint64_t written = 0;
    try {
        SampleConverter converter = GetConverter(format_, kNativeFloat);
        const std::uint64_t size = sampleSize(format_);
        const std::uint64_t frameSize = size * channels_;
        std::uint64_t first = framesWritten() * channels_;
        // Whole frames only, and no more than the size fields can count.
        const std::uint64_t capacity = remainingCapacity() / frameSize * channels_;
        const std::uint64_t last = first + std::min(channels_ * (count / channels_), capacity);

        const std::uint64_t fileSize = buffer_.fileSize();
        if (last * size + kGrowthMargin > fileSize)
            resize(fileSize + frameSize * std::max(kMinGrowthFrames, 2 * count));

        while (first < last) {
            const FileBlock block = writableBlock(first, last - first);
            const std::uint64_t k = std::min(block.size() / size, last - first);
            if (k == 0)
                throw std::out_of_range("file_buffer::get_block");
            converter.encode(samples, block.begin, k);
            // A block may end inside a frame: count the frames completed so far.
            const std::uint64_t framesBefore = first / channels_;
            first += k;
            advance(first / channels_ - framesBefore);
            samples += k;
            written += k;
        }
        return written;
    } catch (...) {
        console() << "Error in AudioEncoder::write " << written / std::max<std::uint64_t>(channels_, 1)
                  << "\n";
        throw;
    }
}

}  // namespace audio
