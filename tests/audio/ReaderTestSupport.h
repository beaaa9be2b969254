#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/Console.h"
#include "audio/Soundfile.h"
#include "tests/audio/TestFiles.h"

namespace audio::test {

// A scratch folder per test, and the console stream captured while it runs.
class ReaderTest : public ::testing::Test {
  protected:
    ReaderTest() { setConsole(console_); }
    ~ReaderTest() override { setConsole(std::cerr); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    std::unique_ptr<Soundfile> open(const std::string& name, const Bytes& bytes) const {
        writeFile(path(name), bytes);
        return Soundfile::open(path(name));
    }

    // All frames of the file as floats.
    static std::vector<float> readAll(Soundfile& file) {
        std::vector<float> out(file.decoder().frameCount() * file.description().channels);
        const std::uint64_t frames = file.decoder().read(out.data(), file.decoder().frameCount());
        EXPECT_EQ(frames, file.decoder().frameCount());
        return out;
    }

    static std::string listing(Soundfile& file) {
        std::ostringstream out;
        file.decoder().listChunks(out);
        return out.str();
    }

    // The text of the exception that opening the file raises.
    template <class Error>
    std::string openError(const std::string& name, const Bytes& bytes) const {
        try {
            open(name, bytes);
        } catch (const Error& e) {
            return e.what();
        }
        return "(opened)";
    }

    std::string dir_ = scratchDir();
    std::ostringstream console_;
};

inline constexpr float kK8 = static_cast<float>(1.0 / 127.0);
inline constexpr float kK16 = static_cast<float>(1.0 / 32767.0);

}  // namespace audio::test
