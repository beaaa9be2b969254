#include "patches/Session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "patches/BankStorage.h"
#include "tests/patches/FakePanel.h"

namespace patches {
namespace {

using testing::FakeStreams;
using testing::FakeView;
namespace fs = std::filesystem;

class MemoryRecord : public SessionRecord {
  public:
    std::optional<std::array<std::string, kBankCount>> read() override {
        if (failing)
            throw std::runtime_error("store error");
        return names;
    }
    void write(int bank, const std::string& name) override {
        if (!names)
            names.emplace();
        (*names)[static_cast<size_t>(bank)] = name;
        ++writes;
    }
    std::optional<std::array<std::string, kBankCount>> names;
    bool failing = false;
    int writes = 0;
};

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = testing::freshFolder().string() + "/";
        panel.setPatchFolder(folder);
        panel.start(engine::defaultParamSet());
    }
    // Writes a one-patch bank file named `name` whose first value is `marker`.
    void makeBankFile(const std::string& name, int32_t marker) {
        PatchBank bank;
        bank.name = name;
        bank.count = 1;
        bank.modified = kBankPatchesChanged;
        bank.slot(1).flags = kPatchOccupied;
        bank.slot(1).setSoundPath("s.wav");
        bank.slot(1).values[0] = marker;
        FakeView quiet;
        ASSERT_EQ(saveBank(bank, folder, quiet), 1602);
    }

    std::string folder;
    FakeStreams streams;
    FakeView view;
    PatchPanel panel{streams, view};
    MemoryRecord record;
};

TEST_F(SessionTest, FirstStartOpensTheLetterFiles) {
    makeBankFile("A", 1);
    makeBankFile("C", 3);
    loadSession(panel, folder, record, view);
    EXPECT_EQ(panel.bank(0).name, "A");
    EXPECT_EQ(panel.bank(2).name, "C");
    EXPECT_EQ(panel.bank(2).slot(1).values[0], 3);
    for (int b : {1, 3, 4, 5, 6, 7})
        EXPECT_EQ(panel.bank(b).count, 0) << b;
    EXPECT_EQ(panel.displayedBank(), 0);
    EXPECT_EQ(view.labels[1], "Patch &1");
    EXPECT_TRUE(view.warnings.empty());
}

TEST_F(SessionTest, RecordedNamesOpenTheirFiles) {
    makeBankFile("drums", 10);
    makeBankFile("voices", 20);
    makeBankFile("A", 1);  // ignored: the session names the files
    record.names.emplace();
    (*record.names)[0] = "drums";
    (*record.names)[1] = "voices";
    (*record.names)[4] = "missing";
    fs::copy_file(folder + "drums.fpb", folder + "../SessionTestOutside.fpb",
                  fs::copy_options::overwrite_existing);
    (*record.names)[5] = "../SessionTestOutside";
    // With a zero byte the file name would end early: here at "drums.fpb".
    (*record.names)[6] = std::string("drums.fpb\0x", 11);
    loadSession(panel, folder, record, view);
    EXPECT_EQ(panel.bank(0).name, "drums");
    EXPECT_EQ(panel.bank(0).slot(1).values[0], 10);
    EXPECT_EQ(panel.bank(1).name, "voices");
    EXPECT_EQ(panel.bank(4).count, 0);
    EXPECT_EQ(panel.bank(4).name, "");
    EXPECT_EQ(panel.bank(5).count, 0) << "a name with a '/' is not followed out of the folder";
    EXPECT_EQ(panel.bank(6).count, 0) << "a name with a zero byte names no file";
    EXPECT_TRUE(view.warnings.empty()) << "a missing file is skipped silently";
}

TEST_F(SessionTest, StoreErrorsEndTheReadingSilently) {
    makeBankFile("A", 1);
    record.failing = true;
    loadSession(panel, folder, record, view);
    EXPECT_EQ(panel.bank(0).count, 0);
}

TEST_F(SessionTest, ExitRecordsEveryBankAndDeletesClosedOnes) {
    makeBankFile("drums", 10);
    record.names.emplace();
    (*record.names)[0] = "drums";
    (*record.names)[3] = "closed";
    loadSession(panel, folder, record, view);
    EXPECT_TRUE(saveAndRecordSession(panel, record));
    EXPECT_EQ(record.writes, kBankCount);
    EXPECT_EQ((*record.names)[0], "drums");
    EXPECT_EQ((*record.names)[3], "") << "an empty bank's value is deleted";
}

TEST_F(SessionTest, ExitSavesThenRecordsEachBankAndStopsAtACancel) {
    panel.bank(0).slot(1).flags = kPatchOccupied | kPatchUnsaved;
    panel.bank(0).count = 1;
    panel.bank(0).modified = kBankPatchesChanged;  // unnamed: saved as A.fpb
    panel.bank(2).name = "taken";
    panel.bank(2).slot(1).flags = kPatchOccupied;
    panel.bank(2).count = 1;
    panel.bank(2).modified = kBankRenamed;
    makeBankFile("taken", 5);
    view.okAnswers = {false};  // do not overwrite taken.fpb
    EXPECT_FALSE(saveAndRecordSession(panel, record));
    EXPECT_TRUE(fs::exists(folder + "A.fpb"));
    ASSERT_TRUE(record.names);
    EXPECT_EQ((*record.names)[0], "A");
    EXPECT_EQ(record.writes, 2) << "banks A and B are recorded, C stopped the exit";
}

}  // namespace
}  // namespace patches
