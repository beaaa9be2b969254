// frisson info and frisson convert, run as the user runs them.
#include "tests/audio/TestFiles.h"

namespace audio::test {
namespace {

class Commands : public ReaderTest {
  protected:
    // Runs frisson with the arguments (file names are taken in the scratch folder); keeps its stdout and
    // stderr.
    int frisson(const std::string& command, const std::string& files = "", const std::string& options = "") {
        std::string line = std::string(FRISSON_EXE) + " " + command;
        std::istringstream names(files);
        for (std::string name; names >> name;)
            line += " " + path(name);
        const int status = run(line + " " + options + " >" + path("stdout") + " 2>" + path("stderr"));
        const Bytes out = readFile(path("stdout"));
        const Bytes err = readFile(path("stderr"));
        stdout_.assign(out.begin(), out.end());
        stderr_.assign(err.begin(), err.end());
        return status;
    }

    std::string stdout_;
    std::string stderr_;
};

TEST_F(Commands, InfoDescribesTheFileOrPrintsTheReadersText) {
    writeFile(path("a.wav"), waveFile(1, 2, 44100, 16, Bytes(4000, 0)));
    ASSERT_EQ(frisson("info", "a.wav"), 0);
    EXPECT_EQ(stdout_,
              "container: RIFF\nsample rate: 44100\nchannels: 2\nsample format: int16_LE\nframes: 1000\n"
              "<chunk fourcc=\"fmt \" filepos=\"12\" size=\"16\"  />\n\n\t"
              "<chunk fourcc=\"data\" filepos=\"36\" size=\"4000\"  />\n\n");
    writeFile(path("u.wav"), waveFile(7, 1, 8000, 8, Bytes(10, 0)));
    ASSERT_EQ(frisson("info", "u.wav"), 0);
    EXPECT_NE(stdout_.find("sample format: Compressed\nframes: 10\n"), std::string::npos);

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
}

TEST_F(Commands, CommandLineErrorsExitTwo) {
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

TEST_F(Commands, ConvertKeepsTheDecodedSamples) {
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
    EXPECT_EQ(fileSize(path("out.wav")), 44u + 4410 * 8);
}

TEST_F(Commands, ConvertWritesEmptyFilesAndNeverHalfFiles) {
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
