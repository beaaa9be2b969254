#pragma once

#include <cstdint>
#include <memory>

#include "audio/Decoder.h"
#include "audio/FileBuffer.h"

namespace audio {

struct Detection {
    std::shared_ptr<Decoder> decoder;  // nullptr when no reader recognises the file
    Description description;
    std::uint32_t container = 0;  // the first four bytes, read little-endian
};

// Looks at the first bytes: "RIFF" goes to the WAV parser, "FORM" to the AIFF
// parser. Raises SoundfileError for a header that is recognised but broken.
Detection detect(file_buffer& buffer);

}  // namespace audio
