#pragma once

#include <stdexcept>
#include <string>

namespace output {

// The device layer's error: RtAudio's error kinds and message, raised by the
// wrapper's own checks and by the RtAudio back end (translated in one place,
// RtAudioApi.cpp).
class RtError : public std::runtime_error {
  public:
    // The same kinds, in the same order, as RtAudio's own error type.
    enum Type {
        kWarning,
        kDebugWarning,
        kUnspecified,
        kNoDevicesFound,
        kInvalidDevice,
        kMemoryError,
        kInvalidParameter,
        kInvalidUse,
        kDriverError,
        kSystemError,
        kThreadError,
    };

    RtError(const std::string& message, Type type = kUnspecified)
        : std::runtime_error(message), type_(type) {}

    Type type() const { return type_; }
    std::string message() const { return what(); }

  private:
    Type type_;
};

}  // namespace output
