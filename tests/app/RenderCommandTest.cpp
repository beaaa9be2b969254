#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "engine/ParamSpec.h"
#include "patches/BankFile.h"

namespace app {
namespace {

namespace fs = std::filesystem;

// Runs `frisson render` with the arguments; UsageError escapes as it does to main.
int render(std::vector<std::string> args) {
    for (const auto& command : commands()) {
        if (std::string(command.name) == "render")
            return command.run(Args(args));
    }
    ADD_FAILURE() << "no render command";
    return -1;
}

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::path(FRISSON_TEST_TMP) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(i)));
    return value;
}

// The float samples of a 32-bit float WAV file with the 44-byte header the recorder writes.
std::vector<float> floatSamples(const fs::path& path) {
    const std::string bytes = readBytes(path);
    EXPECT_GE(bytes.size(), 44u);
    EXPECT_EQ(le32(bytes, 40), bytes.size() - 44);
    std::vector<float> samples((bytes.size() - 44) / 4);
    std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 4);
    return samples;
}

bool allZero(const std::vector<float>& samples, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, samples.size());
    return std::all_of(samples.begin() + static_cast<long>(from), samples.begin() + static_cast<long>(to),
                       [](float x) { return x == 0.0f; });
}

// Small renders: 8000 Hz, periods of 64 frames.
std::vector<std::string> small(const fs::path& out, std::vector<std::string> more) {
    std::vector<std::string> args{"-o", out.string(), "--rate", "8000", "--buffer", "64", "--mono"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(RenderCommand, HardStopWritesExactlyTheRequestedPeriods) {
    const auto out = scratch("render-hard") / "out.wav";
    ASSERT_EQ(render(small(out, {"--seconds", "0.1", "--hard-stop"})), 0);
    // ceil(0.1 × 8000 / 64) = ceil(12.5) = 13 periods of 64 frames.
    const std::string bytes = readBytes(out);
    EXPECT_EQ(bytes.size(), 44u + 13u * 64u * 4u);
    EXPECT_EQ(le32(bytes, 24), 8000u);
    EXPECT_EQ(bytes[20], 3);  // float
    EXPECT_EQ(bytes[22], 1);  // mono
}

TEST(RenderCommand, SixteenBitStereoHeader) {
    const auto out = scratch("render-16") / "out.wav";
    ASSERT_EQ(
        render({"-o", out.string(), "--seconds", "0.05", "--rate", "22050", "--bits", "16", "--hard-stop"}),
        0);
    const std::string bytes = readBytes(out);
    // ceil(0.05 × 22050 / 256) = ceil(4.31) = 5 periods; 2 channels of 2 bytes.
    EXPECT_EQ(bytes.size(), 44u + 5u * 256u * 4u);
    EXPECT_EQ(bytes[20], 1);
    EXPECT_EQ(bytes[22], 2);
    EXPECT_EQ(bytes[34], 16);
}

TEST(RenderCommand, SoftStopFadesLongGrainsOverHalfASecond) {
    const auto out = scratch("render-soft") / "out.wav";
    // GrainLen 4096 makes grains of 16 s; at the stop after 1 s every one is cut to a
    // 4000-frame fade, which ends in the 63rd period after it (4000 / 64 = 62.5).
    ASSERT_EQ(render(small(out, {"--seconds", "1", "--stream", "sound=sine,GrainLen=4096,Freq=25"})), 0);
    const auto samples = floatSamples(out);
    ASSERT_EQ(samples.size(), (125u + 63u) * 64u);
    const size_t stop = 125 * 64;
    EXPECT_FALSE(allZero(samples, stop, stop + 1000));
    EXPECT_TRUE(allZero(samples, stop + 4000));
}

TEST(RenderCommand, SameCommandWritesTheSameBytes) {
    const auto dir = scratch("render-same");
    const auto args = [&](const fs::path& out) {
        return small(out,
                     {"--seconds", "0.5", "--stream", "sound=sine,FreqRnd=256,PitchRnd=200,PanRnd=256",
                      "--stream", "sound=sine,StartRnd=256,GrainLenRnd=256", "--at", "0.2:2:Pitch=-3000"});
    };
    ASSERT_EQ(render(args(dir / "a.wav")), 0);
    ASSERT_EQ(render(args(dir / "b.wav")), 0);
    const std::string a = readBytes(dir / "a.wav");
    EXPECT_GT(a.size(), 44u + 4000u * 4u);
    EXPECT_EQ(a, readBytes(dir / "b.wav"));
}

TEST(RenderCommand, RingSizeAndLoopResetDoNotChangeTheOutput) {
    const auto dir = scratch("render-ring");
    ASSERT_EQ(render(small(dir / "a.wav", {"--seconds", "0.3", "--buffers", "1"})), 0);
    ASSERT_EQ(render(small(dir / "b.wav", {"--seconds", "0.3", "--buffers", "7", "--no-reset-loop"})), 0);
    EXPECT_EQ(readBytes(dir / "a.wav"), readBytes(dir / "b.wav"));
}

TEST(RenderCommand, ChangeAppliesFromTheFirstPeriodAtOrAfterItsTime) {
    const auto out = scratch("render-at") / "out.wav";
    // Silent until 0.5 s = frame 4000; the first period starting there is period 63 (frame 4032).
    ASSERT_EQ(render(small(out, {"--seconds", "1", "--hard-stop", "--stream", "sound=sine,Amp=0", "--at",
                                 "0:ChangeTime=1", "--at", "0.5:Amp=1024"})),
              0);
    const auto samples = floatSamples(out);
    ASSERT_EQ(samples.size(), 125u * 64u);
    EXPECT_TRUE(allZero(samples, 0, 4032));
    EXPECT_FALSE(allZero(samples, 4032, 4032 + 1000));
}

TEST(RenderCommand, MutedStreamIsSilentAndSoloMutesTheOthers) {
    const auto dir = scratch("render-mute");
    ASSERT_EQ(render(small(dir / "muted.wav", {"--seconds", "0.2", "--stream", "sound=sine,mute"})), 0);
    EXPECT_TRUE(allZero(floatSamples(dir / "muted.wav")));

    // Stream 2 solo: streams 1 and 3 are muted; their files hold silence of the same length.
    ASSERT_EQ(
        render(small(dir / "solo.wav", {"--seconds", "0.2", "--per-stream", "--stream", "sound=sine",
                                        "--stream", "sound=sine,Pitch=3000,solo", "--stream", "sound=sine"})),
        0);
    EXPECT_FALSE(fs::exists(dir / "solo.wav"));
    EXPECT_TRUE(allZero(floatSamples(dir / "solo.1.wav")));
    EXPECT_FALSE(allZero(floatSamples(dir / "solo.2.wav")));
    EXPECT_TRUE(allZero(floatSamples(dir / "solo.3.wav")));
    EXPECT_EQ(floatSamples(dir / "solo.1.wav").size(), floatSamples(dir / "solo.2.wav").size());
}

TEST(RenderCommand, AmpFollowingOnTheSineScalesEveryGrain) {
    // The built-in sine's loudness table is 0.5 everywhere, so AmpAM M scales every grain by
    // f = (|M| × 0.5 + 512 − |M|) / 512 and leaves everything else (draws, timing) as it was.
    const auto dir = scratch("render-ampam");
    const auto renderWith = [&](int depth) {
        const fs::path out = dir / ("am" + std::to_string(depth) + ".wav");
        EXPECT_EQ(render(small(out, {"--seconds", "0.3", "--hard-stop", "--stream",
                                     "sound=sine,Amp=300,AmpAM=" + std::to_string(depth)})),
                  0);
        return floatSamples(out);
    };
    const std::vector<float> plain = renderWith(0);
    ASSERT_FALSE(allZero(plain));
    for (const int depth : {512, -512, 256, -300}) {
        const double f = (std::abs(depth) * 0.5 + 512 - std::abs(depth)) / 512;
        const std::vector<float> followed = renderWith(depth);
        ASSERT_EQ(followed.size(), plain.size());
        double worst = 0;
        for (size_t i = 0; i < plain.size(); ++i)
            worst = std::max(worst, std::abs(followed[i] - f * plain[i]));
        EXPECT_LT(worst, 1e-5) << "AmpAM " << depth << " should scale the render by " << f;
    }
}

TEST(RenderCommand, PerStreamFilesSumToTheMix) {
    const auto dir = scratch("render-sum");
    const std::vector<std::string> streams{"--seconds",          "0.2",      "--stream",
                                           "sound=sine,Amp=300", "--stream", "sound=sine,Pitch=9000,Amp=200"};
    auto mixArgs = small(dir / "mix.wav", streams);
    auto perStreamArgs = small(dir / "s.wav", streams);
    perStreamArgs.push_back("--per-stream");
    ASSERT_EQ(render(mixArgs), 0);
    ASSERT_EQ(render(perStreamArgs), 0);
    const auto mix = floatSamples(dir / "mix.wav");
    const auto one = floatSamples(dir / "s.1.wav");
    const auto two = floatSamples(dir / "s.2.wav");
    ASSERT_EQ(mix.size(), one.size());
    ASSERT_EQ(mix.size(), two.size());
    // Quiet streams: nothing is clamped, and the mix is the sum up to float rounding.
    double largest = 0.0;
    for (size_t i = 0; i < mix.size(); ++i) {
        largest = std::max(largest, std::fabs(static_cast<double>(mix[i])));
        ASSERT_NEAR(mix[i], one[i] + two[i], 1e-6) << i;
    }
    EXPECT_GT(largest, 0.01);
}

TEST(RenderCommand, PatchRecallFromABankFile) {
    const auto dir = scratch("render-bank");
    // Slot 1 holds the defaults with Amp 0: a silent patch. Slot 2 is empty.
    patches::PatchBank bank;
    patches::Patch& silent = bank.slot(1);
    silent.flags = patches::kPatchOccupied;
    silent.setSoundPath("fizz_sine");
    silent.values = engine::defaultParamSet();
    silent.values[engine::Amp] = 0;
    bank.count = 1;
    const auto bankPath = dir / "quiet.fpb";
    std::ofstream(bankPath, std::ios::binary) << patches::encodeBankFile(bank);

    ASSERT_EQ(render(small(dir / "one.wav",
                           {"--seconds", "0.2", "--stream", "bank=" + bankPath.string() + ",patch=1"})),
              0);
    EXPECT_TRUE(allZero(floatSamples(dir / "one.wav")));
    // An override comes after the recall.
    ASSERT_EQ(render(small(dir / "loud.wav", {"--seconds", "0.2", "--stream",
                                              "bank=" + bankPath.string() + ",patch=1,Amp=400"})),
              0);
    EXPECT_FALSE(allZero(floatSamples(dir / "loud.wav")));

    ::testing::internal::CaptureStderr();
    ASSERT_EQ(render(small(dir / "two.wav",
                           {"--seconds", "0.2", "--stream", "bank=" + bankPath.string() + ",patch=2"})),
              0);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("warning: patch 2 of " + bankPath.string() + " is empty"), std::string::npos) << said;
    EXPECT_FALSE(allZero(floatSamples(dir / "two.wav")));
    EXPECT_TRUE(fs::exists(bankPath));
}

TEST(RenderCommand, ChannelChoiceOfAStereoSound) {
    const auto dir = scratch("render-channel");
    const auto sound = dir / "left-only.wav";
    // A sine on the left, silence on the right.
    const std::string make =
        "sox -q -n -r 8000 -c 2 '" + sound.string() + "' synth 1 sine 440 remix 1 0 >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    ASSERT_EQ(render(small(dir / "right.wav",
                           {"--seconds", "0.2", "--stream", "sound=" + sound.string() + ",channel=right"})),
              0);
    EXPECT_TRUE(allZero(floatSamples(dir / "right.wav")));
    ASSERT_EQ(render(small(dir / "left.wav",
                           {"--seconds", "0.2", "--stream", "sound=" + sound.string() + ",channel=left"})),
              0);
    EXPECT_FALSE(allZero(floatSamples(dir / "left.wav")));
}

TEST(RenderCommand, UsageErrorsFoundAfterParsing) {
    const auto dir = scratch("render-usage");
    EXPECT_THROW(render({"--seconds", "1"}), UsageError);  // no -o
    EXPECT_THROW(render({"-o", (dir / "x.aiff").string(), "--per-stream"}), UsageError);
    // The built-in sine has one channel.
    EXPECT_THROW(render(small(dir / "x.wav", {"--stream", "sound=sine,channel=right"})), UsageError);
    EXPECT_THROW(render(small(dir / "x.wav", {"--stream", "sound=sine,channel=both"})), UsageError);
    EXPECT_THROW(render(small(dir / "x.wav", {"--stream", "patch=3"})), UsageError);
    EXPECT_FALSE(fs::exists(dir / "x.wav"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
}

TEST(RenderCommand, FailuresExitWithOneAndKeepThePreviousFile) {
    const auto dir = scratch("render-fail");
    const auto out = dir / "out.wav";
    std::ofstream(out) << "an earlier render";
    EXPECT_EQ(render(small(out, {"--stream", ("sound=" + (dir / "missing.wav").string())})), 1);
    const auto notes = dir / "notes.wav";
    std::ofstream(notes) << "not a sound";
    EXPECT_EQ(render(small(out, {"--stream", "sound=" + notes.string()})), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(render(small(dir / "no-folder" / "x.wav", {"--seconds", "0.1"})), 1);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("frisson render: Could not open \"" + (dir / "no-folder" / "x.wav").string() +
                             "\" for output: ",
                         0),
              0u)
        << said;
    // A bank file that is not one is an error, and it is left alone.
    const auto bank = dir / "bank.fpb";
    std::ofstream(bank) << "Fbnk";
    EXPECT_EQ(render(small(out, {"--stream", "bank=" + bank.string() + ",patch=1"})), 1);
    EXPECT_EQ(readBytes(bank), "Fbnk");
    EXPECT_EQ(readBytes(out), "an earlier render");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

TEST(RenderCommand, WriteFailureMidwayLeavesNoPartialFile) {
    const auto dir = scratch("render-full");
    const auto out = dir / "out.wav";
    std::ofstream(out) << "an earlier render";
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previous;
    limit.rlim_cur = 2'000'000;
    setrlimit(RLIMIT_FSIZE, &limit);
    // 20 s of 8000 Hz stereo float is 1.28 MB; the file's growth past its first MiB fails.
    const int status =
        render({"-o", out.string(), "--rate", "8000", "--seconds", "20", "--stream", "sound=sine,Amp=0"});
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(readBytes(out), "an earlier render");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST(RenderCommand, HelpDescribesTheOptions) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(render({"--help"}), 0);
    const std::string help = ::testing::internal::GetCapturedStdout();
    for (const char* option :
         {"-o OUT.wav", "--seconds", "--rate", "--mono", "--bits", "--interp", "--buffer ", "--buffers",
          "--soft-stop", "--no-reset-loop", "--per-stream", "--at", "--stream"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace app
