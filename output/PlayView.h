#pragma once

#include <string>

namespace output {

// What play control shows, implemented by the application core. Thread: main.
class PlayView {
  public:
    virtual ~PlayView() = default;
    // The Play button: "Sto&p" and checked while playing, "&Play" and
    // unchecked otherwise.
    virtual void setPlayButton(bool playing) = 0;
    // Status bar field 1 (the underrun report).
    virtual void showStatusMessage(const std::string& text) = 0;
};

inline constexpr const char* kPlayButtonPlaying = "Sto&p";
inline constexpr const char* kPlayButtonStopped = "&Play";

}  // namespace output
