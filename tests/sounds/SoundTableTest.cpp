// The table of sound records, a sound's rate constants and guard region, the built-in sine, and the loudness
// table of a sound.
#include "platform/TimerService.h"
#include "sounds/AmpTable.h"
#include "sounds/BuiltinSine.h"
#include "sounds/SoundTable.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>

namespace {
using sounds::Sound;
using sounds::SoundTable;

constexpr uint32_t kRate = 44100;

class SoundTableTest : public ::testing::Test {
  protected:
    // Loads a path into the table as the loader would, with `frames` × `channels` samples counted (the sample
    // data itself stays small: only the counts decide freeing).
    Sound& load(const std::string& path, int32_t frames, int16_t channels = 1) {
        Sound* sound = table.findOrAllocate(path);
        EXPECT_NE(sound, nullptr);
        table.beginLoad(*sound, path);
        sound->frames = frames;
        sound->channels = channels;
        sound->data.assign(16, 0.25f);
        table.finishLoad(*sound);
        return *sound;
    }
    // (users, path, no data, frames) of a record.
    static std::tuple<int32_t, std::string, bool, int32_t> state(const Sound& sound) {
        return {sound.refCount, sound.path, sound.data.empty(), sound.frames};
    }

    SoundTable table{kRate};
};

TEST_F(SoundTableTest, ReleaseAndSearchFreeLargeUnusedSoundsKeepSmallOnesAndSpareSoundingAndBuiltinOnes) {
    Sound& kept = load("/a.wav", 525'000, 2);
    table.release(kept);
    EXPECT_EQ(state(kept), std::tuple(-1, "/a.wav", false, 525'000));
    Sound& freed = load("/b.wav", 1'050'001);
    table.release(freed);
    EXPECT_EQ(state(freed), std::tuple(0, "", true, 0));
    Sound& big = load("/big.wav", 2'097'153);
    big.activeGrains = 3;
    table.release(big);
    EXPECT_EQ(state(big), std::tuple(0, "/big.wav", false, 2'097'153)) << "a sounding record is never freed";
    // Searches pass over it while its grains sound, and free it, unused and above 2097152 samples, after.
    Sound* other = table.findOrAllocate("/other.wav");
    EXPECT_TRUE(other != nullptr && other != &big);
    EXPECT_EQ(big.path, "/big.wav");
    big.activeGrains = 0;
    table.findOrAllocate("/x.wav");
    EXPECT_EQ(state(big), std::tuple(0, "", true, 0));
    table.release(table.builtin());
    table.releaseKeeping(table.builtin());
    EXPECT_EQ(std::tuple(table.builtin().refCount, table.builtin().frames),
              std::tuple(1, sounds::kBuiltinSineFrames));
}

TEST_F(SoundTableTest, SearchCountsUsersOfAFoundPathAndPrefersFreeRecordsToKeptOnes) {
    Sound& first = load("/same.wav", 1000);
    EXPECT_EQ(std::tuple(table.findOrAllocate("/same.wav"), first.refCount), std::tuple(&first, 2));
    EXPECT_NE(table.findOrAllocate("/SAME.wav"), &first) << "paths compare case-sensitively";
    Sound& kept = load("/kept.wav", 1000);
    table.release(kept);  // kept in memory without users
    // A free record is preferred to a kept sound.
    Sound* fresh = table.findOrAllocate("/fresh.wav");
    EXPECT_TRUE(fresh != nullptr && fresh != &kept);
    EXPECT_EQ(kept.path, "/kept.wav");
    EXPECT_EQ(std::tuple(table.findOrAllocate("/kept.wav"), kept.refCount), std::tuple(&kept, 1))
        << "a kept sound found again has one user";
    // (That a search never takes a record being loaded is checked with the loader, while it asks.)
}

TEST_F(SoundTableTest, WithAllRecordsKeptSearchReusesTheOldestAndWithAllInUseNone) {
    std::vector<Sound*> loaded;
    for (int i = 0; i < SoundTable::kRecordCount; ++i) {
        Sound& s = load("/k" + std::to_string(i) + ".wav", 1000);
        table.release(s);  // kept with refCount -1, then aged by later searches
        loaded.push_back(&s);
    }
    // The first sound released has aged through the most searches.
    EXPECT_EQ(table.findOrAllocate("/new.wav"), loaded.front());
    EXPECT_EQ(state(*loaded.front()), std::tuple(0, "", true, 0));
    // The freed record loaded and the other kept sounds found again: every record is in use, and a search
    // finds none.
    load("/new.wav", 1000);
    for (int i = 1; i < SoundTable::kRecordCount; ++i)
        table.findOrAllocate("/k" + std::to_string(i) + ".wav");
    EXPECT_EQ(table.findOrAllocate("/one-more.wav"), nullptr);
}

// (That nothing is released before the timer fires, and the delay asked, are checked with the engine's
// ending of a stream.)
TEST_F(SoundTableTest, DelayedReleaseThroughThePlatformTimerService) {
    platform::TimerService timers;
    table.useTimerService(timers);
    Sound& timed = load("/timed.wav", 1000);
    table.releaseLater(timed, std::chrono::milliseconds(5));
    int32_t count = 1;
    for (int wait = 0; wait < 400 && count != -1; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard lock(table.mutex());
        count = timed.refCount;
    }
    EXPECT_EQ(count, -1);
}

// (A sound's name, the part of its path after the last slash, is checked with a loaded sound and the
// built-in sine.)
TEST(Sound, UnitsPerFrameAndGuardLength) {
    EXPECT_EQ(sounds::unitsPerFrameOf(65536, 1), 4096.0f);  // 2^28 / 65536, plus 1 / 2 = 0 for one channel
    // 268435456 mod 6087 = 4843, plus 11.
    EXPECT_EQ(sounds::guardFramesOf(44100, 6087.9716796875f), 4854);
    // A three-frame sound: every reachable position plus five frames must lie inside the data.
    const float upf = sounds::unitsPerFrameOf(3, 1);
    EXPECT_GE(3 + sounds::guardFramesOf(3, upf), static_cast<int32_t>(0x0FFFFFFF / std::lrint(upf)) + 6);
}

TEST_F(SoundTableTest, BuiltinSineHasFiveCyclesIn8192FramesWithAContinuingGuard) {
    const Sound& sine = table.builtin();
    EXPECT_EQ(std::tuple(sine.path, sine.name()), std::tuple("Built-in 110 Hz sine", "Built-in 110 Hz sine"));
    EXPECT_EQ(std::tuple(sine.frames, sine.channels, sine.sampleRate, sine.refCount),
              std::tuple(8192, 1, 180225, 1));
    // 44100 × 2048 / 180225 = 501.1.
    EXPECT_EQ(std::tuple(sine.unitsPerFrame, sine.ampUnitsPerFrame, sine.clockUnit, sine.rateRatio),
              std::tuple(32768.0f, 32768.0f, 6086, 501));
    ASSERT_EQ(sine.data.size(), 8203u);
    EXPECT_EQ(sine.ampTable, std::vector<float>(8192, 0.5f));
    // One cycle is 8192 / 5 frames; the phase starts at -10π, a zero on the way up, so the sine peaks a
    // quarter cycle later and reaches its trough three quarters later.
    EXPECT_NEAR(sine.data[0], 0.0f, 1e-6);
    EXPECT_NEAR(sine.data[410], 1.0f, 1e-4);    // 8192 / 20 = 409.6
    EXPECT_NEAR(sine.data[1229], -1.0f, 1e-4);  // 3 × 409.6 = 1228.8
    for (size_t k = 0; k < 11; ++k)
        EXPECT_NEAR(sine.data[8192 + k], sine.data[k], 1e-5) << k;
}

void makeConstant(Sound& sound, int32_t frames, int32_t rate, float value) {
    sound.frames = frames;
    sound.channels = 1;
    sound.sampleRate = rate;
    sound.data.assign(static_cast<size_t>(frames), value);
}

// The table's length (one entry per 100 frames, at least 20) is checked with the tables built below and
// with a loaded sound.
TEST(AmpTable, LookupsPastTheEndUseTheLastEntry) {
    const std::vector<float> table{0.1f, 0.2f, 0.3f};
    EXPECT_EQ(std::tuple(sounds::ampAt(table, 0), sounds::ampAt(table, 2), sounds::ampAt(table, 3),
                         sounds::ampAt(table, 1000)),
              std::tuple(0.1f, 0.3f, 0.3f, 0.3f));
}

TEST(AmpTableBuild, ConstantSoundFollowsTheFilterStepResponseLoudStartDecaysShortOrSilentSoundsAreFlat) {
    // For a constant x the filter state after k frames is x²(1 − b^k). The warm-up runs 19 entries (1900
    // frames) before the main pass, so main entry j has seen 1900 + 100 (j + 1) frames.
    constexpr int32_t kRate = 8000;
    constexpr int32_t kFrames = 3000;
    Sound sound;
    makeConstant(sound, kFrames, kRate, 0.5f);
    ASSERT_TRUE(sounds::buildAmpTable(sound));
    const int n = sounds::ampTableSize(kFrames);
    ASSERT_EQ(sound.ampTable.size(), static_cast<size_t>(n));
    const double w = 2 * std::numbers::pi / kRate;
    const double k = 2 - std::cos(10 * w);
    const double b = k - std::sqrt(k * k - 1);
    auto level = [&](int framesSeen) { return std::sqrt(1 - std::pow(b, framesSeen)); };
    const double largest = level(1900 + 100 * (n - 1));
    for (int j = 0; j <= n - 2; ++j)
        EXPECT_NEAR(sound.ampTable[static_cast<size_t>(j)], level(1900 + 100 * (j + 1)) / largest, 2e-6) << j;
    EXPECT_FLOAT_EQ(sound.ampTable[static_cast<size_t>(n - 2)], 1.0f);
    EXPECT_FLOAT_EQ(sound.ampTable[static_cast<size_t>(n - 1)],
                    (sound.ampTable[static_cast<size_t>(n - 2)] + sound.ampTable[0]) / 2);
    // A loud first half and a silent second half.
    Sound half;
    makeConstant(half, 4000, 44100, 0.0f);
    for (int32_t i = 0; i < 2000; ++i)
        half.data[static_cast<size_t>(i)] = (i % 2 == 0) ? 0.8f : -0.8f;
    ASSERT_TRUE(sounds::buildAmpTable(half));
    const auto& t = half.ampTable;
    EXPECT_FLOAT_EQ(*std::max_element(t.begin(), t.end()), 1.0f);
    EXPECT_GT(t[19], t[25]) << "the level falls once the sound goes silent";
    EXPECT_GT(t[25], t[35]);
    // Short or silent sounds get a flat half.
    for (const auto& [frames, value, entries] : {std::tuple(1899, 0.9f, 20), std::tuple(5000, 0.0f, 51)}) {
        Sound flat;
        makeConstant(flat, frames, 44100, value);
        ASSERT_TRUE(sounds::buildAmpTable(flat));
        EXPECT_EQ(flat.ampTable, std::vector<float>(static_cast<size_t>(entries), 0.5f)) << frames;
    }
}
}  // namespace
