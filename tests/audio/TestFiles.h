#pragma once

// Hand-made sound files, scratch folders and the captured console for the tests of the sound-file
// library and of the recorder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/Console.h"
#include "audio/Soundfile.h"

namespace audio::test {

using Bytes = std::vector<std::uint8_t>;

// Appends text and integers of 2 or 4 bytes in either byte order.
class ByteWriter {
  public:
    ByteWriter& text(const std::string& s) { return bytes(Bytes(s.begin(), s.end())); }
    ByteWriter& bytes(const Bytes& data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    ByteWriter& zeros(std::size_t count) { return bytes(Bytes(count, 0)); }
    ByteWriter& le16(std::uint32_t v) { return put(v, 2, false); }
    ByteWriter& le32(std::uint32_t v) { return put(v, 4, false); }
    ByteWriter& be16(std::uint32_t v) { return put(v, 2, true); }
    ByteWriter& be32(std::uint32_t v) { return put(v, 4, true); }
    ByteWriter& put(std::uint32_t v, int width, bool bigEndian) {
        for (int i = 0; i < width; ++i)
            bytes_.push_back(static_cast<std::uint8_t>(v >> 8 * (bigEndian ? width - 1 - i : i)));
        return *this;
    }
    Bytes take() { return std::move(bytes_); }

  private:
    Bytes bytes_;
};

// Samples as stored: little- or big-endian integers of the given width.
inline Bytes intSamples(std::initializer_list<std::int32_t> values, int width, bool bigEndian) {
    ByteWriter w;
    for (const std::int32_t v : values)
        w.put(static_cast<std::uint32_t>(v), width, bigEndian);
    return w.take();
}
// The bytes of values as they lie in memory.
template <class T>
Bytes rawBytes(const std::vector<T>& values) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(values.data());
    return Bytes(first, first + values.size() * sizeof(T));
}
template <class T>
Bytes rawBytes(std::initializer_list<T> values) {
    return rawBytes(std::vector<T>(values));
}
// A chunk with a little- or big-endian size and a pad byte when its size is odd.
inline Bytes chunk(const std::string& code, const Bytes& contents, bool bigEndian = false) {
    ByteWriter w;
    w.text(code).put(static_cast<std::uint32_t>(contents.size()), 4, bigEndian).bytes(contents);
    return w.zeros(contents.size() % 2).take();
}
// "RIFF" size "WAVE" chunks..., or "FORM" size formType chunks... with big-endian sizes.
inline Bytes formFile(const std::string& type, std::initializer_list<Bytes> chunks) {
    ByteWriter body;
    for (const Bytes& c : chunks)
        body.bytes(c);
    const Bytes contents = body.take();
    ByteWriter w;
    w.text(type == "WAVE" ? "RIFF" : "FORM")
        .put(static_cast<std::uint32_t>(contents.size() + 4), 4, type != "WAVE");
    return w.text(type).bytes(contents).take();
}

// A 16-byte "fmt " chunk, or a WAVE_FORMAT_EXTENSIBLE one whose sub-format GUID carries subTag.
inline Bytes formatChunk(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                         int subTag = -1) {
    const std::uint32_t align = channels * ((bits + 7) / 8);
    ByteWriter w;
    w.le16(subTag < 0 ? tag : 0xFFFE).le16(channels).le32(rate).le32(align * rate).le16(align).le16(bits);
    if (subTag >= 0) {
        w.le16(22).le16(bits).le32(0).le16(static_cast<std::uint32_t>(subTag)).le16(0);  // size, bits, mask
        w.bytes({0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    }
    return chunk("fmt ", w.take());
}
// The canonical WAV file: a 44-byte header, then the samples.
inline Bytes waveFile(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                      const Bytes& samples) {
    return formFile("WAVE", {formatChunk(tag, channels, rate, bits), chunk("data", samples)});
}

// A "COMM" chunk, its rate an 80-bit extended float: rate = mantissa * 2^(exponent - 16383 - 63); with a
// compression type, the AIFC layout (its name is "none").
inline Bytes commChunk(std::int16_t channels, std::uint32_t frames, std::int16_t bits, std::uint32_t rate,
                       const std::string& compression = "") {
    const int shift = std::countl_zero(rate);
    const std::uint64_t mantissa = std::uint64_t{rate} << (32 + shift);
    ByteWriter w;
    w.be16(static_cast<std::uint16_t>(channels)).be32(frames).be16(static_cast<std::uint16_t>(bits));
    w.be16(static_cast<std::uint32_t>(16383 + 31 - shift)).be32(static_cast<std::uint32_t>(mantissa >> 32));
    w.be32(static_cast<std::uint32_t>(mantissa));
    if (!compression.empty())
        w.text(compression).bytes({4}).text("none");
    return chunk("COMM", w.take(), true);
}
inline Bytes ssndChunk(const Bytes& samples, std::uint32_t offset = 0) {
    return chunk("SSND", ByteWriter().be32(offset).be32(0).zeros(offset).bytes(samples).take(), true);
}

// A fresh, empty folder for the running test (named by its suite and name), below FRISSON_TEST_TMP.
inline std::string scratchDir() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir =
        std::filesystem::path(FRISSON_TEST_TMP) / test->test_suite_name() / test->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}
inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The little-endian 32-bit field at offset at.
inline std::uint32_t le32At(const Bytes& bytes, std::size_t at) {
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
           std::uint32_t{bytes.at(at + 3)} << 24;
}

// Runs a shell command line; returns its exit status.
inline int run(const std::string& commandLine) {
    const int status = std::system(commandLine.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The text of the exception of type Error that f raises, or "(no exception)".
template <class Error = std::exception, class F>
std::string thrown(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no exception)";
}

inline constexpr float kK8 = static_cast<float>(1.0 / 127.0);
inline constexpr float kK16 = static_cast<float>(1.0 / 32767.0);

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
        EXPECT_EQ(file.decoder().read(out.data(), file.decoder().frameCount()), file.decoder().frameCount());
        return out;
    }
    std::string dir_ = scratchDir();
    std::ostringstream console_;
};

}  // namespace audio::test
