#include "patches/PatchPanel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "patches/BankFile.h"
#include "patches/PatchStatus.h"
#include "tests/patches/FakePanel.h"

namespace patches {
namespace {

using testing::FakeStreams;
using testing::FakeView;
namespace fs = std::filesystem;

class PatchPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = testing::freshFolder().string() + "/";
        panel.setPatchFolder(folder);
        panel.start(engine::defaultParamSet());
    }
    // Gives the current stream visible values 100 + p and heard values 100 + p + fraction.
    void setStreamValues(float fraction) {
        auto& s = streams.at(streams.currentIndex);
        for (int p = 0; p < engine::kParamCount; ++p) {
            s.target[static_cast<size_t>(p)] = 100 + p;
            s.current[static_cast<size_t>(p)] = static_cast<float>(100 + p) + fraction;
        }
    }
    int slotId(int slot) const { return kDefaultPatchButton + slot; }

    std::string folder;
    FakeStreams streams;
    FakeView view;
    PatchPanel panel{streams, view};
};

TEST_F(PatchPanelTest, StartsWithTheDefaultPatchSelectedAndBankADisplayed) {
    EXPECT_EQ(panel.displayedBank(), 0);
    EXPECT_EQ(panel.selectedSlot(), 0);
    EXPECT_EQ(panel.lastPatchBank(), -1);
    EXPECT_EQ(view.selectedSlots(), std::vector<int>{0});
    EXPECT_EQ(view.labels[1], "Slot 1");
    EXPECT_EQ(panel.defaultPatch().values[13], 6144);  // Pitch default
    EXPECT_TRUE(panel.defaultPatch().occupied());
}

TEST_F(PatchPanelTest, ShiftClickStoresTheVisibleValuesAndMarksTheSlot) {
    setStreamValues(0.75f);
    streams.at(0).sound = "/snd/voice.wav";
    panel.slotClick(slotId(3), true, false);
    const Patch& p = panel.bank(0).slot(3);
    EXPECT_EQ(p.flags, 3u);
    EXPECT_EQ(p.soundPathText(), "/snd/voice.wav");
    EXPECT_EQ(p.soundPathLength(), 15u);
    EXPECT_EQ(p.values[0], 100);
    EXPECT_EQ(p.values[27], 127);
    EXPECT_EQ(p.values[28], 0) << "the change time is not stored";
    EXPECT_EQ(panel.bank(0).count, 1);
    EXPECT_EQ(panel.bank(0).modified, kBankPatchesChanged);
    EXPECT_EQ(view.labels[3], "Patch &3*");
    EXPECT_EQ(view.status, "Stored current set of scrollbar values for grain generation");
    EXPECT_EQ(streams.at(0).patchSlot, 3);
    EXPECT_EQ(view.selectedSlots(), std::vector<int>{3});

    // Overwriting keeps the count.
    panel.slotClick(slotId(3), true, false);
    EXPECT_EQ(panel.bank(0).count, 1);
}

TEST_F(PatchPanelTest, ShiftCtrlClickStoresWhatIsHeardRoundedHalfToEven) {
    auto& s = streams.at(0);
    s.current[4] = 2.5f;  // ties go to even
    s.current[5] = 3.5f;
    s.current[6] = -2.5f;
    s.current[7] = 10.4f;
    s.target[4] = 999;
    panel.slotClick(slotId(1), true, true);
    const Patch& p = panel.bank(0).slot(1);
    EXPECT_EQ(p.values[4], 2);
    EXPECT_EQ(p.values[5], 4);
    EXPECT_EQ(p.values[6], -2);
    EXPECT_EQ(p.values[7], 10);
}

TEST_F(PatchPanelTest, RecallSetsParameters0To26WithTheChangeTime) {
    setStreamValues(0);
    panel.slotClick(slotId(2), true, false);
    streams.calls.clear();
    streams.globalChangeTime = 200;
    panel.slotClick(slotId(2), false, false);
    ASSERT_EQ(streams.calls.size(), 27u);
    for (int p = 0; p < 27; ++p) {
        EXPECT_EQ(streams.calls[static_cast<size_t>(p)].param, p);
        EXPECT_EQ(streams.calls[static_cast<size_t>(p)].value, 100 + p);
        EXPECT_EQ(streams.calls[static_cast<size_t>(p)].changeTime, 200.0);
        EXPECT_EQ(view.scrollBars[p], 100 + p);
    }
    EXPECT_EQ(view.scrollBars.count(27), 0u) << "pan position untouched";
    EXPECT_EQ(view.status, "Restore a patch for grain generation");

    streams.calls.clear();
    panel.slotClick(slotId(2), false, true);
    ASSERT_EQ(streams.calls.size(), 27u);
    EXPECT_EQ(streams.calls[0].changeTime, 6.4) << "Ctrl-click recalls within 0.1 s";
}

TEST_F(PatchPanelTest, RecallIntoAnotherStreamLeavesTheScrollBarsAlone) {
    setStreamValues(0);
    panel.slotClick(slotId(1), true, false);
    view.scrollBars.clear();
    streams.at(1).exists = true;
    EXPECT_EQ(panel.recallOrStore(1, 0, 1, PatchClickMode::Recall), kStatusRecalled);
    EXPECT_TRUE(view.scrollBars.empty());
    EXPECT_EQ(streams.calls.back().stream, 1);
}

TEST_F(PatchPanelTest, EmptySlotRecallsNothingAndRestoresTheSelection) {
    panel.slotClick(slotId(7), false, false);
    EXPECT_TRUE(streams.calls.empty());
    EXPECT_EQ(view.status,
              "This slot is empty. Shift- or Ctrl-click to store visible values/what you're hearing");
    EXPECT_EQ(view.selectedSlots(), std::vector<int>{0});
    EXPECT_EQ(panel.selectedSlot(), 0);
}

TEST_F(PatchPanelTest, DefaultPatchButton) {
    panel.slotClick(kDefaultPatchButton, false, false);
    EXPECT_EQ(view.status, "Restore the default patch (straight playback of sound)");
    ASSERT_EQ(streams.calls.size(), 27u);
    EXPECT_EQ(streams.calls[13].value, 6144);

    // Shift-click stores nothing and keeps the previous selection.
    setStreamValues(0);
    panel.slotClick(slotId(4), true, false);
    streams.calls.clear();
    panel.slotClick(kDefaultPatchButton, true, false);
    EXPECT_TRUE(streams.calls.empty());
    EXPECT_EQ(panel.defaultPatch().values[0], 0);
    EXPECT_EQ(view.selectedSlots(), std::vector<int>{4});
}

TEST_F(PatchPanelTest, SlotLabelsFollowTheirState) {
    Patch empty;
    Patch saved;
    saved.flags = kPatchOccupied;
    Patch fresh;
    fresh.flags = kPatchOccupied | kPatchUnsaved;
    EXPECT_EQ(slotLabel(9, empty), "Slot 9");
    EXPECT_EQ(slotLabel(9, saved), "Patch &9");
    EXPECT_EQ(slotLabel(10, saved), "Patch 1&0");
    EXPECT_EQ(slotLabel(10, fresh), "Patch 1&0*");
    EXPECT_EQ(slotLabel(11, fresh), "Patch 11*");
    EXPECT_EQ(slotLabel(20, saved), "Patch 20");
}

TEST_F(PatchPanelTest, ClearPatchEmptiesOnlyASelectedOccupiedSlot) {
    panel.clearPatch();  // default patch selected: nothing
    EXPECT_EQ(panel.bank(0).count, 0);
    setStreamValues(0);
    panel.slotClick(slotId(5), true, false);
    panel.clearPatch();
    EXPECT_FALSE(panel.bank(0).slot(5).occupied());
    EXPECT_EQ(panel.bank(0).slot(5).values[0], 100) << "old values stay until stored again";
    EXPECT_EQ(panel.bank(0).count, 0);
    EXPECT_EQ(view.labels[5], "Slot 5");
    EXPECT_EQ(panel.selectedSlot(), -1);
    EXPECT_EQ(view.status, "Deleted current patch");
    panel.clearPatch();  // nothing selected now
    EXPECT_EQ(panel.bank(0).count, 0);
}

TEST_F(PatchPanelTest, NameFieldDropsCharactersNotAllowedInFileNames) {
    panel.nameFieldLostFocus("my<bank>:one");
    EXPECT_EQ(panel.bank(0).name, "mybankone");
    EXPECT_EQ(view.nameField, "mybankone");
    EXPECT_EQ(panel.bank(0).modified, kBankRenamed);

    panel.bank(0).modified = kBankSaved;
    panel.nameFieldLostFocus("mybankone");
    EXPECT_EQ(panel.bank(0).modified, kBankSaved);

    panel.nameFieldLostFocus("Bank Name?");
    EXPECT_EQ(view.nameField, "");
    EXPECT_EQ(panel.bank(0).name, "mybankone");
}

TEST_F(PatchPanelTest, StoreAfterARenameStillAsksBeforeOverwriting) {
    setStreamValues(0);
    panel.slotClick(slotId(1), true, false);
    panel.nameFieldLostFocus("other");
    { std::ofstream(folder + "other.fpb") << "someone else's bank"; }
    panel.slotClick(slotId(2), true, false);
    view.okAnswers = {false};
    panel.save();
    EXPECT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(*readFileBytes(folder + "other.fpb"), "someone else's bank");
}

TEST_F(PatchPanelTest, ShowBankReportsWhichStreamsUseIt) {
    streams.at(1).exists = true;
    streams.at(2).exists = true;
    streams.at(3).exists = false;
    streams.setPatchOf(0, 1, 4);
    streams.setPatchOf(2, 1, 2);
    streams.setPatchOf(3, 1, 2);  // an empty stream slot does not count
    streams.setPatchOf(1, 1, 0);  // the default patch does not count
    panel.bankButton(kFirstBankButton + 1);
    EXPECT_EQ(view.status, "Bank is used by stream 1, 3");
    EXPECT_EQ(panel.displayedBank(), 1);
    EXPECT_EQ(view.displayedBank, 1);
    EXPECT_EQ(panel.selectedSlot(), 4);

    panel.bankButton(kFirstBankButton + 5);
    EXPECT_EQ(view.status, "Bank is not used by any stream");
    EXPECT_EQ(panel.selectedSlot(), -1);
    EXPECT_TRUE(view.selectedSlots().empty());

    // A bank status is cleared by the next command without a status of its own.
    panel.clearPatch();
    EXPECT_EQ(view.status, "");
}

TEST_F(PatchPanelTest, SaveAndLoadThroughThePanel) {
    setStreamValues(0);
    panel.slotClick(slotId(2), true, false);
    panel.save();
    EXPECT_EQ(view.status, "You must name this bank to save as a file");
    EXPECT_EQ(view.nameField, "Bank Name?");
    panel.nameFieldLostFocus("pads");
    panel.save();
    EXPECT_EQ(view.status, "Saved current patch bank as <Bank name>.fpb");
    EXPECT_EQ(view.labels[2], "Patch &2");
    EXPECT_TRUE(fs::exists(folder + "pads.fpb"));
    panel.save();
    EXPECT_EQ(view.status, "Nothing to save in bank");

    // Load it into bank C: it is compacted into slot 1.
    panel.bankButton(kFirstBankButton + 2);
    view.chosenFile = folder + "pads.fpb";
    panel.load();
    EXPECT_EQ(view.chooserFolder, folder);
    // The title matches bank A, which has no unsaved changes: only the display switches.
    EXPECT_EQ(panel.displayedBank(), 0);
    EXPECT_EQ(panel.bank(2).count, 0);

    panel.bank(0).name = "renamed";
    panel.bankButton(kFirstBankButton + 2);
    panel.load();
    EXPECT_EQ(panel.displayedBank(), 2);
    EXPECT_EQ(panel.bank(2).name, "pads");
    EXPECT_EQ(panel.bank(2).count, 1);
    EXPECT_TRUE(panel.bank(2).slot(1).occupied());
    EXPECT_EQ(view.labels[1], "Patch &1");
    EXPECT_EQ(view.status, "Loaded a patch bank file into current bank");
}

TEST_F(PatchPanelTest, LoadAsksToSaveUnsavedChangesFirst) {
    setStreamValues(0);
    panel.slotClick(slotId(1), true, false);
    view.yesNoAnswers = {Answer::Cancel};
    view.chosenFile = folder + "none.fpb";
    panel.load();
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0], "Save the patches!: Do you want to save changes before loading a new bank?");
    EXPECT_TRUE(view.chooserFolder.empty()) << "Cancel ends the command";

    panel.nameFieldLostFocus("x");
    view.yesNoAnswers = {Answer::Yes};
    panel.load();
    EXPECT_EQ(view.questions.back(), "Save the patches!: Do you want to save x before loading a new bank?");
    EXPECT_TRUE(fs::exists(folder + "x.fpb"));
    EXPECT_EQ(view.chooserFolder, folder);
}

TEST_F(PatchPanelTest, LoadingAModifiedBanksOwnFileAsksToRevert) {
    setStreamValues(0);
    panel.slotClick(slotId(1), true, false);
    panel.nameFieldLostFocus("mine");
    panel.save();
    panel.slotClick(slotId(2), true, false);  // unsaved again
    view.yesNoAnswers = {Answer::No};
    view.okAnswers = {true};
    view.chosenFile = folder + "MINE.fpb";
    fs::copy_file(folder + "mine.fpb", folder + "MINE.fpb");
    panel.load();
    EXPECT_EQ(view.questions.back(), "Load patch bank: Revert mine to saved file?");
    EXPECT_EQ(panel.bank(0).count, 1);
    EXPECT_EQ(panel.bank(0).name, "MINE");
    EXPECT_EQ(panel.lastPatchBank(), -1) << "the last patch came from the reloaded bank";
}

TEST_F(PatchPanelTest, CloseDiscardsUnsavedPatchesOnNoAndKeepsTheFile) {
    setStreamValues(0);
    panel.slotClick(slotId(1), true, false);
    panel.nameFieldLostFocus("tmp");
    panel.save();
    panel.slotClick(slotId(2), true, false);
    view.yesNoAnswers = {Answer::No};
    panel.close();
    EXPECT_EQ(view.questions.back(), "Save the patches!: Do you want to save tmp before closing bank?");
    EXPECT_EQ(panel.bank(0).count, 0);
    EXPECT_EQ(panel.bank(0).name, "");
    EXPECT_FALSE(panel.bank(0).slot(1).occupied());
    EXPECT_EQ(view.status, "Closed current patch bank");
    EXPECT_TRUE(fs::exists(folder + "tmp.fpb"));
}

TEST_F(PatchPanelTest, ProgramChangeRecallsWithoutTouchingTheStreamsPatchFields) {
    setStreamValues(0);
    panel.slotClick(slotId(6), true, false);
    streams.setPatchOf(0, 3, 9);
    streams.calls.clear();
    panel.programChange(kDefaultPatchButton + 6, 0);
    EXPECT_EQ(streams.calls.size(), 27u);
    EXPECT_EQ(streams.at(0).patchSlot, 9);
    panel.programChange(kDefaultPatchButton, 0);
    EXPECT_EQ(panel.selectedSlot(), 0);
    EXPECT_EQ(view.selectedSlots(), std::vector<int>{0});
    panel.programChange(1570 + 33, 0);  // program 33 presses bank button D
    EXPECT_EQ(panel.displayedBank(), 3);
}

TEST_F(PatchPanelTest, ExitNamesUnnamedBanksByLetterAndRecordsNames) {
    setStreamValues(0);
    panel.slotClick(slotId(1), true, false);  // bank A, unnamed
    panel.bankButton(kFirstBankButton + 1);
    panel.slotClick(slotId(3), true, false);
    panel.nameFieldLostFocus("voices");  // bank B, named
    for (int b = 0; b < kBankCount; ++b)
        ASSERT_NE(panel.saveBankForExit(b), kStatusNone);
    EXPECT_TRUE(fs::exists(folder + "A.fpb"));
    EXPECT_TRUE(fs::exists(folder + "voices.fpb"));
    EXPECT_EQ(panel.sessionName(0), "A");
    EXPECT_EQ(panel.sessionName(1), "voices");
    EXPECT_EQ(panel.sessionName(2), "");
}

TEST_F(PatchPanelTest, ExitStopsWhenTheUserCancelsASave) {
    setStreamValues(0);
    panel.slotClick(slotId(1), true, false);
    panel.nameFieldLostFocus("exists");
    { std::ofstream(folder + "exists.fpb") << "x"; }
    view.okAnswers = {false};
    EXPECT_EQ(panel.saveBankForExit(0), kStatusNone);
    EXPECT_EQ(panel.bank(0).modified, kBankRenamed);
}

}  // namespace
}  // namespace patches
