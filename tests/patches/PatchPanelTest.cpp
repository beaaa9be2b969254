// The patch panel: storing and recalling patches, banks saved and loaded through it, the session
// of bank names, and the panel driving a real engine.
#include "patches/BankFile.h"
#include "patches/BankStorage.h"
#include "patches/PatchStatus.h"
#include "patches/Session.h"
#include "tests/patches/FakePanel.h"

#include <gtest/gtest.h>
#include <fstream>
#include <stdexcept>

namespace patches {
namespace {
namespace fs = std::filesystem;
using Slots = std::vector<int>;

class PatchPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        panel.setPatchFolder(folder);
        panel.start(engine::defaultParamSet());
    }
    // Gives the current stream visible values 100 + p and heard values 100 + p + fraction.
    void setStreamValues(float fraction = 0) {
        auto& s = streams.at(streams.currentIndex);
        for (int p = 0; p < engine::kParamCount; ++p) {
            s.target[static_cast<size_t>(p)] = 100 + p;
            s.current[static_cast<size_t>(p)] = static_cast<float>(100 + p) + fraction;
        }
    }
    // Stores the visible values into `slot` of the displayed bank (Shift-click).
    void store(int slot) { panel.slotClick(slotId(slot), true, false); }
    int slotId(int slot) const { return kDefaultPatchButton + slot; }
    // Clicks slot button `id` and returns how many parameters it set.
    size_t click(int id, bool shift = false, bool ctrl = false) {
        streams.calls.clear();
        panel.slotClick(id, shift, ctrl);
        return streams.calls.size();
    }

    std::string folder = testing::freshFolder().string() + "/";
    testing::FakeStreams streams;
    testing::FakeView view;
    PatchPanel panel{streams, view};
};

TEST_F(PatchPanelTest, StartsWithTheDefaultPatchSelectedAndLabelsFollowTheSlotState) {
    EXPECT_EQ(
        std::tuple(panel.displayedBank(), panel.selectedSlot(), panel.lastPatchBank(), view.selectedSlots()),
        std::tuple(0, 0, -1, Slots{0}));
    EXPECT_EQ(view.labels[1], "Slot 1");

    Patch empty, saved, fresh;
    saved.flags = kPatchOccupied;
    fresh.flags = kPatchOccupied | kPatchUnsaved;
    EXPECT_EQ(std::tuple(slotLabel(9, empty), slotLabel(9, saved), slotLabel(10, saved), slotLabel(10, fresh),
                         slotLabel(11, fresh), slotLabel(20, saved)),
              std::tuple("Slot 9", "Patch &9", "Patch 1&0", "Patch 1&0*", "Patch 11*", "Patch 20"));
}

TEST_F(PatchPanelTest, ShiftClickStoresTheVisibleValuesCtrlWhatIsHeardRoundedHalfToEvenAndClearEmpties) {
    panel.clearPatch();  // default patch selected: nothing
    EXPECT_EQ(panel.bank(0).count, 0);
    setStreamValues(0.75f);
    streams.at(0).sound = "/snd/voice.wav";
    store(3);
    const Patch& p = panel.bank(0).slot(3);
    EXPECT_EQ(std::tuple(p.flags, p.soundPathText(), p.soundPathLength()),
              std::tuple(3u, std::string_view("/snd/voice.wav"), 15u));
    EXPECT_EQ(std::tuple(p.values[0], p.values[27], p.values[28]), std::tuple(100, 127, 0))
        << "the change time is not stored";
    EXPECT_EQ(std::pair(panel.bank(0).count, panel.bank(0).modified), std::pair(1, kBankPatchesChanged));
    EXPECT_EQ(
        std::tuple(view.labels[3], view.status, streams.at(0).patchSlot, view.selectedSlots()),
        std::tuple("Patch &3*", "Stored current set of scrollbar values for grain generation", 3, Slots{3}));
    store(3);
    EXPECT_EQ(panel.bank(0).count, 1) << "overwriting keeps the count";

    auto& heard = streams.at(0).current;
    std::tie(heard[4], heard[5], heard[6], heard[7]) =
        std::tuple(2.5f, 3.5f, -2.5f, 10.4f);  // ties go to even
    panel.slotClick(slotId(1), true, true);
    const auto& kept = panel.bank(0).slot(1).values;
    EXPECT_EQ(std::tuple(kept[4], kept[5], kept[6], kept[7]), std::tuple(2, 4, -2, 10));

    // Clear Patch empties only a selected occupied slot; old values stay until stored again.
    panel.slotClick(slotId(3), false, false);
    panel.clearPatch();
    EXPECT_EQ(std::tuple(p.occupied(), p.values[0], panel.bank(0).count, panel.selectedSlot()),
              std::tuple(false, 100, 1, -1));
    EXPECT_EQ(std::tuple(view.labels[3], view.status), std::tuple("Slot 3", "Deleted current patch"));
    panel.clearPatch();  // nothing selected now
    EXPECT_EQ(panel.bank(0).count, 1);
}

TEST_F(PatchPanelTest, RecallSetsParameters0To26WithTheChangeTimeTheDefaultsOrForAnEmptySlotNothing) {
    setStreamValues();
    store(2);
    streams.globalChangeTime = 200;
    ASSERT_EQ(click(slotId(2)), 27u);
    for (int p = 0; p < 27; ++p) {
        const auto& call = streams.calls[static_cast<size_t>(p)];
        EXPECT_EQ(std::tuple(call.param, call.value, call.changeTime, view.scrollBars[p]),
                  std::tuple(p, 100 + p, 200.0, 100 + p));
    }
    EXPECT_EQ(std::pair(view.scrollBars.count(27), view.status),
              std::pair(0ul, std::string("Restore a patch for grain generation")))
        << "pan position untouched";
    ASSERT_EQ(click(slotId(2), false, true), 27u);
    EXPECT_EQ(streams.calls[0].changeTime, 6.4) << "Ctrl-click recalls within 0.1 s";

    // Into another stream the scroll bars stay.
    view.scrollBars.clear();
    streams.at(1).exists = true;
    EXPECT_EQ(panel.recallOrStore(1, 0, 2, PatchClickMode::Recall), kStatusRecalled);
    EXPECT_EQ(std::pair(view.scrollBars.empty(), streams.calls.back().stream), std::pair(true, 1));

    // The default patch button recalls the defaults.
    ASSERT_EQ(click(kDefaultPatchButton), 27u);
    EXPECT_EQ(std::pair(streams.calls[13].value, view.status),
              std::pair(6144, std::string("Restore the default patch (straight playback of sound)")));
    EXPECT_EQ(click(slotId(7)), 0u);
    EXPECT_EQ(
        std::tuple(view.status, view.selectedSlots(), panel.selectedSlot()),
        std::tuple("This slot is empty. Shift- or Ctrl-click to store visible values/what you're hearing",
                   Slots{0}, 0))
        << "the selection is restored";

    // A program change recalls without touching the stream's patch fields.
    streams.setPatchOf(0, 3, 9);
    streams.calls.clear();
    panel.programChange(kDefaultPatchButton + 2, 0);
    EXPECT_EQ(std::tuple(streams.calls.size(), streams.at(0).patchSlot), std::tuple(27u, 9));
    panel.programChange(kDefaultPatchButton, 0);
    EXPECT_EQ(std::pair(panel.selectedSlot(), view.selectedSlots()), std::pair(0, Slots{0}));
    panel.programChange(1570 + 33, 0);  // program 33 presses bank button D
    EXPECT_EQ(panel.displayedBank(), 3);

    // Shift-click on the default patch button stores nothing and keeps the previous selection.
    panel.bankButton(kFirstBankButton);
    setStreamValues();
    store(4);
    EXPECT_EQ(click(kDefaultPatchButton, true), 0u);
    EXPECT_EQ(std::pair(panel.defaultPatch().values[0], view.selectedSlots()), std::pair(0, Slots{4}));
}

TEST_F(PatchPanelTest, NameFieldDropsCharactersNotAllowedInFileNamesAndARenameAsksBeforeOverwriting) {
    panel.nameFieldLostFocus("my<bank>:one");
    EXPECT_EQ(std::tuple(panel.bank(0).name, view.nameField, panel.bank(0).modified),
              std::tuple("mybankone", "mybankone", kBankRenamed));
    panel.bank(0).modified = kBankSaved;
    panel.nameFieldLostFocus("mybankone");
    EXPECT_EQ(panel.bank(0).modified, kBankSaved) << "the same name again is no rename";
    panel.nameFieldLostFocus("Bank Name?");
    EXPECT_EQ(std::tuple(view.nameField, panel.bank(0).name), std::tuple("", "mybankone"));

    // A store after a rename still asks before overwriting another file.
    setStreamValues();
    store(1);
    panel.nameFieldLostFocus("other");
    std::ofstream(folder + "other.fpb") << "someone else's bank";
    store(2);
    view.okAnswers = {false};
    panel.save();
    EXPECT_EQ(std::pair(view.questions.size(), *readFileBytes(folder + "other.fpb")),
              std::pair(1ul, std::string("someone else's bank")));
}

TEST_F(PatchPanelTest, ShowBankReportsWhichStreamsUseIt) {
    streams.at(1).exists = true;
    streams.at(2).exists = true;
    streams.setPatchOf(0, 1, 4);
    streams.setPatchOf(2, 1, 2);
    streams.setPatchOf(3, 1, 2);  // an empty stream slot does not count
    streams.setPatchOf(1, 1, 0);  // the default patch does not count
    panel.bankButton(kFirstBankButton + 1);
    EXPECT_EQ(std::tuple(view.status, panel.displayedBank(), view.displayedBank, panel.selectedSlot()),
              std::tuple("Bank is used by stream 1, 3", 1, 1, 4));
    panel.bankButton(kFirstBankButton + 5);
    EXPECT_EQ(std::tuple(view.status, panel.selectedSlot(), view.selectedSlots()),
              std::tuple("Bank is not used by any stream", -1, Slots{}));
    // A bank status is cleared by the next command without a status of its own.
    panel.clearPatch();
    EXPECT_EQ(view.status, "");
}

TEST_F(PatchPanelTest, SaveAndLoadThroughThePanelAndLoadingAModifiedBanksOwnFileAsksToRevert) {
    setStreamValues();
    store(2);
    panel.save();
    EXPECT_EQ(std::tuple(view.status, view.nameField),
              std::tuple("You must name this bank to save as a file", "Bank Name?"));
    panel.nameFieldLostFocus("pads");
    panel.save();
    EXPECT_EQ(std::tuple(view.status, panel.statusId(), view.labels[2], fs::exists(folder + "pads.fpb")),
              std::tuple("Saved current patch bank as <Bank name>.fpb", 1602, "Patch &2", true));
    panel.save();
    EXPECT_EQ(view.status, "Nothing to save in bank");

    // Load it into bank C: it is compacted into slot 1.
    panel.bankButton(kFirstBankButton + 2);
    view.chosenFile = folder + "pads.fpb";
    panel.load();
    EXPECT_EQ(view.chooserFolder, folder);
    // The title matches bank A, which has no unsaved changes: only the display switches.
    EXPECT_EQ(std::pair(panel.displayedBank(), panel.bank(2).count), std::pair(0, 0));
    panel.bank(0).name = "renamed";
    panel.bankButton(kFirstBankButton + 2);
    panel.load();
    EXPECT_EQ(std::tuple(panel.displayedBank(), panel.bank(2).name, panel.bank(2).count,
                         panel.bank(2).slot(1).occupied(), view.labels[1], view.status),
              std::tuple(2, "pads", 1, true, "Patch &1", "Loaded a patch bank file into current bank"));

    // Bank C modified again, then its own file chosen under another case: the revert is asked for, and
    // the last patch, which came from the reloaded bank, is forgotten.
    store(3);
    view.yesNoAnswers = {Answer::No};
    view.okAnswers = {true};
    fs::copy_file(folder + "pads.fpb", folder + "PADS.fpb");
    view.chosenFile = folder + "PADS.fpb";
    panel.load();
    EXPECT_EQ(
        std::tuple(view.questions.back(), panel.bank(2).count, panel.bank(2).name, panel.lastPatchBank()),
        std::tuple("Load patch bank: Revert pads to saved file?", 1, "PADS", -1));
}

TEST_F(PatchPanelTest, LoadAndCloseAskToSaveUnsavedChangesFirst) {
    setStreamValues();
    store(1);
    view.yesNoAnswers = {Answer::Cancel};
    view.chosenFile = folder + "none.fpb";
    panel.load();
    EXPECT_EQ(view.questions,
              std::vector<std::string>{
                  "Save the patches!: Do you want to save changes before loading a new bank?"});
    EXPECT_TRUE(view.chooserFolder.empty()) << "Cancel ends the command";

    panel.nameFieldLostFocus("x");
    view.yesNoAnswers = {Answer::Yes};
    panel.load();
    EXPECT_EQ(
        std::tuple(view.questions.back(), fs::exists(folder + "x.fpb"), view.chooserFolder),
        std::tuple("Save the patches!: Do you want to save x before loading a new bank?", true, folder));

    // Close discards the unsaved patches on No and keeps the file.
    store(2);
    view.yesNoAnswers = {Answer::No};
    panel.close();
    EXPECT_EQ(view.questions.back(), "Save the patches!: Do you want to save x before closing bank?");
    EXPECT_EQ(std::tuple(panel.bank(0).count, panel.bank(0).name, panel.bank(0).slot(1).occupied(),
                         view.status, fs::exists(folder + "x.fpb")),
              std::tuple(0, "", false, "Closed current patch bank", true));
}

using Names = std::array<std::string, kBankCount>;

// The session record in memory; reading it fails while `failing`.
struct MemoryRecord : SessionRecord {
    std::optional<Names> read() override {
        if (failing)
            throw std::runtime_error("store error");
        return names;
    }
    void write(int bank, const std::string& name) override {
        ++writes, names.emplace(names.value_or(Names{})).at(bank) = name;
    }

    std::optional<Names> names;
    bool failing = false;
    int writes = 0;
};

class SessionTest : public PatchPanelTest {
  protected:
    // Writes a one-patch bank file named `name` whose values begin at `marker`.
    void makeBankFile(const std::string& name, int32_t marker) {
        std::ofstream(folder + name + ".fpb", std::ios::binary)
            << testing::header(100, 1) + testing::record("s.wav", 28, marker);
    }
    MemoryRecord record;
};

TEST_F(SessionTest, FirstStartOpensTheLetterFilesAndAStoreErrorNothing) {
    makeBankFile("A", 1);
    makeBankFile("C", 3);
    record.failing = true;
    loadSession(panel, folder, record, view);
    EXPECT_EQ(panel.bank(0).count, 0) << "store errors end the reading silently";
    record.failing = false;
    loadSession(panel, folder, record, view);
    EXPECT_EQ(std::tuple(panel.bank(0).name, panel.bank(2).name, panel.bank(2).slot(1).values[0]),
              std::tuple("A", "C", 3));
    for (int b : {1, 3, 4, 5, 6, 7})
        EXPECT_EQ(panel.bank(b).count, 0) << b;
    EXPECT_EQ(std::tuple(panel.displayedBank(), view.labels[1], view.warnings.size()),
              std::tuple(0, "Patch &1", 0u));
}

TEST_F(SessionTest, RecordedNamesOpenTheirFilesInsideThePatchFolderOnly) {
    makeBankFile("drums", 10);
    makeBankFile("voices", 20);
    makeBankFile("A", 1);  // ignored: the session names the files
    fs::copy_file(folder + "drums.fpb", folder + "../SessionTestOutside.fpb",
                  fs::copy_options::overwrite_existing);
    // With a zero byte the file name would end early: here at "drums.fpb".
    record.names =
        Names{"drums", "voices", "", "", "missing", "../SessionTestOutside", std::string("drums.fpb\0x", 11)};
    loadSession(panel, folder, record, view);
    EXPECT_EQ(std::tuple(panel.bank(0).name, panel.bank(0).slot(1).values[0], panel.bank(1).name),
              std::tuple("drums", 10, "voices"));
    EXPECT_EQ(std::pair(panel.bank(4).count, panel.bank(4).name), std::pair(0, std::string()));
    EXPECT_EQ(panel.bank(5).count, 0) << "a name with a '/' is not followed out of the folder";
    EXPECT_EQ(panel.bank(6).count, 0) << "a name with a zero byte names no file";
    EXPECT_TRUE(view.warnings.empty()) << "a missing file is skipped silently";
}

TEST_F(SessionTest, ExitSavesEachBankNamingUnnamedOnesByLetterRecordsItAndStopsAtACancel) {
    makeBankFile("drums", 10);
    record.names = Names{"", "drums", "", "closed"};
    loadSession(panel, folder, record, view);  // bank B from its file; the file of D is missing
    setStreamValues();
    store(1);  // bank A, unnamed
    panel.bankButton(kFirstBankButton + 2);
    store(1);
    panel.nameFieldLostFocus("exists");  // bank C, named after a file that exists
    makeBankFile("exists", 5);
    view.okAnswers = {false};  // do not overwrite exists.fpb
    EXPECT_FALSE(saveAndRecordSession(panel, record));
    EXPECT_EQ(std::tuple(fs::exists(folder + "A.fpb"), (*record.names)[0], (*record.names)[1], record.writes,
                         panel.bank(2).modified),
              std::tuple(true, "A", "drums", 2, kBankRenamed))
        << "banks A and B are recorded, C stopped the exit";

    view.okAnswers = {true};
    EXPECT_TRUE(saveAndRecordSession(panel, record));
    EXPECT_EQ(std::tuple(record.writes, (*record.names)[2], (*record.names)[3]),
              std::tuple(2 + kBankCount, "exists", ""))
        << "an empty bank's value is deleted";
    // Bank C's patch (the built-in sine) replaced the other file: its path follows the header and
    // the record's flags and length.
    EXPECT_EQ(readFileBytes(folder + "exists.fpb").value_or("").substr(20, 10), std::string("fizz_sine", 10));
}

class EnginePatchStreamsTest : public ::testing::Test, public testing::EngineRig {};

// (Saving and loading the bank in between is checked with the bank files.)
TEST_F(EnginePatchStreamsTest, StoredPatchComesBackIntoAnotherStreamAndCtrlStoresWhatIsHeard) {
    for (int p = 0; p < engine::kParamCount; ++p) {
        const auto& row = engine::paramSpec(p);
        engine.setParameter(0, p, row.min + (row.max - row.min) / 3);
    }
    engine.setParameter(0, engine::ChangeTime, 64);
    panel.slotClick(kDefaultPatchButton + 4, true, false);
    EXPECT_EQ(panel.bank(0).slot(4).soundPathText(), "fizz_sine");

    ASSERT_EQ(engine.createStream(), 1);
    EXPECT_EQ(panel.recallOrStore(1, 0, 4, PatchClickMode::Recall), 1412);
    for (int p = 0; p < kRecalledParamCount; ++p) {
        const auto& row = engine::paramSpec(p);
        EXPECT_EQ(engine.stream(1).param(p).targetValue(), row.min + (row.max - row.min) / 3) << row.name;
        // A change over 64/64 s at 44100 Hz ends 44100 frames after the clock (0 while stopped).
        EXPECT_EQ(engine.stream(1).param(p).endFrame.load(), 44100) << row.name;
    }
    // (The pan position and the change time are never recalled: checked with the panel's own streams.)
    // Ctrl-click: 6.4/64 s is 4410 frames.
    panel.recallOrStore(1, 0, 4, PatchClickMode::FastRecall);
    EXPECT_EQ(engine.stream(1).param(engine::Pitch).endFrame.load(), 4410);

    // The engine keeps the patch of the stream it was stored from: only stream 1 uses bank A.
    panel.bankButton(kFirstBankButton);
    EXPECT_EQ(panelView.status, "Bank is used by stream 1");

    // Ctrl-click stores what is heard: while gliding, the smoothed value.
    engine.setParameter(0, engine::Pitch, 7000);
    engine.snapParameters(0);
    engine.setParameter(0, engine::Pitch, 9000);
    panel.slotClick(kDefaultPatchButton + 1, true, true);
    panel.slotClick(kDefaultPatchButton + 2, true, false);
    EXPECT_EQ(
        std::tuple(panel.bank(0).slot(1).values[engine::Pitch], panel.bank(0).slot(2).values[engine::Pitch],
                   engine.stream(0).patchSlot, engine.stream(0).bankIndex),
        std::tuple(7000, 9000, 2, 0));
}
}  // namespace
}  // namespace patches
