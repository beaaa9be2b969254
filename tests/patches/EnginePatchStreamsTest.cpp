#include "patches/EnginePatchStreams.h"

#include <gtest/gtest.h>

#include "patches/BankStorage.h"
#include "patches/PatchPanel.h"
#include "sounds/SoundTable.h"
#include "tests/patches/FakePanel.h"

namespace patches {
namespace {

constexpr uint32_t kRate = 44100;

class EnginePatchStreamsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = testing::freshFolder().string() + "/";
        panel.setPatchFolder(folder);
        panel.start(engine::defaultParamSet());
    }
    std::string folder;
    sounds::SoundTable table{kRate};
    engine::Engine engine{table, engine::OutputFormat{kRate, true, 256, 4}};
    EnginePatchStreams streams{engine};
    testing::FakeView view;
    PatchPanel panel{streams, view};
};

TEST_F(EnginePatchStreamsTest, StoredPatchComesBackIntoAnotherStreamThroughTheFile) {
    for (int p = 0; p < engine::kParamCount; ++p) {
        const auto& row = engine::paramSpec(p);
        engine.setParameter(0, p, row.min + (row.max - row.min) / 3);
    }
    engine.setParameter(0, engine::ChangeTime, 64);
    panel.slotClick(kDefaultPatchButton + 4, true, false);
    EXPECT_EQ(panel.bank(0).slot(4).soundPathText(), "fizz_sine");
    panel.nameFieldLostFocus("engine");
    panel.save();
    ASSERT_EQ(panel.statusId(), 1602);

    const int second = engine.createStream();
    ASSERT_EQ(second, 1);
    engine.setParameter(1, engine::PanPos, 77);
    PatchBank loaded;
    ASSERT_TRUE(loadBank(folder + "engine.fpb", loaded, 1, std::string("engine"), view));
    panel.bank(1) = loaded;
    panel.bankButton(kFirstBankButton + 1);
    EXPECT_EQ(panel.recallOrStore(1, 1, 1, PatchClickMode::Recall), 1412);

    for (int p = 0; p < kRecalledParamCount; ++p) {
        const auto& row = engine::paramSpec(p);
        EXPECT_EQ(engine.stream(1).param(p).targetValue(), row.min + (row.max - row.min) / 3) << row.name;
        // A change over 64/64 s at 44100 Hz ends 44100 frames after the clock (0 while stopped).
        EXPECT_EQ(engine.stream(1).param(p).endFrame.load(), 44100) << row.name;
    }
    EXPECT_EQ(engine.stream(1).param(engine::PanPos).targetValue(), 77) << "the pan position stays";
    EXPECT_EQ(engine.changeTime(), 64) << "the change time stays";

    // Ctrl-click: 6.4/64 s is 4410 frames.
    panel.recallOrStore(1, 1, 1, PatchClickMode::FastRecall);
    EXPECT_EQ(engine.stream(1).param(engine::Pitch).endFrame.load(), 4410);
}

TEST_F(EnginePatchStreamsTest, StoreWhatIsHeardTakesTheSmoothedValue) {
    engine.setParameter(0, engine::Pitch, 7000);
    engine.snapParameters(0);
    engine.setParameter(0, engine::Pitch, 9000);  // gliding: current is still 7000
    panel.slotClick(kDefaultPatchButton + 1, true, true);
    EXPECT_EQ(panel.bank(0).slot(1).values[engine::Pitch], 7000);
    panel.slotClick(kDefaultPatchButton + 2, true, false);
    EXPECT_EQ(panel.bank(0).slot(2).values[engine::Pitch], 9000);
    EXPECT_EQ(engine.stream(0).patchSlot, 2);
    EXPECT_EQ(engine.stream(0).bankIndex, 0);
}

}  // namespace
}  // namespace patches
