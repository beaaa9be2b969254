// Files written by sox, an independent writer, in every layout it can write that the reader supports,
// decode to the same samples as hand-made files holding the same stored samples.
#include <numeric>

#include "tests/audio/TestFiles.h"

namespace audio::test {
namespace {

constexpr std::uint32_t kRate = 8000;
constexpr std::uint16_t kFrames = 300;

struct SoxCase {
    const char* name;
    const char* type;      // sox's file type: wav, aiff or aifc
    const char* encoding;  // sox's sample encoding
    int bits;
    std::uint16_t channels;
    SampleFormat expected;    // what the reader must find
    std::uint16_t tag;        // of the hand-made WAV file; 0: an AIFF (or AIFC) file
    const char* compression;  // of the hand-made AIFC file
    bool bigEndian() const { return tag == 0; }
    bool isFloat() const { return std::string(encoding) == "floating-point"; }
};

// Stored samples: any bit pattern for integers and G.711; for floats, values that survive sox's 32-bit
// integer pipeline (multiples of 2^-15).
Bytes storedSamples(const SoxCase& c) {
    const int bytes = c.bits / 8;
    ByteWriter out;
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < std::size_t{kFrames} * c.channels; ++i) {
        seed = seed * 1664525u + 1013904223u;
        if (!c.isFloat()) {
            out.put(seed >> 3, bytes, false);
            continue;
        }
        const double value = static_cast<std::int16_t>(seed >> 16) * 0x1p-15;
        Bytes raw = bytes == 4 ? rawBytes({static_cast<float>(value)}) : rawBytes({value});
        if (c.bigEndian())
            std::reverse(raw.begin(), raw.end());
        out.bytes(raw);
    }
    return out.take();
}

// The same samples in a file made by hand.
Bytes handMade(const SoxCase& c, const Bytes& samples) {
    if (c.tag != 0)
        return waveFile(c.tag, c.channels, kRate, static_cast<std::uint16_t>(c.bits), samples);
    return formFile(*c.compression ? "AIFC" : "AIFF",
                    {commChunk(static_cast<std::int16_t>(c.channels), kFrames,
                               static_cast<std::int16_t>(c.bits), kRate, c.compression),
                     ssndChunk(samples)});
}

const SoxCase kCases[] = {
    {"wav_u8", "wav", "unsigned-integer", 8, 2, kByte, 1, ""},
    {"wav_s16", "wav", "signed-integer", 16, 2, kInt16LE, 1, ""},
    {"wav_s16_quad", "wav", "signed-integer", 16, 4, kInt16LE, 1, ""},  // extensible
    {"wav_s24", "wav", "signed-integer", 24, 2, kInt24LE, 1, ""},       // extensible
    {"wav_s32", "wav", "signed-integer", 32, 1, kInt32LE, 1, ""},       // extensible
    {"wav_f32", "wav", "floating-point", 32, 2, kFloat32LE, 3, ""},
    {"wav_f32_quad", "wav", "floating-point", 32, 4, kFloat32LE, 3, ""},  // extensible float
    {"wav_f64", "wav", "floating-point", 64, 1, kFloat64LE, 3, ""},
    {"wav_alaw", "wav", "a-law", 8, 2, kCompressed, 6, ""},
    {"wav_ulaw", "wav", "u-law", 8, 1, kCompressed, 7, ""},
    {"aiff_s8", "aiff", "signed-integer", 8, 2, kChar, 0, ""},
    {"aiff_s16", "aiff", "signed-integer", 16, 2, kInt16BE, 0, ""},
    {"aiff_s24", "aiff", "signed-integer", 24, 1, kInt24BE, 0, ""},
    {"aiff_s32", "aiff", "signed-integer", 32, 2, kInt32BE, 0, ""},
    {"aifc_s16", "aifc", "signed-integer", 16, 2, kInt16BE, 0, "NONE"},  // the widths as AIFF above
    {"aifc_f32", "aifc", "floating-point", 32, 2, kFloat32BE, 0, "fl32"},
    {"aifc_f64", "aifc", "floating-point", 64, 1, kFloat64BE, 0, "fl64"},
};

class SoxFiles : public ReaderTest, public ::testing::WithParamInterface<SoxCase> {};

TEST_P(SoxFiles, DecodeLikeHandMadeFiles) {
    const SoxCase& c = GetParam();
    const Bytes samples = storedSamples(c);
    writeFile(path("in.raw"), samples);
    const std::string format = " -e " + std::string(c.encoding) + " -b " + std::to_string(c.bits);
    const std::string command = "sox -V1 -D -t raw -r " + std::to_string(kRate) + " -c " +
                                std::to_string(c.channels) + format + (c.bigEndian() ? " -B " : " -L ") +
                                path("in.raw") + format + " -t " + c.type + " " + path("sox.out");
    ASSERT_EQ(run(command), 0) << command;
    const auto sox = Soundfile::open(path("sox.out"));
    const auto hand = open("hand.out", handMade(c, samples));
    const Description expected{kRate, c.channels, c.expected};
    EXPECT_EQ(std::tuple(sox->description(), hand->description(), sox->decoder().frameCount()),
              std::tuple(expected, expected, kFrames));
    EXPECT_EQ(readAll(*sox), readAll(*hand));
    EXPECT_EQ(console_.str(), "");
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, SoxFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SoxCase>& info) { return info.param.name; });

// Codecs the reader does not have are described, then refused when read; sox's own G.711 expansion to
// 16-bit integers agrees with ours.
TEST_F(ReaderTest, SoxCodecFiles) {
    for (const char* encoding : {"ima-adpcm", "ms-adpcm", "gsm-full-rate"}) {
        SCOPED_TRACE(encoding);
        ASSERT_EQ(run("sox -V1 -n -r 8000 -c 1 -e " + std::string(encoding) + " " + path("adpcm.wav") +
                      " synth 0.1 sine 440"),
                  0);
        const auto file = Soundfile::open(path("adpcm.wav"));
        EXPECT_EQ(std::tuple(file->description().format, file->decoder().frameCount()),
                  std::tuple(kUnknown, 0u));
        float out = 0.0f;
        EXPECT_THROW(file->decoder().read(&out, 1), std::runtime_error);
    }
    Bytes codes(256);
    std::iota(codes.begin(), codes.end(), 0);
    for (const auto& [tag, encoding] : {std::pair<std::uint16_t, const char*>{6, "a-law"}, {7, "u-law"}}) {
        SCOPED_TRACE(encoding);
        writeFile(path("g711.wav"), waveFile(tag, 1, kRate, 8, codes));
        ASSERT_EQ(
            run("sox -V1 -D " + path("g711.wav") + " -t raw -e signed-integer -b 16 -L " + path("lin.raw")),
            0);
        const Bytes linear = readFile(path("lin.raw"));
        ASSERT_EQ(linear.size(), 512u);
        const std::vector<float> decoded = readAll(*Soundfile::open(path("g711.wav")));
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(decoded[i], static_cast<std::int16_t>(linear[2 * i] | linear[2 * i + 1] << 8) * kK16)
                << "code " << i;
    }
}

// frisson info and frisson convert, run as the user runs them.
class Commands : public ReaderTest {
  protected:
    // Runs frisson with the arguments (file names taken in the scratch folder); keeps stdout and stderr.
    int frisson(const std::string& command, const std::string& files = "", const std::string& options = "") {
        std::string line = std::string(FRISSON_EXE) + " " + command;
        std::istringstream names(files);
        for (std::string name; names >> name;)
            line += " " + path(name);
        const int status = run(line + " " + options + " >" + path("stdout") + " 2>" + path("stderr"));
        stdout_ = text("stdout");
        stderr_ = text("stderr");
        return status;
    }
    std::string text(const std::string& name) const {
        const Bytes bytes = readFile(path(name));
        return {bytes.begin(), bytes.end()};
    }

    std::string stdout_, stderr_;
};

TEST_F(Commands, InfoDescribesTheFileOrPrintsTheReadersTextAndCommandLineErrorsExitTwo) {
    writeFile(path("a.wav"), waveFile(1, 2, 44100, 16, Bytes(4000, 0)));
    ASSERT_EQ(frisson("info", "a.wav"), 0);
    EXPECT_EQ(stdout_,
              "container: RIFF\nsample rate: 44100\nchannels: 2\nsample format: int16_LE\nframes: 1000\n"
              "<chunk fourcc=\"fmt \" filepos=\"12\" size=\"16\"  />\n\n\t"
              "<chunk fourcc=\"data\" filepos=\"36\" size=\"4000\"  />\n\n");
    writeFile(path("bad.wav"), Bytes(40, 'x'));
    writeFile(path("zero.wav"), waveFile(1, 0, 8000, 16, Bytes(4, 0)));
    for (const auto& [file, error] :
         {std::pair<const char*, const char*>{"missing.wav", "No such file or directory"},
          {"bad.wav", "Unknown soundfile format"},
          {".", "Is a directory"},
          {"zero.wav", "Invalid channel count: 0"}}) {
        EXPECT_EQ(frisson("info", file), 1) << file;
        EXPECT_EQ(stderr_, std::string(error) + "\n");
    }
    // Command-line errors exit with 2 and print one line.
    EXPECT_EQ(frisson("info --help"), 0);
    EXPECT_NE(stdout_.find("usage: frisson info FILE"), std::string::npos);
    EXPECT_EQ(frisson("convert --help"), 0);
    EXPECT_EQ(frisson("info --verbose x.wav"), 2);
    EXPECT_EQ(stderr_, "frisson info: unknown option '--verbose'\n");
    for (const char* line : {"info", "info a b", "convert a.wav", "convert a.wav b.wav --bits 8",
                             "convert a.wav b.wav --bits", "convert a.wav b.wav --rate 3"}) {
        EXPECT_EQ(frisson(line), 2) << line;
        EXPECT_EQ(std::count(stderr_.begin(), stderr_.end(), '\n'), 1) << line;
    }
}

TEST_F(Commands, ConvertKeepsTheDecodedSamplesWritesEmptyFilesAndNeverHalfFiles) {
    ASSERT_EQ(run("sox -V1 -n -r 22050 -c 2 -b 24 " + path("in.aiff") + " synth 0.2 sine 440 sine 660"), 0);
    const std::vector<float> in = readAll(*Soundfile::open(path("in.aiff")));
    const struct {
        const char* out;
        const char* options;
        SampleFormat format;
    } widths[] = {{"out.wav", "", kFloat32LE},
                  {"out24.wav", "--bits 24", kInt24LE},
                  {"out16.wav", "--bits 16", kInt16LE}};
    for (const auto& w : widths) {
        SCOPED_TRACE(w.out);
        ASSERT_EQ(frisson("convert", std::string("in.aiff ") + w.out, w.options), 0) << stderr_;
        const auto out = Soundfile::open(path(w.out));
        EXPECT_EQ(out->description(), (Description{22050, 2, w.format}));
        if (w.format != kInt16LE) {
            EXPECT_EQ(readAll(*out), in);  // 24-bit samples survive the float round trip
        }
    }
    EXPECT_EQ(std::filesystem::file_size(path("out.wav")), 44u + 4410 * 8);
    writeFile(path("empty.wav"), waveFile(1, 1, 8000, 16, {}));
    ASSERT_EQ(frisson("convert", "empty.wav e.wav", "--bits 16"), 0);
    EXPECT_EQ(readFile(path("e.wav")), waveFile(1, 1, 8000, 16, {}));
    // A failing read leaves an existing output untouched.
    const Bytes keep{'k', 'e', 'e', 'p'};
    writeFile(path("keep.wav"), keep);
    ByteWriter w;
    w.text("RIFF").le32(1036).text("WAVE").bytes(formatChunk(1, 1, 8000, 16)).text("data").le32(1000);
    writeFile(path("short.wav"), w.zeros(10).take());
    EXPECT_EQ(frisson("convert", "short.wav keep.wav"), 1);
    EXPECT_NE(stderr_.find("file_buffer::get_block\n"), std::string::npos);
    EXPECT_EQ(frisson("convert", "missing.wav keep.wav"), 1);
    EXPECT_EQ(stderr_, "No such file or directory\n");
    EXPECT_EQ(readFile(path("keep.wav")), keep);
    EXPECT_EQ(frisson("convert", "empty.wav no/such/dir.wav"), 1);
}

}  // namespace
}  // namespace audio::test
