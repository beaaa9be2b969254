#pragma once

#include <string>

namespace output {

// Warning boxes, shown by the application core. Thread: main.
class UserWarnings {
  public:
    virtual ~UserWarnings() = default;
    virtual void showWarning(const std::string& caption, const std::string& text) = 0;
};

inline constexpr const char* kWarningCaption = "Frisson Warning!";
inline constexpr const char* kAlsaErrorCaption = "ALSA Error";
inline constexpr const char* kAlsaDeviceErrorCaption = "ALSA device error";

}  // namespace output
