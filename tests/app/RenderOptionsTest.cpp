#include "app/RenderOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace app {
namespace {

RenderOptions parse(std::vector<std::string> args) {
    return parseRenderOptions(Args(args));
}

// The options a test compares, in one tuple: seconds, rate, stereo, bits,
// interpolation, buffer frames, buffer count, soft stop, loop reset, per-stream
// files, periods.
auto summary(const RenderOptions& o) {
    return std::tuple(o.seconds, o.rate, o.stereo, o.bits, o.interpolation, o.bufferFrames, o.bufferCount,
                      o.softStop, o.resetLoop, o.perStream, periodCount(o));
}

TEST(RenderOptions, DefaultsAreThoseOfTheWindowAndEveryOptionIsRead) {
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
}

TEST(RenderOptions, StreamSpecItems) {
    const StreamSpec spec = parseStreamSpec(
        "sound=/tmp/a "
        "b.wav,Pitch=-16384,Amp=1024,mute,solo,hardsync,channel="
        "right,ChangeTime=1");
    EXPECT_EQ(spec.sound, "/tmp/a b.wav");
    EXPECT_EQ(spec.overrides, (std::vector<std::pair<int, int32_t>>{{13, -16384}, {23, 1024}, {28, 1}}));
    EXPECT_TRUE(spec.mute && spec.solo && spec.hardSync);
    EXPECT_EQ(spec.channelSelect, 2);
    EXPECT_EQ(parseStreamSpec("channel=left").channelSelect, 1);
    EXPECT_EQ(parseStreamSpec("channel=both").channelSelect, 3);
    EXPECT_TRUE(parseStreamSpec("sound=sine").sound.empty());
    EXPECT_EQ(parseStreamSpec("patch=default").patch, 0);
    const StreamSpec banked = parseStreamSpec("bank=b.fpb,patch=20");
    EXPECT_EQ(banked.bank, "b.fpb");
    EXPECT_EQ(banked.patch, 20);
}

TEST(RenderOptions, TimedChangesRoundHalvesToEvenAtTheFinalRate) {
    // 2^-14 s and 3 × 2^-14 s are 0.5 and 1.5 frames at 8192 Hz, exactly.
    const RenderOptions options =
        parse({"--stream", "sound=sine", "--stream", "sound=sine", "--at", "0.00006103515625:Amp=1", "--at",
               "0.00018310546875:2:Pitch=-5", "--at", "1.25:ChangeTime=4096", "--rate", "8192"});
    ASSERT_EQ(options.changes.size(), 3u);
    const auto change = [&](size_t n) {
        const auto& c = options.changes[n];
        return std::tuple(c.frame, c.stream, c.param, c.value);
    };
    EXPECT_EQ(change(0), std::tuple(0, 0, 23, 1));
    EXPECT_EQ(change(1), std::tuple(2, 1, 13, -5));
    EXPECT_EQ(change(2), std::tuple(10240, 0, 28, 4096));
}

TEST(RenderOptions, WrongCommandLinesAreUsageErrorsAndHelpStopsParsing) {
    // Each an option and, after the first blank, its value ("--stream " has an empty one); there is
    // only one stream.
    const char* wrong[] = {"--bogus",           "-o",
                           "--seconds 0",       "--seconds -1",
                           "--seconds five",    "--seconds 10801",
                           "--rate 100",        "--rate 44100.5",
                           "--bits 8",          "--interp sinc",
                           "--buffer 100",      "--buffer 0",
                           "--buffer 32768",    "--buffers 0",
                           "--buffers 8",       "--at 1:Amp",
                           "--at x:Amp=1",      "--at 1:9:Amp=1",
                           "--at 1:2:Amp=1",    "--at 1:Loud=1",
                           "--at 1:Amp=1025",   "--stream ",
                           "--stream sound=",   "--stream loud",
                           "--stream Amp=-1",   "--stream AttackRnd=256",
                           "--stream Freq=24",  "--stream channel=up",
                           "--stream patch=21", "--stream patch=0"};
    for (const std::string line : wrong) {
        const size_t blank = line.find(' ');
        std::vector<std::string> args{line.substr(0, blank)};
        if (blank != std::string::npos)
            args.push_back(line.substr(blank + 1));
        EXPECT_THROW(parse(args), UsageError) << line;
    }
    std::vector<std::string> nine;  // one stream too many
    for (int i = 0; i < 9; ++i)
        nine.insert(nine.end(), {"--stream", "sound=sine"});
    EXPECT_THROW(parse(nine), UsageError);
    EXPECT_TRUE(parse({"--help", "--bogus"}).help);
    EXPECT_TRUE(parse({"-h"}).help);
}

}  // namespace
}  // namespace app
