#include <cmath>
#include <stdexcept>

#include "audio/Errors.h"
#include "tests/audio/TestFiles.h"

namespace audio::test {
namespace {

using WaveWriter = ReaderTest;

std::vector<float> ramp(std::size_t count) {
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<float>(static_cast<int>(i % 2001) - 1000) / 1000.0f;
    return out;
}

// Writes the samples to a new file and closes it; returns its bytes.
Bytes written(const std::string& path, std::uint32_t rate, std::uint32_t channels, SampleFormat format,
              const std::vector<float>& samples) {
    Soundfile::create(path, rate, channels, format)->writer().write(samples.data(), samples.size());
    return readFile(path);
}

TEST_F(WaveWriter, SixteenBitStereoFileIsExactlyItsContent) {
    const std::string out = path("rec.wav");
    const std::vector<float> samples = ramp(2000);
    const Bytes header = waveFile(1, 2, 44100, 16, Bytes(4000));
    {
        const auto file = Soundfile::create(out, 44100, 2, kInt16LE);
        EXPECT_EQ(fileSize(out), 2686976u);  // 60 s * 44100 bytes, in whole 64 KiB units
        EXPECT_EQ(file->decoder().frameCount(), 0u);
        EXPECT_EQ(file->writer().write(samples.data(), 2000), 2000u);
        EXPECT_EQ(file->writer().framesWritten(), 1000u);
        // The header is current while the file is open.
        const FileBlock head = file->buffer().get_block(0, 44);
        EXPECT_EQ(Bytes(head.begin, head.begin + 44), Bytes(header.begin(), header.begin() + 44));
    }
    const Bytes bytes = readFile(out);
    ASSERT_EQ(bytes.size(), 4044u);
    EXPECT_TRUE(std::equal(header.begin(), header.begin() + 44, bytes.begin()));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto stored = static_cast<std::int16_t>(bytes[44 + 2 * i] | bytes[45 + 2 * i] << 8);
        const float clipped = std::fmin(std::fmax(samples[i], -0.99999988f), 0.99999988f);
        ASSERT_EQ(stored, static_cast<std::int16_t>(std::nearbyint(clipped * 32766.5f))) << i;
    }
}

TEST_F(WaveWriter, OtherWidthsAndReplacedFiles) {
    EXPECT_EQ(written(path("r24.wav"), 44100, 2, kInt24LE, {1.0f, -1.0f}),
              waveFile(1, 2, 44100, 24, {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80}));
    // Floats above full scale are kept as they are.
    EXPECT_EQ(written(path("r32.wav"), 22050, 1, kFloat32LE, {1.5f, -3.0f}),
              waveFile(3, 1, 22050, 32, rawBytes({1.5f, -3.0f})));
    // A file of the same name is replaced from its start.
    writeFile(path("old.wav"), Bytes(3 * 1024 * 1024, 0xEE));
    EXPECT_EQ(written(path("old.wav"), 8000, 1, kInt16LE, {0.5f}), waveFile(1, 1, 8000, 16, {0xFF, 0x3F}));
}

TEST_F(WaveWriter, OnlyWholeFramesAreWrittenAndSizeFieldsNeverWrapAround) {
    const auto file = Soundfile::create(path("odd.wav"), 8000, 2, kInt16LE);
    const std::vector<float> samples(16, 0.25f);
    EXPECT_EQ(file->writer().write(samples.data(), 7), 6u);
    EXPECT_EQ(file->writer().write(samples.data(), 1), 0u);
    EXPECT_EQ(file->writer().framesWritten(), 3u);
    // A header that already counts 4 GiB - 1 bytes: no whole frame fits any more.
    const auto full = Soundfile::create(path("full.wav"), 8000, 1, kInt16LE);
    std::uint8_t* riffSize = full->buffer().get_block(4, 4).begin;
    std::fill(riffSize, riffSize + 4, 0xFF);
    EXPECT_EQ(full->writer().write(samples.data(), 16), 0u);
    EXPECT_EQ(full->writer().framesWritten(), 0u);
    std::copy_n(Bytes{36, 0, 0, 0}.begin(), 4, riffSize);
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
    const std::vector<float> back = readAll(*Soundfile::open(out));
    ASSERT_EQ(back.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_NEAR(back[i], samples[i], 1.0 / 8388608) << i;  // 24 bits keep a ramp of thousandths
}

TEST_F(WaveWriter, RefusedFormatsLeaveNoFileAndReadFilesAreNotWritable) {
    const std::string out = path("be.wav");
    EXPECT_EQ(thrown<std::runtime_error>([&] { Soundfile::create(out, 44100, 2, kInt16BE); }),
              "WAV format must be little-endian");
    EXPECT_THROW(Soundfile::create(out, 44100, 0, kInt16LE), std::runtime_error);
    EXPECT_THROW(Soundfile::create(out, 44100, 40000, kInt16LE), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(out));
    const auto file = open("in.wav", waveFile(1, 1, 8000, 16, {0, 0}));
    EXPECT_EQ(file->encoder(), nullptr);
    EXPECT_EQ(thrown<SoundfileError>([&] { file->writer(); }), "Soundfile not writable");
}

}  // namespace
}  // namespace audio::test
