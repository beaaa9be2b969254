#include "tests/audio/TestFiles.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace audio::test {

ByteWriter& ByteWriter::text(const std::string& characters) {
    bytes_.insert(bytes_.end(), characters.begin(), characters.end());
    return *this;
}

ByteWriter& ByteWriter::le16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
}

ByteWriter& ByteWriter::le32(std::uint32_t v) {
    le16(static_cast<std::uint16_t>(v));
    return le16(static_cast<std::uint16_t>(v >> 16));
}

ByteWriter& ByteWriter::be16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(v));
    return *this;
}

ByteWriter& ByteWriter::be32(std::uint32_t v) {
    be16(static_cast<std::uint16_t>(v >> 16));
    return be16(static_cast<std::uint16_t>(v));
}

ByteWriter& ByteWriter::bytes(const Bytes& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

ByteWriter& ByteWriter::bytes(std::initializer_list<std::uint8_t> data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

ByteWriter& ByteWriter::zeros(std::size_t count) {
    bytes_.insert(bytes_.end(), count, 0);
    return *this;
}

Bytes formatChunk(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    const std::uint16_t align = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    ByteWriter w;
    w.le16(tag).le16(channels).le32(rate).le32(align * rate).le16(align).le16(bits);
    return chunk("fmt ", w.take());
}

Bytes extensibleFormatChunk(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                            std::uint16_t subTag) {
    const std::uint16_t align = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    ByteWriter w;
    w.le16(0xFFFE).le16(channels).le32(rate).le32(align * rate).le16(align).le16(bits);
    w.le16(22).le16(bits).le32(0);  // extra size, valid bits, channel mask
    w.le16(subTag).le16(0).bytes({0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    return chunk("fmt ", w.take());
}

Bytes chunk(const std::string& code, const Bytes& contents) {
    ByteWriter w;
    w.text(code).le32(static_cast<std::uint32_t>(contents.size())).bytes(contents);
    if (contents.size() % 2)
        w.zeros(1);
    return w.take();
}

Bytes riffFile(std::initializer_list<Bytes> chunks) {
    Bytes body;
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    ByteWriter w;
    w.text("RIFF").le32(static_cast<std::uint32_t>(body.size() + 4)).text("WAVE").bytes(body);
    return w.take();
}

Bytes waveFile(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
               const Bytes& samples) {
    return riffFile({formatChunk(tag, channels, rate, bits), chunk("data", samples)});
}

Bytes extendedRate(std::uint32_t rate) {
    // rate = mantissa * 2^(exponent - 16383 - 63), mantissa normalised to bit 63.
    ByteWriter w;
    if (rate == 0)
        return w.zeros(10).take();
    int exponent = 16383 + 31;
    std::uint64_t mantissa = std::uint64_t{rate} << 32;
    while (!(mantissa & (std::uint64_t{1} << 63))) {
        mantissa <<= 1;
        --exponent;
    }
    w.be16(static_cast<std::uint16_t>(exponent));
    w.be32(static_cast<std::uint32_t>(mantissa >> 32)).be32(static_cast<std::uint32_t>(mantissa));
    return w.take();
}

Bytes bigChunk(const std::string& code, const Bytes& contents) {
    ByteWriter w;
    w.text(code).be32(static_cast<std::uint32_t>(contents.size())).bytes(contents);
    if (contents.size() % 2)
        w.zeros(1);
    return w.take();
}

Bytes commChunk(std::int16_t channels, std::uint32_t frames, std::int16_t bits, std::uint32_t rate) {
    ByteWriter w;
    w.be16(static_cast<std::uint16_t>(channels)).be32(frames).be16(static_cast<std::uint16_t>(bits));
    w.bytes(extendedRate(rate));
    return bigChunk("COMM", w.take());
}

Bytes aifcCommChunk(std::int16_t channels, std::uint32_t frames, std::int16_t bits, std::uint32_t rate,
                    const std::string& compression) {
    ByteWriter w;
    w.be16(static_cast<std::uint16_t>(channels)).be32(frames).be16(static_cast<std::uint16_t>(bits));
    w.bytes(extendedRate(rate)).text(compression).bytes({4}).text("none");
    return bigChunk("COMM", w.take());
}

Bytes ssndChunk(const Bytes& samples, std::uint32_t offset) {
    ByteWriter w;
    w.be32(offset).be32(0).zeros(offset).bytes(samples);
    return bigChunk("SSND", w.take());
}

Bytes formFile(const std::string& formType, std::initializer_list<Bytes> chunks) {
    Bytes body;
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    ByteWriter w;
    w.text("FORM").be32(static_cast<std::uint32_t>(body.size() + 4)).text(formType).bytes(body);
    return w.take();
}

std::string scratchDir() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir =
        std::filesystem::path(FRISSON_TEST_TMP) / "audio" / test->test_suite_name() / test->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    Bytes bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::uint64_t fileSize(const std::string& path) {
    return std::filesystem::file_size(path);
}

int run(const std::string& commandLine) {
    const int status = std::system(commandLine.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes intSamples(std::initializer_list<std::int32_t> values, int bytesPerSample, bool bigEndian) {
    Bytes out;
    for (const std::int32_t v : values) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < bytesPerSample; ++i) {
            const int shift = bigEndian ? 8 * (bytesPerSample - 1 - i) : 8 * i;
            out.push_back(static_cast<std::uint8_t>(u >> shift));
        }
    }
    return out;
}

}  // namespace audio::test
