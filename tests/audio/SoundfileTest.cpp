// Opening, scanning and reading WAV, AIFF and AIFC files made by hand, byte by byte, and writing WAV files.
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "audio/Errors.h"
#include "audio/formats/AiffDecoder.h"
#include "audio/formats/ChunkScan.h"
#include "tests/audio/TestFiles.h"

namespace audio::test {
namespace {

constexpr std::int64_t kAnyFrames = -1;

class SoundfileReader : public ReaderTest {
  protected:
    // Opens the file and checks what it holds: frames unless kAnyFrames, the samples when given, the data
    // start unless 0, and what opening it prints.
    void expectLayout(const std::string& name, const Bytes& file, const Description& description,
                      std::int64_t frames, const std::vector<float>& samples = {},
                      std::uint64_t dataStart = 0, const std::string& console = "") {
        SCOPED_TRACE(name);
        console_.str("");
        const auto sound = open("layout", file);
        EXPECT_EQ(sound->description(), description);
        EXPECT_EQ(console_.str(), console);
        EXPECT_TRUE(frames == kAnyFrames ||
                    sound->decoder().frameCount() == static_cast<std::uint64_t>(frames))
            << sound->decoder().frameCount();
        EXPECT_TRUE(dataStart == 0 || sound->decoder().dataStart() == dataStart)
            << sound->decoder().dataStart();
        if (!samples.empty()) {
            EXPECT_EQ(readAll(*sound), samples);
        }
    }
};

// A mono 8000 Hz AIFF file, or an AIFC file when a compression type is given.
Bytes monoAiff(std::int16_t bits, std::uint32_t frames, const Bytes& samples,
               const std::string& compression = "") {
    return formFile(compression.empty() ? "AIFF" : "AIFC",
                    {commChunk(1, frames, bits, 8000, compression), ssndChunk(samples)});
}
// What a mono 8000 Hz file of the format is described as.
Description mono(SampleFormat format) {
    return {8000, 1, format};
}

const std::initializer_list<std::int32_t> kStereo16{0, 32767, -32768, 16384, -1, 2};
const std::vector<float> kStereo16Read{0.0f, 32767 * kK16, -32768 * kK16, 16384 * kK16, -kK16, 2 * kK16};

TEST_F(SoundfileReader, WaveAndAiffLayoutsOpenToTheirDescriptionAndSamplesAndAiffChunksAreListed) {
    expectLayout("s16", waveFile(1, 2, 44100, 16, intSamples(kStereo16, 2, false)), {44100, 2, kInt16LE}, 3,
                 kStereo16Read, 44);
    expectLayout("s24", waveFile(1, 1, 8000, 24, {0x00, 0x00, 0x80, 0x00, 0x00, 0x40}), mono(kInt24LE), 2,
                 {-1.0f, 0.5f});
    ByteWriter list;
    list.text("INFOISFT").le32(5).text("sox!").zeros(1);
    expectLayout("other chunks are skipped",
                 formFile("WAVE", {formatChunk(1, 1, 8000, 16), chunk("LIST", list.take()),
                                   chunk("odd ", {1, 2, 3}), chunk("data", intSamples({7}, 2, false))}),
                 mono(kInt16LE), 1, {7 * kK16}, 36 + 26 + 12 + 8);
    // "bext" lost its size field: the scan reads "LIST" as its size, which runs past the end but reads as
    // text, so it steps back onto it.
    ByteWriter noSize;
    noSize.text("bext").text("LIST").le32(4).text("INFO").text("data").le32(2).bytes({0x34, 0x12});
    expectLayout("missing size field", formFile("WAVE", {formatChunk(1, 1, 8000, 16), noSize.take()}),
                 mono(kInt16LE), 1, {0x1234 * kK16}, 60);
    // The size of "junk" points at binary bytes, so the scan reads the next header right after this one.
    ByteWriter binary;
    binary.text("junk").le32(4).text("data").le32(2).bytes({1, 2, 0xFF, 0xFF});
    expectLayout("next header not a code", formFile("WAVE", {formatChunk(1, 1, 8000, 16), binary.take()}),
                 mono(kInt16LE), 1, {0x0201 * kK16}, 52);
    expectLayout("extensible without its extension: by the bits", waveFile(0xFFFE, 1, 8000, 24, Bytes(12, 0)),
                 mono(kInt24LE), 4, {0.0f, 0.0f, 0.0f, 0.0f});
    expectLayout("extensible mu-law",
                 formFile("WAVE", {formatChunk(0, 1, 8000, 8, 7), chunk("data", {0x80})}), mono(kCompressed),
                 1, {32124 * kK16});
    expectLayout("extensible other",
                 formFile("WAVE", {formatChunk(0, 1, 8000, 16, 0x55), chunk("data", {0, 0})}), mono(kUnknown),
                 kAnyFrames);
    expectLayout("65535 channels", waveFile(1, 65535, 8000, 8, Bytes(65535 * 2, 128)), {8000, 65535, kByte},
                 2, std::vector<float>(65535 * 2, 0.0f));
    expectLayout("no frames", waveFile(1, 2, 44100, 16, {}), {44100, 2, kInt16LE}, 0);
    // Format tags and widths that are described but not read; G.711 only as 8 bits (as sox writes it).
    const struct {
        std::uint16_t tag, bits;
        SampleFormat format;
        std::int64_t frames;
    } tags[] = {{0, 16, kUnsupported, 0}, {1, 12, kUnsupported, 0}, {3, 16, kUnsupported, 0},
                {2, 4, kUnknown, 0},      {0x55, 0, kUnknown, 0},   {6, 16, kCompressed, 0}};
    for (const auto& t : tags)
        expectLayout("tag " + std::to_string(t.tag) + "/" + std::to_string(t.bits),
                     waveFile(t.tag, 1, 8000, t.bits, Bytes(12, 0)), {8000, 1, t.format}, t.frames);
    // AIFF and AIFC.
    expectLayout("s16",
                 formFile("AIFF", {commChunk(2, 3, 16, 44100), ssndChunk(intSamples(kStereo16, 2, true))}),
                 {44100, 2, kInt16BE}, 3, kStereo16Read, 12 + 26 + 16);
    expectLayout(
        "sowt",
        formFile("AIFC", {commChunk(2, 3, 16, 44100, "sowt"), ssndChunk(intSamples(kStereo16, 2, false))}),
        {44100, 2, kInt16LE}, 3, kStereo16Read);
    expectLayout("FL64", monoAiff(64, 1, {0xBF, 0xE0, 0, 0, 0, 0, 0, 0}, "FL64"), mono(kFloat64BE), 1,
                 {-0.5f});
    expectLayout("ulaw", monoAiff(16, 1, {0, 0}, "ulaw"), mono(kUnknown), kAnyFrames, {}, 0,
                 "Sample format 'ulaw' not supported\n");
    // The sound data offset moves the start.
    expectLayout("offset 4", formFile("AIFF", {commChunk(1, 1, 16, 8000), ssndChunk({0x12, 0x34}, 4)}),
                 mono(kInt16BE), 1, {0x1234 * kK16}, 38 + 16 + 4);
    expectLayout("96 kHz, no frames", formFile("AIFF", {commChunk(1, 0, 16, 96000), ssndChunk({})}),
                 {96000, 1, kInt16BE}, 0);
    // Sample sizes map to the containers that hold them (the full widths with sox's files).
    const std::pair<std::int16_t, SampleFormat> sizes[] = {{1, kChar}, {12, kInt16BE}, {20, kInt24BE}};
    for (const auto& [bits, format] : sizes)
        expectLayout("size " + std::to_string(bits), monoAiff(bits, 1, Bytes(4, 0)), {8000, 1, format}, 1);
    expectLayout("size 40", monoAiff(40, 1, Bytes(4, 0)), mono(kUnknown), kAnyFrames, {}, 0,
                 "Sample size 40 not supported\n");
    // AIFF containers and chunks as listed (WAV files are listed by frisson info).
    const auto aiff =
        open("s16.aiff", formFile("AIFF", {commChunk(2, 3, 16, 44100), ssndChunk(Bytes(12, 0))}));
    EXPECT_EQ(aiff->containerName(), "FORM");
    std::ostringstream listing;
    aiff->decoder().listChunks(listing);
    EXPECT_EQ(listing.str(),
              "<chunk fourcc=\"COMM\" filepos=\"12\" size=\"18\"  />\n\n"
              "<chunk fourcc=\"SSND\" filepos=\"38\" size=\"20\"  />\n\n");
    // Rates are the integer part of the extended value; 22050.5 = 0x5622.8 has exponent 16383 + 14.
    EXPECT_EQ(formats::extendedRate(16398, 0xAC44000000000000ull), 44100u);
    EXPECT_EQ(formats::extendedRate(16397, 0xAC45000000000000ull), 22050u);
}

TEST_F(SoundfileReader, BrokenAndUnknownLayoutsAreRefused) {
    // (Text and a WAV file of no channels are refused through the command line.)
    const std::string unknown = "Unknown soundfile format";
    Bytes notWave = waveFile(1, 1, 8000, 16, {0, 0});
    std::memcpy(notWave.data() + 8, "WAVX", 4);
    ByteWriter bigFormat;
    bigFormat.text("RIFF").le32(100).text("WAVE").text("fmt ").le32(1000).zeros(40);
    ByteWriter garbage, cut;
    garbage.bytes({0x01, 0x02, 0x03, 0x04}).le32(0xFFFFFF00).text("data").le32(0);
    cut.text("LIST").le32(0).text("dat");  // a header cut by the end
    ByteWriter cutComm;
    cutComm.text("FORM").be32(100).text("AIFF").text("COMM").be32(18).be16(1).be32(1);
    const struct {
        const char* name;
        Bytes file;
        std::string error;  // FormatError when unknown, else SoundfileError
    } cases[] = {
        {"not WAVE", notWave, unknown},
        {"RIFF header only", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, unknown},
        {"empty", {}, unknown},
        {"no fmt", formFile("WAVE", {chunk("data", {0, 0})}), unknown},
        {"no data", formFile("WAVE", {formatChunk(1, 1, 8000, 16)}), unknown},
        {"garbage before data", formFile("WAVE", {formatChunk(1, 1, 8000, 16), garbage.take()}), unknown},
        {"cut header", formFile("WAVE", {formatChunk(1, 1, 8000, 16), cut.take()}), unknown},
        // The data chunk must come before data from the first 512 KiB.
        {"data far out",
         formFile("WAVE",
                  {formatChunk(1, 1, 8000, 16), chunk("junk", Bytes(600 * 1024, 1)), chunk("data", {0, 0})}),
         unknown},
        {"8SVX", formFile("8SVX", {commChunk(1, 1, 8, 8000), ssndChunk({0})}), unknown},
        {"no SSND", formFile("AIFF", {commChunk(1, 1, 8, 8000)}), unknown},
        {"no COMM", formFile("AIFF", {ssndChunk({0})}), unknown},
        {"SSND before COMM", formFile("AIFF", {ssndChunk({0, 0}), commChunk(1, 1, 16, 8000)}), unknown},
        {"fmt past the header window", bigFormat.take(), "not enough data to read header"},
        {"COMM cut short", cutComm.take(), "not enough data to read header"},
        {"aiff of no channels", formFile("AIFF", {commChunk(0, 1, 16, 8000), ssndChunk({0, 0})}),
         "Invalid channel count: 0"},
        {"aiff of -2 channels", formFile("AIFF", {commChunk(-2, 1, 16, 8000), ssndChunk({0, 0})}),
         "Invalid channel count: -2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto opening = [&] { open("bad", c.file); };
        EXPECT_EQ(
            c.error == unknown ? thrown<formats::FormatError>(opening) : thrown<SoundfileError>(opening),
            c.error);
    }
}

TEST_F(SoundfileReader, ReadsStopAtTheFrameCountAndFailWithTheReadersErrorAlsoWhenTheFileChanges) {
    const auto file = open("m.wav", waveFile(1, 1, 8000, 16, intSamples({1, 2, 3}, 2, false)));
    std::vector<float> few(5, -9.0f);
    EXPECT_EQ(file->decoder().read(few.data(), 100), 3u);
    EXPECT_EQ(few[3], -9.0f);
    EXPECT_EQ(file->decoder().read(few.data(), 0), 0u);
    std::fill(few.begin(), few.end(), -9.0f);
    EXPECT_EQ(file->decoder().read(few.data(), 2), 2u);
    EXPECT_EQ(few, (std::vector<float>{kK16, 2 * kK16, -9.0f, -9.0f, -9.0f}));
    // Data past the end of the file: the whole samples before the end are decoded.
    ByteWriter pastEnd;
    pastEnd.text("RIFF").le32(1036).text("WAVE").bytes(formatChunk(1, 2, 8000, 16)).text("data").le32(1000);
    const auto cut = open("long.wav", pastEnd.bytes(intSamples({1, 2, 3, 4}, 2, false)).take());
    EXPECT_EQ(cut->decoder().frameCount(), 250u);
    std::vector<float> out(1000);
    EXPECT_EQ(thrown<std::out_of_range>([&] { cut->decoder().read(out.data(), 250); }),
              "file_buffer::get_block");
    EXPECT_EQ(console_.str(), "Error in Decoder::read0 + 2\n");
    EXPECT_EQ(out[3], 4 * kK16);
    // A partial sample at the end fails instead of looping.
    ByteWriter partial;
    partial.text("RIFF").le32(40).text("WAVE").bytes(formatChunk(1, 1, 8000, 16)).text("data").le32(4);
    const auto odd = open("partial.wav", partial.bytes({1, 0, 2}).take());
    EXPECT_THROW(odd->decoder().read(out.data(), 2), std::out_of_range);
    EXPECT_EQ(out[0], kK16);
    // (Layouts that are described but have no converter are read with sox's codec files.)
    // Another program changes the file after its header was read and before its samples are: reading them
    // fails with the reader's error, never with a signal, and never hands out bytes of a different file.
    // 4 MiB of samples: the header view covers only the first 512 KiB.
    const Bytes original = waveFile(1, 1, 44100, 16, Bytes(4 << 20, 0x11));
    Bytes rewritten(original.size(), 0x55);
    std::copy(original.begin(), original.begin() + 44, rewritten.begin());
    const std::string changing = path("changing.wav");
    for (const bool cutShort : {true, false}) {
        SCOPED_TRACE(cutShort ? "cut short" : "rewritten in place");
        writeFile(changing, original);
        // An older time than any write the change makes, however coarse the clock.
        std::filesystem::last_write_time(
            changing, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        const auto sound = Soundfile::open(changing);
        if (cutShort)
            ASSERT_EQ(truncate(changing.c_str(), 1 << 20), 0);
        else
            writeFile(changing, rewritten);
        EXPECT_EQ(thrown([&] { readAll(*sound); }), "the file changed while it was being read");
    }
}

TEST(ChunkScan, ValidCodesArePrintable) {
    const std::uint8_t codes[3][4] = {{' ', 'a', 0x7F, '9'}, {'a', 'b', 'c', 0x1F}, {'a', 'b', 'c', 0x80}};
    EXPECT_EQ(std::tuple(formats::isValidCode(codes[0]), formats::isValidCode(codes[1]),
                         formats::isValidCode(codes[2])),
              std::tuple(true, false, false));
}

using SoundfileWriter = ReaderTest;

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

TEST_F(SoundfileWriter, FilesAreExactlyTheirContentInEveryWidthGrowWhenLongAndReplaceOlderFiles) {
    const std::string out = path("rec.wav");
    const std::vector<float> samples = ramp(2000);
    const Bytes header = waveFile(1, 2, 44100, 16, Bytes(4000));
    {
        const auto file = Soundfile::create(out, 44100, 2, kInt16LE);
        EXPECT_EQ(std::filesystem::file_size(out), 2686976u);  // 60 s * 44100 bytes, in whole 64 KiB units
        EXPECT_EQ(file->decoder().frameCount(), 0u);
        EXPECT_EQ(file->writer().write(samples.data(), 2000), 2000u);
        EXPECT_EQ(file->writer().framesWritten(), 1000u);
        // The header is current while the file is open.
        const FileBlock head = file->buffer().get_block(0, 44);
        EXPECT_EQ(Bytes(head.begin, head.begin + 44), Bytes(header.begin(), header.begin() + 44));
    }
    // Cut to its content on close. (The samples' values are those of the converter, checked with the
    // conversions and, as recorded files, with the recorder; float files there byte by byte.)
    EXPECT_EQ(std::filesystem::file_size(out), 4044u);
    EXPECT_EQ(written(path("r24.wav"), 44100, 2, kInt24LE, {1.0f, -1.0f}),
              waveFile(1, 2, 44100, 24, {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80}));
    // A file of the same name is replaced from its start.
    writeFile(path("old.wav"), Bytes(3 * 1024 * 1024, 0xEE));
    EXPECT_EQ(written(path("old.wav"), 8000, 1, kInt16LE, {0.5f}), waveFile(1, 1, 8000, 16, {0xFF, 0x3F}));
    // Long writes grow the file. 24-bit stereo frames do not divide the views, so blocks end inside frames,
    // and reading the file back crosses views inside samples.
    const std::vector<float> ramp2 = ramp(2 * 400'000);
    {
        const auto file = Soundfile::create(path("long.wav"), 8000, 2, kInt24LE);
        EXPECT_EQ(file->writer().write(ramp2.data(), 2 * 100'000), 200'000u);
        EXPECT_EQ(file->writer().write(ramp2.data() + 200'000, 2 * 300'000), 600'000u);
    }
    EXPECT_EQ(std::filesystem::file_size(path("long.wav")), 44u + 400'000 * 6);
    const std::vector<float> back = readAll(*Soundfile::open(path("long.wav")));
    ASSERT_EQ(back.size(), ramp2.size());
    for (std::size_t i = 0; i < ramp2.size(); ++i)
        ASSERT_NEAR(back[i], ramp2[i], 1.0 / 8388608) << i;  // 24 bits keep a ramp of thousandths
}

TEST_F(SoundfileWriter, OnlyWholeFramesAreWrittenSizeFieldsNeverWrapAndOddFormatsAreRefused) {
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
    // Refused formats leave no file; files opened for reading are not writable.
    const std::string out = path("be.wav");
    EXPECT_EQ(thrown<std::runtime_error>([&] { Soundfile::create(out, 44100, 2, kInt16BE); }),
              "WAV format must be little-endian");
    EXPECT_THROW(Soundfile::create(out, 44100, 0, kInt16LE), std::runtime_error);
    EXPECT_THROW(Soundfile::create(out, 44100, 40000, kInt16LE), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(out));
    const auto read = open("in.wav", waveFile(1, 1, 8000, 16, {0, 0}));
    EXPECT_EQ(read->encoder(), nullptr);
    EXPECT_EQ(thrown<SoundfileError>([&] { read->writer(); }), "Soundfile not writable");
}

}  // namespace
}  // namespace audio::test
