#include "app/RenderOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace app {
namespace {

RenderOptions parse(std::vector<std::string> args) {
    return parseRenderOptions(Args(args));
}

TEST(RenderOptions, DefaultsAreThoseOfTheWindow) {
    const RenderOptions options = parse({"-o", "x.wav"});
    EXPECT_EQ(options.output, "x.wav");
    EXPECT_EQ(options.seconds, 5.0);
    EXPECT_EQ(options.rate, 44100u);
    EXPECT_TRUE(options.stereo);
    EXPECT_EQ(options.bits, 32);
    EXPECT_EQ(options.interpolation, Interpolation::Spline);
    EXPECT_EQ(options.bufferFrames, 256);
    EXPECT_EQ(options.bufferCount, 4);
    EXPECT_TRUE(options.softStop);
    EXPECT_TRUE(options.resetLoop);
    EXPECT_FALSE(options.perStream);
    ASSERT_EQ(options.streams.size(), 1u);  // one stream with the built-in sine
    EXPECT_TRUE(options.streams[0].sound.empty());
    // ceil(5 × 44100 / 256) = ceil(861.33)
    EXPECT_EQ(periodCount(options), 862);
}

TEST(RenderOptions, EveryOptionIsRead) {
    const RenderOptions options = parse({"--seconds", "2.5", "--rate", "22050", "--mono", "--bits", "16",
                                         "--interp", "cubic", "--buffer", "512", "--buffers", "7",
                                         "--hard-stop", "--no-reset-loop", "--per-stream", "-o", "y.wav"});
    EXPECT_EQ(options.seconds, 2.5);
    EXPECT_EQ(options.rate, 22050u);
    EXPECT_FALSE(options.stereo);
    EXPECT_EQ(options.bits, 16);
    EXPECT_EQ(options.interpolation, Interpolation::Cubic);
    EXPECT_EQ(options.bufferFrames, 512);
    EXPECT_EQ(options.bufferCount, 7);
    EXPECT_FALSE(options.softStop);
    EXPECT_FALSE(options.resetLoop);
    EXPECT_TRUE(options.perStream);
    EXPECT_EQ(periodCount(options), 108);  // ceil(55125 / 512) = ceil(107.67)
}

TEST(RenderOptions, StreamSpecItems) {
    const StreamSpec streamSpec = parseStreamSpec(
        "sound=/tmp/a b.wav,Pitch=-16384,Amp=1024,mute,solo,hardsync,channel=right,ChangeTime=1");
    EXPECT_EQ(streamSpec.sound, "/tmp/a b.wav");
    ASSERT_EQ(streamSpec.overrides.size(), 3u);
    EXPECT_EQ(streamSpec.overrides[0], (std::pair<int, int32_t>{13, -16384}));
    EXPECT_EQ(streamSpec.overrides[1], (std::pair<int, int32_t>{23, 1024}));
    EXPECT_EQ(streamSpec.overrides[2], (std::pair<int, int32_t>{28, 1}));
    EXPECT_TRUE(streamSpec.mute && streamSpec.solo && streamSpec.hardSync);
    EXPECT_EQ(streamSpec.channelSelect, 2);
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
    EXPECT_EQ(options.changes[0].frame, 0);
    EXPECT_EQ(options.changes[0].stream, 0);
    EXPECT_EQ(options.changes[0].param, 23);
    EXPECT_EQ(options.changes[0].value, 1);
    EXPECT_EQ(options.changes[1].frame, 2);
    EXPECT_EQ(options.changes[1].stream, 1);
    EXPECT_EQ(options.changes[1].value, -5);
    EXPECT_EQ(options.changes[2].frame, 10240);
}

TEST(RenderOptions, WrongCommandLinesAreUsageErrors) {
    const std::vector<std::vector<std::string>> wrong{
        {"--bogus"},
        {"-o"},
        {"--seconds", "0"},
        {"--seconds", "-1"},
        {"--seconds", "five"},
        {"--seconds", "10801"},
        {"--rate", "100"},
        {"--rate", "44100.5"},
        {"--bits", "8"},
        {"--interp", "sinc"},
        {"--buffer", "100"},
        {"--buffer", "0"},
        {"--buffer", "32768"},
        {"--buffers", "0"},
        {"--buffers", "8"},
        {"--at", "1:Amp"},
        {"--at", "x:Amp=1"},
        {"--at", "1:9:Amp=1"},
        {"--at", "1:2:Amp=1"},  // there is only one stream
        {"--at", "1:Loud=1"},
        {"--at", "1:Amp=1025"},
        {"--stream", ""},
        {"--stream", "sound="},
        {"--stream", "loud"},
        {"--stream", "Amp=-1"},
        {"--stream", "AttackRnd=256"},
        {"--stream", "Freq=24"},
        {"--stream", "channel=up"},
        {"--stream", "patch=21"},
        {"--stream", "patch=0"},
    };
    for (const auto& args : wrong)
        EXPECT_THROW(parse(args), UsageError) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    std::vector<std::string> nine;
    for (int i = 0; i < 9; ++i) {
        nine.push_back("--stream");
        nine.push_back("sound=sine");
    }
    EXPECT_THROW(parse(nine), UsageError);
}

TEST(RenderOptions, HelpStopsParsing) {
    EXPECT_TRUE(parse({"--help", "--bogus"}).help);
    EXPECT_TRUE(parse({"-h"}).help);
}

}  // namespace
}  // namespace app
