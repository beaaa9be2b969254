// frisson info and frisson convert, run as the user runs them.
#include "tests/audio/ReaderTestSupport.h"

namespace audio::test {
namespace {

class Commands : public ReaderTest {
  protected:
    // Runs frisson with the arguments; keeps its stdout and stderr.
    int frisson(const std::string& arguments) {
        const int status =
            run(std::string(FRISSON_EXE) + " " + arguments + " >" + path("stdout") + " 2>" + path("stderr"));
        const Bytes out = readFile(path("stdout"));
        const Bytes err = readFile(path("stderr"));
        stdout_.assign(out.begin(), out.end());
        stderr_.assign(err.begin(), err.end());
        return status;
    }

    std::string stdout_;
    std::string stderr_;
};

TEST_F(Commands, InfoDescribesTheFile) {
    writeFile(path("a.wav"), waveFile(1, 2, 44100, 16, Bytes(4000, 0)));
    ASSERT_EQ(frisson("info " + path("a.wav")), 0);
    EXPECT_EQ(stdout_,
              "container: RIFF\nsample rate: 44100\nchannels: 2\nsample format: int16_LE\nframes: 1000\n"
              "<chunk fourcc=\"fmt \" filepos=\"12\" size=\"16\"  />\n\n\t"
              "<chunk fourcc=\"data\" filepos=\"36\" size=\"4000\"  />\n\n");
    writeFile(path("u.wav"), waveFile(7, 1, 8000, 8, Bytes(10, 0)));
    ASSERT_EQ(frisson("info " + path("u.wav")), 0);
    EXPECT_NE(stdout_.find("sample format: Compressed\nframes: 10\n"), std::string::npos);
}

TEST_F(Commands, InfoFailuresPrintTheReadersText) {
    EXPECT_EQ(frisson("info " + path("missing.wav")), 1);
    EXPECT_EQ(stderr_, "No such file or directory\n");
    writeFile(path("bad.wav"), Bytes(40, 'x'));
    EXPECT_EQ(frisson("info " + path("bad.wav")), 1);
    EXPECT_EQ(stderr_, "Unknown soundfile format\n");
    EXPECT_EQ(frisson("info " + dir_), 1);
    EXPECT_EQ(stderr_, "Is a directory\n");
    writeFile(path("zero.wav"), waveFile(1, 0, 8000, 16, Bytes(4, 0)));
    EXPECT_EQ(frisson("info " + path("zero.wav")), 1);
    EXPECT_EQ(stderr_, "Invalid channel count: 0\n");
}

TEST_F(Commands, CommandLineErrorsExitTwo) {
    EXPECT_EQ(frisson("info --help"), 0);
    EXPECT_NE(stdout_.find("usage: frisson info FILE"), std::string::npos);
    EXPECT_EQ(frisson("info --verbose x.wav"), 2);
    EXPECT_EQ(stderr_, "frisson info: unknown option '--verbose'\n");
    EXPECT_EQ(frisson("info"), 2);
    EXPECT_EQ(frisson("info a b"), 2);
    EXPECT_EQ(frisson("convert --help"), 0);
    EXPECT_EQ(frisson("convert a.wav"), 2);
    EXPECT_EQ(frisson("convert a.wav b.wav --bits 8"), 2);
    EXPECT_EQ(frisson("convert a.wav b.wav --bits"), 2);
    EXPECT_EQ(frisson("convert a.wav b.wav --rate 3"), 2);
    EXPECT_EQ(std::count(stderr_.begin(), stderr_.end(), '\n'), 1);
}

TEST_F(Commands, ConvertKeepsTheDecodedSamples) {
    ASSERT_EQ(run("sox -V1 -n -r 22050 -c 2 -b 24 " + path("in.aiff") + " synth 0.2 sine 440 sine 660"), 0);
    ASSERT_EQ(frisson("convert " + path("in.aiff") + " " + path("out.wav")), 0) << stderr_;
    const auto in = Soundfile::open(path("in.aiff"));
    const auto out = Soundfile::open(path("out.wav"));
    EXPECT_EQ(out->description(), (Description{22050, 2, kFloat32LE}));
    EXPECT_EQ(readAll(*out), readAll(*in));
    EXPECT_EQ(fileSize(path("out.wav")), 44u + 4410 * 8);

    ASSERT_EQ(frisson("convert " + path("in.aiff") + " " + path("out24.wav") + " --bits 24"), 0);
    const auto out24 = Soundfile::open(path("out24.wav"));
    EXPECT_EQ(out24->description().format, kInt24LE);
    EXPECT_EQ(readAll(*out24), readAll(*in));  // 24-bit samples survive the float round trip
    ASSERT_EQ(frisson("convert " + path("in.aiff") + " " + path("out16.wav") + " --bits 16"), 0);
    EXPECT_EQ(Soundfile::open(path("out16.wav"))->description().format, kInt16LE);
}

TEST_F(Commands, ConvertWritesEmptyFilesAndNeverHalfFiles) {
    writeFile(path("empty.wav"), waveFile(1, 1, 8000, 16, {}));
    ASSERT_EQ(frisson("convert " + path("empty.wav") + " " + path("e.wav") + " --bits 16"), 0);
    EXPECT_EQ(readFile(path("e.wav")), waveFile(1, 1, 8000, 16, {}));

    // A failing read leaves an existing output untouched.
    writeFile(path("keep.wav"), Bytes{'k', 'e', 'e', 'p'});
    ByteWriter w;
    w.text("RIFF")
        .le32(1036)
        .text("WAVE")
        .bytes(formatChunk(1, 1, 8000, 16))
        .text("data")
        .le32(1000)
        .zeros(10);
    writeFile(path("short.wav"), w.take());
    EXPECT_EQ(frisson("convert " + path("short.wav") + " " + path("keep.wav")), 1);
    EXPECT_NE(stderr_.find("file_buffer::get_block\n"), std::string::npos);
    EXPECT_EQ(readFile(path("keep.wav")), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(frisson("convert " + path("missing.wav") + " " + path("keep.wav")), 1);
    EXPECT_EQ(stderr_, "No such file or directory\n");
    EXPECT_EQ(frisson("convert " + path("empty.wav") + " " + path("no/such/dir.wav")), 1);
    EXPECT_EQ(readFile(path("keep.wav")), (Bytes{'k', 'e', 'e', 'p'}));
}

}  // namespace
}  // namespace audio::test
