#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/AudioEncoder.h"
#include "audio/Decoder.h"
#include "audio/Description.h"
#include "audio/FileBuffer.h"

namespace audio {

// One open sound file: its file_buffer, description, decoder and, when opened
// for writing, its encoder. Destruction releases the encoder, then the
// decoder, then the file_buffer with its views and file.
// Thread: one at a time.
class Soundfile {
  public:
    // Opens a WAV, AIFF or AIFC file. Raises formats::FormatError "Unknown
    // soundfile format", SoundfileError, or the mapped file's errors.
    static std::unique_ptr<Soundfile> open(const std::string& path);

    // Creates (or overwrites from its start) a WAV file, writes its header and
    // reserves 60 times the sample rate bytes.
    static std::unique_ptr<Soundfile> create(const std::string& path, std::uint32_t sampleRate,
                                             std::uint32_t channels, SampleFormat format);

    ~Soundfile();
    Soundfile(const Soundfile&) = delete;
    Soundfile& operator=(const Soundfile&) = delete;

    const Description& description() const { return description_; }
    // The file's first four bytes as read little-endian ("RIFF", "FORM").
    std::uint32_t container() const { return container_; }
    std::string containerName() const;

    Decoder& decoder() { return *decoder_; }
    const std::shared_ptr<Decoder>& sharedDecoder() const { return decoder_; }
    // nullptr when the file was opened for reading.
    const std::shared_ptr<AudioEncoder>& encoder() const { return encoder_; }
    // The encoder; raises SoundfileError "Soundfile not writable" without one.
    AudioEncoder& writer();

    file_buffer& buffer() { return *buffer_; }

  private:
    Soundfile() = default;
    void detect();

    std::unique_ptr<file_buffer> buffer_;
    std::uint32_t container_ = 0;
    Description description_;
    std::shared_ptr<Decoder> decoder_;
    std::shared_ptr<AudioEncoder> encoder_;
};

}  // namespace audio
