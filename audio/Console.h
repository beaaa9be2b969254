#pragma once

#include <iosfwd>

// The library's two diagnostic streams: the console stream names failing
// conversions and reads, the log stream takes warnings. Both start as the
// process's standard error; the application may point them elsewhere once, at
// start-up, before any sound file is opened.
namespace audio {

std::ostream& console();
std::ostream& log();

// Thread: main, at start-up only.
void setConsole(std::ostream& stream);
void setLog(std::ostream& stream);

}  // namespace audio
