#include "audio/Console.h"

#include <iostream>

namespace audio {

namespace {

std::ostream* consoleStream = &std::cerr;
std::ostream* logStream = &std::cerr;

}  // namespace

std::ostream& console() {
    return *consoleStream;
}
std::ostream& log() {
    return *logStream;
}
void setConsole(std::ostream& stream) {
    consoleStream = &stream;
}
void setLog(std::ostream& stream) {
    logStream = &stream;
}

}  // namespace audio
