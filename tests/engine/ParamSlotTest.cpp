#include "engine/Engine.h"
#include "engine/ParamSlot.h"
#include "sounds/SoundTable.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using engine::ParamSlot;

constexpr int32_t kUpdateFrames = 104;

TEST(ParamSmoothing, GlidesByAStepPer100FramesAndArrivesExactly) {
    // ChangeTime 64 at 44100 Hz: T = 44100 frames, so each update moves 1000 / 441.
    ParamSlot slot;
    slot.target = 6144;
    slot.snap();
    slot.startChange(7144, 44100, 0);
    EXPECT_EQ(slot.endFrame, 44100);
    EXPECT_NEAR(slot.step.load(), 1000.0 / 441.0, 1e-5);

    float previous = slot.currentValue();
    for (int k = 0; k <= 423; ++k) {  // 44100 − 104 k ≥ 100 for k ≤ 423
        slot.update(k * kUpdateFrames);
        const float now = slot.currentValue();
        ASSERT_NEAR(now - previous, 1000.0 / 441.0, 2e-3) << k;
        ASSERT_LT(now, 7144.0f) << "no arrival before the last update";
        ASSERT_EQ(slot.intValue(), static_cast<int32_t>(now));
        previous = now;
    }
    slot.update(424 * kUpdateFrames);  // 4 frames to go: snap
    EXPECT_EQ(slot.currentValue(), 7144.0f);
    EXPECT_EQ(slot.intValue(), 7144);
    EXPECT_EQ(slot.step.load(), 0.0f);
    slot.update(425 * kUpdateFrames);  // past the end: left alone
    EXPECT_EQ(slot.currentValue(), 7144.0f);
}

TEST(ParamSmoothing, GlidesDownwardsWithoutOvershoot) {
    ParamSlot slot;
    slot.target = 400;
    slot.snap();
    slot.startChange(13, 2000, 0);  // 20 updates' worth of frames
    for (int k = 0; k < 20; ++k) {
        slot.update(k * kUpdateFrames);
        ASSERT_GE(slot.currentValue(), 13.0f) << k;
    }
    EXPECT_EQ(slot.intValue(), 13);
}

TEST(ParamSmoothing, ShortChangesSnapAtTheNextUpdate) {
    ParamSlot slot;
    slot.target = 10;
    slot.snap();
    slot.startChange(99, 50, 1000);
    slot.update(1000);
    EXPECT_EQ(slot.currentValue(), 99.0f);
    EXPECT_EQ(slot.intValue(), 99);
}

TEST(ParamSmoothing, AChangeWhoseEndPassedUnseenIsNotAdvanced) {
    ParamSlot slot;
    slot.target = 100;
    slot.snap();
    slot.startChange(200, 1000, 0);
    slot.update(5000);  // e.g. the stream was muted until after the end frame
    EXPECT_EQ(slot.currentValue(), 100.0f);
    EXPECT_EQ(slot.targetValue(), 200);
    slot.snap();
    EXPECT_EQ(slot.intValue(), 200);
    EXPECT_EQ(slot.endFrame, 0);
}

class EngineParams : public ::testing::Test {
  protected:
    sounds::SoundTable table{44100};
    engine::Engine engine{table, {.rate = 44100, .stereo = true, .framesPerBuffer = 256, .bufferCount = 4}};
};

TEST_F(EngineParams, FirstStreamStartsWithDefaultsAndHomeCoarseValues) {
    const engine::Stream& s = engine.stream(0);
    EXPECT_EQ(engine.streamCount(), 1);
    EXPECT_EQ(s.stateNow(), engine::Active);
    EXPECT_EQ(s.sound, &table.builtin());
    EXPECT_EQ(s.channelSelect.load(), 1);
    EXPECT_EQ(s.param(engine::Freq).targetValue(), 6062);
    EXPECT_EQ(s.param(engine::ChangeTime).targetValue(), 64);
    // trunc(min + (max − min) / 128 × Home): Rate −8192 + 16384 / 128 × 96 = 4096.
    EXPECT_EQ(s.param(engine::Rate).coarseValue, 4096);
    // Freq 25 + 16359 / 128 × 48 = 6159.6.
    EXPECT_EQ(s.param(engine::Freq).coarseValue, 6159);
    EXPECT_EQ(engine.changeTime(), 64);
}

TEST(ParamSpecSteps, ControllerStepsSpanTheRange) {
    EXPECT_EQ(engine::controllerStep(engine::Pitch), 256.0f);    // 32768 / 128
    EXPECT_EQ(engine::fineControllerStep(engine::Pitch), 2.0f);  // 32768 / 16384
    EXPECT_EQ(engine::controllerStep(engine::AttackRnd), 255.0f / 128);
    EXPECT_FLOAT_EQ(engine::controllerStep(engine::Freq), 16359.0f / 128);
}

TEST_F(EngineParams, ParamSetHoldsTheTargets) {
    engine.setParameter(0, engine::Gliss, -77);
    engine::ParamSet expected = engine::defaultParamSet();
    expected[engine::Gliss] = -77;
    EXPECT_EQ(engine.paramSet(0), expected);
}

TEST_F(EngineParams, ChangeTimeSetsTheGlobalTimeAndStartsNoSmoothing) {
    engine.setParameter(0, engine::ChangeTime, 128);
    EXPECT_EQ(engine.changeTime(), 128);
    EXPECT_EQ(engine.stream(0).param(engine::ChangeTime).targetValue(), 128);
    for (int p = 0; p < engine::ChangeTime; ++p)
        EXPECT_EQ(engine.stream(0).param(p).endFrame, 0) << p;
    // The next change uses it: 128/64 s at 44100 Hz.
    engine.setParameter(0, engine::Pitch, 7000);
    EXPECT_EQ(engine.stream(0).param(engine::Pitch).endFrame, 88200);
    // An explicit change time of 6.4/64 s: trunc(44100 × 6.4 / 64) = 4410 frames.
    engine.setParameter(0, engine::Amp, 100, 6.4);
    EXPECT_EQ(engine.stream(0).param(engine::Amp).endFrame, 4410);
}

TEST_F(EngineParams, PlayStartSnapsParametersMovedWhileStopped) {
    engine.setParameter(0, engine::Pitch, 1000);
    EXPECT_EQ(engine.stream(0).current(engine::Pitch), 6144.0f);
    engine.playStart(true, false);
    EXPECT_EQ(engine.stream(0).current(engine::Pitch), 1000.0f);
    EXPECT_EQ(engine.stream(0).value(engine::Pitch), 1000);
}

TEST_F(EngineParams, DelayedReleaseWaitsTwiceTheGrainLength) {
    engine.snapParameters(0);
    // GrainLen 324: trunc(324² × 44100 / 2^20) = 4414 frames; × 2000 / 44100 = 200 ms.
    EXPECT_EQ(engine::delayedReleaseMilliseconds(engine.stream(0), 44100), 200u);
}

TEST_F(EngineParams, AttachingCountsUsersAndReleasesThePreviousSound) {
    sounds::Sound* a = table.findOrAllocate("/a.wav");
    ASSERT_NE(a, nullptr);
    table.beginLoad(*a, "/a.wav");
    a->frames = 100;
    a->channels = 2;
    a->sampleRate = 44100;
    a->data.assign(200, 0.0f);
    table.finishLoad(*a);
    engine.attachSound(0, *a);
    EXPECT_EQ(engine.stream(0).channelSelect.load(), 3);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(a->rateRatio, 2048);
    // The same file again on the same stream: still one user.
    ASSERT_EQ(table.findOrAllocate("/a.wav"), a);
    engine.attachSound(0, *a);
    EXPECT_EQ(a->refCount, 1);
    // Back to the test tone: the sound stays in memory without users.
    engine.useTestTone(0);
    EXPECT_EQ(a->refCount, -1);
    EXPECT_EQ(engine.stream(0).sound, &table.builtin());
    EXPECT_EQ(engine.stream(0).channelSelect.load(), 1);
    EXPECT_EQ(engine.stream(0).stateNow(), engine::Active);
}

TEST_F(EngineParams, ChannelTogglesAlwaysLeaveAChannel) {
    engine.setChannelSelect(0, 1);
    engine.toggleLeftChannel(0);
    EXPECT_EQ(engine.stream(0).channelSelect.load(), 2);
    engine.toggleRightChannel(0);
    EXPECT_EQ(engine.stream(0).channelSelect.load(), 1);
    engine.setChannelSelect(0, 3);
    engine.toggleLeftChannel(0);
    EXPECT_EQ(engine.stream(0).channelSelect.load(), 2);
    engine.setChannelSelect(0, 3);
    engine.toggleRightChannel(0);
    EXPECT_EQ(engine.stream(0).channelSelect.load(), 1);
}

TEST_F(EngineParams, SoloMutesEveryOtherStreamThatExists) {
    engine.createStream();
    engine.createStream();
    engine.setStreamState(2, engine::Busy);
    engine.soloStream(1);
    EXPECT_EQ(engine.stream(0).stateNow(), engine::Muted);
    EXPECT_EQ(engine.stream(1).stateNow(), engine::Solo);
    EXPECT_EQ(engine.stream(2).stateNow(), engine::Busy);
    EXPECT_EQ(engine.stream(3).stateNow(), engine::Empty);
}

}  // namespace
