// libFuzzer target for the sound-file reader: any bytes, opened as a file,
// described, listed and decoded. Every failure must be an exception; the
// sanitizers catch everything else (crashes, reads outside the mapping, UB).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>
#include <vector>

#include "audio/Console.h"
#include "audio/Soundfile.h"

namespace {

// One in-memory file, rewritten for every input and opened by its /proc path.
class MemoryFile {
  public:
    MemoryFile() : fd_(memfd_create("fuzz_reader", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
    ~MemoryFile() { close(fd_); }

    const std::string& fill(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(fd_, 0) != 0 || pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))
            std::terminate();
        return path_;
    }

  private:
    int fd_;
    std::string path_;
};

std::ostringstream& quiet() {
    static std::ostringstream stream;
    stream.str({});
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file;
    audio::setConsole(quiet());
    audio::setLog(quiet());
    try {
        const auto sound = audio::Soundfile::open(file.fill(data, size));
        audio::Decoder& decoder = sound->decoder();
        std::ostringstream listing;
        decoder.listChunks(listing);
        const std::uint64_t channels = sound->description().channels;
        // No file holds more samples than bytes: bound the buffer by the input.
        const std::uint64_t frames = std::min<std::uint64_t>(decoder.frameCount(), size / channels + 1);
        std::vector<float> samples(frames * channels);
        decoder.read(samples.data(), frames);
    } catch (const std::exception&) {
        // Refusing a malformed file is the expected outcome.
    }
    return 0;
}
