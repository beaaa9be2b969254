// Files written by sox, an independent writer, in every layout it can write
// that the reader supports, decode to the same samples as hand-made files
// holding the same stored samples.
#include <cstring>
#include <functional>

#include "tests/audio/ReaderTestSupport.h"

namespace audio::test {
namespace {

constexpr std::uint32_t kRate = 8000;
constexpr std::uint16_t kFrames = 300;

enum class Kind { Int, Float, ALaw, MuLaw, Unsigned };

struct SoxCase {
    const char* name;
    Kind kind;
    int bits;
    std::uint16_t channels;
    bool bigEndian;         // byte order of the stored samples
    const char* outArgs;    // sox's output options, ending with the file type
    SampleFormat expected;  // what the reader must find
    std::function<Bytes(const SoxCase&, const Bytes&)> handMade;
};

// Stored samples: any bit pattern for integers and G.711; for floats, values
// that survive sox's 32-bit integer pipeline (multiples of 2^-15).
Bytes storedSamples(const SoxCase& c) {
    const std::size_t count = std::size_t{kFrames} * c.channels;
    const int bytes = c.bits / 8;
    Bytes out;
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (std::size_t i = 0; i < count; ++i) {
        if (c.kind != Kind::Float) {
            const std::uint32_t v = next();
            for (int b = 0; b < bytes; ++b)
                out.push_back(static_cast<std::uint8_t>(v >> (8 * b + 3)));
            continue;
        }
        const double value = static_cast<std::int16_t>(next() >> 16) * 0x1p-15;
        std::uint8_t raw[8];
        if (bytes == 4) {
            const float f = static_cast<float>(value);
            std::memcpy(raw, &f, 4);
        } else {
            std::memcpy(raw, &value, 8);
        }
        for (int b = 0; b < bytes; ++b)
            out.push_back(raw[c.bigEndian ? bytes - 1 - b : b]);
    }
    return out;
}

std::string soxEncoding(Kind kind) {
    switch (kind) {
        case Kind::Float:
            return "floating-point";
        case Kind::ALaw:
            return "a-law";
        case Kind::MuLaw:
            return "u-law";
        case Kind::Unsigned:
            return "unsigned-integer";
        default:
            return "signed-integer";
    }
}

Bytes handWave(std::uint16_t tag, const SoxCase& c, const Bytes& samples) {
    return waveFile(tag, c.channels, kRate, static_cast<std::uint16_t>(c.bits), samples);
}

Bytes handAiff(const SoxCase& c, const Bytes& samples) {
    return formFile("AIFF", {commChunk(static_cast<std::int16_t>(c.channels), kFrames,
                                       static_cast<std::int16_t>(c.bits), kRate),
                             ssndChunk(samples)});
}

Bytes handAifc(const char* compression, const SoxCase& c, const Bytes& samples) {
    return formFile("AIFC", {aifcCommChunk(static_cast<std::int16_t>(c.channels), kFrames,
                                           static_cast<std::int16_t>(c.bits), kRate, compression),
                             ssndChunk(samples)});
}

const auto pcm = [](const SoxCase& c, const Bytes& s) { return handWave(1, c, s); };
const auto ieee = [](const SoxCase& c, const Bytes& s) { return handWave(3, c, s); };
const auto aiff = [](const SoxCase& c, const Bytes& s) { return handAiff(c, s); };
const auto aifcNone = [](const SoxCase& c, const Bytes& s) { return handAifc("NONE", c, s); };
const auto aifcFl32 = [](const SoxCase& c, const Bytes& s) { return handAifc("fl32", c, s); };
const auto aifcFl64 = [](const SoxCase& c, const Bytes& s) { return handAifc("fl64", c, s); };

const SoxCase kCases[] = {
    {"wav_u8", Kind::Unsigned, 8, 2, false, "-t wav", kByte, pcm},
    {"wav_s16", Kind::Int, 16, 2, false, "-t wav", kInt16LE, pcm},
    {"wav_s16_quad", Kind::Int, 16, 4, false, "-t wav", kInt16LE, pcm},  // extensible
    {"wav_s24", Kind::Int, 24, 2, false, "-t wav", kInt24LE, pcm},       // extensible
    {"wav_s32", Kind::Int, 32, 1, false, "-t wav", kInt32LE, pcm},       // extensible
    {"wav_f32", Kind::Float, 32, 2, false, "-t wav", kFloat32LE, ieee},
    {"wav_f32_quad", Kind::Float, 32, 4, false, "-t wav", kFloat32LE, ieee},  // extensible float
    {"wav_f64", Kind::Float, 64, 1, false, "-t wav", kFloat64LE, ieee},
    {"wav_alaw", Kind::ALaw, 8, 2, false, "-t wav", kCompressed,
     [](const SoxCase& c, const Bytes& s) { return handWave(6, c, s); }},
    {"wav_ulaw", Kind::MuLaw, 8, 1, false, "-t wav", kCompressed,
     [](const SoxCase& c, const Bytes& s) { return handWave(7, c, s); }},
    {"aiff_s8", Kind::Int, 8, 2, true, "-t aiff", kChar, aiff},
    {"aiff_s16", Kind::Int, 16, 2, true, "-t aiff", kInt16BE, aiff},
    {"aiff_s24", Kind::Int, 24, 1, true, "-t aiff", kInt24BE, aiff},
    {"aiff_s32", Kind::Int, 32, 2, true, "-t aiff", kInt32BE, aiff},
    {"aifc_s8", Kind::Int, 8, 1, true, "-t aifc", kChar, aifcNone},
    {"aifc_s16", Kind::Int, 16, 2, true, "-t aifc", kInt16BE, aifcNone},
    {"aifc_s24", Kind::Int, 24, 2, true, "-t aifc", kInt24BE, aifcNone},
    {"aifc_s32", Kind::Int, 32, 1, true, "-t aifc", kInt32BE, aifcNone},
    {"aifc_f32", Kind::Float, 32, 2, true, "-t aifc", kFloat32BE, aifcFl32},
    {"aifc_f64", Kind::Float, 64, 1, true, "-t aifc", kFloat64BE, aifcFl64},
};

class SoxFiles : public ReaderTest, public ::testing::WithParamInterface<SoxCase> {};

TEST_P(SoxFiles, DecodeLikeHandMadeFiles) {
    const SoxCase& c = GetParam();
    const Bytes samples = storedSamples(c);
    writeFile(path("in.raw"), samples);
    const std::string command = "sox -V1 -D -t raw -r " + std::to_string(kRate) + " -c " +
                                std::to_string(c.channels) + " -e " + soxEncoding(c.kind) + " -b " +
                                std::to_string(c.bits) + (c.bigEndian ? " -B " : " -L ") + path("in.raw") +
                                " -e " + soxEncoding(c.kind) + " -b " + std::to_string(c.bits) + " " +
                                c.outArgs + " " + path("sox.out");
    ASSERT_EQ(run(command), 0) << command;

    const auto sox = Soundfile::open(path("sox.out"));
    const auto hand = open("hand.out", c.handMade(c, samples));
    EXPECT_EQ(sox->description(), (Description{kRate, c.channels, c.expected}));
    EXPECT_EQ(hand->description(), sox->description());
    EXPECT_EQ(sox->decoder().frameCount(), kFrames);
    const std::vector<float> fromSox = readAll(*sox);
    EXPECT_EQ(fromSox, readAll(*hand));
    EXPECT_EQ(console_.str(), "");
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, SoxFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SoxCase>& info) { return info.param.name; });

// Codecs the reader does not have: described, then refused when read.
TEST_F(ReaderTest, SoxAdpcmFilesFailCleanly) {
    for (const char* encoding : {"ima-adpcm", "ms-adpcm", "gsm-full-rate"}) {
        ASSERT_EQ(run("sox -V1 -n -r 8000 -c 1 -e " + std::string(encoding) + " " + path("adpcm.wav") +
                      " synth 0.1 sine 440"),
                  0);
        const auto file = Soundfile::open(path("adpcm.wav"));
        EXPECT_EQ(file->description().format, kUnknown) << encoding;
        EXPECT_EQ(file->decoder().frameCount(), 0u);
        std::vector<float> out(1);
        EXPECT_THROW(file->decoder().read(out.data(), 1), std::runtime_error) << encoding;
    }
}

// sox's own G.711 expansion to 16-bit integers agrees with ours.
TEST_F(ReaderTest, G711MatchesSoxExpansion) {
    Bytes codes(256);
    for (int i = 0; i < 256; ++i)
        codes[i] = static_cast<std::uint8_t>(i);
    for (const auto& [tag, encoding] : {std::pair<std::uint16_t, const char*>{6, "a-law"}, {7, "u-law"}}) {
        writeFile(path("g711.wav"), waveFile(tag, 1, kRate, 8, codes));
        ASSERT_EQ(
            run("sox -V1 -D " + path("g711.wav") + " -t raw -e signed-integer -b 16 -L " + path("lin.raw")),
            0);
        const Bytes linear = readFile(path("lin.raw"));
        ASSERT_EQ(linear.size(), 512u) << encoding;
        const auto file = Soundfile::open(path("g711.wav"));
        const std::vector<float> decoded = readAll(*file);
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::int16_t>(linear[2 * i] | linear[2 * i + 1] << 8);
            EXPECT_EQ(decoded[i], static_cast<float>(v) * kK16) << encoding << " code " << i;
        }
    }
}

}  // namespace
}  // namespace audio::test
