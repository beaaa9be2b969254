#pragma once

#include <memory>

#include "audio/Decoder.h"
#include "audio/formats/ChunkRecord.h"

namespace audio::formats {

// Sample data of a RIFF/WAVE file: the "fmt " and "data" chunks.
class WaveDecoder : public Decoder {
  public:
    WaveDecoder(file_buffer& buffer, const Description& description, std::size_t storedSampleSize,
                const ChunkRecord& format, const ChunkRecord& data, CodecFn codec);

    std::uint64_t frameCount() const override;
    void listChunks(std::ostream& out) const override;
    std::uint64_t dataStart() const override;

    const ChunkRecord& formatChunk() const { return format_; }
    const ChunkRecord& dataChunk() const { return data_; }

  protected:
    CodecFn codec() const override { return codec_; }

  private:
    ChunkRecord format_;
    ChunkRecord data_;
    CodecFn codec_;
};

// Reads the header in the first 512 KiB; nullptr when the file is not a
// WAVE file this reader recognises. Raises SoundfileError "not enough data to
// read header" when the "fmt " chunk runs past that window.
std::shared_ptr<Decoder> parseWave(file_buffer& buffer);

}  // namespace audio::formats
