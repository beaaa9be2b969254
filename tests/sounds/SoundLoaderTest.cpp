#include "sounds/SoundLoader.h"

#include <future>

#include "tests/audio/TestFiles.h"

namespace sounds {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kOutputRate = 44100;

std::vector<float> ramp(size_t count) {
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<float>(static_cast<int>(i % 200) - 100) / 128.0f;
    return samples;
}

// Records what the loader asks and holds the loader thread inside its question until the test answers.
class HeldQuestion : public LargeSoundQuestion {
  public:
    bool confirmLoad(const std::string& title, const std::string& text) override {
        question = title + ": " + text;
        asked.set_value();
        return answer.get_future().get();
    }
    std::string question;
    std::promise<void> asked;
    std::promise<bool> answer;
};

class SoundLoaderTest : public ::testing::Test {
  protected:
    // A 32-bit float WAV file holding exactly `samples`.
    std::string floatWav(const std::string& name, uint32_t rate, uint16_t channels,
                         const std::vector<float>& samples) const {
        audio::test::writeFile(dir_ + name,
                               audio::test::waveFile(3, channels, rate, 32, audio::test::rawBytes(samples)));
        return dir_ + name;
    }
    platform::Message waitForMessage() {
        auto message = queue_.waitAndTake(10s);
        EXPECT_TRUE(message);
        return message ? *message : platform::Message{};
    }
    std::string loadFailure(const std::string& path) {
        const auto request = loader().request(path, 0, kOutputRate);
        EXPECT_EQ(request.outcome, SoundLoader::Outcome::Loading);
        const auto message = waitForMessage();
        EXPECT_EQ(message.number, platform::kMsgSoundLoadFailed);
        const Sound& freed = *request.sound;  // a free record, counted -1
        EXPECT_EQ(std::tuple(freed.refCount, freed.path.empty(), freed.data.empty(), freed.loading.load()),
                  std::tuple(-1, true, true, false));
        return message.text;
    }
    SoundLoader& loader() {
        if (!loader_)
            loader_ = std::make_unique<SoundLoader>(table_, queue_, question_, memory_);
        return *loader_;
    }

    std::string dir_ = audio::test::scratchDir() + "/";
    SoundTable table_{kOutputRate};
    platform::MessageQueue queue_;
    HeldQuestion question_;
    SoundLoader::MemoryQuery memory_ = platform::queryPhysicalMemory;
    std::unique_ptr<SoundLoader> loader_;
};

TEST_F(SoundLoaderTest, LoadsAStereoFileWithItsGuardAndRateConstantsOnceForEveryUser) {
    const auto samples = ramp(3000 * 2);
    const std::string path = floatWav("stereo.wav", 22050, 2, samples);
    const auto request = loader().request(path, 2, kOutputRate);
    ASSERT_EQ(request.outcome, SoundLoader::Outcome::Loading);
    const auto message = waitForMessage();
    ASSERT_EQ(std::tuple(message.number, message.first), std::tuple(platform::kMsgSoundLoaded, int64_t{2}));
    Sound* sound = loader().loadedSound(message);
    ASSERT_EQ(sound, request.sound);
    EXPECT_EQ(std::tuple(sound->refCount, sound->loading.load(), sound->path, sound->name()),
              std::tuple(1, false, path, "stereo.wav"));
    EXPECT_EQ(std::tuple(sound->frames, sound->channels, sound->sampleRate), std::tuple(3000, 2, 22050));
    // 2^28 / 3000 = 89478.485 in single precision, plus 2 / 2; 268435456 / 44100; 44100 * 2048 / 22050;
    // 3000 / 100 + 1 loudness entries.
    EXPECT_EQ(std::tuple(sound->unitsPerFrame, sound->ampUnitsPerFrame, sound->clockUnit, sound->rateRatio,
                         sound->ampTable.size()),
              std::tuple(89478.484375f + 1.0f, 89478.484375f + 1.0f, 6086, 4096, 31u));
    ASSERT_EQ(std::vector(sound->data.begin(), sound->data.begin() + 6000), samples);
    // The guard region repeats the sound from its start: 2^28 mod 89479 + 11 frames at least.
    const size_t guardSamples = sound->data.size() - samples.size();
    EXPECT_GE(guardSamples, (268435456u % 89479u + 11u) * 2u);
    for (size_t k = 0; k < guardSamples; ++k)
        ASSERT_EQ(sound->data[samples.size() + k], samples[k % samples.size()]) << k;
    // A second request of the loaded path counts another user at once.
    const auto second = loader().request(path, 1, kOutputRate);
    EXPECT_EQ(std::tuple(second.outcome, second.sound), std::tuple(SoundLoader::Outcome::InMemory, sound));
    EXPECT_EQ(sound->refCount, 2);
    EXPECT_FALSE(queue_.take());
}

TEST_F(SoundLoaderTest, FailuresNameTheFileAndFreeTheRecord) {
    const std::string missing = dir_ + "no-such-file.wav";
    const std::string text = dir_ + "notes.wav";
    std::ofstream(text) << "These are not the samples you are looking for.\n";
    const std::string empty = floatWav("empty.wav", 44100, 1, {});
    const std::string quad = floatWav("quad.wav", 44100, 4, ramp(400));
    const std::string big = floatWav("big.wav", 44100, 2, ramp(3000 * 2));
    // Only the big sound exceeds this memory: 3000 frames × 2 channels × 4 bytes = 24000 bytes = 23 kB.
    memory_ = [] { return std::optional(platform::PhysicalMemory{10240, 10240}); };
    const std::pair<std::string, std::string> cases[] = {
        {missing, ". Could not open " + missing},  // the text ends so, after the system's reason
        {text, "Unknown soundfile format. Could not open " + text},
        {empty, empty + " has no sample frames"},
        {quad, quad + " has 4 channels; only mono and stereo sounds can be played"},
        {big, big + " (23 kB) exceeds total physical memory (10 kB)!"},
    };
    question_.answer.set_value(false);
    for (const auto& [path, expected] : cases) {
        const std::string failure = loadFailure(path);
        if (path == missing)
            EXPECT_TRUE(failure.size() > expected.size() && failure.ends_with(expected)) << failure;
        else
            EXPECT_EQ(failure, expected);
    }
    EXPECT_TRUE(question_.question.empty()) << "no question for what cannot fit at all";
}

TEST_F(SoundLoaderTest, AsksBeforeLoadingWhatMayNotFitAndKeepsTheRecordWhileItAsks) {
    memory_ = [] { return std::optional(platform::PhysicalMemory{16u << 20, 1u << 20}); };
    // 600000 stereo frames: 4,800,000 bytes, above 4 MiB, a quarter of the total and what is free.
    const std::string path = floatWav("large.wav", 44100, 2, std::vector<float>(600000 * 2, 0.125f));
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        question_.asked = {};
        question_.answer = {};
        const auto request = loader().request(path, 0, kOutputRate);
        question_.asked.get_future().wait();
        EXPECT_EQ(question_.question,
                  "File Information: " + path +
                      " (4687 kB) may be larger than available memory (1024 kB)\n\nYou may try to load it "
                      "into memory.\nIf you try to load too large a file into memory, Fizz will probably "
                      "lock up.\nClick OK to load into memory, Cancel to skip file.");
        // Searches for other sounds pass the loading record by.
        for (int i = 0; i < 2 * SoundTable::kRecordCount; ++i)
            ASSERT_NE(table_.findOrAllocate("other" + std::to_string(i) + ".wav"), request.sound);
        EXPECT_EQ(request.sound->path, path);
        question_.answer.set_value(ok);
        const auto message = waitForMessage();
        EXPECT_EQ(message.number, ok ? platform::kMsgSoundLoaded : platform::kMsgSoundLoadFailed);
        if (ok) {
            EXPECT_EQ(std::tuple(loader().loadedSound(message), request.sound->frames,
                                 request.sound->data[1199999]),
                      std::tuple(request.sound, 600000, 0.125f));
        }
    }
}

}  // namespace
}  // namespace sounds
