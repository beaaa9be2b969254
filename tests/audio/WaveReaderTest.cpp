#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "audio/Errors.h"
#include "tests/audio/ReaderTestSupport.h"

namespace audio::test {
namespace {

using WaveReader = ReaderTest;

Bytes floatBytes(std::initializer_list<float> values) {
    Bytes out(values.size() * 4);
    std::memcpy(out.data(), std::data(values), out.size());
    return out;
}

TEST_F(WaveReader, CanonicalSixteenBitStereo) {
    const auto file =
        open("s16.wav", waveFile(1, 2, 44100, 16, intSamples({0, 32767, -32768, 16384}, 2, false)));
    EXPECT_EQ(file->containerName(), "RIFF");
    EXPECT_EQ(file->description(), (Description{44100, 2, kInt16LE}));
    EXPECT_EQ(file->decoder().frameCount(), 2u);
    EXPECT_EQ(file->decoder().dataStart(), 44u);
    EXPECT_EQ(listing(*file),
              "<chunk fourcc=\"fmt \" filepos=\"12\" size=\"16\"  />\n\n\t"
              "<chunk fourcc=\"data\" filepos=\"36\" size=\"8\"  />\n\n");
    EXPECT_EQ(readAll(*file), (std::vector<float>{0.0f, 32767 * kK16, -32768 * kK16, 16384 * kK16}));
}

TEST_F(WaveReader, ReadStopsAtTheFrameCountOrTheMaximum) {
    const auto file = open("m.wav", waveFile(1, 1, 8000, 16, intSamples({1, 2, 3}, 2, false)));
    std::vector<float> out(5, -9.0f);
    EXPECT_EQ(file->decoder().read(out.data(), 100), 3u);
    EXPECT_EQ(out[3], -9.0f);
    EXPECT_EQ(file->decoder().read(out.data(), 0), 0u);
    std::fill(out.begin(), out.end(), -9.0f);
    EXPECT_EQ(file->decoder().read(out.data(), 2), 2u);
    EXPECT_EQ(out, (std::vector<float>{kK16, 2 * kK16, -9.0f, -9.0f, -9.0f}));
}

TEST_F(WaveReader, EverySampleLayout) {
    const auto u8 = open("u8.wav", waveFile(1, 1, 8000, 8, {128, 0, 255}));
    EXPECT_EQ(u8->description().format, kByte);
    EXPECT_EQ(readAll(*u8), (std::vector<float>{0.0f, -128 * kK8, 127 * kK8}));

    const auto s24 = open("s24.wav", waveFile(1, 1, 8000, 24, {0x00, 0x00, 0x80, 0x00, 0x00, 0x40}));
    EXPECT_EQ(s24->description().format, kInt24LE);
    EXPECT_EQ(readAll(*s24), (std::vector<float>{-1.0f, 0.5f}));

    const auto s32 =
        open("s32.wav", waveFile(1, 1, 8000, 32, intSamples({0x40000000, -0x40000000}, 4, false)));
    EXPECT_EQ(s32->description().format, kInt32LE);
    EXPECT_EQ(readAll(*s32), (std::vector<float>{0.5f, -0.5f}));

    const auto f32 = open("f32.wav", waveFile(3, 1, 8000, 32, floatBytes({1.5f, -0.25f})));
    EXPECT_EQ(f32->description().format, kFloat32LE);
    EXPECT_EQ(readAll(*f32), (std::vector<float>{1.5f, -0.25f}));

    Bytes doubles(16);
    const double values[2] = {0.1, -2.0};
    std::memcpy(doubles.data(), values, 16);
    const auto f64 = open("f64.wav", waveFile(3, 1, 8000, 64, doubles));
    EXPECT_EQ(f64->description().format, kFloat64LE);
    EXPECT_EQ(readAll(*f64), (std::vector<float>{0.1f, -2.0f}));
}

TEST_F(WaveReader, OtherChunksAreSkipped) {
    ByteWriter list;
    list.text("INFOISFT").le32(5).text("sox!").zeros(1);
    const auto file =
        open("list.wav", riffFile({formatChunk(1, 1, 8000, 16), chunk("LIST", list.take()),
                                   chunk("odd ", {1, 2, 3}), chunk("data", intSamples({7}, 2, false))}));
    EXPECT_EQ(file->decoder().dataStart(), 36u + 26 + 12 + 8);
    EXPECT_EQ(readAll(*file), std::vector<float>{7 * kK16});
}

TEST_F(WaveReader, UnknownLayoutsAreRefused) {
    const std::string unknown = "Unknown soundfile format";
    Bytes notWave = waveFile(1, 1, 8000, 16, {0, 0});
    std::memcpy(notWave.data() + 8, "WAVX", 4);
    EXPECT_EQ(openError<formats::FormatError>("notwave.wav", notWave), unknown);
    EXPECT_EQ(openError<formats::FormatError>("short.wav",
                                              Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}),
              unknown);
    EXPECT_EQ(openError<formats::FormatError>("empty.wav", {}), unknown);
    EXPECT_EQ(openError<formats::FormatError>("nofmt.wav", riffFile({chunk("data", {0, 0})})), unknown);
    EXPECT_EQ(openError<formats::FormatError>("nodata.wav", riffFile({formatChunk(1, 1, 8000, 16)})),
              unknown);
    EXPECT_EQ(openError<formats::FormatError>("text.wav", Bytes(100, 'a')), unknown);
    // The data chunk must come before data from the first 512 KiB.
    EXPECT_EQ(openError<formats::FormatError>(
                  "far.wav", riffFile({formatChunk(1, 1, 8000, 16), chunk("junk", Bytes(600 * 1024, 1)),
                                       chunk("data", {0, 0})})),
              unknown);
}

TEST_F(WaveReader, FormatChunkPastTheHeaderWindow) {
    ByteWriter w;
    w.text("RIFF").le32(100).text("WAVE").text("fmt ").le32(1000).zeros(40);
    EXPECT_EQ(openError<SoundfileError>("bigfmt.wav", w.take()), "not enough data to read header");
}

TEST_F(WaveReader, DataPastTheEndOfTheFileFailsWhenRead) {
    ByteWriter w;
    w.text("RIFF").le32(1036).text("WAVE").bytes(formatChunk(1, 2, 8000, 16)).text("data").le32(1000);
    w.bytes(intSamples({1, 2, 3, 4}, 2, false));
    const auto file = open("long.wav", w.take());
    EXPECT_EQ(file->decoder().frameCount(), 250u);
    std::vector<float> out(500);
    try {
        file->decoder().read(out.data(), 250);
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "file_buffer::get_block");
    }
    EXPECT_EQ(console_.str(), "Error in Decoder::read0 + 2\n");
    EXPECT_EQ(out[3], 4 * kK16);
}

TEST_F(WaveReader, PartialSampleAtTheEndFailsInsteadOfLooping) {
    ByteWriter w;
    w.text("RIFF").le32(40).text("WAVE").bytes(formatChunk(1, 1, 8000, 16)).text("data").le32(4);
    w.bytes({1, 0, 2});
    const auto file = open("partial.wav", w.take());
    std::vector<float> out(2);
    EXPECT_THROW(file->decoder().read(out.data(), 2), std::out_of_range);
    EXPECT_EQ(out[0], kK16);
}

TEST_F(WaveReader, FormatTagsAndWidths) {
    const auto check = [&](std::uint16_t tag, std::uint16_t bits, SampleFormat format, std::uint64_t frames) {
        const auto file = open("tag.wav", waveFile(tag, 1, 8000, bits, Bytes(12, 0)));
        EXPECT_EQ(file->description().format, format) << tag << "/" << bits;
        EXPECT_EQ(file->decoder().frameCount(), frames) << tag << "/" << bits;
    };
    check(0, 16, kUnsupported, 0);
    check(1, 12, kUnsupported, 0);
    check(3, 16, kUnsupported, 0);
    check(2, 4, kUnknown, 0);
    check(0x55, 0, kUnknown, 0);
    check(0xFFFE, 24, kInt24LE, 4);  // extensible without its extension: by the bits
    check(6, 8, kCompressed, 12);
    check(7, 8, kCompressed, 12);
    check(6, 16, kCompressed, 0);  // not G.711 as we know it

    const auto adpcm = open("adpcm.wav", waveFile(2, 1, 8000, 4, Bytes(12, 0)));
    std::vector<float> out(1);
    try {
        adpcm->decoder().read(out.data(), 1);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Could not handle data conversion");
    }
    EXPECT_EQ(console_.str(), "Unknown => float32_LE\nError in Decoder::read0 + 0\n");
}

TEST_F(WaveReader, ExtensibleFilesReadTheirSubFormat) {
    const auto pcm = open("x24.wav", riffFile({extensibleFormatChunk(2, 48000, 24, 1),
                                               chunk("data", {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0})}));
    EXPECT_EQ(pcm->description(), (Description{48000, 2, kInt24LE}));
    EXPECT_EQ(readAll(*pcm), (std::vector<float>{0.5f, -0.5f}));

    const auto f32 =
        open("xf32.wav",
             riffFile({extensibleFormatChunk(1, 48000, 32, 3), chunk("data", floatBytes({0.75f, -1.5f}))}));
    EXPECT_EQ(f32->description().format, kFloat32LE);
    EXPECT_EQ(readAll(*f32), (std::vector<float>{0.75f, -1.5f}));

    const auto ulaw =
        open("xulaw.wav", riffFile({extensibleFormatChunk(1, 8000, 8, 7), chunk("data", {0x80})}));
    EXPECT_EQ(ulaw->description().format, kCompressed);
    EXPECT_EQ(readAll(*ulaw), std::vector<float>{32124 * kK16});

    const auto other =
        open("xother.wav", riffFile({extensibleFormatChunk(1, 8000, 16, 0x55), chunk("data", {0, 0})}));
    EXPECT_EQ(other->description().format, kUnknown);
}

TEST_F(WaveReader, G711DataDecodesToLinearValues) {
    const auto alaw = open("alaw.wav", waveFile(6, 2, 8000, 8, {0xD5, 0x55, 0xAA, 0x2A}));
    EXPECT_EQ(alaw->description(), (Description{8000, 2, kCompressed}));
    EXPECT_EQ(alaw->decoder().frameCount(), 2u);
    EXPECT_EQ(readAll(*alaw), (std::vector<float>{8 * kK16, -8 * kK16, 32256 * kK16, -32256 * kK16}));

    const auto ulaw = open("ulaw.wav", waveFile(7, 1, 8000, 8, {0xFF, 0x7F, 0x80, 0x00, 0xFE}));
    EXPECT_EQ(readAll(*ulaw), (std::vector<float>{0.0f, 0.0f, 32124 * kK16, -32124 * kK16, 8 * kK16}));
}

TEST_F(WaveReader, ChannelCounts) {
    EXPECT_EQ(openError<SoundfileError>("zero.wav", waveFile(1, 0, 8000, 16, {0, 0})),
              "Invalid channel count: 0");
    const auto wide = open("wide.wav", waveFile(1, 65535, 8000, 8, Bytes(65535 * 2, 128)));
    EXPECT_EQ(wide->decoder().frameCount(), 2u);
    EXPECT_EQ(readAll(*wide), std::vector<float>(65535 * 2, 0.0f));
}

TEST_F(WaveReader, NoFramesIsValid) {
    const auto file = open("empty.wav", waveFile(1, 2, 44100, 16, {}));
    EXPECT_EQ(file->decoder().frameCount(), 0u);
    float sentinel = 3.0f;
    EXPECT_EQ(file->decoder().read(&sentinel, 10), 0u);
    EXPECT_EQ(sentinel, 3.0f);
}

TEST_F(WaveReader, LongFilesReadAcrossViews) {
    // 24-bit samples straddle the view boundaries of a file of several MiB.
    constexpr std::int32_t kFrames = 1'500'000;
    Bytes samples(kFrames * 3);
    for (std::int32_t i = 0; i < kFrames; ++i) {
        const auto v = static_cast<std::uint32_t>(i * 2654435761u) >> 8;
        samples[3 * i] = static_cast<std::uint8_t>(v);
        samples[3 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        samples[3 * i + 2] = static_cast<std::uint8_t>(v >> 16);
    }
    const auto file = open("long24.wav", waveFile(1, 1, 48000, 24, samples));
    const std::vector<float> out = readAll(*file);
    ASSERT_EQ(out.size(), static_cast<std::size_t>(kFrames));
    for (std::int32_t i = 0; i < kFrames; ++i) {
        const auto v = static_cast<std::uint32_t>(i * 2654435761u) >> 8;
        const auto expected = static_cast<float>(static_cast<std::int32_t>(v << 8)) * 0x1p-31f;
        if (out[i] != expected) {
            ADD_FAILURE() << "frame " << i;
            break;
        }
    }
}

// Another program changes the file after its header was read and before its
// samples are: reading them fails with the reader's error, never with a
// signal, and never hands out bytes of a different file.
TEST_F(WaveReader, AFileThatChangesWhileItIsReadFailsTheRead) {
    // 4 MiB of samples: the header view covers only the first 512 KiB.
    const Bytes original = waveFile(1, 1, 44100, 16, Bytes(4 << 20, 0x11));
    struct Change {
        const char* what;
        void (*apply)(const std::string& path, const Bytes& original);
    };
    const Change changes[] = {
        {"cut short",
         [](const std::string& at, const Bytes&) { ASSERT_EQ(truncate(at.c_str(), 1 << 20), 0); }},
        {"rewritten in place",
         [](const std::string& at, const Bytes& before) {
             Bytes other(before.size(), 0x55);
             std::copy(before.begin(), before.begin() + 44, other.begin());
             writeFile(at, other);
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        const std::string file = path("changing.wav");
        writeFile(file, original);
        // An older time than any write the change makes, however coarse the clock.
        std::filesystem::last_write_time(
            file, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        const auto sound = Soundfile::open(file);
        change.apply(file, original);
        std::string error = "(read)";
        try {
            readAll(*sound);
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, "the file changed while it was being read");
    }
}

}  // namespace
}  // namespace audio::test
