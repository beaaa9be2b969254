#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/Decoder.h"
#include "audio/formats/ChunkRecord.h"

namespace audio::formats {

enum class FormKind { Aiff = 2, Aifc = 3 };

// The "COMM" chunk of an AIFF or AIFC file.
struct CommRecord {
    ChunkRecord chunk;
    std::int16_t numChannels = 0;
    std::uint32_t numSampleFrames = 0;
    std::int16_t sampleSize = 0;  // bits
    std::uint16_t rateExponent = 0;
    std::uint64_t rateMantissa = 0;
    std::uint32_t compressionType = 0;  // as stored, read little-endian; 0 when absent
    std::string compressionName;
};

// Sample data of an AIFF or AIFC file: the "COMM" and "SSND" chunks.
class AiffDecoder : public Decoder {
  public:
    AiffDecoder(file_buffer& buffer, const Description& description, FormKind kind, const CommRecord& comm,
                const ChunkRecord& soundData, std::uint32_t dataOffset);

    std::uint64_t frameCount() const override;
    void listChunks(std::ostream& out) const override;
    std::uint64_t dataStart() const override;

    FormKind kind() const { return kind_; }
    const CommRecord& comm() const { return comm_; }

  private:
    FormKind kind_;
    CommRecord comm_;
    ChunkRecord soundData_;
    std::uint32_t dataOffset_;
};

// The integer part of an 80-bit extended sample rate (fractions dropped).
std::uint32_t extendedRate(std::uint16_t exponent, std::uint64_t mantissa);

// Reads the header in the first 512 KiB; nullptr when the file is not an AIFF
// or AIFC file with "COMM" and "SSND" chunks there.
std::shared_ptr<Decoder> parseAiff(file_buffer& buffer);

}  // namespace audio::formats
