#include "output/RecordingSwitch.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/output/RecordingTestFiles.h"

namespace output {
namespace {

using testing::recordingScratch;

class RecordingSwitchTest : public ::testing::Test {
  protected:
    EngineSnapshot engine(int64_t runningFrames = 0) const {
        return EngineSnapshot{44100, 2, inUse_, runningFrames};
    }
    RecordingSwitch makeSwitch(RecordingOptions options) {
        return RecordingSwitch(recorder_, std::move(options), [this](const RecordingOptions& saved) {
            savedCounters_.push_back(saved.counter);
        });
    }

    std::mutex engineLock_;
    Recorder recorder_{engineLock_};
    std::array<bool, kRecordingSlots> inUse_{true, false, true, false, false, false, false, false};
    std::vector<int32_t> savedCounters_;
    std::filesystem::path dir_ = recordingScratch("switch");
};

TEST_F(RecordingSwitchTest, WithoutNumberingEveryRecordingIsFizzWav) {
    auto toggle = makeSwitch({16, false, false, dir_.string(), 5, 99});
    EXPECT_TRUE(toggle.toggle(engine()));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fizz.wav"));
    EXPECT_FALSE(toggle.toggle(engine()));
    EXPECT_TRUE(toggle.toggle(engine()));
    EXPECT_FALSE(toggle.toggle(engine()));
    EXPECT_EQ(toggle.options().counter, 5);
    EXPECT_TRUE(savedCounters_.empty());
}

TEST_F(RecordingSwitchTest, NumberingAfter98GivesFizz99ThenFizz00) {
    auto toggle = makeSwitch({16, true, false, dir_.string(), 98, 99});
    EXPECT_TRUE(toggle.toggle(engine()));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fizz99.wav"));
    toggle.toggle(engine());
    EXPECT_TRUE(toggle.toggle(engine()));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fizz00.wav"));
    toggle.toggle(engine());
    EXPECT_EQ(savedCounters_, (std::vector<int32_t>{99, 0}));
}

TEST_F(RecordingSwitchTest, CounterStartingAtZeroGivesOneFirst) {
    auto toggle = makeSwitch({24, true, false, dir_.string(), 0, 99});
    toggle.toggle(engine());
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fizz01.wav"));
}

TEST_F(RecordingSwitchTest, AddedStreamKeepsTheRecordingsNumber) {
    auto toggle = makeSwitch({16, true, true, dir_.string(), 6, 99});
    ASSERT_TRUE(toggle.toggle(engine(0)));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fizz07.1.wav"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fizz07.3.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "fizz07.2.wav"));
    toggle.streamAdded(3, 88201);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fizz07.4_(88200).wav"));
    EXPECT_EQ(toggle.options().counter, 7);
}

TEST_F(RecordingSwitchTest, AddedStreamOutsidePerStreamRecordingOpensNothing) {
    auto toggle = makeSwitch({16, false, false, dir_.string(), 0, 99});
    toggle.streamAdded(3, 1000);
    toggle.toggle(engine());
    toggle.streamAdded(3, 1000);
    EXPECT_FALSE(recorder_.slotOpen(3));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()),
              1);
}

}  // namespace
}  // namespace output
