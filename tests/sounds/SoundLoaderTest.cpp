#include "sounds/SoundLoader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

namespace sounds {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kOutputRate = 44100;

std::filesystem::path scratch(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(FRISSON_TEST_TMP) / "loader";
    std::filesystem::create_directories(dir);
    return dir / name;
}

void putLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 32-bit float WAV file (format tag 3) holding exactly `samples`.
std::string writeFloatWav(const std::string& name, uint32_t rate, uint16_t channels,
                          const std::vector<float>& samples) {
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 4);
    std::string bytes = "RIFF";
    putLe(bytes, 36 + dataBytes, 4);
    bytes += "WAVEfmt ";
    putLe(bytes, 16, 4);
    putLe(bytes, 3, 2);
    putLe(bytes, channels, 2);
    putLe(bytes, rate, 4);
    putLe(bytes, rate * channels * 4, 4);
    putLe(bytes, channels * 4u, 2);
    putLe(bytes, 32, 2);
    bytes += "data";
    putLe(bytes, dataBytes, 4);
    for (float sample : samples) {
        uint32_t word = 0;
        std::memcpy(&word, &sample, 4);
        putLe(bytes, word, 4);
    }
    const auto path = scratch(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

std::vector<float> ramp(size_t count) {
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<float>(static_cast<int>(i % 200) - 100) / 128.0f;
    return samples;
}

class AskedQuestion : public LargeSoundQuestion {
  public:
    explicit AskedQuestion(bool answer) : answer_(answer) {}
    bool confirmLoad(const std::string& title, const std::string& text) override {
        title_ = title;
        text_ = text;
        return answer_;
    }
    std::string title_;
    std::string text_;

  private:
    bool answer_;
};

class SoundLoaderTest : public ::testing::Test {
  protected:
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
        EXPECT_EQ(request.sound->refCount, -1);
        EXPECT_TRUE(request.sound->path.empty());
        EXPECT_TRUE(request.sound->data.empty());
        return message.text;
    }
    SoundLoader& loader() {
        if (!loader_)
            loader_ = std::make_unique<SoundLoader>(table_, queue_, question_, memory_);
        return *loader_;
    }

    SoundTable table_{kOutputRate};
    platform::MessageQueue queue_;
    AskedQuestion question_{false};
    SoundLoader::MemoryQuery memory_ = platform::queryPhysicalMemory;
    std::unique_ptr<SoundLoader> loader_;
};

TEST_F(SoundLoaderTest, LoadsAStereoFileWithItsGuardAndRateConstants) {
    const auto samples = ramp(3000 * 2);
    const std::string path = writeFloatWav("stereo.wav", 22050, 2, samples);

    const auto request = loader().request(path, 2, kOutputRate);
    ASSERT_EQ(request.outcome, SoundLoader::Outcome::Loading);
    const auto message = waitForMessage();
    ASSERT_EQ(message.number, platform::kMsgSoundLoaded);
    EXPECT_EQ(message.first, 2);
    Sound* sound = loader().loadedSound(message);
    ASSERT_EQ(sound, request.sound);

    EXPECT_EQ(sound->refCount, 1);
    EXPECT_FALSE(sound->loading);
    EXPECT_EQ(sound->path, path);
    EXPECT_EQ(sound->name(), "stereo.wav");
    EXPECT_EQ(sound->frames, 3000);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->sampleRate, 22050);
    // 2^28 / 3000 = 89478.485 in single precision, plus 2 / 2.
    EXPECT_EQ(sound->unitsPerFrame, 89478.484375f + 1.0f);
    EXPECT_EQ(sound->ampUnitsPerFrame, sound->unitsPerFrame);
    EXPECT_EQ(sound->clockUnit, 6086);       // 268435456 / 44100
    EXPECT_EQ(sound->rateRatio, 4096);       // 44100 * 2048 / 22050
    EXPECT_EQ(sound->ampTable.size(), 31u);  // 3000 / 100 + 1

    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(sound->data[i], samples[i]) << i;
    // The guard region repeats the sound from its start: 2^28 mod 89479 + 11 frames at least.
    const size_t guardSamples = sound->data.size() - samples.size();
    EXPECT_GE(guardSamples, (268435456u % 89479u + 11u) * 2u);
    for (size_t k = 0; k < guardSamples; ++k)
        ASSERT_EQ(sound->data[samples.size() + k], samples[k % samples.size()]) << k;
}

TEST_F(SoundLoaderTest, SecondRequestOfALoadedPathCountsAnotherUser) {
    const std::string path = writeFloatWav("mono.wav", 44100, 1, ramp(500));
    const auto first = loader().request(path, 0, kOutputRate);
    ASSERT_EQ(waitForMessage().number, platform::kMsgSoundLoaded);
    EXPECT_EQ(first.sound->channels, 1);

    const auto second = loader().request(path, 1, kOutputRate);
    EXPECT_EQ(second.outcome, SoundLoader::Outcome::InMemory);
    EXPECT_EQ(second.sound, first.sound);
    EXPECT_EQ(second.sound->refCount, 2);
    EXPECT_FALSE(queue_.take());
}

TEST_F(SoundLoaderTest, ReadsWhatSoxWrote) {
    const auto path = scratch("sox.wav").string();
    const std::string make =
        "sox -q -n -r 11025 -c 2 -b 16 '" + path + "' synth 0.25 sine 440 >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    loader().request(path, 0, kOutputRate);
    const auto message = waitForMessage();
    ASSERT_EQ(message.number, platform::kMsgSoundLoaded) << message.text;
    const Sound* sound = loader().loadedSound(message);
    EXPECT_EQ(sound->frames, 2756);  // 0.25 s at 11025 Hz, as soxi counts it
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->sampleRate, 11025);
}

TEST_F(SoundLoaderTest, MissingFileFailsWithItsPathAndFreesTheRecord) {
    const std::string path = scratch("no-such-file.wav").string();
    const std::string text = loadFailure(path);
    const std::string ending = ". Could not open " + path;
    ASSERT_GT(text.size(), ending.size());
    EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
}

TEST_F(SoundLoaderTest, TextFileIsAnUnknownFormat) {
    const auto path = scratch("notes.wav");
    std::ofstream(path) << "These are not the samples you are looking for.\n";
    EXPECT_EQ(loadFailure(path.string()), "Unknown soundfile format. Could not open " + path.string());
}

TEST_F(SoundLoaderTest, SoundWithoutFramesIsRefused) {
    const std::string path = writeFloatWav("empty.wav", 44100, 1, {});
    EXPECT_EQ(loadFailure(path), path + " has no sample frames");
}

TEST_F(SoundLoaderTest, SoundLargerThanPhysicalMemoryIsRefused) {
    memory_ = [] { return std::optional(platform::PhysicalMemory{10240, 10240}); };
    const std::string path = writeFloatWav("big.wav", 44100, 2, ramp(3000 * 2));
    // 3000 frames × 2 channels × 4 bytes = 24000 bytes = 23 kB.
    EXPECT_EQ(loadFailure(path), path + " (23 kB) exceeds total physical memory (10 kB)!");
    EXPECT_TRUE(question_.text_.empty());
}

class LargeSoundTest : public SoundLoaderTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LargeSoundTest, AsksBeforeLoadingWhatMayNotFit) {
    const bool answer = GetParam();
    question_ = AskedQuestion(answer);
    memory_ = [] { return std::optional(platform::PhysicalMemory{16u << 20, 1u << 20}); };
    // 600000 stereo frames: 4,800,000 bytes, above 4 MiB, a quarter of the total and what is free.
    const std::string path = writeFloatWav(answer ? "large-ok.wav" : "large-cancel.wav", 44100, 2,
                                           std::vector<float>(600000 * 2, 0.25f));
    loader().request(path, 0, kOutputRate);
    const auto message = waitForMessage();
    EXPECT_EQ(question_.title_, "File Information");
    EXPECT_EQ(question_.text_,
              path +
                  " (4687 kB) may be larger than available memory (1024 kB)\n\nYou may try to load "
                  "it into memory.\nIf you try to load too large a file into memory, Fizz will "
                  "probably lock up.\nClick OK to load into memory, Cancel to skip file.");
    EXPECT_EQ(message.number, answer ? platform::kMsgSoundLoaded : platform::kMsgSoundLoadFailed);
}

INSTANTIATE_TEST_SUITE_P(OkAndCancel, LargeSoundTest, ::testing::Bool());

// Holds the loader thread inside its question until the test answers.
class HeldQuestion : public LargeSoundQuestion {
  public:
    bool confirmLoad(const std::string&, const std::string&) override {
        asked.set_value();
        return answer.get_future().get();
    }
    std::promise<void> asked;
    std::promise<bool> answer;
};

TEST_F(SoundLoaderTest, RecordBeingLoadedIsNeitherReusedNorFreed) {
    HeldQuestion held;
    memory_ = [] { return std::optional(platform::PhysicalMemory{16u << 20, 1u << 20}); };
    SoundLoader loader(table_, queue_, held, memory_);
    const std::string path = writeFloatWav("held.wav", 44100, 2, std::vector<float>(600000 * 2, 0.125f));
    const auto request = loader.request(path, 0, kOutputRate);
    held.asked.get_future().wait();
    // Searches for other sounds pass the loading record by.
    for (int i = 0; i < 2 * SoundTable::kRecordCount; ++i)
        ASSERT_NE(table_.findOrAllocate("other" + std::to_string(i) + ".wav"), request.sound);
    EXPECT_EQ(request.sound->path, path);
    held.answer.set_value(true);
    const auto message = waitForMessage();
    ASSERT_EQ(message.number, platform::kMsgSoundLoaded);
    EXPECT_EQ(loader.loadedSound(message), request.sound);
    EXPECT_EQ(request.sound->frames, 600000);
    EXPECT_EQ(request.sound->data[1199999], 0.125f);
}

TEST_F(SoundLoaderTest, SoundsOfMoreThanTwoChannelsAreRefused) {
    const std::string path = writeFloatWav("quad.wav", 44100, 4, ramp(400));
    EXPECT_EQ(loadFailure(path), path + " has 4 channels; only mono and stereo sounds can be played");
}

}  // namespace
}  // namespace sounds
