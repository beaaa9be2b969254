#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "audio/Description.h"
#include "audio/FileBuffer.h"

namespace audio {

// Where the sample frames of a file lie and how they are stored. Implemented
// by the WAV and AIFF decoders; the file_buffer belongs to the Soundfile, which
// the decoder must not outlive. Thread: one at a time.
class Decoder {
  public:
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    virtual ~Decoder();

    virtual std::uint64_t frameCount() const = 0;
    // The block at data start + firstSample * sample size, lengthBytes long.
    virtual FileBlock blockForSamples(std::uint64_t firstSample, std::uint64_t lengthBytes);
    // The read-ahead block (up to 512 KiB) at data start + sampleIndex * sample size.
    virtual FileBlock readAheadBlock(std::uint64_t sampleIndex);
    // One line per chunk record of the file's header.
    virtual void listChunks(std::ostream& out) const = 0;
    virtual FileBlock blockForFrames(std::uint64_t firstFrame, std::uint64_t frames);
    // File offset of the first sample byte.
    virtual std::uint64_t dataStart() const = 0;

    // Decodes up to maxFrames frames from the start of the data into out as
    // interleaved native floats; returns the frames read. Raises what the
    // conversion or the block requests raise, after a line on the console.
    std::uint64_t read(float* out, std::uint64_t maxFrames);

    const Description& description() const { return description_; }
    // Bytes one stored sample takes (1 for G.711 data, whose format has no size).
    std::size_t storedSampleSize() const { return storedSampleSize_; }

    // Decodes count stored samples of our own codecs to native float.
    using CodecFn = void (*)(const std::uint8_t* source, float* destination, std::size_t count);

  protected:
    Decoder(file_buffer& buffer, const Description& description, std::size_t storedSampleSize);

    // Decoding of data that the conversion table cannot handle (our own
    // codecs); nullptr for plain sample formats.
    virtual CodecFn codec() const { return nullptr; }

    file_buffer& buffer_;
    Description description_;
    std::size_t storedSampleSize_;
};

}  // namespace audio
