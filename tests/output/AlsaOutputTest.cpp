// The direct ALSA path against ALSA's "null" PCM, which takes every sample at
// once: the writer hands each buffer back as a done message.
#include "output/AlsaOutput.h"

#include <gtest/gtest.h>

#include <vector>

#include "output/AlsaDevices.h"
#include "platform/MessageQueue.h"

namespace output {
namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kFrames = 256;
constexpr auto kMessageTimeout = std::chrono::seconds(2);
constexpr std::int64_t kTag = 7;

TEST(AlsaDevices, ListsNullAsAPlaybackDeviceAndNamesDefaultMinusOne) {
    const AlsaDeviceTable table = listAlsaPlaybackDevices();
    EXPECT_NE(std::find(table.names.begin(), table.names.end(), "null"), table.names.end());
    EXPECT_EQ(table.pcmName(-1), "default");
    ASSERT_GT(table.count(), 0);
    EXPECT_EQ(table.pcmName(0), table.names[0]);
}

class AlsaOutputTest : public ::testing::Test {
  protected:
    platform::MessageQueue queue;
    AlsaOutput alsa{queue};
    std::vector<std::int16_t> buffers = std::vector<std::int16_t>(4 * 2 * kFrames, 0);

    const std::int16_t* slot(int s) const {
        return buffers.data() + static_cast<std::size_t>(s) * 2 * kFrames;
    }
};

TEST_F(AlsaOutputTest, QueuedBuffersWaitForRestartThenComeBackInOrder) {
    ASSERT_TRUE(alsa.open("null", 2, kRate, kFrames));
    for (int s = 0; s < 4; ++s) {
        ASSERT_TRUE(alsa.write(s, slot(s), kFrames, kTag));
    }
    // Paused after open: nothing is written yet.
    EXPECT_FALSE(queue.waitAndTake(std::chrono::milliseconds(50)).has_value());
    alsa.restart();
    for (int s = 0; s < 4; ++s) {
        const auto done = queue.waitAndTake(kMessageTimeout);
        ASSERT_TRUE(done.has_value());
        EXPECT_EQ(done->number, platform::kMsgBufferDone);
        EXPECT_EQ(done->first, s);
        EXPECT_EQ(done->second, kTag);
    }
    EXPECT_TRUE(alsa.release());
    EXPECT_TRUE(alsa.close());
    EXPECT_FALSE(alsa.isOpen());
}

TEST_F(AlsaOutputTest, ResetDropsQueuedBuffersWithoutDoneMessages) {
    ASSERT_TRUE(alsa.open("null", 1, 22050, kFrames));
    ASSERT_TRUE(alsa.write(0, slot(0), kFrames, kTag));
    ASSERT_TRUE(alsa.write(1, slot(1), kFrames, kTag));
    EXPECT_TRUE(alsa.reset());
    alsa.restart();
    EXPECT_FALSE(queue.waitAndTake(std::chrono::milliseconds(50)).has_value());
    ASSERT_TRUE(alsa.write(2, slot(2), kFrames, kTag + 1));
    const auto done = queue.waitAndTake(kMessageTimeout);
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->first, 2);
    EXPECT_EQ(done->second, kTag + 1);
}

TEST_F(AlsaOutputTest, FailuresCarryTheSystemsText) {
    const AlsaStatus missing = alsa.open("no_such_pcm_for_frisson", 2, kRate, kFrames);
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_FALSE(alsa.isOpen());
    EXPECT_FALSE(alsa.write(0, slot(0), kFrames, kTag));
    EXPECT_TRUE(alsa.close());  // closing what is not open is harmless
}

}  // namespace
}  // namespace output
