#include "patches/BankStorage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "patches/BankFile.h"
#include "patches/PatchStatus.h"
#include "tests/patches/FakePanel.h"

namespace patches {
namespace {

using testing::FakeView;
namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    return readFileBytes(path).value_or("<missing>");
}

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void store(PatchBank& bank, int slot, const std::string& path, int32_t base) {
    Patch& p = bank.slot(slot);
    if (!p.occupied())
        ++bank.count;
    p.flags = kPatchOccupied | kPatchUnsaved;
    p.setSoundPath(path);
    for (int i = 0; i < engine::kParamCount; ++i)
        p.values[static_cast<size_t>(i)] = base + i;
    bank.modified = kBankPatchesChanged;
}

class BankStorage : public ::testing::Test {
  protected:
    void SetUp() override { folder = testing::freshFolder().string() + "/"; }
    std::string folder;
    FakeView view;
};

TEST_F(BankStorage, SaveThenLoadCompactsSlotsAndMarksThemSaved) {
    PatchBank bank;
    bank.name = "drums";
    store(bank, 2, "/snd/kick.wav", 10);
    store(bank, 5, "fizz_sine", 20);
    store(bank, 20, "/snd/hat.aif", 30);
    ASSERT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(bank.modified, kBankSaved);
    EXPECT_EQ(bank.slot(2).flags, kPatchOccupied);
    EXPECT_TRUE(view.questions.empty());

    const std::string bytes = readAll(folder + "drums.fpb");
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(bytes.substr(0, 4), "Fbnk");
    EXPECT_EQ(bytes[8], 3);  // count
    // three records of 8 + 112 bytes plus their paths with terminators
    EXPECT_EQ(bytes.size(), 12u + 3 * 120 + 14 + 10 + 13);

    PatchBank loaded;
    loaded.slot(7).flags = kPatchOccupied;  // something old that must go
    loaded.slot(7).setSoundPath("old");
    loaded.count = 1;
    loaded.slot(1).values[28] = 999;
    ASSERT_TRUE(loadBank(folder + "drums.fpb", loaded, 3, std::string("drums"), view));
    EXPECT_EQ(loaded.count, 3);
    EXPECT_EQ(loaded.name, "drums");
    EXPECT_EQ(loaded.modified, kBankSaved);
    EXPECT_EQ(loaded.slot(1).soundPathText(), "/snd/kick.wav");
    EXPECT_EQ(loaded.slot(2).soundPathText(), "fizz_sine");
    EXPECT_EQ(loaded.slot(3).soundPathText(), "/snd/hat.aif");
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(loaded.slot(s).flags, kPatchOccupied) << s;
    EXPECT_EQ(loaded.slot(3).values[0], 30);
    EXPECT_EQ(loaded.slot(3).values[27], 57);
    EXPECT_EQ(loaded.slot(1).values[28], 999) << "a version-100 file leaves the change time alone";
    EXPECT_FALSE(loaded.slot(7).occupied());
    EXPECT_EQ(loaded.slot(7).soundPathLength(), 0u);
}

TEST_F(BankStorage, Version101FileSetsTheChangeTimeToo) {
    std::string bytes = "Fbnk" + std::string("\x65\0\0\0\x01\0\0\0", 8);  // version 101, count 1
    bytes += std::string("\x01\0\0\0\x02\0\0\0", 8) + std::string("p\0", 2);
    for (int v = 0; v < 29; ++v)
        bytes += std::string{static_cast<char>(v + 1), 0, 0, 0};
    writeAll(folder + "new.fpb", bytes);
    PatchBank bank;
    bank.slot(1).values[28] = 999;
    ASSERT_TRUE(loadBank(folder + "new.fpb", bank, 0, std::string("new"), view));
    EXPECT_EQ(bank.slot(1).values[0], 1);
    EXPECT_EQ(bank.slot(1).values[28], 29);
}

TEST_F(BankStorage, LoadWithoutTitleNamesTheBankByItsLetter) {
    PatchBank bank;
    bank.name = "x";
    store(bank, 1, "a.wav", 0);
    ASSERT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    PatchBank loaded;
    ASSERT_TRUE(loadBank(folder + "x.fpb", loaded, 2, std::nullopt, view));
    EXPECT_EQ(loaded.name, "C");
}

TEST_F(BankStorage, SecondSaveWithoutChangesDoesNothing) {
    PatchBank bank;
    bank.name = "keep";
    store(bank, 1, "a.wav", 0);
    ASSERT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    writeAll(folder + "keep.fpb", "marker");
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNothingToSave);
    EXPECT_EQ(readAll(folder + "keep.fpb"), "marker");
}

TEST_F(BankStorage, SavingOverALongerFileLeavesExactlyTheNewPatches) {
    writeAll(folder + "long.fpb", std::string(5000, 'z'));
    PatchBank bank;
    bank.name = "long";
    store(bank, 1, "a", 1);
    ASSERT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(readAll(folder + "long.fpb").size(), 12u + 120 + 2);
    PatchBank loaded;
    ASSERT_TRUE(loadBank(folder + "long.fpb", loaded, 0, std::string("long"), view));
    EXPECT_EQ(loaded.count, 1);
}

TEST_F(BankStorage, RenamedBankAsksBeforeOverwritingAnExistingFile) {
    writeAll(folder + "voices.fpb", "precious");
    PatchBank bank;
    store(bank, 1, "a", 1);
    bank.name = "voices";
    bank.modified = kBankRenamed;
    view.okAnswers = {false};
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNone);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0],
              "Save the patches!: " + folder + "voices.fpb\nThis file exists. Do you want to overwrite?");
    EXPECT_EQ(readAll(folder + "voices.fpb"), "precious");
    EXPECT_EQ(bank.modified, kBankRenamed);

    view.okAnswers = {true};
    EXPECT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(readAll(folder + "voices.fpb").substr(0, 4), "Fbnk");

    // Saved again under its unchanged name: no question.
    store(bank, 2, "b", 2);
    view.questions.clear();
    EXPECT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_TRUE(view.questions.empty());
}

TEST_F(BankStorage, UnnamedBankWithPatchesAsksForAName) {
    PatchBank bank;
    store(bank, 1, "a", 1);
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNeedsName);
    EXPECT_TRUE(view.prompted);
    EXPECT_EQ(view.nameField, "Bank Name?");
    EXPECT_EQ(bank.modified, kBankPatchesChanged);
}

TEST_F(BankStorage, EmptiedBankOffersToDeleteItsFile) {
    PatchBank bank;
    bank.name = "gone";
    bank.modified = kBankPatchesChanged;
    writeAll(folder + "gone.fpb", "data");

    view.yesNoAnswers = {Answer::Cancel};
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNone);
    EXPECT_EQ(view.questions.back(),
              "File management: gone is empty\nDo you want to delete the associated file if it exists?");
    EXPECT_TRUE(fs::exists(folder + "gone.fpb"));

    view.yesNoAnswers = {Answer::No};
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNothingToSave);
    EXPECT_TRUE(fs::exists(folder + "gone.fpb"));
    EXPECT_EQ(bank.modified, kBankSaved);

    bank.modified = kBankPatchesChanged;
    view.yesNoAnswers = {Answer::Yes};
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNothingToSave);
    EXPECT_FALSE(fs::exists(folder + "gone.fpb"));
    EXPECT_EQ(bank.name, "");
    EXPECT_EQ(view.nameField, "");

    // A one-letter name deletes without asking.
    writeAll(folder + "B.fpb", "data");
    bank.name = "B";
    bank.modified = kBankPatchesChanged;
    view.questions.clear();
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNothingToSave);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_FALSE(fs::exists(folder + "B.fpb"));
}

TEST_F(BankStorage, SaveCreatesMissingFolders) {
    PatchBank bank;
    bank.name = "deep";
    store(bank, 1, "a", 1);
    const std::string deep = folder + "Patches/bob/";
    EXPECT_EQ(saveBank(bank, deep, view), kStatusBankSaved);
    EXPECT_TRUE(fs::exists(deep + "deep.fpb"));
}

TEST_F(BankStorage, FailedWriteIsReportedAndKeepsTheOldFile) {
    if (::geteuid() == 0) {
        // root writes anywhere: make the target a folder so that the rename fails
        fs::create_directories(folder + "blocked.fpb/inner");
    } else {
        writeAll(folder + "blocked.fpb", "old");
        ::chmod((folder + "blocked.fpb").c_str(), 0444);
    }
    PatchBank bank;
    bank.name = "blocked";
    store(bank, 1, "a", 1);
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNone);
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_EQ(view.warnings[0].rfind("File error: " + folder + "blocked.fpb\ncould not be saved: ", 0), 0u)
        << view.warnings[0];
    EXPECT_EQ(bank.modified, kBankPatchesChanged);
    EXPECT_TRUE(bank.slot(1).unsaved());
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find("blocked.fpb."), std::string::npos)
            << "temporary file left: " << entry.path();
}

TEST_F(BankStorage, RefusedFilesLeaveTheBankAsItWas) {
    PatchBank bank;
    bank.name = "mine";
    store(bank, 4, "keep.wav", 50);
    const PatchBank before = bank;

    struct Case {
        const char* file;
        std::string bytes;
        std::string warning;
    };
    std::string good = "Fbnk" + std::string("\x64\0\0\0\x02\0\0\0", 8);
    const Case cases[] = {
        {"junk.fpb", "RIFF....",
         "File error: " + folder + "junk.fpb\nis not a valid Frisson patch bank file"},
        {"many.fpb", "Fbnk" + std::string("\x64\0\0\0\x15\0\0\0", 8),
         "File error: " + folder +
             "many.fpb\nis not a valid Frisson patch bank file: it claims 21 patches, a bank holds 1 to 20"},
        {"short.fpb", good + std::string(20, '\0'),
         "File error: " + folder + "short.fpb\nis damaged: the file ends before its patches are complete"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        writeAll(folder + c.file, c.bytes);
        view.warnings.clear();
        EXPECT_FALSE(loadBank(folder + c.file, bank, 0, std::string("x"), view));
        ASSERT_EQ(view.warnings.size(), 1u);
        EXPECT_EQ(view.warnings[0], c.warning);
        EXPECT_EQ(bank.name, before.name);
        EXPECT_EQ(bank.count, before.count);
        EXPECT_EQ(bank.slot(4).soundPath, before.slot(4).soundPath);
        EXPECT_EQ(bank.slot(4).values, before.slot(4).values);
        EXPECT_TRUE(fs::exists(folder + c.file)) << "a damaged file is kept";
    }

    // Files that cannot be read give false silently: a missing one, and a folder.
    fs::create_directory(folder + "folder.fpb");
    for (const char* unreadable : {"missing.fpb", "folder.fpb"}) {
        view.warnings.clear();
        EXPECT_FALSE(loadBank(folder + unreadable, bank, 0, std::string("x"), view)) << unreadable;
        EXPECT_TRUE(view.warnings.empty()) << unreadable;
        EXPECT_EQ(bank.count, before.count) << unreadable;
    }
}

TEST_F(BankStorage, EmptyFileIsDeletedOnLoading) {
    writeAll(folder + "empty.fpb", "Fbnk" + std::string("\x64\0\0\0\0\0\0\0", 8));
    PatchBank bank;
    EXPECT_FALSE(loadBank(folder + "empty.fpb", bank, 0, std::nullopt, view));
    EXPECT_FALSE(fs::exists(folder + "empty.fpb"));
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_EQ(view.warnings[0], "File error: " + folder + "empty.fpb is empty. File deleted.");
}

TEST_F(BankStorage, LongTitleIsCutTo63Characters) {
    PatchBank bank;
    bank.name = "n";
    store(bank, 1, "a", 1);
    ASSERT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    const std::string title(80, 't');
    PatchBank loaded;
    ASSERT_TRUE(loadBank(folder + "n.fpb", loaded, 0, title, view));
    EXPECT_EQ(loaded.name, std::string(63, 't'));
}

}  // namespace
}  // namespace patches
