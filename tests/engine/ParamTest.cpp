// The parameter table, its display texts and scroll bar mapping, parameter smoothing, and the
// engine's per-stream parameters and sound attachment.
#include "engine/Engine.h"
#include "engine/ParamDisplay.h"
#include "engine/ParamScroll.h"
#include "engine/ParamSlot.h"
#include "engine/ParamSpec.h"
#include "sounds/SoundTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

namespace {

using namespace engine;

TEST(ParamSpecTable, DefaultsAndHomesLieInTheirRangesAndNamesAreUnique) {
    std::set<std::string_view> names;
    for (int p = 0; p < kParamCount; ++p) {
        const auto& row = paramSpec(p);
        SCOPED_TRACE(std::string(row.name));
        EXPECT_TRUE(row.min < row.max && row.min <= row.defaultValue && row.defaultValue <= row.max);
        EXPECT_TRUE(row.home >= 0 && row.home <= 127);
        EXPECT_FALSE(row.tooltip.empty());
        EXPECT_TRUE(names.insert(row.name).second);
        EXPECT_EQ(findParam(row.name), p);
    }
    EXPECT_FALSE(findParam("grainlen") || findParam("")) << "lookup is case-sensitive";
    EXPECT_EQ(std::pair(scrollIdOf(Start), scrollIdOf(ChangeTime)), std::pair(1500, 1528))
        << "scroll ids follow parameter order";
    // Controller steps span the range: Pitch 32768 / 128 and / 16384.
    EXPECT_EQ(std::pair(controllerStep(Pitch), fineControllerStep(Pitch)), std::pair(256.0f, 2.0f));
    EXPECT_FLOAT_EQ(controllerStep(Freq), 16359.0f / 128);
}

TEST(ParamDisplay, ValueTextsOfEveryKindOfParameterAndDerivedTexts) {
    const DisplayContext defaults{.targets = defaultParamSet(), .soundSeconds = 2.0};
    const std::tuple<int, int32_t, const char*> cases[] = {
        // parameter, target, text
        {StartRnd, 128, "50.00 %"},  // value times scale as a percentage
        {Amp, 461, "90.04 %"},
        {RateAM, -512, "-100.00 %"},
        {AttackRnd, 255, "100.00 %"},
        {Freq, 6062, "20.001 per sec"},
        {Freq, 1000, "2.234 per sec (134.01 bpm)"},
        {Freq, 150, "1 per 3.147 sec"},   // 0.3178 per second: at 0.332 or fewer there is no beat count
        {GrainLen, 1024, "1.0000 secs"},  // 1024^2 / 2^20
        {Pitch, 6144, "+0.000 semitones"},
        {Pitch, -6144, "+0.000 semitones, reverse"},
        {Pitch, 16384, "+60.000 semitones"},
        {Pitch, 0, "+0.000 semitones"},
        {Pitch, 3072, "-16.000 semitones"},  // k = 3072 / 7168 = 0.428571, e = 1 - 1/k = -1.3333 octaves
        // k = 1024 / (8192 - 341.33) = 0.130434, e = -6.6667: shown as a rate 1 / 6.6667.
        {Pitch, -1024, "0.150 rate, reverse"},
        {Rate, 4086, "1:1.0000"},  // over 6000 - 11 * 174 = 4086: ratio 1
        {PanPos, 0, "Middle"},
        {PanPos, 128, "50.0% left"},
        {PanPos, -256, "100.0% right"},
        {Gliss, -256, "-6.000 semitones"},
        {ChangeTime, 64, ""},  // the change time clears the value field
    };
    for (const auto& [param, target, text] : cases) {
        DisplayContext context = defaults;
        context.targets[static_cast<size_t>(param)] = target;
        EXPECT_EQ(displayParam(param, context).value, text) << paramSpec(param).name << " " << target;
    }
    EXPECT_EQ(displayParam(ChangeTime, defaults).changeTimeLabel, "  \u00EE  parm chng time: 1.00 s");

    // The derived texts of density, loop and amplitude.
    auto derived = [](int param, const DisplayContext& c) {
        return displayParam(param, c).derived.value_or("<none>");
    };
    DisplayContext c = defaults;
    EXPECT_EQ(derived(StartRnd, c), "<none>");
    EXPECT_EQ(derived(Rate, c), "Length/rate: 2.000 sec");
    EXPECT_EQ(derived(Amp, c), "A/D adj. amp: 90.039 %") << "Attack and Decay 128: x = 1, no reduction";
    c.targets[Attack] = 256;
    c.targets[Decay] = 256;  // x = 0: a quarter of the amplitude
    EXPECT_EQ(derived(Decay, c), "A/D adj. amp: 22.510 %");

    c = defaults;
    c.targets[GrainLen] = 1024;  // 1 second
    c.totalDensity = 42.5;
    EXPECT_EQ(derived(Freq, c), "Density: 20.001 (42.500)") << "of the stream and of all streams";

    c = defaults;
    c.targets[Start] = 1024;
    c.targets[Length] = 2048;
    c.targets[Rate] = -2043;  // half speed backwards
    EXPECT_EQ(displayParam(Start, c).value, "Start: 0.500 s; Len: 1.000 s");
    EXPECT_EQ(derived(Length, c), "Length/rate: 2.000 sec");
    c.targets[Rate] = 0;
    EXPECT_EQ(std::tuple(derived(Rate, c), derived(Length, c)), std::tuple("Loop locked", "Loop locked"));
    c.builtinSound = true;
    EXPECT_EQ(derived(RateScale, c), "<none>") << "the built-in sine has no loop duration";
}

TEST(ParamScroll, PositionsMirrorValuesAndClampToTheRangeAndActionsMoveThem) {
    EXPECT_EQ(
        std::tuple(positionToValue(Rate, -8192), positionToValue(Rate, 8192), positionToValue(Freq, 25)),
        std::tuple(8192, -8192, 16384));
    EXPECT_EQ(positionToValue(Freq, 16394), 25) << "beyond the bottom stays at the minimum";
    EXPECT_EQ(std::pair(valueToPosition(Amp, 461), resetPosition(Amp)), std::pair(1024 - 461, 1024 - 461));
    const auto freq = scrollBarSetup(Freq);  // span 16359: /24 = 681 > 100, so /128
    EXPECT_EQ(std::tuple(freq.rangeMin, freq.rangeMax, freq.pageSize), std::tuple(17, 16394, 127));
    EXPECT_EQ(scrollBarSetup(StartRnd).pageSize, 10) << "256 / 24";

    // Lines, pages, the thumb and the modifiers.
    const auto line = scrollAction(Amp, ScrollCode::LineDown, 100, 0, {}, 64);
    EXPECT_EQ(std::tuple(line.changes, line.position, line.value, line.changeTime),
              std::tuple(true, 101, 1024 - 101, 64));
    EXPECT_EQ(scrollAction(Amp, ScrollCode::PageUp, 100, 0, {}, 64).position, 100 - 42);
    EXPECT_EQ(scrollAction(Rate, ScrollCode::ThumbTrack, 0, -300, {}, 64).value, 300);
    EXPECT_EQ(scrollAction(Rate, ScrollCode::Top, 123, 0, {}, 64).value, 8192);
    EXPECT_FALSE(scrollAction(Rate, ScrollCode::EndScroll, 123, 0, {}, 64).changes);
    // Dragging past the ends keeps the minimum and maximum.
    const auto above = scrollAction(Amp, ScrollCode::ThumbTrack, 0, -30, {}, 64);
    EXPECT_EQ(std::pair(above.position, above.value), std::pair(-8, 1024));
    const auto below = scrollAction(Amp, ScrollCode::ThumbTrack, 0, 2000, {}, 64);
    EXPECT_EQ(std::pair(below.position, below.value), std::pair(1034, 0));
    // Shift restores the default, Ctrl glides quickly.
    const auto reset = scrollAction(Pitch, ScrollCode::LineUp, 500, 0, {.shift = true}, 64);
    EXPECT_EQ(std::pair(reset.value, reset.changeTime), std::pair(6144, 64));
    const auto quick = scrollAction(Pitch, ScrollCode::LineUp, 500, 0, {.ctrl = true}, 64);
    EXPECT_EQ(std::pair(quick.value, quick.changeTime), std::pair(-499, 6));
}

constexpr int32_t kUpdateFrames = 104;

ParamSlot& snapped(ParamSlot& slot, int32_t value) {
    slot.target = value;
    slot.snap();
    return slot;
}

TEST(ParamSmoothing, GlidesByAStepPer100FramesArrivesExactlyAndSnapsShortChanges) {
    // ChangeTime 64 at 44100 Hz: T = 44100 frames, so each update moves 1000 / 441.
    ParamSlot slot;
    snapped(slot, 6144).startChange(7144, 44100, 0);
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
    EXPECT_EQ(std::tuple(slot.currentValue(), slot.intValue(), slot.step.load()),
              std::tuple(7144.0f, 7144, 0.0f));

    snapped(slot, 400).startChange(13, 2000, 0);  // downwards over 20 updates' worth of frames
    for (int k = 0; k < 20; ++k) {
        slot.update(k * kUpdateFrames);
        ASSERT_GE(slot.currentValue(), 13.0f) << "no overshoot at update " << k;
    }
    EXPECT_EQ(slot.intValue(), 13);

    // Short changes snap at the next update, and passed ends are not advanced.
    snapped(slot, 10).startChange(99, 50, 1000);
    slot.update(1000);
    EXPECT_EQ(std::pair(slot.currentValue(), slot.intValue()), std::pair(99.0f, 99));

    snapped(slot, 100).startChange(200, 1000, 0);
    slot.update(5000);  // e.g. the stream was muted until after the end frame
    EXPECT_EQ(std::pair(slot.currentValue(), slot.targetValue()), std::pair(100.0f, 200));
    slot.snap();
    EXPECT_EQ(std::pair(slot.intValue(), slot.endFrame.load()), std::pair(200, 0));
}

class EngineParams : public ::testing::Test {
  protected:
    const Stream& stream(int s = 0) { return engine.stream(s); }
    sounds::SoundTable table{44100};
    Engine engine{table, {.rate = 44100, .stereo = true, .framesPerBuffer = 256, .bufferCount = 4}};
};

TEST_F(EngineParams, FirstStreamStartsWithDefaultsAndChangesGlideOverTheChangeTime) {
    EXPECT_EQ(std::tuple(engine.streamCount(), stream().stateNow(), stream().channelSelect.load(),
                         engine.changeTime()),
              std::tuple(1, Active, 1, 64));
    EXPECT_EQ(std::tuple(stream().sound, engine.paramSet(0)),
              std::tuple(&table.builtin(), defaultParamSet()));
    // trunc(min + (max − min) / 128 × Home): Rate −8192 + 16384 / 128 × 96 = 4096, Freq 25 + 16359 / 128 × 48
    // = 6159.6.
    EXPECT_EQ(std::tuple(stream().param(Rate).coarseValue.load(), stream().param(Freq).coarseValue.load()),
              std::tuple(4096, 6159));

    // Changes glide over the change time, and play start snaps them.
    engine.setParameter(0, ChangeTime, 128);
    for (int p = 0; p < ChangeTime; ++p)
        EXPECT_EQ(stream().param(p).endFrame, 0) << "setting the change time starts no smoothing of " << p;
    // The next change uses it: 128/64 s at 44100 Hz.
    engine.setParameter(0, Pitch, 1000);
    EXPECT_EQ(std::tuple(stream().param(Pitch).endFrame.load(), engine.paramSet(0)[Pitch]),
              std::tuple(88200, 1000));
    // An explicit change time of 6.4/64 s: trunc(44100 × 6.4 / 64) = 4410 frames.
    engine.setParameter(0, Amp, 100, 6.4);
    EXPECT_EQ(stream().param(Amp).endFrame, 4410);
    // Moved while stopped, the parameters snap when play starts.
    EXPECT_EQ(stream().current(Pitch), 6144.0f);
    engine.playStart(true, false);
    EXPECT_EQ(std::pair(stream().current(Pitch), stream().value(Pitch)), std::pair(1000.0f, 1000));
}

TEST_F(EngineParams, AttachingCountsUsersChannelTogglesLeaveAChannelAndSoloMutesTheOthers) {
    sounds::Sound* a = table.findOrAllocate("/a.wav");
    ASSERT_NE(a, nullptr);
    table.beginLoad(*a, "/a.wav");
    std::tie(a->frames, a->channels, a->sampleRate) = std::tuple(100, int16_t{2}, 44100);
    a->data.assign(200, 0.0f);
    table.finishLoad(*a);
    engine.attachSound(0, *a);
    EXPECT_EQ(std::tuple(stream().channelSelect.load(), a->refCount, a->rateRatio), std::tuple(3, 1, 2048));
    // The same file again on the same stream: still one user.
    ASSERT_EQ(table.findOrAllocate("/a.wav"), a);
    engine.attachSound(0, *a);
    EXPECT_EQ(a->refCount, 1);
    // Back to the test tone: the sound stays in memory without users.
    engine.useTestTone(0);
    EXPECT_EQ(std::tuple(a->refCount, stream().sound, stream().channelSelect.load(), stream().stateNow()),
              std::tuple(-1, &table.builtin(), 1, Active));

    // (selection before, toggle left?, selection after)
    for (const auto& [before, left, after] :
         {std::tuple(1, true, 2), std::tuple(2, false, 1), std::tuple(3, true, 2), std::tuple(3, false, 1)}) {
        engine.setChannelSelect(0, before);
        left ? engine.toggleLeftChannel(0) : engine.toggleRightChannel(0);
        EXPECT_EQ(stream().channelSelect.load(), after) << before << (left ? " left" : " right");
    }
    engine.createStream();
    engine.createStream();
    engine.setStreamState(2, Busy);
    engine.soloStream(1);
    EXPECT_EQ(
        std::tuple(stream(0).stateNow(), stream(1).stateNow(), stream(2).stateNow(), stream(3).stateNow()),
        std::tuple(Muted, Solo, Busy, Empty))
        << "only streams that exist are muted";
}

}  // namespace
