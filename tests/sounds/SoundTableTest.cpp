#include "platform/TimerService.h"
#include "sounds/BuiltinSine.h"
#include "sounds/SoundTable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <numbers>
#include <thread>
#include <vector>

namespace {

using sounds::Sound;
using sounds::SoundTable;

constexpr uint32_t kRate = 44100;

// Loads a path into the table as the loader would, with `frames` × `channels` samples counted
// (the sample data itself stays small: only the counts decide freeing).
Sound& load(SoundTable& table, const std::string& path, int32_t frames, int16_t channels = 1) {
    Sound* sound = table.findOrAllocate(path);
    EXPECT_NE(sound, nullptr);
    table.beginLoad(*sound, path);
    sound->frames = frames;
    sound->channels = channels;
    sound->sampleRate = static_cast<int32_t>(kRate);
    sound->data.assign(16, 0.25f);
    table.finishLoad(*sound);
    return *sound;
}

TEST(SoundTableRelease, KeepsSoundsUpTo1050000SamplesAndFreesLarger) {
    SoundTable table(kRate);
    Sound& kept = load(table, "/a.wav", 525'000, 2);
    table.release(kept);
    EXPECT_EQ(kept.refCount, -1);
    EXPECT_EQ(kept.path, "/a.wav");
    EXPECT_FALSE(kept.data.empty());

    Sound& freed = load(table, "/b.wav", 1'050'001);
    table.release(freed);
    EXPECT_EQ(freed.refCount, 0);
    EXPECT_TRUE(freed.path.empty());
    EXPECT_TRUE(freed.data.empty());
    EXPECT_EQ(freed.frames, 0);
}

TEST(SoundTableRelease, KeepsAnyRecordWhileGrainsSound) {
    SoundTable table(kRate);
    Sound& big = load(table, "/big.wav", 2'000'000);
    big.activeGrains = 3;
    table.release(big);
    EXPECT_EQ(big.refCount, 0);
    EXPECT_FALSE(big.data.empty()) << "a sounding record is never freed";
    // Searches pass over it while its grains sound.
    Sound* other = table.findOrAllocate("/other.wav");
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, &big);
    EXPECT_EQ(big.path, "/big.wav");
}

TEST(SoundTableRelease, BuiltinSoundIsNeverReleased) {
    SoundTable table(kRate);
    table.release(table.builtin());
    table.releaseKeeping(table.builtin());
    EXPECT_EQ(table.builtin().refCount, 1);
    EXPECT_EQ(table.builtin().frames, sounds::kBuiltinSineFrames);
}

TEST(SoundTableSearch, FindsALoadedPathAgainAndCountsUsers) {
    SoundTable table(kRate);
    Sound& first = load(table, "/same.wav", 1000);
    Sound* again = table.findOrAllocate("/same.wav");
    EXPECT_EQ(again, &first);
    EXPECT_EQ(first.refCount, 2);
    EXPECT_EQ(table.findOrAllocate("/SAME.wav") == &first, false) << "paths compare case-sensitively";
}

TEST(SoundTableSearch, AKeptSoundFoundAgainHasOneUser) {
    SoundTable table(kRate);
    Sound& sound = load(table, "/kept.wav", 1000);
    table.release(sound);
    ASSERT_EQ(sound.refCount, -1);
    EXPECT_EQ(table.findOrAllocate("/kept.wav"), &sound);
    EXPECT_EQ(sound.refCount, 1);
}

TEST(SoundTableSearch, WithAllRecordsKeptReusesTheOldest) {
    SoundTable table(kRate);
    std::vector<Sound*> loaded;
    for (int i = 0; i < SoundTable::kRecordCount; ++i) {
        Sound& s = load(table, "/k" + std::to_string(i) + ".wav", 1000);
        table.release(s);  // kept with refCount -1, then aged by later searches
        loaded.push_back(&s);
    }
    // The first sound released has aged through the most searches.
    Sound* oldest = loaded.front();
    int32_t lowest = 0;
    for (Sound* s : loaded)
        lowest = std::min(lowest, s->refCount);
    ASSERT_EQ(oldest->refCount, lowest);
    Sound* reused = table.findOrAllocate("/new.wav");
    EXPECT_EQ(reused, oldest);
    EXPECT_EQ(reused->refCount, 0);
    EXPECT_TRUE(reused->path.empty());
}

TEST(SoundTableSearch, PrefersAFreeRecordToAKeptSound) {
    SoundTable table(kRate);
    Sound& kept = load(table, "/kept.wav", 1000);
    table.release(kept);
    Sound* fresh = table.findOrAllocate("/fresh.wav");
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, &kept);
    EXPECT_EQ(kept.path, "/kept.wav");
}

TEST(SoundTableSearch, FreesLargeUnusedRecordsItPasses) {
    SoundTable table(kRate);
    Sound* record = table.findOrAllocate("/huge.wav");
    ASSERT_NE(record, nullptr);
    table.beginLoad(*record, "/huge.wav");
    record->frames = 2'097'153;
    record->channels = 1;
    record->data.assign(4, 0.0f);
    record->loading = false;  // loaded, never attached: refCount 0
    table.findOrAllocate("/x.wav");
    EXPECT_TRUE(record->path.empty());
    EXPECT_TRUE(record->data.empty());
}

TEST(SoundTableSearch, NeverTouchesARecordBeingLoaded) {
    SoundTable table(kRate);
    Sound* loading = table.findOrAllocate("/slow.wav");
    ASSERT_NE(loading, nullptr);
    table.beginLoad(*loading, "/slow.wav");
    for (int i = 0; i < 5; ++i)
        EXPECT_NE(table.findOrAllocate("/other" + std::to_string(i) + ".wav"), loading);
    EXPECT_EQ(loading->path, "/slow.wav");
}

TEST(SoundTableSearch, ReturnsNothingWhenEveryRecordIsInUse) {
    SoundTable table(kRate);
    for (int i = 0; i < SoundTable::kRecordCount; ++i)
        load(table, "/u" + std::to_string(i) + ".wav", 100);
    EXPECT_EQ(table.findOrAllocate("/one-more.wav"), nullptr);
}

TEST(SoundTableRelease, DelayedReleaseWaitsForTheTimer) {
    SoundTable table(kRate);
    std::chrono::milliseconds requested{0};
    std::function<void()> pending;
    table.setTimer([&](std::chrono::milliseconds delay, std::function<void()> action) {
        requested = delay;
        pending = std::move(action);
    });
    Sound& sound = load(table, "/late.wav", 1000);
    table.releaseLater(sound, std::chrono::milliseconds(200));
    EXPECT_EQ(requested.count(), 200);
    EXPECT_EQ(sound.refCount, 1) << "nothing happens before the timer fires";
    ASSERT_TRUE(pending);
    pending();
    EXPECT_EQ(sound.refCount, -1);
}

TEST(SoundTableRelease, DelayedReleaseThroughThePlatformTimer) {
    platform::TimerService timers;
    SoundTable table(kRate);
    table.useTimerService(timers);
    Sound& sound = load(table, "/timed.wav", 1000);
    table.releaseLater(sound, std::chrono::milliseconds(5));
    int32_t count = 1;
    for (int wait = 0; wait < 400 && count != -1; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard lock(table.mutex());
        count = sound.refCount;
    }
    EXPECT_EQ(count, -1);
}

TEST(SoundTableLoad, AFailedLoadLeavesAFreeRecordWithCountMinusOne) {
    SoundTable table(kRate);
    Sound* record = table.findOrAllocate("/bad.wav");
    ASSERT_NE(record, nullptr);
    table.beginLoad(*record, "/bad.wav");
    record->data.assign(10, 1.0f);
    table.failLoad(*record);
    EXPECT_EQ(record->refCount, -1);
    EXPECT_TRUE(record->path.empty());
    EXPECT_TRUE(record->data.empty());
    EXPECT_FALSE(record->loading);
}

TEST(SoundNames, NameIsThePartAfterTheLastSlash) {
    Sound sound;
    sound.path = "/home/me/sounds/bell.wav";
    EXPECT_EQ(sound.name(), "bell.wav");
    sound.path = "bell.aif";
    EXPECT_EQ(sound.name(), "bell.aif");
}

TEST(SoundRates, RateConstantsFollowTheOutputRate) {
    Sound sound;
    sound.sampleRate = 48000;
    sounds::setOutputRate(sound, 44100);
    EXPECT_EQ(sound.clockUnit, 6086);  // 268435456 / 44100 = 6086.97
    EXPECT_EQ(sound.rateRatio, 1881);  // 44100 × 2048 / 48000 = 1881.6
    // 2^28 / 44100 = 6086.97... in single precision, plus 2 / 2 for two channels.
    EXPECT_FLOAT_EQ(sounds::unitsPerFrameOf(44100, 2), 6087.9716796875f);
    EXPECT_EQ(sounds::unitsPerFrameOf(65536, 1), 4096.0f);
}

TEST(SoundGuard, GuardRegionRepeatsTheStartOfTheSound) {
    // 268435456 mod 6087 = 4843, plus 11.
    EXPECT_EQ(sounds::guardFramesOf(44100, 6087.9716796875f), 4854);
    // A three-frame sound: every reachable position plus five frames must lie inside the data.
    const float upf = sounds::unitsPerFrameOf(3, 1);
    const int32_t guard = sounds::guardFramesOf(3, upf);
    EXPECT_GE(3 + guard, static_cast<int32_t>(0x0FFFFFFF / std::lrint(upf)) + 6);

    Sound sound;
    sound.frames = 3;
    sound.channels = 2;
    sound.data = {1, -1, 2, -2, 3, -3};
    sound.data.resize(static_cast<size_t>(3 + 4) * 2);
    sounds::fillGuardRegion(sound, 4);
    const std::vector<float> expected{1, -1, 2, -2, 3, -3, 1, -1, 2, -2, 3, -3, 1, -1};
    EXPECT_EQ(sound.data, expected);
}

TEST(BuiltinSine, FiveCyclesIn8192FramesWithAContinuingGuard) {
    SoundTable table(kRate);
    const Sound& sine = table.builtin();
    EXPECT_EQ(sine.path, "Built-in 110 Hz sine");
    EXPECT_EQ(sine.name(), "Built-in 110 Hz sine");
    EXPECT_EQ(sine.frames, 8192);
    EXPECT_EQ(sine.channels, 1);
    EXPECT_EQ(sine.sampleRate, 180225);
    EXPECT_EQ(sine.unitsPerFrame, 32768.0f);
    EXPECT_EQ(sine.ampUnitsPerFrame, 32768.0f);
    EXPECT_EQ(sine.refCount, 1);
    ASSERT_EQ(sine.data.size(), 8203u);
    ASSERT_EQ(sine.ampTable.size(), 8192u);
    for (float v : sine.ampTable)
        ASSERT_EQ(v, 0.5f);
    // One cycle is 8192 / 5 frames; the phase starts at -10π, a zero on the way up, so the sine
    // peaks a quarter cycle later and reaches its trough three quarters later.
    EXPECT_NEAR(sine.data[0], 0.0f, 1e-6);
    EXPECT_NEAR(sine.data[410], 1.0f, 1e-4);    // 8192 / 20 = 409.6
    EXPECT_NEAR(sine.data[1229], -1.0f, 1e-4);  // 3 × 409.6 = 1228.8
    for (size_t k = 0; k < 11; ++k)
        EXPECT_NEAR(sine.data[8192 + k], sine.data[k], 1e-5) << k;
    EXPECT_EQ(sine.clockUnit, 6086);
    EXPECT_EQ(sine.rateRatio, 501);  // 44100 × 2048 / 180225 = 501.1
}

}  // namespace
