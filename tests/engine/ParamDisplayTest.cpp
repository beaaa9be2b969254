#include "engine/ParamDisplay.h"

#include <gtest/gtest.h>

#include <string>

using namespace engine;

namespace {

DisplayContext defaults() {
    DisplayContext c;
    c.targets = defaultParamSet();
    c.soundSeconds = 2.0;
    return c;
}

std::string valueText(int param, int32_t target, DisplayContext c = defaults()) {
    c.targets[static_cast<size_t>(param)] = target;
    return displayParam(param, c).value.value_or("<unchanged>");
}

std::string derivedText(int param, DisplayContext c) {
    return displayParam(param, c).derived.value_or("<unchanged>");
}

TEST(ParamDisplayPercent, ShowsValueTimesScaleAsPercent) {
    EXPECT_EQ(valueText(StartRnd, 128), "50.00 %");
    EXPECT_EQ(valueText(Amp, 461), "90.04 %");
    EXPECT_EQ(valueText(RateAM, -512), "-100.00 %");
    EXPECT_EQ(valueText(AttackRnd, 255), "100.00 %");
    EXPECT_EQ(valueText(PanAM, -256), "-100.00 %");
    EXPECT_FALSE(displayParam(StartRnd, defaults()).derived.has_value());
}

TEST(ParamDisplayFreq, GrainRateInWordsAndBeats) {
    EXPECT_EQ(valueText(Freq, 6062), "20.001 per sec");
    EXPECT_EQ(valueText(Freq, 25), "1 per 19.023 sec");
    EXPECT_EQ(valueText(Freq, 1000), "2.234 per sec (134.01 bpm)");
    // At 0.332 grains per second or fewer there is no beat count.
    const std::string slow = valueText(Freq, 150);  // 5250 / 16520 = 0.3178 per second
    EXPECT_EQ(slow, "1 per 3.147 sec");
}

TEST(ParamDisplayFreq, DensityOfStreamAndOfAllStreams) {
    DisplayContext c = defaults();
    c.targets[GrainLen] = 1024;  // 1024^2 / 2^20 = 1 second
    c.targets[Freq] = 6062;
    c.totalDensity = 42.5;
    EXPECT_EQ(derivedText(Freq, c), "Density: 20.001 (42.500)");
    EXPECT_EQ(valueText(GrainLen, 1024, c), "1.0000 secs");
    EXPECT_NEAR(grainDensity(6062, 1024), 20.0009, 1e-4);
}

TEST(ParamDisplayPitch, SemitonesAndReverse) {
    EXPECT_EQ(valueText(Pitch, 6144), "+0.000 semitones");
    EXPECT_EQ(valueText(Pitch, -6144), "+0.000 semitones, reverse");
    EXPECT_EQ(valueText(Pitch, 16384), "+60.000 semitones");
    EXPECT_EQ(valueText(Pitch, 0), "+0.000 semitones");
    // 3072: k = 3072 / 7168 = 0.428571, e = 1 - 1/k = -1.3333 octaves.
    EXPECT_EQ(valueText(Pitch, 3072), "-16.000 semitones");
    // 1024: k = 1024 / (8192 - 341.33) = 0.130434, e = -6.6667 -> shown as a rate 1 / 6.6667.
    EXPECT_EQ(valueText(Pitch, -1024), "0.150 rate, reverse");
}

TEST(ParamDisplayRate, RatioAndLoopDuration) {
    DisplayContext c = defaults();  // Rate 4086 over 6000 - 11 * 174 = 4086: ratio 1
    EXPECT_EQ(valueText(Rate, 4086, c), "1:1.0000");
    EXPECT_EQ(derivedText(Rate, c), "Length/rate: 2.000 sec");
    c.targets[Rate] = 0;
    EXPECT_EQ(valueText(Rate, 0, c), "1:0.0000");
    EXPECT_EQ(derivedText(Rate, c), "Loop locked");
    EXPECT_EQ(derivedText(Length, c), "Loop locked");
    c.builtinSound = true;
    EXPECT_FALSE(displayParam(RateScale, c).derived.has_value()) << "the built-in sine has no loop duration";
}

TEST(ParamDisplayLoop, StartAndLengthInSeconds) {
    DisplayContext c = defaults();
    c.targets[Start] = 1024;
    c.targets[Length] = 2048;
    c.targets[Rate] = -2043;  // half speed backwards
    EXPECT_EQ(displayParam(Start, c).value, "Start: 0.500 s; Len: 1.000 s");
    EXPECT_EQ(derivedText(Length, c), "Length/rate: 2.000 sec");
}

TEST(ParamDisplayAmp, AttackAndDecayReduceTheAdjustedAmplitude) {
    DisplayContext c = defaults();  // Attack and Decay 128: x = 1, no reduction
    EXPECT_EQ(derivedText(Amp, c), "A/D adj. amp: 90.039 %");
    c.targets[Attack] = 256;
    c.targets[Decay] = 256;  // x = 0: a quarter of the amplitude
    EXPECT_EQ(derivedText(Decay, c), "A/D adj. amp: 22.510 %");
}

TEST(ParamDisplayPan, MiddleLeftRight) {
    EXPECT_EQ(valueText(PanPos, 0), "Middle");
    EXPECT_EQ(valueText(PanPos, 128), "50.0% left");
    EXPECT_EQ(valueText(PanPos, -256), "100.0% right");
}

TEST(ParamDisplayChangeTime, ClearsValueFieldAndSetsLabel) {
    const auto texts = displayParam(ChangeTime, defaults());
    EXPECT_EQ(texts.value, "");
    EXPECT_EQ(texts.changeTimeLabel, "  \u00EE  parm chng time: 1.00 s");
    EXPECT_EQ(valueText(Gliss, -256), "-6.000 semitones");
}

}  // namespace
