// The render cycle, and offline renders of short scenarios whose samples can be worked out by hand:
// when grains start, where they read, how they are shaped, panned, mixed, clamped, muted, faded and ended.
#include "engine/Engine.h"
#include "engine/ShapeTables.h"
#include "sounds/SoundTable.h"
#include "tests/engine/TestSounds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <numbers>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace engine;
using Settings = std::vector<std::pair<int, int32_t>>;

constexpr uint32_t kRate = 44100;
constexpr int kPeriod = 256;
constexpr int kBuffers = 4;
constexpr int32_t kRampFrames = 65536;  // unitsPerFrame 4096 for a mono sound

const auto kCentre = static_cast<float>(std::sin(std::numbers::pi / 4));
// sin(π/4) × 461 / 512: a centred grain at the default Amp.
const float kCentreGain = kCentre * 461 / 512;
const float kLimit = static_cast<float>(32767.0 / 32768.0);

// Gives `stream` `sound`, with flat grains (a plain window: no envelope, no randomness) and `settings`
// reached at once.
void prepareFlat(Engine& engine, sounds::Sound& sound, Settings settings, int stream = 0) {
    engine.attachSound(stream, sound);
    settings.insert(settings.begin(), {{Attack, 0}, {Decay, 0}});
    for (const auto& [param, value] : settings)
        engine.setParameter(stream, param, value);
    engine.snapParameters(stream);
}

// Collects every period the render step hands to the recording.
class CapturingSink : public RecordingSink {
  public:
    std::vector<float> mix;
    std::array<std::vector<float>, kMaxStreams> streams;
    std::array<bool, kMaxStreams> open{};

    bool streamFileOpen(int stream) const override { return open[static_cast<size_t>(stream)]; }
    void writePeriod(const RenderedPeriod& period) override {
        mix.insert(mix.end(), period.mix, period.mix + period.samples);
        for (size_t i = 0; i < streams.size(); ++i)
            if (period.streams[i] != nullptr && open[i])
                streams[i].insert(streams[i].end(), period.streams[i], period.streams[i] + period.samples);
    }
};

class EngineRender : public ::testing::Test {
  protected:
    EngineRender() {
        engine.setRecordingSink(&sink);
        engine.setBufferDoneHandler([this](int slot) { doneSlots.push_back(slot); });
    }
    sounds::Sound& dc(int record, float value, int channels = 1, float right = 0.0f) {
        return enginetest::makeSound(table, record, kRampFrames, channels, kRate,
                                     [=](int32_t, int c) { return c == 0 ? value : right; });
    }
    // A rising ramp, frame i holding i / 65536, read with linear interpolation (exact on a ramp).
    sounds::Sound& linearRamp(int record) {
        engine.setInterpolation(Interpolation::Linear);
        return enginetest::makeSound(table, record, kRampFrames, 1, kRate,
                                     [](int32_t i, int) { return static_cast<float>(i) / kRampFrames; });
    }
    void prepare(sounds::Sound& sound, const Settings& settings, int stream = 0) {
        prepareFlat(engine, sound, settings, stream);
    }
    // Plays `sound` with `settings` on stream 0 from the start for `periods` periods.
    void play(sounds::Sound& sound, const Settings& settings, int periods) {
        prepare(sound, settings);
        start(periods);
    }
    // Starts play without the card (the ring is not filled) and renders `periods` periods.
    void start(int periods) {
        engine.playStart(true, false);
        render(periods);
    }
    void render(int periods) {
        for (int p = 0; p < periods; ++p)
            engine.renderOfflinePeriod();
    }
    // The mix of a mono-output engine playing record 0 from `channels` with flat grains and `settings`;
    // `playing` runs once play has started.
    std::vector<float> monoMix(
        int periods, int32_t channels, const Settings& settings = {},
        const std::function<void(Engine&)>& playing = [](Engine&) {}) {
        Engine mono{table, {.rate = kRate, .stereo = false, .framesPerBuffer = kPeriod, .bufferCount = 4}};
        CapturingSink capture;
        mono.setRecordingSink(&capture);
        prepareFlat(mono, table.record(0), settings);
        mono.setChannelSelect(0, channels);
        mono.playStart(true, false);
        playing(mono);
        for (int p = 0; p < periods; ++p)
            mono.renderOfflinePeriod();
        mono.setRecordingSink(nullptr);
        return capture.mix;
    }
    // Gives streams 0 .. count − 1 what `prepareStream(s)` sets, each with its stream file open.
    void prepareStreams(int count, const std::function<void(int)>& prepareStream) {
        engine.setPerStreamOutput(true);
        for (int s = 0; s < count; ++s) {
            if (s > 0)
                engine.createStream();
            prepareStream(s);
            sink.open[static_cast<size_t>(s)] = true;
        }
    }
    float left(size_t frame) const { return sink.mix[2 * frame]; }
    float right(size_t frame) const { return sink.mix[2 * frame + 1]; }
    static float rampAt(double frame) { return static_cast<float>(frame / kRampFrames) * kCentreGain; }

    sounds::SoundTable table{kRate};
    Engine engine{table,
                  {.rate = kRate, .stereo = true, .framesPerBuffer = kPeriod, .bufferCount = kBuffers}};
    CapturingSink sink;
    std::vector<int> doneSlots;
    std::vector<int16_t> out = std::vector<int16_t>(2 * kPeriod);
};

TEST_F(EngineRender, PlayStartFillsTheRingAndEachCardPeriodConvertsTheOldestSlotTillASoftStopDrainsIt) {
    engine.playStart();
    EXPECT_EQ(std::tuple(engine.filled(), engine.writeIndex(), engine.frameClock()),
              std::tuple(kBuffers, 0, kBuffers * kPeriod));
    EXPECT_EQ(sink.mix.size(), static_cast<size_t>(kBuffers * 2 * kPeriod));
    engine.renderStep();  // the ring is full: nothing happens
    EXPECT_EQ(engine.frameClock(), kBuffers * kPeriod);

    ASSERT_EQ(engine.periodCallback(out.data()), 0);
    EXPECT_EQ(std::tuple(engine.filled(), engine.writeIndex(), engine.underruns(), engine.callbacksTotal()),
              std::tuple(kBuffers, 1, 0u, 1u));
    // The built-in sine at full scale would exceed 16 bits; the converted values match the first
    // rendered period: round(x × 32767.5), at most ±32767.
    for (size_t k = 0; k < out.size(); ++k) {
        ASSERT_NEAR(out[k], sink.mix[k] * 32767.5, 0.5) << k;
        ASSERT_LE(std::abs(out[k]), 32767);
    }

    // A soft stop ends play once the grains and the ring have drained.
    ASSERT_EQ(engine.stopRequest(), StopAction::FadingOut);
    for (int periods = 0; doneSlots.empty() && periods < 10000; ++periods)
        engine.periodCallback(out.data());
    ASSERT_EQ(doneSlots.size(), 1u);
    EXPECT_FALSE(engine.anyGrainActive());
    EXPECT_EQ(std::pair(engine.filled(), engine.underruns()), std::pair(0, 0u));

    // Full scale converts to ±32767.
    engine.stopPlay();
    prepare(enginetest::makeSound(table, 0, 4096, 1, 44100, [](int32_t, int) { return -1.0f; }),
            {{Amp, 1024}});
    engine.playStart();
    engine.periodCallback(out.data());
    EXPECT_EQ(std::tuple(out[0], out[1]), std::tuple(-32767, -32767));
}

TEST_F(EngineRender, UnderrunsReplayTheLeastRecentlyRenderedSlotAndMoreThanTwoAreReported) {
    EXPECT_FALSE(underrunReport(2, 10) || underrunReport(5, 0));
    EXPECT_EQ(underrunReport(3, 1000).value(), "3 buffer underruns in performance (0.3 %)");
    EXPECT_EQ(underrunReport(40, 40).value(), "40 buffer underruns in performance (100.0 %)");
    engine.playStart();
    engine.setQuitKeyHeld(true);  // every period asks to stop and renders nothing more
    for (int k = 0; k < 7; ++k)
        engine.periodCallback(out.data());
    EXPECT_EQ(doneSlots, (std::vector<int>{0, 1, 2, 3, 0, 0, 0}));
    EXPECT_EQ(engine.underruns(), 3u);
    // 3000 / 7 = 428 per mille.
    EXPECT_EQ(engine.stopPlay().value(), "3 buffer underruns in performance (42.8 %)");
    EXPECT_EQ(std::pair(engine.underruns(), engine.callbacksTotal()), std::pair(0u, 0u));
}

TEST_F(EngineRender, RejectsFormatsItCannotRender) {
    // Periods are a multiple of 8 frames, and the ring holds at most 7 of them.
    for (const auto& [frames, count] : {std::pair(100, 4), std::pair(256, 8)})
        EXPECT_TRUE(engine.setOutputFormat({.rate = 44100, .framesPerBuffer = frames, .bufferCount = count}));
    EXPECT_FALSE(
        engine.setOutputFormat({.rate = 48000, .stereo = false, .framesPerBuffer = 512, .bufferCount = 7}));
    EXPECT_EQ(engine.samplesPerBuffer(), 512u);
    EXPECT_EQ(table.builtin().clockUnit, 268435456 / 48000);
}

TEST_F(EngineRender, ACallbackThatFindsTheLockTakenPlaysOnAndCatchesUpLater) {
    engine.playStart();
    // Another thread holds the engine lock, as the main thread does while it exchanges a sound.
    std::promise<void> held, release;
    std::thread holder([&] {
        const std::lock_guard engineLock(engine.lock());
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    // Two periods play from the ring without a render (each counted as an underrun).
    ASSERT_EQ(engine.periodCallback(out.data()), 0);
    ASSERT_EQ(engine.periodCallback(out.data()), 0);
    EXPECT_EQ(std::tuple(engine.filled(), engine.underruns(), engine.frameClock()),
              std::tuple(kBuffers - 2, 2u, kBuffers * kPeriod));
    release.set_value();
    holder.join();
    // The next period renders the missed ones and its own: the ring is full again, in order.
    ASSERT_EQ(engine.periodCallback(out.data()), 0);
    EXPECT_EQ(std::pair(engine.filled(), engine.frameClock()), std::pair(kBuffers, (kBuffers + 3) * kPeriod));
}

// Drives the render cycle on one thread while another moves parameters, mutes and solos streams and
// exchanges sounds, as the audio and user-interface threads do. Run it under ThreadSanitizer
// (-DFRISSON_SANITIZE=thread) to check the engine's thread contract.
TEST(EngineThreads, RenderingWhileParametersAndSoundsChange) {
    constexpr uint32_t kRate = 22050;
    constexpr int kPeriods = 300;
    sounds::SoundTable table(kRate);
    // Two sounds the test itself holds a reference to, so exchanging never frees them.
    sounds::Sound& mono = enginetest::makeSound(table, 0, 20000, 1, 44100,
                                                [](int32_t i, int) { return std::sin(i * 0.01f) * 0.5f; });
    sounds::Sound& stereo = enginetest::makeSound(
        table, 1, 30000, 2, 22050, [](int32_t i, int c) { return c == 0 ? 0.3f : -0.2f * (i % 7); });
    Engine engine(table, {.rate = kRate, .stereo = true, .framesPerBuffer = 128, .bufferCount = 4});
    for (int s = 0; s < 4; ++s)  // dense: hundreds of grains per second
        engine.setParameter(s > 0 ? engine.createStream() : 0, Freq, 14000, 1.0);
    engine.playStart();

    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<int16_t> out(engine.samplesPerBuffer());
        for (int p = 0; p < kPeriods; ++p)
            engine.periodCallback(out.data());
        done = true;
    });

    int round = 0;
    for (; !done; ++round, std::this_thread::yield()) {
        const int s = round % 4;
        engine.setParameter(s, Pitch, 2000 + 97 * (round % 100));
        engine.setParameter(s, PanRnd, round % 256, 6.4);
        engine.setParameter(s, ChangeTime, 1 + round % 64);
        sounds::Sound* next = (round % 3 == 0) ? &mono : &stereo;
        if (round % 5 == 4) {
            engine.useTestTone(s);
        } else {
            ASSERT_EQ(table.findOrAllocate(next->path), next);  // count the new user
            engine.attachSound(s, *next);
        }
        if (round % 7 == 0)
            engine.soloStream(s);
        else if (round % 7 == 3)
            for (int k = 0; k < 4; ++k)
                engine.setStreamState(k, Active);
        else if (round % 11 == 0)
            engine.setStreamState(s, Muted);
    }
    audio.join();
    EXPECT_GT(round, 0);
    EXPECT_EQ(engine.callbacksTotal(), static_cast<uint32_t>(kPeriods));
    EXPECT_GT(mono.refCount + stereo.refCount, 2) << "the test's own references remain";
}

TEST_F(EngineRender, GrainsStartEvery2205FramesOrSoAndReadAtTheirPitchFromTheStartAndTheMovingLoop) {
    // Four streams play 421-frame grains of the ramp from a quarter of it (frame 16384): at natural pitch,
    // with the loop standing still, backwards, and at pitch 0 (holding the value of frame 16384).
    const std::pair<int, int32_t> own[] = {{GrainLen, 100}, {Rate, 0}, {Pitch, -6144}, {Pitch, 0}};
    prepareStreams(4, [&](int s) { prepare(linearRamp(s), {{GrainLen, 100}, {Start, 1024}, own[s]}, s); });
    start(40);
    const auto left = [&](int s, size_t frame) { return sink.streams[static_cast<size_t>(s)][2 * frame]; };
    // clockUnit 6086, increment trunc(single(6086 × 6062 × 35) / 10608) = 121725: the phase reaches 2^28
    // after 2206, 2205, 2205, 2206 frames. A grain whose start delay is 6 begins at frame 6 of its block, in
    // both channels.
    std::vector<size_t> onsets;
    for (size_t f = 0; f < sink.streams[1].size() / 2; ++f)
        if (left(1, f) != 0.0f && (f == 0 || left(1, f - 1) == 0.0f))
            onsets.push_back(f);
    ASSERT_GE(onsets.size(), 5u);
    EXPECT_EQ(std::vector(onsets.begin(), onsets.begin() + 5),
              (std::vector<size_t>{0, 2206, 4411, 6616, 8822}));
    EXPECT_EQ(sink.streams[1][2 * 2205 + 1], 0.0f);
    EXPECT_FLOAT_EQ(sink.streams[1][2 * 2206 + 1], rampAt(16384));
    for (size_t j = 0; j < 400; ++j)
        ASSERT_FLOAT_EQ(left(0, j), rampAt(16384.0 + j)) << j;
    // The second grain starts at frame 2206 in the block from frame 2200; the loop has moved at natural
    // speed (Rate 4086, RateScale 174) by 2200 frames by then, unless Rate is 0.
    EXPECT_FLOAT_EQ(left(0, 2206), rampAt(16384 + 2200));
    for (size_t onset : {0, 2206, 4411})
        EXPECT_FLOAT_EQ(left(1, onset), rampAt(16384)) << onset;
    // The backward speed is trunc(−4096 + 0.5) = −4095 units: frame j reads position 16384 − j + j / 4096
    // frames. At pitch 0 the grain holds its first frame.
    for (int j = 0; j < 200; ++j) {
        ASSERT_NEAR(left(2, j), rampAt(16384.0 - j + j / 4096.0), 1e-6) << j;
        ASSERT_FLOAT_EQ(left(3, j), rampAt(16384)) << j;
    }
}

TEST_F(EngineRender, HardSyncStartsAGrainAtEachBackwardWrap) {
    // 7-frame grains sound in their first block only; the grain clock alone would start one grain
    // in 19 s; the loop of 65536 units (16 frames) runs backwards at natural speed, −4096 units a frame.
    prepare(dc(0, 1.0f), {{GrainLen, 13}, {Freq, 25}, {Rate, -4086}, {Length, 1}});
    engine.setHardSync(0, true);
    start(1);
    // The loop runs 0 → −32768 (wrap to 32768) → 0 → −32768 (wrap) ...: a wrap after every
    // second block, each followed by a grain at the first frame of the next block.
    for (int block = 0; block < 32; ++block)
        EXPECT_EQ(left(static_cast<size_t>(8 * block)) != 0.0f, block == 0 || block % 2 == 1) << block;
}

TEST_F(EngineRender, StereoSourceInStereoAndMonoOutput) {
    play(dc(0, 0.5f, 2, 0.25f), {}, 1);
    EXPECT_FLOAT_EQ(left(3), 0.5f * kCentreGain);
    EXPECT_FLOAT_EQ(right(3), 0.25f * kCentreGain);

    // Both channels: the left at full gain, the right at half gain.
    EXPECT_FLOAT_EQ(monoMix(1, BothChannels).at(3), 0.5f * kCentreGain + 0.5f * 0.25f * kCentreGain);
    EXPECT_FLOAT_EQ(monoMix(1, LeftChannel).at(3), 0.5f * kCentreGain);
    EXPECT_FLOAT_EQ(monoMix(1, RightChannel).at(3), 0.25f * kCentreGain);

    // Long grains in mono output: the right channel's half weight follows Amp as well.
    const auto mix = monoMix(10, BothChannels, {{GrainLen, 2048}, {Freq, 25}},
                             [](Engine& mono) { mono.setParameter(0, Amp, 256, 1.0); });
    const double gain = 256.0 * kCentre / 512;
    EXPECT_FLOAT_EQ(mix.at(9 * kPeriod), static_cast<float>(0.5 * gain + 0.5 * 0.25 * gain));
}

TEST_F(EngineRender, MutingLetsSoundingGrainsFinishStartsNoMoreKeepsTheStreamStillAndTheClockGoing) {
    play(dc(0, 1.0f), {}, 1);
    ASSERT_TRUE(engine.anyGrainActive());
    engine.setStreamState(0, Muted);
    const Stream& s = engine.stream(0);
    const int32_t loopPos = s.loopPos;
    engine.setParameter(0, Pitch, 100);
    render(1);
    EXPECT_FLOAT_EQ(left(kPeriod + 10), kCentreGain) << "the grain goes on sounding";
    render(20);
    // The default grain of 4415 frames sounds for 552 whole blocks, to frame 4415; the next would have
    // started at frame 2206.
    EXPECT_EQ(std::tuple(engine.anyGrainActive(), s.loopPos, s.current(Pitch), s.param(Pitch).targetValue()),
              std::tuple(false, loopPos, 6144.0f, 100));
    EXPECT_TRUE(std::all_of(sink.mix.begin() + 2 * 4416, sink.mix.end(), [](float v) { return v == 0.0f; }));
    EXPECT_EQ(engine.frameClock(), 22 * kPeriod) << "the muted stream keeps the play list busy";

    // With no stream to play at all, play leaves silence and the clock at its start.
    engine.stopPlay();
    engine.setStreamState(0, Empty);
    sink.mix.clear();
    engine.playStart();
    EXPECT_EQ(engine.frameClock(), 0);
    EXPECT_EQ(sink.mix, std::vector<float>(sink.mix.size(), 0.0f));
}

TEST_F(EngineRender, SoftStopFadesLongGrainsOverHalfASecondAndOtherStopsAreImmediate) {
    // 1449² × 44100 / 2^20 = 88303 frames, 2 s; one grain in the first 19 s. As it is long, its gains follow
    // Amp while it sounds: Amp 256 (reached within 1/64 s) is half of unity.
    play(dc(0, 1.0f), {{GrainLen, 1449}, {Freq, 25}}, 4);
    EXPECT_FLOAT_EQ(left(3 * kPeriod), kCentreGain);
    engine.setParameter(0, Amp, 256, 1.0);
    render(6);
    const float gain = 256.0f * kCentre / 512;
    const size_t stopFrame = 10 * kPeriod;
    EXPECT_FLOAT_EQ(left(stopFrame - 1), gain);
    ASSERT_EQ(engine.stopRequest(), StopAction::FadingOut);
    EXPECT_EQ(engine.stopRequest(), StopAction::AlreadyStopping);
    int periods = 0;
    for (; engine.anyGrainActive() && periods < 1000; ++periods)
        engine.renderOfflinePeriod();
    // 22050 frames end in block 2757 (22056 frames): in the 87th period.
    EXPECT_EQ(periods, 87);
    // The fade steps the decay phase from 0x0FFFFFFF by 2^28 / 22050 = 12173 per frame; frame n
    // of the fade reads envelope entry (0x0FFFFFFF − n × 12173) >> 15.
    auto fadeGain = [](int n) {
        const int entry = (0x0FFFFFFF - n * 12173) >> 15;
        return static_cast<float>(0.5 + 0.5 * std::cos(-std::numbers::pi + entry * std::numbers::pi / 8192));
    };
    EXPECT_FLOAT_EQ(left(stopFrame + 11025), fadeGain(11025) * gain);  // entry 4096: 0.5
    EXPECT_FLOAT_EQ(left(stopFrame + 11026), fadeGain(11026) * gain);  // entry 4095
    EXPECT_FLOAT_EQ(left(stopFrame + 20000), fadeGain(20000) * gain);
    for (size_t f = stopFrame + 22050; f < sink.mix.size() / 2; ++f)
        ASSERT_EQ(left(f), 0.0f) << f;
    EXPECT_FALSE(engine.stopPlay().has_value());

    // A stop before any card period, and any stop without soft stop, is immediate.
    engine.playStart();
    EXPECT_EQ(engine.stopRequest(), StopAction::StopNow);
    engine.stopPlay();
    engine.setSoftStop(false);
    start(2);
    EXPECT_EQ(engine.stopRequest(), StopAction::StopNow);
    engine.stopPlay();
    EXPECT_EQ(std::pair(engine.playing(), engine.stopping()), std::pair(false, false));
}

TEST_F(EngineRender, FullAttackAndDecayOverlapAcrossTheGrain) {
    play(dc(0, 1.0f), {{Attack, 256}, {Decay, 256}, {GrainLen, 100}}, 2);  // attack and decay both 421 frames
    const int32_t inc = 0x10000000 / 421;
    const auto& env = envelopeTable();
    // Frame 1's envelope (about 1e-5) lies below the silence level 1 / (32768 × 0.7071): skipped.
    EXPECT_EQ(left(1), 0.0f);
    for (int n : {100, 210, 300, 419}) {
        const float rise = env[static_cast<size_t>((n * inc) >> 15)];
        const float fall = env[static_cast<size_t>((0x0FFFFFFF - n * inc) >> 15)];
        EXPECT_FLOAT_EQ(left(static_cast<size_t>(n)), rise * fall * kCentreGain) << n;
    }
    EXPECT_NEAR(left(210), 0.25f * kCentreGain, 0.01f) << "half way up and half way down";
}

TEST_F(EngineRender, NewStreamCopiesTheCurrentStreamWithItsAmpSilent) {
    sounds::Sound& sound = dc(0, 1.0f);
    prepare(sound, {{Pitch, 7000}});
    engine.setHardSync(0, true);
    start(3);
    ASSERT_EQ(engine.newStream(0), 1);
    EXPECT_EQ(std::pair(engine.streamCount(), sound.refCount), std::pair(2, 2));
    const Stream& s = engine.stream(1);
    EXPECT_EQ(std::tuple(s.sound, s.current(Pitch), s.hardSync.load(), s.loopPos),
              std::tuple(&sound, 7000.0f, 1, engine.stream(0).loopPos));
    // Amp silent, reached at once.
    EXPECT_EQ(
        std::tuple(s.current(Amp), s.value(Amp), s.param(Amp).targetValue(), s.param(Amp).endFrame.load()),
        std::tuple(0.0f, 0, 0, engine.frameClock()));
}

TEST_F(EngineRender, EndingAStreamWaitsForItsGrainsBeforeReleasingTheSound) {
    std::chrono::milliseconds delay{0};
    std::function<void()> release;
    table.setTimer([&](std::chrono::milliseconds d, std::function<void()> action) {
        delay = d;
        release = std::move(action);
    });
    sounds::Sound& silent = dc(2, 1.0f);
    engine.createStream();
    engine.attachSound(1, silent);
    engine.endStream(1);
    EXPECT_EQ(silent.refCount, -1) << "without sounding grains the sound is released at once";
    EXPECT_FALSE(release);

    sounds::Sound& sound = dc(1, 1.0f);
    engine.createStream();
    prepare(sound, {}, 1);
    engine.setStreamState(0, Muted);  // only the second stream sounds
    start(1);
    ASSERT_GT(sound.activeGrains.load(), 0);
    engine.endStream(1);
    EXPECT_EQ(std::tuple(engine.stream(1).stateNow(), engine.streamCount()), std::tuple(Empty, 1));
    EXPECT_EQ(sound.refCount, 1) << "the count stays until the timer fires";
    EXPECT_EQ(delay.count(), 200) << "twice the default grain length of 4414 frames";
    render(1);
    EXPECT_FLOAT_EQ(left(kPeriod + 10), kCentreGain) << "the grains of the ended stream play out";
    render(20);  // past the grain's 4415 frames, as the timer's 200 ms are
    EXPECT_EQ(sound.activeGrains.load(), 0);
    ASSERT_TRUE(release);
    release();
    EXPECT_EQ(sound.refCount, -1);
    // The free slot is taken again by the next stream.
    EXPECT_EQ(engine.createStream(), 1);
}

TEST_F(EngineRender, StreamsMixIntoAClampedBufferAndPerStreamBuffersAreUnclamped) {
    // Amp 1024 is a gain of 2 sin(π/4): stream 0 plays 1 on both channels, stream 1 −0.5 on the left and
    // 1 on the right; stream 2 is muted.
    prepareStreams(3, [&](int s) { prepare(dc(s, s == 1 ? -0.5f : 1.0f, 2, 1.0f), {{Amp, 1024}}, s); });
    engine.setStreamState(2, Muted);
    start(2);
    const float doubled = kCentre * 1024 / 512;
    ASSERT_EQ(sink.streams[0].size(), 2u * 2 * kPeriod);
    EXPECT_FLOAT_EQ(sink.streams[0][0], doubled) << "stream files are not clamped";
    EXPECT_FLOAT_EQ(sink.streams[1][1], doubled);
    EXPECT_EQ(sink.streams[2], std::vector<float>(sink.streams[2].size(), 0.0f))
        << "muted streams are silent";
    EXPECT_FLOAT_EQ(left(0), doubled - 0.5f * doubled) << "the streams add up";
    EXPECT_EQ(right(0), kLimit) << "the mix is clamped, never wrapped";
    for (float v : sink.mix)
        ASSERT_LE(std::abs(v), kLimit);
}

TEST_F(EngineRender, PublishesTheSoundingGrainsOfTheCurrentStream) {
    engine.setRecordingSink(nullptr);
    prepare(dc(0, 0.5f), {{GrainLen, 2048}, {Start, 1024}, {Rate, 0}});
    engine.createStream();
    engine.setStreamState(1, Muted);
    start(20);
    // Grains start at frames 0, 2206 and 4411 from a quarter of the sound and read one sound frame
    // (4096 units) per output frame; after 20 periods (5120 frames), newest first:
    const uint32_t start = 1024u * 65536u;
    std::array<uint32_t, Engine::kPublishedGrains> positions{};
    ASSERT_EQ(engine.grainPositions(positions), 3);
    EXPECT_EQ(
        std::tuple(positions[0], positions[1], positions[2]),
        std::tuple(start + (5120u - 4411u) * 4096u, start + (5120u - 2206u) * 4096u, start + 5120u * 4096u));
    // The muted stream shown instead has none.
    engine.setCurrentStream(1);
    render(1);
    EXPECT_EQ(engine.grainPositions(positions), 0);
}

}  // namespace
