#include "audio/formats/WaveEncoder.h"

#include <limits>

#include "audio/Errors.h"
#include "audio/formats/ChunkScan.h"

namespace audio::formats {

namespace {

constexpr std::uint32_t kHeaderSizeAfterRiff = 36;  // RIFF size of a file without samples
constexpr std::uint32_t kFormatChunkSize = 16;
constexpr std::uint64_t kRiffHeaderBytes = 8;
constexpr std::uint64_t kMaxRiffSize = std::numeric_limits<std::uint32_t>::max();

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

WaveEncoder::WaveEncoder(file_buffer& buffer, std::uint32_t sampleRate, std::uint32_t channels,
                         SampleFormat format)
    : AudioEncoder(buffer, sampleRate, channels, format),
      wave_(makeWaveFormat(sampleRate, channels, format)) {
    if (!buffer.outputFile())
        throw SoundfileError("Soundfile not writable");
}

WaveEncoder::~WaveEncoder() {
    try {
        // A header that claims more than the file holds is not grown into.
        const std::uint64_t contentSize = readField(kRiffSizeField) + kRiffHeaderBytes;
        if (contentSize <= buffer_.fileSize())
            resize(contentSize);
    } catch (...) {
        // The file keeps its reserved length; its header still describes the frames.
    }
}

std::uint32_t WaveEncoder::readField(std::uint64_t offset) const {
    return readLE32(buffer_.get_block(offset, 4).begin);
}

std::uint64_t WaveEncoder::framesWritten() const {
    return readField(kDataSizeField) / (std::uint64_t{sampleSize(format_)} * channels_);
}

FileBlock WaveEncoder::writableBlock(std::uint64_t firstSample, std::uint64_t count) {
    const std::uint64_t size = sampleSize(format_);
    return buffer_.get_block(kDataStart + firstSample * size, count * size);
}

FileBlock WaveEncoder::readableBlock(std::uint64_t sampleIndex) {
    return buffer_.readAheadBlock(kDataStart + sampleIndex * sampleSize(format_));
}

void WaveEncoder::writeHeader() {
    std::uint8_t* p = buffer_.get_block(0, kDataStart).begin;
    put32(p + 0, fourcc("RIFF"));
    put32(p + 4, kHeaderSizeAfterRiff);
    put32(p + 8, fourcc("WAVE"));
    put32(p + 12, fourcc("fmt "));
    put32(p + 16, kFormatChunkSize);
    put16(p + 20, wave_.tag);
    put16(p + 22, wave_.channels);
    put32(p + 24, wave_.sampleRate);
    put32(p + 28, wave_.bytesPerSecond);
    put16(p + 32, wave_.blockAlign);
    put16(p + 34, wave_.bitsPerSample);
    put32(p + 36, fourcc("data"));
    put32(p + 40, 0);
}

void WaveEncoder::advance(std::uint64_t frames) {
    const std::uint64_t bytes = frames * sampleSize(format_) * channels_;
    std::uint8_t* header = buffer_.get_block(0, kDataStart).begin;
    put32(header + kRiffSizeField, static_cast<std::uint32_t>(readLE32(header + kRiffSizeField) + bytes));
    put32(header + kDataSizeField, static_cast<std::uint32_t>(readLE32(header + kDataSizeField) + bytes));
}

void WaveEncoder::resize(std::uint64_t bytes) {
    buffer_.outputFile()->resize(bytes);
}

std::uint64_t WaveEncoder::remainingCapacity() const {
    return kMaxRiffSize - readField(kRiffSizeField);
}

}  // namespace audio::formats
