// The commands without a sound device: render's options, render, bank and params.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/CommandLine.h"
#include "app/RenderOptions.h"
#include "engine/ParamSpec.h"
#include "patches/BankStorage.h"
#include "patches/PatchStatus.h"
#include "tests/app/AppTestSupport.h"
#include "tests/patches/FakePanel.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using apptest::readBytes;
using apptest::run;
using apptest::scratch;
using apptest::wavSamples;

RenderOptions parse(std::vector<std::string> args) {
    return parseRenderOptions(Args(args));
}

// The options a test compares, in one tuple: seconds, rate, stereo, bits, interpolation, buffer frames,
// buffer count, soft stop, loop reset, per-stream files, periods.
auto summary(const RenderOptions& o) {
    return std::tuple(o.seconds, o.rate, o.stereo, o.bits, o.interpolation, o.bufferFrames, o.bufferCount,
                      o.softStop, o.resetLoop, o.perStream, periodCount(o));
}

TEST(RenderOptions, DefaultsAreThoseOfTheWindowAndEveryOptionStreamItemAndTimedChangeIsRead) {
    const RenderOptions defaults = parse({"-o", "x.wav"});
    EXPECT_EQ(defaults.output, "x.wav");
    // ceil(5 × 44100 / 256) = ceil(861.33) = 862 periods.
    EXPECT_EQ(summary(defaults),
              std::tuple(5.0, 44100u, true, 32, Interpolation::Spline, 256, 4, true, true, false, 862));
    ASSERT_EQ(defaults.streams.size(), 1u);  // one stream with the built-in sine
    EXPECT_TRUE(defaults.streams[0].sound.empty());

    const RenderOptions every = parse({"--seconds", "2.5", "--rate", "22050", "--mono", "--bits", "16",
                                       "--interp", "cubic", "--buffer", "512", "--buffers", "7",
                                       "--hard-stop", "--no-reset-loop", "--per-stream", "-o", "y.wav"});
    // ceil(2.5 × 22050 / 512) = ceil(107.67) = 108 periods.
    EXPECT_EQ(summary(every),
              std::tuple(2.5, 22050u, false, 16, Interpolation::Cubic, 512, 7, false, false, true, 108));

    const StreamSpec stream = parseStreamSpec(
        "sound=/tmp/a b.wav,Pitch=-16384,Amp=1024,mute,solo,hardsync,channel=right,ChangeTime=1");
    EXPECT_EQ(std::tuple(stream.sound, stream.mute, stream.solo, stream.hardSync, stream.channelSelect),
              std::tuple("/tmp/a b.wav", true, true, true, 2));
    EXPECT_EQ(stream.overrides, (std::vector<std::pair<int, int32_t>>{{13, -16384}, {23, 1024}, {28, 1}}));
    const StreamSpec banked = parseStreamSpec("bank=b.fpb,patch=20");
    EXPECT_EQ(
        std::tuple(parseStreamSpec("channel=left").channelSelect,
                   parseStreamSpec("channel=both").channelSelect, parseStreamSpec("patch=default").patch,
                   parseStreamSpec("sound=sine").sound, banked.bank, banked.patch),
        std::tuple(1, 3, 0, "", "b.fpb", 20));

    // Timed changes round halves to even at the final rate: 2^-14 s and 3 × 2^-14 s are 0.5 and 1.5 frames at
    // 8192 Hz, exactly.
    const RenderOptions options =
        parse({"--stream", "sound=sine", "--stream", "sound=sine", "--at", "0.00006103515625:Amp=1", "--at",
               "0.00018310546875:2:Pitch=-5", "--at", "1.25:ChangeTime=4096", "--rate", "8192"});
    std::vector<std::tuple<int64_t, int, int, int32_t>> changes;  // frame, stream, parameter, value
    for (const TimedChange& c : options.changes)
        changes.emplace_back(c.frame, c.stream, c.param, c.value);
    EXPECT_EQ(changes, (decltype(changes){{0, 0, 23, 1}, {2, 1, 13, -5}, {10240, 0, 28, 4096}}));
}

TEST(RenderOptions, WrongCommandLinesAreUsageErrorsAndHelpStopsParsing) {
    // Options without their value, and options with each of their wrong values; there is only one stream.
    EXPECT_THROW(parse({"--bogus"}), UsageError);
    EXPECT_THROW(parse({"-o"}), UsageError);
    const std::pair<std::string, std::vector<std::string>> wrong[] = {
        {"--seconds", {"0", "-1", "five", "10801"}},
        {"--rate", {"100", "44100.5"}},
        {"--bits", {"8"}},
        {"--interp", {"sinc"}},
        {"--buffer", {"100", "0", "32768"}},
        {"--buffers", {"0", "8"}},
        {"--at", {"1:Amp", "x:Amp=1", "1:9:Amp=1", "1:2:Amp=1", "1:Loud=1", "1:Amp=1025"}},
        {"--stream",
         {"", "sound=", "loud", "Amp=-1", "AttackRnd=256", "Freq=24", "channel=up", "patch=21", "patch=0"}}};
    for (const auto& [option, values] : wrong) {
        for (const std::string& value : values)
            EXPECT_THROW(parse({option, value}), UsageError) << option << " " << value;
    }
    std::vector<std::string> nine;  // one stream too many
    for (int i = 0; i < 9; ++i)
        nine.insert(nine.end(), {"--stream", "sound=sine"});
    EXPECT_THROW(parse(nine), UsageError);
    EXPECT_TRUE(parse({"--help", "--bogus"}).help);
    EXPECT_TRUE(parse({"-h"}).help);
}

int render(const std::vector<std::string>& args) {
    return apptest::run("render", args);
}

bool allZero(const std::vector<float>& samples, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, samples.size());
    return std::all_of(samples.begin() + static_cast<long>(from), samples.begin() + static_cast<long>(to),
                       [](float x) { return x == 0.0f; });
}

size_t filesIn(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Small renders: 8000 Hz, periods of 64 frames.
std::vector<std::string> small(const fs::path& out, std::vector<std::string> more) {
    std::vector<std::string> args{"-o", out.string(), "--rate", "8000", "--buffer", "64", "--mono"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(RenderCommand, HardStopWritesExactlyTheRequestedPeriodsWithTheirHeader) {
    const auto out = scratch() / "out.wav";
    // Size, rate, format (3 float, 1 integer), channels and bits of the file a render writes.
    const auto header = [&](const std::vector<std::string>& args) {
        EXPECT_EQ(render(args), 0);
        const audio::test::Bytes bytes = audio::test::readFile(out);
        return std::tuple(bytes.size(), audio::test::le32At(bytes, 24), int{bytes[20]}, int{bytes[22]},
                          int{bytes[34]});
    };
    // ceil(0.1 × 8000 / 64) = ceil(12.5) = 13 periods of 64 mono float frames.
    EXPECT_EQ(header(small(out, {"--seconds", "0.1", "--hard-stop"})),
              std::tuple(44u + 13u * 64u * 4u, 8000u, 3, 1, 32));
    // ceil(0.05 × 22050 / 256) = ceil(4.31) = 5 periods; 2 channels of 2 bytes.
    EXPECT_EQ(
        header({"-o", out.string(), "--seconds", "0.05", "--rate", "22050", "--bits", "16", "--hard-stop"}),
        std::tuple(44u + 5u * 256u * 4u, 22050u, 1, 2, 16));
}

// Where renders of 1 s (125 periods) sound and where they are silent. GrainLen 4096 makes grains of 16 s; at
// the soft stop every one is cut to a 4000-frame fade, which ends in the 63rd period after it (4000 / 64 =
// 62.5). A stream silent until 0.5 s = frame 4000 sounds from the first period starting there, period 63
// (frame 4032).
TEST(RenderCommand, ASoftStopFadesLongGrainsOverHalfASecondAndAChangeAppliesFromItsPeriod) {
    struct Case {
        size_t frames, soundFrom, silentFrom, silentTo;
        std::vector<std::string> more;
    };
    const std::vector<std::string> raisedAtHalf{"--hard-stop",    "--stream", "sound=sine,Amp=0", "--at",
                                                "0:ChangeTime=1", "--at",     "0.5:Amp=1024"};
    const auto out = scratch() / "out.wav";
    for (const Case& c : std::vector<Case>{
             {(125 + 63) * 64, 8000, 8000 + 4000, SIZE_MAX, {"--stream", "sound=sine,GrainLen=4096,Freq=25"}},
             {125 * 64, 4032, 0, 4032, raisedAtHalf}}) {
        auto args = small(out, {"--seconds", "1"});
        args.insert(args.end(), c.more.begin(), c.more.end());
        ASSERT_EQ(render(args), 0);
        const auto all = wavSamples(out);
        ASSERT_EQ(all.size(), c.frames);
        EXPECT_FALSE(allZero(all, c.soundFrom, c.soundFrom + 1000));
        EXPECT_TRUE(allZero(all, c.silentFrom, c.silentTo));
    }
}

TEST(RenderCommand, PerStreamFilesSumToTheMixAndSoloMutesTheOthers) {
    const auto dir = scratch();
    const std::vector<std::string> streams{"--seconds",          "0.2",      "--stream",
                                           "sound=sine,Amp=300", "--stream", "sound=sine,Pitch=9000,Amp=200"};
    auto perStream = small(dir / "s.wav", streams);
    perStream.push_back("--per-stream");
    ASSERT_EQ(render(small(dir / "mix.wav", streams)), 0);
    ASSERT_EQ(render(perStream), 0);
    EXPECT_FALSE(fs::exists(dir / "s.wav"));
    const auto mix = wavSamples(dir / "mix.wav");
    const auto one = wavSamples(dir / "s.1.wav");
    const auto two = wavSamples(dir / "s.2.wav");
    ASSERT_EQ(mix.size(), one.size());
    ASSERT_EQ(mix.size(), two.size());
    // Quiet streams: nothing is clamped, and the mix is the sum up to float rounding.
    double largest = 0.0;
    for (size_t i = 0; i < mix.size(); ++i) {
        largest = std::max(largest, std::fabs(static_cast<double>(mix[i])));
        ASSERT_NEAR(mix[i], one[i] + two[i], 1e-6) << i;
    }
    EXPECT_GT(largest, 0.01);

    // Stream 2 solo: streams 1 and 3 are muted; their files hold silence of the same length.
    ASSERT_EQ(
        render(small(dir / "solo.wav", {"--seconds", "0.2", "--per-stream", "--stream", "sound=sine",
                                        "--stream", "sound=sine,Pitch=3000,solo", "--stream", "sound=sine"})),
        0);
    for (int n = 1; n <= 3; ++n) {
        const auto file = wavSamples(dir / ("solo." + std::to_string(n) + ".wav"));
        EXPECT_EQ(allZero(file), n != 2) << n;
        EXPECT_EQ(file.size(), one.size());
    }
}

TEST(RenderCommand, UsageErrorsAndFailuresWriteNothingAndKeepThePreviousFileAndHelpDescribesTheOptions) {
    const auto dir = scratch();
    const auto out = dir / "out.wav";
    std::ofstream(out) << "an earlier render";
    std::ofstream(dir / "notes.wav") << "not a sound";
    std::ofstream(dir / "bank.fpb") << "Fbnk";             // a bank file that is not one
    EXPECT_THROW(render({"--seconds", "1"}), UsageError);  // no -o
    EXPECT_THROW(render({"-o", (dir / "x.aiff").string(), "--per-stream"}), UsageError);
    // The built-in sine has one channel; the default bank has no patch 3.
    for (const char* stream : {"sound=sine,channel=right", "sound=sine,channel=both", "patch=3"})
        EXPECT_THROW(render(small(dir / "x.wav", {"--stream", stream})), UsageError) << stream;
    // Help describes every option.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(render({"--help"}), 0);
    const std::string help = ::testing::internal::GetCapturedStdout();
    for (const char* option :
         {"-o OUT.wav", "--seconds", "--rate", "--mono", "--bits", "--interp", "--buffer ", "--buffers",
          "--soft-stop", "--no-reset-loop", "--per-stream", "--at", "--stream"})
        EXPECT_NE(help.find(option), std::string::npos) << option;

    for (const std::string& bad :
         {"sound=" + (dir / "missing.wav").string(), "sound=" + (dir / "notes.wav").string(),
          "bank=" + (dir / "bank.fpb").string() + ",patch=1"})
        EXPECT_EQ(render(small(out, {"--stream", bad})), 1) << bad;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(render(small(dir / "no-folder" / "x.wav", {"--seconds", "0.1"})), 1);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(said.starts_with("frisson render: Could not open \"" +
                                 (dir / "no-folder" / "x.wav").string() + "\" for output: "))
        << said;
    EXPECT_EQ(readBytes(dir / "bank.fpb"), "Fbnk");
    EXPECT_EQ(readBytes(out), "an earlier render");
    EXPECT_EQ(filesIn(dir), 3u);

    // A write that fails midway leaves no partial file either: 20 s of 8000 Hz stereo float is 1.28 MB; the
    // file's growth past its first MiB fails.
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previous;
    limit.rlim_cur = 2'000'000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const int status =
        render({"-o", out.string(), "--rate", "8000", "--seconds", "20", "--stream", "sound=sine,Amp=0"});
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(readBytes(out), "an earlier render");
    EXPECT_EQ(filesIn(dir), 3u);
}

// Values of a patch: each parameter a third of the way through its range, except what a quiet, quick render
// needs.
patches::ParamValues patchValues(int32_t pitch) {
    patches::ParamValues values{};
    for (int p = 0; p < engine::kParamCount; ++p) {
        const auto& row = engine::paramSpec(p);
        values[static_cast<size_t>(p)] = row.min + (row.max - row.min) / 3;
    }
    values[engine::Pitch] = pitch;
    values[engine::Amp] = 300;
    values[engine::PanPos] = 100;  // not recalled: the render must keep its default 0
    return values;
}

class BankCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = patches::testing::freshFolder();
        folder = dir.string() + "/";
        patches::PatchBank bank;
        bank.name = "live";
        for (int slot : {2, 5}) {
            patches::Patch& p = bank.slot(slot);
            p.flags = patches::kPatchOccupied | patches::kPatchUnsaved;
            p.setSoundPath(slot == 2 ? "fizz_sine" : "/sounds/voice.wav");
            p.values = patchValues(slot == 2 ? 5000 : 7000);
            ++bank.count;
        }
        bank.modified = patches::kBankPatchesChanged;
        patches::testing::FakeView view;
        ASSERT_EQ(patches::saveBank(bank, folder, view), patches::kStatusBankSaved);
        bankPath = folder + "live.fpb";
    }
    fs::path dir;
    std::string folder;
    std::string bankPath;
};

TEST_F(BankCommandTest, ListsTheSavedBankInFileOrderAndRefusesWhatIsNotABank) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(run("bank", {bankPath}), kExitOk);
    const std::string listing = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(listing.starts_with("version: 100\ncount: 2\nslot 1: fizz_sine\n")) << listing;
    for (const char* part : {"slot 2: /sounds/voice.wav\n", " Pitch=5000\n", " Pitch=7000\n", " Amp=300 "})
        EXPECT_NE(listing.find(part), std::string::npos) << part;
    EXPECT_EQ(listing.find("ChangeTime"), std::string::npos) << "version 100 keeps no change time";

    // What is not a bank is refused and left alone.
    std::ofstream(dir / "empty.fpb", std::ios::binary) << "Fbnk" << std::string("\x64\0\0\0\0\0\0\0", 8);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(run("bank", {(dir / "empty.fpb").string()}), kExitFailure);
    EXPECT_EQ(run("bank", {(dir / "missing.fpb").string()}), kExitFailure);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("empty.fpb is empty"), std::string::npos) << said;
    EXPECT_NE(said.find("missing.fpb: cannot be read"), std::string::npos) << said;
    EXPECT_TRUE(fs::exists(dir / "empty.fpb"));
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"a.fpb", "b.fpb"}, {"--verbose", "a.fpb"}})
        EXPECT_THROW(run("bank", args), UsageError) << args.size();
}

// Renders that must write the same bytes: the patch recalled from the bank (slot 5, the file's second
// record) and its values spelled out, random draws included; and renders that differ only in the ring's
// size and the loop reset.
TEST_F(BankCommandTest, RendersThatMustWriteTheSameBytes) {
    const patches::ParamValues values = patchValues(7000);
    std::string spelled = "sound=sine";
    for (int p = 0; p < 27; ++p)
        spelled += ',' + std::string(engine::paramSpec(p).name) + '=' + std::to_string(values[size_t(p)]);
    const std::pair<std::vector<std::string>, std::vector<std::string>> pairs[] = {
        {{"--stream", "bank=" + bankPath + ",patch=2"}, {"--stream", spelled}},
        {{"--buffers", "1"}, {"--buffers", "7", "--no-reset-loop"}}};
    const auto bytesOf = [&](const std::string& name, std::vector<std::string> args) {
        const fs::path out = dir / name;
        args.insert(args.end(), {"--seconds", "0.3", "--rate", "22050", "-o", out.string()});
        EXPECT_EQ(run("render", args), kExitOk);
        return readBytes(out);
    };
    for (const auto& [first, second] : pairs) {
        const std::string a = bytesOf("a.wav", first);
        EXPECT_GE(a.size(), 44u + 6615u * 8u) << "0.3 s of 22050 Hz stereo float";
        EXPECT_EQ(a, bytesOf("b.wav", second));
    }
}

// Which single streams sound: muted ones, a patch recalled from the bank and made silent by an override after
// the recall, an empty patch (a warning, the defaults) and the channels of a sound with a sine on the left
// and silence on the right.
TEST_F(BankCommandTest, StreamsThatSoundAndStreamsThatAreSilent) {
    const std::string leftOnly = (dir / "left-only.wav").string();
    ASSERT_EQ(
        std::system(
            ("sox -q -n -r 8000 -c 2 '" + leftOnly + "' synth 1 sine 440 remix 1 0 >/dev/null 2>&1").c_str()),
        0);
    const std::vector<std::pair<std::string, bool>> streams{{"sound=sine,mute", true},
                                                            {"bank=" + bankPath + ",patch=1", false},
                                                            {"bank=" + bankPath + ",patch=1,Amp=0", true},
                                                            {"bank=" + bankPath + ",patch=3", false},
                                                            {"sound=" + leftOnly + ",channel=right", true},
                                                            {"sound=" + leftOnly + ",channel=left", false}};
    for (const auto& [stream, silence] : streams) {
        ::testing::internal::CaptureStderr();
        ASSERT_EQ(render(small(dir / "out.wav", {"--seconds", "0.2", "--stream", stream})), 0) << stream;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(allZero(wavSamples(dir / "out.wav")), silence) << stream;
        EXPECT_EQ(said.find("warning: patch 3 of " + bankPath + " is empty") != std::string::npos,
                  stream.ends_with("patch=3"))
            << said;
    }
}

TEST(ParamsCommand, ListsEveryParameterWithItsRangeDefaultAndMeaning) {
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(run("params", {}), kExitOk);
    const std::string text = ::testing::internal::GetCapturedStdout();
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 1u + 29u);  // the heading, then one line a parameter in scroll-bar order
    const auto line = [&](size_t param) { return lines.at(param + 1); };
    EXPECT_EQ(line(0).substr(0, 5), "Start");
    for (const auto& [param, name, range, value] :
         std::vector<std::tuple<size_t, std::string, std::string, std::string>>{
             {13, "Pitch", "-16384..16384", "6144"},
             {20, "AttackRnd", "0..255", "0"},
             {23, "Amp", "0..1024", "461"},
             {28, "ChangeTime", "1..4096", "64"}}) {
        EXPECT_EQ(line(param).substr(0, name.size()), name);
        EXPECT_NE(line(param).find(" " + range + " "), std::string::npos) << line(param);
        EXPECT_NE(line(param).find(" " + value + " "), std::string::npos) << line(param);
    }
    EXPECT_NE(line(23).find("Sets output amplitude"), std::string::npos);
    EXPECT_THROW(run("params", {"extra"}), UsageError);
}

}  // namespace
}  // namespace app
