#include <cmath>
#include <fstream>
#include <stdexcept>

#include "audio/Errors.h"
#include "audio/formats/WaveEncoder.h"
#include "tests/audio/ReaderTestSupport.h"

namespace audio::test {
namespace {

using WaveWriter = ReaderTest;

Bytes header(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
             std::uint32_t data) {
    const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
    ByteWriter w;
    w.text("RIFF").le32(36 + data).text("WAVE").text("fmt ").le32(16);
    w.le16(tag).le16(channels).le32(rate).le32(align * rate).le16(align).le16(bits);
    w.text("data").le32(data);
    return w.take();
}

Bytes headerOf(const Bytes& file) {
    return Bytes(file.begin(), file.begin() + 44);
}

std::vector<float> ramp(std::size_t count) {
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<float>(static_cast<int>(i % 2001) - 1000) / 1000.0f;
    return out;
}

TEST_F(WaveWriter, SixteenBitStereoFileIsExactlyItsContent) {
    const std::string out = path("rec.wav");
    const std::vector<float> samples = ramp(2000);
    {
        const auto file = Soundfile::create(out, 44100, 2, kInt16LE);
        EXPECT_EQ(fileSize(out), 2686976u);  // 60 s * 44100 bytes, in whole 64 KiB units
        EXPECT_EQ(file->decoder().frameCount(), 0u);
        EXPECT_EQ(file->writer().write(samples.data(), 2000), 2000u);
        EXPECT_EQ(file->writer().framesWritten(), 1000u);
        // The header is current while the file is open.
        const FileBlock head = file->buffer().get_block(0, 44);
        EXPECT_EQ(Bytes(head.begin, head.begin + 44), header(1, 2, 44100, 16, 4000));
    }
    const Bytes bytes = readFile(out);
    ASSERT_EQ(bytes.size(), 4044u);
    EXPECT_EQ(headerOf(bytes), header(1, 2, 44100, 16, 4000));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto stored = static_cast<std::int16_t>(bytes[44 + 2 * i] | bytes[45 + 2 * i] << 8);
        const float clipped = std::fmin(std::fmax(samples[i], -0.99999988f), 0.99999988f);
        ASSERT_EQ(stored, static_cast<std::int16_t>(std::nearbyint(clipped * 32766.5f))) << i;
    }
}

TEST_F(WaveWriter, HeaderFieldsOfTheOtherWidths) {
    const std::string out24 = path("r24.wav");
    {
        const auto file = Soundfile::create(out24, 44100, 2, kInt24LE);
        const std::vector<float> samples{1.0f, -1.0f};
        file->writer().write(samples.data(), 2);
    }
    const Bytes b24 = readFile(out24);
    EXPECT_EQ(headerOf(b24), header(1, 2, 44100, 24, 6));
    EXPECT_EQ(Bytes(b24.begin() + 44, b24.end()), (Bytes{0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80}));

    const std::string out32 = path("r32.wav");
    {
        const auto file = Soundfile::create(out32, 22050, 1, kFloat32LE);
        const std::vector<float> samples{1.5f, -3.0f};
        file->writer().write(samples.data(), 2);
    }
    const Bytes b32 = readFile(out32);
    EXPECT_EQ(headerOf(b32), header(3, 1, 22050, 32, 8));
    const auto reread = Soundfile::open(out32);
    EXPECT_EQ(readAll(*reread), (std::vector<float>{1.5f, -3.0f}));  // above full scale, unchanged
}

TEST_F(WaveWriter, OnlyWholeFramesAreWritten) {
    const std::string out = path("odd.wav");
    const auto file = Soundfile::create(out, 8000, 2, kInt16LE);
    const std::vector<float> samples(7, 0.5f);
    EXPECT_EQ(file->writer().write(samples.data(), 7), 6u);
    EXPECT_EQ(file->writer().write(samples.data(), 1), 0u);
    EXPECT_EQ(file->writer().framesWritten(), 3u);
}

TEST_F(WaveWriter, AFileOfTheSameNameIsReplacedFromItsStart) {
    const std::string out = path("old.wav");
    writeFile(out, Bytes(3 * 1024 * 1024, 0xEE));
    {
        const auto file = Soundfile::create(out, 8000, 1, kInt16LE);
        const std::vector<float> samples{0.5f};
        file->writer().write(samples.data(), 1);
    }
    Bytes expected = header(1, 1, 8000, 16, 2);
    expected.push_back(0xFF);  // 16383
    expected.push_back(0x3F);
    EXPECT_EQ(readFile(out), expected);
}

TEST_F(WaveWriter, LongWritesGrowTheFileAndKeepEveryFrame) {
    // 24-bit stereo frames do not divide the views, so blocks end inside frames.
    const std::string out = path("long.wav");
    const std::vector<float> samples = ramp(2 * 400'000);
    {
        const auto file = Soundfile::create(out, 8000, 2, kInt24LE);
        EXPECT_EQ(file->writer().write(samples.data(), 2 * 100'000), 200'000u);
        EXPECT_EQ(file->writer().write(samples.data() + 200'000, 2 * 300'000), 600'000u);
        EXPECT_EQ(file->writer().framesWritten(), 400'000u);
    }
    EXPECT_EQ(fileSize(out), 44u + 400'000 * 6);
    const auto reread = Soundfile::open(out);
    const std::vector<float> back = readAll(*reread);
    ASSERT_EQ(back.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        // 24 bits keep a ramp of thousandths to within one step.
        ASSERT_NEAR(back[i], samples[i], 1.0 / 8388608) << i;
    }
}

TEST_F(WaveWriter, SizeFieldsNeverWrapAround) {
    const auto file = Soundfile::create(path("full.wav"), 8000, 1, kInt16LE);
    // A header that already counts 4 GiB - 1 bytes: no whole frame fits any more.
    std::uint8_t* riffSize = file->buffer().get_block(4, 4).begin;
    riffSize[0] = riffSize[1] = riffSize[2] = riffSize[3] = 0xFF;
    const std::vector<float> samples(16, 0.25f);
    EXPECT_EQ(file->writer().write(samples.data(), 16), 0u);
    EXPECT_EQ(file->writer().framesWritten(), 0u);
    riffSize[0] = 36;
    riffSize[1] = riffSize[2] = riffSize[3] = 0;
}

TEST_F(WaveWriter, RefusedFormatsLeaveNoFile) {
    const std::string out = path("be.wav");
    try {
        Soundfile::create(out, 44100, 2, kInt16BE);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "WAV format must be little-endian");
    }
    EXPECT_THROW(Soundfile::create(out, 44100, 0, kInt16LE), std::runtime_error);
    EXPECT_THROW(Soundfile::create(out, 44100, 40000, kInt16LE), std::runtime_error);
    EXPECT_FALSE(std::ifstream(out).good());
}

TEST_F(WaveWriter, FilesOpenedForReadingAreNotWritable) {
    const std::string in = path("in.wav");
    writeFile(in, waveFile(1, 1, 8000, 16, {0, 0}));
    const auto file = Soundfile::open(in);
    EXPECT_EQ(file->encoder(), nullptr);
    try {
        file->writer();
        FAIL() << "no exception";
    } catch (const SoundfileError& e) {
        EXPECT_STREQ(e.what(), "Soundfile not writable");
    }
}

TEST_F(WaveWriter, FormatRecord) {
    const formats::WaveFormat f = formats::makeWaveFormat(44100, 2, kInt24LE);
    EXPECT_EQ(f.tag, 1);
    EXPECT_EQ(f.blockAlign, 6);
    EXPECT_EQ(f.bytesPerSecond, 264600u);
    EXPECT_EQ(f.bitsPerSample, 24);
    EXPECT_EQ(formats::makeWaveFormat(48000, 1, kFloat32LE).tag, 3);
    EXPECT_EQ(formats::waveSampleFormat(f.tag, f.bitsPerSample), kInt24LE);
    EXPECT_EQ(formats::waveSampleFormat(3, 32), kFloat32LE);
    EXPECT_EQ(formats::waveSampleFormat(1, 16), kInt16LE);
}

}  // namespace
}  // namespace audio::test
