#include "audio/Soundfile.h"

#include <algorithm>

#include "audio/Detect.h"
#include "audio/Errors.h"
#include "audio/formats/WaveEncoder.h"

namespace audio {

namespace {

constexpr std::uint64_t kReservedSecondsBytes = 60;  // bytes per frame per second reserved at creation

}  // namespace

std::unique_ptr<Soundfile> Soundfile::open(const std::string& path) {
    std::unique_ptr<Soundfile> file(new Soundfile);
    file->buffer_ = std::make_unique<file_buffer>(std::make_unique<mapped_file::InputFile>(path));
    file->detect();
    return file;
}

std::unique_ptr<Soundfile> Soundfile::create(const std::string& path, std::uint32_t sampleRate,
                                             std::uint32_t channels, SampleFormat format) {
    // Refuse a format the header cannot describe before touching the file.
    formats::makeWaveFormat(sampleRate, channels, format);
    std::unique_ptr<Soundfile> file(new Soundfile);
    file->buffer_ = std::make_unique<file_buffer>(std::make_unique<mapped_file::OutputFile>(path));
    auto encoder = std::make_shared<formats::WaveEncoder>(*file->buffer_, sampleRate, channels, format);
    file->encoder_ = encoder;
    encoder->writeHeader();
    encoder->resize(std::max(file->buffer_->fileSize(), kReservedSecondsBytes * sampleRate));
    file->detect();
    return file;
}

Soundfile::~Soundfile() {
    encoder_.reset();
    decoder_.reset();
    buffer_.reset();
}

void Soundfile::detect() {
    Detection detection = audio::detect(*buffer_);
    if (!detection.decoder)
        throw formats::FormatError("Unknown soundfile format");
    container_ = detection.container;
    description_ = detection.description;
    decoder_ = std::move(detection.decoder);
}

std::string Soundfile::containerName() const {
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += static_cast<char>(container_ >> (8 * i));
    return text;
}

AudioEncoder& Soundfile::writer() {
    if (!encoder_)
        throw SoundfileError("Soundfile not writable");
    return *encoder_;
}

}  // namespace audio
