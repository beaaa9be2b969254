#include <cstring>
#include <stdexcept>

#include "audio/Errors.h"
#include "audio/formats/AiffDecoder.h"
#include "tests/audio/ReaderTestSupport.h"

namespace audio::test {
namespace {

using AiffReader = ReaderTest;

const std::initializer_list<std::int32_t> kStereo16{0, 32767, -32768, 16384, -1, 2};

TEST_F(AiffReader, SixteenBitStereoAndItsSowtTwinDecodeAlike) {
    const auto aiff =
        open("s16.aiff",
             formFile("AIFF", {commChunk(2, 3, 16, 44100), ssndChunk(intSamples(kStereo16, 2, true))}));
    EXPECT_EQ(aiff->containerName(), "FORM");
    EXPECT_EQ(aiff->description(), (Description{44100, 2, kInt16BE}));
    EXPECT_EQ(aiff->decoder().frameCount(), 3u);
    EXPECT_EQ(aiff->decoder().dataStart(), 12u + 26 + 16);
    EXPECT_EQ(listing(*aiff),
              "<chunk fourcc=\"COMM\" filepos=\"12\" size=\"18\"  />\n\n"
              "<chunk fourcc=\"SSND\" filepos=\"38\" size=\"20\"  />\n\n");
    const std::vector<float> expected{0.0f, 32767 * kK16, -32768 * kK16, 16384 * kK16, -kK16, 2 * kK16};
    EXPECT_EQ(readAll(*aiff), expected);

    const auto sowt = open("s16.aifc", formFile("AIFC", {aifcCommChunk(2, 3, 16, 44100, "sowt"),
                                                         ssndChunk(intSamples(kStereo16, 2, false))}));
    EXPECT_EQ(sowt->description(), (Description{44100, 2, kInt16LE}));
    EXPECT_EQ(readAll(*sowt), expected);
}

TEST_F(AiffReader, SampleSizesMapToContainers) {
    const auto check = [&](std::int16_t bits, SampleFormat format) {
        const auto file =
            open("size.aiff", formFile("AIFF", {commChunk(1, 1, bits, 8000), ssndChunk(Bytes(4, 0))}));
        EXPECT_EQ(file->description().format, format) << bits;
    };
    check(8, kChar);
    check(1, kChar);
    check(12, kInt16BE);
    check(16, kInt16BE);
    check(20, kInt24BE);
    check(24, kInt24BE);
    check(32, kInt32BE);
    EXPECT_EQ(console_.str(), "");
    check(40, kUnknown);
    EXPECT_EQ(console_.str(), "Sample size 40 not supported\n");
}

TEST_F(AiffReader, EightAndTwentyFourBitSamples) {
    const auto s8 =
        open("s8.aiff", formFile("AIFF", {commChunk(1, 3, 8, 8000), ssndChunk({0x7F, 0x80, 0x00})}));
    EXPECT_EQ(readAll(*s8), (std::vector<float>{127 * kK8, -128 * kK8, 0.0f}));
    const auto s24 =
        open("s24.aiff",
             formFile("AIFF", {commChunk(1, 2, 24, 8000), ssndChunk({0x80, 0x00, 0x00, 0x40, 0x00, 0x00})}));
    EXPECT_EQ(s24->description().format, kInt24BE);
    EXPECT_EQ(readAll(*s24), (std::vector<float>{-1.0f, 0.5f}));
}

TEST_F(AiffReader, AifcCompressionTypes) {
    const auto fl32 =
        open("fl32.aifc",
             formFile("AIFC", {aifcCommChunk(1, 1, 32, 8000, "fl32"), ssndChunk({0x3F, 0xC0, 0x00, 0x00})}));
    EXPECT_EQ(fl32->description().format, kFloat32BE);
    EXPECT_EQ(readAll(*fl32), std::vector<float>{1.5f});
    const auto fl64 = open("fl64.aifc", formFile("AIFC", {aifcCommChunk(1, 1, 64, 8000, "FL64"),
                                                          ssndChunk({0xBF, 0xE0, 0, 0, 0, 0, 0, 0})}));
    EXPECT_EQ(fl64->description().format, kFloat64BE);
    EXPECT_EQ(readAll(*fl64), std::vector<float>{-0.5f});
    const auto none =
        open("none.aifc", formFile("AIFC", {aifcCommChunk(1, 1, 16, 8000, "NONE"), ssndChunk({0x40, 0})}));
    EXPECT_EQ(readAll(*none), std::vector<float>{16384 * kK16});

    const auto ulaw =
        open("ulaw.aifc", formFile("AIFC", {aifcCommChunk(1, 1, 16, 8000, "ulaw"), ssndChunk({0, 0})}));
    EXPECT_EQ(ulaw->description().format, kUnknown);
    EXPECT_EQ(console_.str(), "Sample format 'ulaw' not supported\n");
    std::vector<float> out(1);
    EXPECT_THROW(ulaw->decoder().read(out.data(), 1), std::runtime_error);
}

TEST_F(AiffReader, SoundDataOffsetMovesTheStart) {
    const auto zero =
        open("o0.aiff", formFile("AIFF", {commChunk(1, 1, 16, 8000), ssndChunk({0x12, 0x34}, 0)}));
    EXPECT_EQ(zero->decoder().dataStart(), 38u + 16);
    const auto four =
        open("o4.aiff", formFile("AIFF", {commChunk(1, 1, 16, 8000), ssndChunk({0x12, 0x34}, 4)}));
    EXPECT_EQ(four->decoder().dataStart(), 38u + 20);
    EXPECT_EQ(readAll(*four), std::vector<float>{0x1234 * kK16});
}

TEST_F(AiffReader, RatesAreTheIntegerPartOfTheExtendedValue) {
    EXPECT_EQ(formats::extendedRate(16398, 0xAC44000000000000ull), 44100u);
    // 22050.5 = 0x5622.8: exponent 16383 + 14.
    EXPECT_EQ(formats::extendedRate(16397, 0xAC45000000000000ull), 22050u);
    const auto file = open("r.aiff", formFile("AIFF", {commChunk(1, 0, 16, 96000), ssndChunk({})}));
    EXPECT_EQ(file->description().sampleRate, 96000u);
    EXPECT_EQ(file->decoder().frameCount(), 0u);
}

TEST_F(AiffReader, UnknownLayoutsAreRefused) {
    const std::string unknown = "Unknown soundfile format";
    EXPECT_EQ(openError<formats::FormatError>("8svx.iff",
                                              formFile("8SVX", {commChunk(1, 1, 8, 8000), ssndChunk({0})})),
              unknown);
    EXPECT_EQ(openError<formats::FormatError>("nossnd.aiff", formFile("AIFF", {commChunk(1, 1, 8, 8000)})),
              unknown);
    EXPECT_EQ(openError<formats::FormatError>("nocomm.aiff", formFile("AIFF", {ssndChunk({0})})), unknown);
    // "SSND" must follow "COMM".
    EXPECT_EQ(openError<formats::FormatError>(
                  "order.aiff", formFile("AIFF", {ssndChunk({0, 0}), commChunk(1, 1, 16, 8000)})),
              unknown);
}

TEST_F(AiffReader, BrokenHeadersAreRefused) {
    ByteWriter cut;
    cut.text("FORM").be32(100).text("AIFF").text("COMM").be32(18).be16(1).be32(1);
    EXPECT_EQ(openError<SoundfileError>("cut.aiff", cut.take()), "not enough data to read header");
    EXPECT_EQ(openError<SoundfileError>("neg.aiff",
                                        formFile("AIFF", {commChunk(-2, 1, 16, 8000), ssndChunk({0, 0})})),
              "Invalid channel count: -2");
    EXPECT_EQ(openError<SoundfileError>("zero.aiff",
                                        formFile("AIFF", {commChunk(0, 1, 16, 8000), ssndChunk({0, 0})})),
              "Invalid channel count: 0");
    // More frames than data: reading fails at the end of the file.
    const auto file = open("short.aiff", formFile("AIFF", {commChunk(1, 1000, 16, 8000), ssndChunk({0, 1})}));
    std::vector<float> out(1000);
    EXPECT_THROW(file->decoder().read(out.data(), 1000), std::out_of_range);
}

}  // namespace
}  // namespace audio::test
