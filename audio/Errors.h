#pragma once

#include <stdexcept>

namespace audio {

// A sound file that cannot be opened or read as it claims to be.
class SoundfileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

namespace formats {

// No reader recognises the file's layout.
class FormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace formats
}  // namespace audio
