#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/FileBuffer.h"
#include "audio/SampleFormat.h"

namespace audio {

// Writes native float samples into a growing output file. The file_buffer
// belongs to the Soundfile. Thread: one at a time (the audio thread while
// recording).
class AudioEncoder {
  public:
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;
    virtual ~AudioEncoder();

    virtual std::uint64_t framesWritten() const = 0;
    virtual FileBlock writableBlock(std::uint64_t firstSample, std::uint64_t count) = 0;
    virtual FileBlock readableBlock(std::uint64_t sampleIndex) = 0;
    virtual void writeHeader() = 0;
    // Counts n more frames in the header fields.
    virtual void advance(std::uint64_t frames) = 0;
    virtual void resize(std::uint64_t bytes) = 0;

    // Appends the whole frames among count interleaved samples; returns the
    // samples written (fewer than count for a partial frame, or when the file
    // would pass the 4 GiB its size fields can describe). Raises what the file
    // raises, after a line on the console stream.
    std::uint64_t write(const float* samples, std::uint64_t count);

    std::uint32_t sampleRate() const { return sampleRate_; }
    std::uint32_t channels() const { return channels_; }
    SampleFormat format() const { return format_; }

  protected:
    AudioEncoder(file_buffer& buffer, std::uint32_t sampleRate, std::uint32_t channels, SampleFormat format);

    // Bytes of sample data the container can still take.
    virtual std::uint64_t remainingCapacity() const = 0;

    file_buffer& buffer_;
    std::uint32_t sampleRate_;
    std::uint32_t channels_;
    SampleFormat format_;
};

}  // namespace audio
