// Patch bank files: their bytes, their listing, and saving and loading them with the questions
// and warnings that come with it.
#include "patches/BankFile.h"
#include "patches/BankListing.h"
#include "patches/BankStorage.h"
#include "patches/PatchStatus.h"
#include "tests/patches/FakePanel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fstream>
#include <sstream>

namespace patches {
namespace {
using testing::header;
using testing::record;
using testing::word;
namespace fs = std::filesystem;

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Puts sound `path` and values base, base + 1, ... into `slot` with `flags` (by default a patch
// stored since the last save); an occupied patch counts in the bank.
void store(PatchBank& bank, int slot, const std::string& path, int32_t base,
           uint32_t flags = kPatchOccupied | kPatchUnsaved) {
    Patch& p = bank.slot(slot);
    if (!p.occupied() && (flags & kPatchOccupied) != 0)
        ++bank.count;
    p.flags = flags;
    p.setSoundPath(path);
    for (int i = 0; i < engine::kParamCount; ++i)
        p.values[static_cast<size_t>(i)] = base + i;
    bank.modified = kBankPatchesChanged;
}

// A bank named `name` with one unsaved patch in slot 1.
PatchBank bankOf(const std::string& name) {
    PatchBank bank;
    bank.name = name;
    store(bank, 1, "a", 1);
    return bank;
}

class BankStorage : public ::testing::Test {
  protected:
    std::string readAll(const std::string& name) {
        return readFileBytes(folder + name).value_or("<missing>");
    }
    bool load(const std::string& name, PatchBank& bank, int index, const std::optional<std::string>& title) {
        return loadBank(folder + name, bank, index, title, view);
    }

    std::string folder = testing::freshFolder().string() + "/";
    testing::FakeView view;
};

TEST_F(BankStorage, SaveThenLoadCompactsOccupiedSlotsMarksThemSavedAndNamesTheBank) {
    PatchBank bank;
    bank.name = "drums";
    store(bank, 2, "/snd/kick.wav", -5);
    store(bank, 5, "fizz_sine", 20, kPatchOccupied);
    store(bank, 9, "cleared", 3, 0);  // cleared slots keep their text but are not written
    store(bank, 20, "/snd/hat.aif", 30);
    ASSERT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(std::tuple(bank.modified, bank.slot(2).flags, view.questions.size()),
              std::tuple(kBankSaved, kPatchOccupied, 0u));
    EXPECT_EQ(readAll("drums.fpb"), header(100, 3) + record("/snd/kick.wav", 28, -5) +
                                        record("fizz_sine", 28, 20) + record("/snd/hat.aif", 28, 30));

    PatchBank loaded;
    store(loaded, 7, "old", 0, kPatchOccupied);  // something old that must go
    loaded.slot(1).values[28] = 999;
    ASSERT_TRUE(load("drums.fpb", loaded, 3, std::string("drums")));
    EXPECT_EQ(std::tuple(loaded.count, loaded.name, loaded.modified), std::tuple(3, "drums", kBankSaved));
    const std::tuple<int, const char*, int32_t> compacted[] = {
        {1, "/snd/kick.wav", -5}, {2, "fizz_sine", 20}, {3, "/snd/hat.aif", 30}};
    for (const auto& [s, path, base] : compacted)
        EXPECT_EQ(std::tuple(loaded.slot(s).soundPathText(), loaded.slot(s).flags, loaded.slot(s).values[27]),
                  std::tuple(path, kPatchOccupied, base + 27))
            << s;
    EXPECT_EQ(loaded.slot(1).values[28], 999) << "a version-100 file leaves the change time alone";
    EXPECT_EQ(std::pair(loaded.slot(7).occupied(), loaded.slot(7).soundPathLength()), std::pair(false, 0u));
    writeAll(folder + "new.fpb", header(101, 2) + record("p", 29, 1) + record("q", 29, 100));
    ASSERT_TRUE(load("new.fpb", loaded, 0, std::string("new")));
    EXPECT_EQ(std::tuple(loaded.slot(1).values[0], loaded.slot(1).values[28], loaded.slot(2).values[0],
                         loaded.slot(2).values[28], loaded.slot(2).soundPathText()),
              std::tuple(1, 29, 100, 128, "q"))
        << "a version-101 file holds 29 values and sets the change time too";

    PatchBank untitled;
    ASSERT_TRUE(load("drums.fpb", untitled, 2, std::nullopt));
    EXPECT_EQ(untitled.name, "C") << "without a title the bank is named by its letter";
    ASSERT_TRUE(load("drums.fpb", untitled, 0, std::string(80, 't')));
    EXPECT_EQ(untitled.name, std::string(63, 't')) << "a long title is cut to 63 characters";
}

TEST_F(BankStorage, SaveReplacesTheWholeFileAsksFirstOnlyAfterARenameAndWritesOnlyWhenChanged) {
    writeAll(folder + "voices.fpb", std::string(5000, 'z'));
    PatchBank bank = bankOf("voices");
    bank.modified = kBankRenamed;
    view.okAnswers = {false, true};
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNone);
    EXPECT_EQ(view.questions,
              std::vector<std::string>{"Save the patches!: " + folder +
                                       "voices.fpb\nThis file exists. Do you want to overwrite?"});
    EXPECT_EQ(std::tuple(readAll("voices.fpb"), bank.modified),
              std::tuple(std::string(5000, 'z'), kBankRenamed));
    EXPECT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(readAll("voices.fpb"), header(100, 1) + record("a", 28, 1))
        << "nothing of the longer file is left";
    writeAll(folder + "voices.fpb", "marker");
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNothingToSave);
    EXPECT_EQ(readAll("voices.fpb"), "marker");
    // Changed again under its unchanged name: saved without a third question.
    store(bank, 2, "b", 2);
    EXPECT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(view.questions.size(), 2u);
    EXPECT_EQ(readAll("voices.fpb"), header(100, 2) + record("a", 28, 1) + record("b", 28, 2));

    PatchBank deep = bankOf("deep");
    EXPECT_EQ(saveBank(deep, folder + "Patches/bob/", view), kStatusBankSaved);
    EXPECT_TRUE(fs::exists(folder + "Patches/bob/deep.fpb"));
}

TEST_F(BankStorage, UnnamedBankAsksForANameAndAnEmptiedBankOffersToDeleteItsFile) {
    PatchBank unnamed = bankOf("");
    EXPECT_EQ(saveBank(unnamed, folder, view), kStatusNeedsName);
    EXPECT_EQ(std::tuple(view.prompted, view.nameField, unnamed.modified),
              std::tuple(true, "Bank Name?", kBankPatchesChanged));

    PatchBank bank;
    bank.name = "gone";
    writeAll(folder + "gone.fpb", "data");
    // Cancel keeps everything; No keeps the file and marks the bank saved; Yes deletes it.
    const std::tuple<Answer, int, bool> answers[] = {{Answer::Cancel, kStatusNone, true},
                                                     {Answer::No, kStatusNothingToSave, true},
                                                     {Answer::Yes, kStatusNothingToSave, false}};
    for (const auto& [answer, status, kept] : answers) {
        bank.modified = kBankPatchesChanged;
        view.yesNoAnswers = {answer};
        EXPECT_EQ(saveBank(bank, folder, view), status);
        EXPECT_EQ(fs::exists(folder + "gone.fpb"), kept);
        EXPECT_EQ(view.questions.back(),
                  "File management: gone is empty\nDo you want to delete the associated file if it exists?");
        EXPECT_EQ(bank.modified, answer == Answer::Cancel ? kBankPatchesChanged : kBankSaved);
    }
    EXPECT_EQ(std::pair(bank.name, view.nameField), std::pair(std::string(), std::string()));

    // A one-letter name deletes without asking.
    writeAll(folder + "B.fpb", "data");
    bank.name = "B";
    bank.modified = kBankPatchesChanged;
    view.questions.clear();
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNothingToSave);
    EXPECT_EQ(std::pair(view.questions.empty(), fs::exists(folder + "B.fpb")), std::pair(true, false));
}

TEST_F(BankStorage, FailedWriteIsReportedAndKeepsTheOldFile) {
    if (::geteuid() == 0) {
        // root writes anywhere: make the target a folder so that the rename fails
        fs::create_directories(folder + "blocked.fpb/inner");
    } else {
        writeAll(folder + "blocked.fpb", "old");
        ::chmod((folder + "blocked.fpb").c_str(), 0444);
    }
    PatchBank bank = bankOf("blocked");
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNone);
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_EQ(view.warnings[0].rfind("File error: " + folder + "blocked.fpb\ncould not be saved: ", 0), 0u)
        << view.warnings[0];
    EXPECT_EQ(std::pair(bank.modified, bank.slot(1).unsaved()), std::pair(kBankPatchesChanged, true));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find("blocked.fpb."), std::string::npos)
            << "temporary file left: " << entry.path();
}

// Damaged files are refused with their problem; those loaded below warn, leave the bank as it was and
// stay on disk.
TEST_F(BankStorage, DamagedFilesAreRefusedLeavingTheBankAsItWasAndAnEmptyFileIsDeleted) {
    PatchBank bank = bankOf("mine");
    const PatchBank before = bank;
    const std::string error = "File error: " + folder;
    const std::string good = header(100, 2) + record("a", 28, 1) + record("bb", 28, 2);
    const std::string invalid = "\nis not a valid Frisson patch bank file";
    using Problem = BankFileProblem;
    const std::tuple<const char*, std::string, Problem, std::string> cases[] = {
        {"bytes after the last record are ignored", good + "old tail bytes", Problem::None, ""},
        {"wrong magic.fpb", "FBNK" + good.substr(4), Problem::NotBankFile, invalid},
        {"nothing at all", "", Problem::NotBankFile, ""},
        {"header cut", good.substr(0, 10), Problem::Truncated, ""},
        {"count 0", header(100, 0), Problem::Empty, ""},
        {"count 21.fpb", header(100, 21) + good.substr(12), Problem::BadCount,
         invalid + ": it claims 21 patches, a bank holds 1 to 20"},
        {"negative count", header(100, -1), Problem::BadCount, ""},
        {"second record missing.fpb", good.substr(0, 12 + 8 + 2 + 112), Problem::Truncated,
         "\nis damaged: the file ends before its patches are complete"},
        {"values cut", good.substr(0, good.size() - 1), Problem::Truncated, ""},
        {"path length past the end", header(100, 1) + word(1) + word(0xFFFFFFF0u) + "abc", Problem::Truncated,
         ""},
        {"version 101 read with 28 values", header(101, 1) + record("a", 28, 1), Problem::Truncated, ""},
    };
    for (const auto& [what, bytes, problem, warning] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(decodeBankFile(bytes).problem, problem);
        if (warning.empty())
            continue;
        writeAll(folder + what, bytes);
        view.warnings.clear();
        EXPECT_FALSE(load(what, bank, 0, std::string("x")));
        EXPECT_EQ(view.warnings, std::vector<std::string>{error + what + warning});
        EXPECT_EQ(std::tuple(bank.name, bank.count, bank.slot(1).soundPath, bank.slot(1).values),
                  std::tuple(before.name, before.count, before.slot(1).soundPath, before.slot(1).values));
        EXPECT_TRUE(fs::exists(folder + what)) << "a damaged file is kept";
    }
    // Files that cannot be read give false silently: a missing one, and a folder.
    fs::create_directory(folder + "folder.fpb");
    view.warnings.clear();
    for (const char* unreadable : {"missing.fpb", "folder.fpb"}) {
        EXPECT_FALSE(load(unreadable, bank, 0, std::string("x"))) << unreadable;
        EXPECT_EQ(bank.count, before.count) << unreadable;
    }
    EXPECT_TRUE(view.warnings.empty());

    writeAll(folder + "empty.fpb", header(100, 0));
    PatchBank empty;
    EXPECT_FALSE(load("empty.fpb", empty, 0, std::nullopt));
    EXPECT_FALSE(fs::exists(folder + "empty.fpb"));
    EXPECT_EQ(view.warnings, std::vector<std::string>{error + "empty.fpb is empty. File deleted."});
}

TEST(BankFileFormat, OddPathsComeBackByteForByteAndEveryCutFileIsRefused) {
    // A path without a terminating zero and one with an inner zero.
    const std::string odd = std::string("ab\0cd", 5);
    const std::string bytes = header(100, 1) + record(odd, 28, 0, true);
    DecodedBankFile file = decodeBankFile(bytes);
    ASSERT_EQ(file.problem, BankFileProblem::None);
    EXPECT_EQ(std::pair(file.contents.patches[0].soundPath, file.contents.patches[0].soundPathText()),
              std::pair(odd, std::string_view("ab")));
    PatchBank again;
    again.slot(1) = file.contents.patches[0];
    again.count = 1;
    EXPECT_EQ(encodeBankFile(again), bytes);

    const std::string good = header(101, 2) + record("/a/b.wav", 29, -9) + record("c", 29, 4);
    for (size_t length = 0; length < good.size(); ++length)
        EXPECT_NE(decodeBankFile(good.substr(0, length)).problem, BankFileProblem::None) << length;
}

TEST(BankListing, PrintsSlotsPathsAndValuesByName) {
    std::ostringstream out, old;
    printBankListing(decodeBankFile(header(101, 1) + record("/snd/a.wav", 29, -3)), out);
    EXPECT_EQ(out.str(),
              "version: 101\n"
              "count: 1\n"
              "slot 1: /snd/a.wav\n"
              "  Start=-3 StartRnd=-2 Length=-1 LengthRnd=0 Rate=1 RateScale=2 RateAM=3\n"
              "  Freq=4 FreqRnd=5 FreqAM=6 GrainLen=7 GrainLenRnd=8 GrainLenAM=9 Pitch=10\n"
              "  PitchRnd=11 PitchAM=12 Gliss=13 GlissRnd=14 GlissAM=15 Attack=16 AttackRnd=17\n"
              "  Decay=18 DecayRnd=19 Amp=20 AmpAM=21 PanRnd=22 PanAM=23 PanPos=24\n"
              "  ChangeTime=25\n");
    // A version-100 file has no change time: the listing ends with the pan position.
    printBankListing(decodeBankFile(header(100, 1) + record("/snd/a.wav", 28, -3)), old);
    EXPECT_TRUE(old.str().ends_with("PanPos=24\n")) << old.str();
}
}  // namespace
}  // namespace patches
