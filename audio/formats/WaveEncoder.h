#pragma once

#include <cstdint>

#include "audio/AudioEncoder.h"
#include "audio/formats/WaveFormat.h"

namespace audio::formats {

// Writes a canonical 44-byte-header WAV file: "RIFF", "fmt " (16 bytes, no
// extension), "data", then the samples. The header always describes the frames
// written so far.
class WaveEncoder : public AudioEncoder {
  public:
    static constexpr std::uint64_t kDataStart = 44;
    static constexpr std::uint64_t kDataSizeField = 40;
    static constexpr std::uint64_t kRiffSizeField = 4;

    // Raises std::runtime_error "WAV format must be little-endian".
    WaveEncoder(file_buffer& buffer, std::uint32_t sampleRate, std::uint32_t channels, SampleFormat format);
    // Makes RIFF size + 8 the length the file is cut to when it closes.
    ~WaveEncoder() override;

    std::uint64_t framesWritten() const override;
    FileBlock writableBlock(std::uint64_t firstSample, std::uint64_t count) override;
    FileBlock readableBlock(std::uint64_t sampleIndex) override;
    void writeHeader() override;
    void advance(std::uint64_t frames) override;
    void resize(std::uint64_t bytes) override;

    const WaveFormat& waveFormat() const { return wave_; }

  protected:
    std::uint64_t remainingCapacity() const override;

  private:
    std::uint32_t readField(std::uint64_t offset) const;

    WaveFormat wave_;
};

}  // namespace audio::formats
