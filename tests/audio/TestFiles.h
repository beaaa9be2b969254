#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Hand-made sound files and scratch paths for the sound-file library's tests.
namespace audio::test {

using Bytes = std::vector<std::uint8_t>;

// Appends fields in either byte order.
class ByteWriter {
  public:
    ByteWriter& text(const std::string& characters);
    ByteWriter& le16(std::uint16_t v);
    ByteWriter& le32(std::uint32_t v);
    ByteWriter& be16(std::uint16_t v);
    ByteWriter& be32(std::uint32_t v);
    ByteWriter& bytes(const Bytes& data);
    ByteWriter& bytes(std::initializer_list<std::uint8_t> data);
    ByteWriter& zeros(std::size_t count);
    Bytes take() { return std::move(bytes_); }
    std::size_t size() const { return bytes_.size(); }

  private:
    Bytes bytes_;
};

// A "fmt " chunk of 16 bytes (PCM layout) or with an extension.
Bytes formatChunk(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits);
// WAVE_FORMAT_EXTENSIBLE "fmt " chunk whose sub-format GUID carries subTag.
Bytes extensibleFormatChunk(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                            std::uint16_t subTag);
Bytes chunk(const std::string& code, const Bytes& contents);  // little-endian size, pad byte when odd
Bytes riffFile(std::initializer_list<Bytes> chunks);          // "RIFF" size "WAVE" chunks...
// The canonical 44-byte-header WAV file.
Bytes waveFile(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
               const Bytes& samples);

// An 80-bit extended float holding an integer rate.
Bytes extendedRate(std::uint32_t rate);
Bytes bigChunk(const std::string& code, const Bytes& contents);  // big-endian size, pad byte when odd
Bytes commChunk(std::int16_t channels, std::uint32_t frames, std::int16_t bits, std::uint32_t rate);
Bytes aifcCommChunk(std::int16_t channels, std::uint32_t frames, std::int16_t bits, std::uint32_t rate,
                    const std::string& compression);
Bytes ssndChunk(const Bytes& samples, std::uint32_t offset = 0);
Bytes formFile(const std::string& formType, std::initializer_list<Bytes> chunks);

// A fresh, empty folder for the running test (named by its suite and name), below FRISSON_TEST_TMP.
std::string scratchDir();
void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);
std::uint64_t fileSize(const std::string& path);

// Runs a shell command line; returns its exit status.
int run(const std::string& commandLine);

// Samples as stored: little- or big-endian integers of the given width.
Bytes intSamples(std::initializer_list<std::int32_t> values, int bytesPerSample, bool bigEndian);

}  // namespace audio::test
