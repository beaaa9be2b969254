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
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

namespace patches {
namespace {
using testing::FakeView;
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
    FakeView view;
};

TEST_F(BankStorage, SaveThenLoadCompactsSlotsMarksThemSavedAndNamesTheBank) {
    PatchBank bank;
    bank.name = "drums";
    store(bank, 2, "/snd/kick.wav", 10);
    store(bank, 5, "fizz_sine", 20);
    store(bank, 20, "/snd/hat.aif", 30);
    ASSERT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(std::pair(bank.modified, bank.slot(2).flags), std::pair(kBankSaved, kPatchOccupied));
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(readAll("drums.fpb"), header(100, 3) + record("/snd/kick.wav", 28, 10) +
                                        record("fizz_sine", 28, 20) + record("/snd/hat.aif", 28, 30));

    PatchBank loaded;
    store(loaded, 7, "old", 0, kPatchOccupied);  // something old that must go
    loaded.slot(1).values[28] = 999;
    ASSERT_TRUE(load("drums.fpb", loaded, 3, std::string("drums")));
    EXPECT_EQ(std::tuple(loaded.count, loaded.name, loaded.modified), std::tuple(3, "drums", kBankSaved));
    EXPECT_EQ(std::tuple(loaded.slot(1).soundPathText(), loaded.slot(2).soundPathText(),
                         loaded.slot(3).soundPathText()),
              std::tuple("/snd/kick.wav", "fizz_sine", "/snd/hat.aif"));
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(loaded.slot(s).flags, kPatchOccupied) << s;
    EXPECT_EQ(std::pair(loaded.slot(3).values[0], loaded.slot(3).values[27]), std::pair(30, 57));
    EXPECT_EQ(loaded.slot(1).values[28], 999) << "a version-100 file leaves the change time alone";
    EXPECT_FALSE(loaded.slot(7).occupied());
    EXPECT_EQ(loaded.slot(7).soundPathLength(), 0u);
    writeAll(folder + "new.fpb", header(101, 1) + record("p", 29, 1));
    ASSERT_TRUE(load("new.fpb", loaded, 0, std::string("new")));
    EXPECT_EQ(std::pair(loaded.slot(1).values[0], loaded.slot(1).values[28]), std::pair(1, 29))
        << "a version-101 file sets the change time too";

    PatchBank untitled;
    ASSERT_TRUE(load("drums.fpb", untitled, 2, std::nullopt));
    EXPECT_EQ(untitled.name, "C") << "without a title the bank is named by its letter";
    ASSERT_TRUE(load("drums.fpb", untitled, 0, std::string(80, 't')));
    EXPECT_EQ(untitled.name, std::string(63, 't')) << "a long title is cut to 63 characters";
}

TEST_F(BankStorage, SaveWritesExactlyTheNewPatchesIntoMissingFoldersAndOnlyWhenChanged) {
    writeAll(folder + "long.fpb", std::string(5000, 'z'));
    PatchBank bank = bankOf("long");
    ASSERT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(readAll("long.fpb"), header(100, 1) + record("a", 28, 1))
        << "nothing of the longer file is left";
    writeAll(folder + "long.fpb", "marker");
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNothingToSave);
    EXPECT_EQ(readAll("long.fpb"), "marker");

    PatchBank deep = bankOf("deep");
    EXPECT_EQ(saveBank(deep, folder + "Patches/bob/", view), kStatusBankSaved);
    EXPECT_TRUE(fs::exists(folder + "Patches/bob/deep.fpb"));
}

TEST_F(BankStorage, RenamedBankAsksBeforeOverwritingAnExistingFile) {
    writeAll(folder + "voices.fpb", "precious");
    PatchBank bank = bankOf("voices");
    bank.modified = kBankRenamed;
    view.okAnswers = {false};
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNone);
    EXPECT_EQ(view.questions,
              std::vector<std::string>{"Save the patches!: " + folder +
                                       "voices.fpb\nThis file exists. Do you want to overwrite?"});
    EXPECT_EQ(std::tuple(readAll("voices.fpb"), bank.modified), std::tuple("precious", kBankRenamed));

    view.okAnswers = {true};
    EXPECT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_EQ(readAll("voices.fpb").substr(0, 4), "Fbnk");
    // Saved again under its unchanged name: no question.
    store(bank, 2, "b", 2);
    view.questions.clear();
    EXPECT_EQ(saveBank(bank, folder, view), kStatusBankSaved);
    EXPECT_TRUE(view.questions.empty());
}

TEST_F(BankStorage, UnnamedBankAsksForANameAndAnEmptiedBankOffersToDeleteItsFile) {
    PatchBank unnamed = bankOf("");
    EXPECT_EQ(saveBank(unnamed, folder, view), kStatusNeedsName);
    EXPECT_TRUE(view.prompted);
    EXPECT_EQ(std::tuple(view.nameField, unnamed.modified), std::tuple("Bank Name?", kBankPatchesChanged));

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
    EXPECT_EQ(std::pair(bank.name, view.nameField), std::pair(std::string(), std::string()));

    // A one-letter name deletes without asking.
    writeAll(folder + "B.fpb", "data");
    bank.name = "B";
    bank.modified = kBankPatchesChanged;
    view.questions.clear();
    EXPECT_EQ(saveBank(bank, folder, view), kStatusNothingToSave);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_FALSE(fs::exists(folder + "B.fpb"));
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
    EXPECT_EQ(bank.modified, kBankPatchesChanged);
    EXPECT_TRUE(bank.slot(1).unsaved());
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find("blocked.fpb."), std::string::npos)
            << "temporary file left: " << entry.path();
}

// Damaged files are refused with their problem; those loaded below warn, leave the bank as it was and
// stay on disk.
TEST_F(BankStorage, DamagedFilesAreRefusedLeavingTheBankAsItWasAndAnEmptyFileIsDeleted) {
    PatchBank bank;
    bank.name = "mine";
    store(bank, 4, "keep.wav", 50);
    const PatchBank before = bank;
    const std::string error = "File error: " + folder;
    const std::string good = header(100, 2) + record("a", 28, 1) + record("bb", 28, 2);
    const std::string invalid = "\nis not a valid Frisson patch bank file";
    using Problem = BankFileProblem;
    const std::tuple<const char*, std::string, Problem, std::string> cases[] = {
        {"wrong magic", "FBNK" + good.substr(4), Problem::NotBankFile, ""},
        {"too short for the magic", "Fb", Problem::NotBankFile, ""},
        {"nothing at all", "", Problem::NotBankFile, ""},
        {"header cut", good.substr(0, 10), Problem::Truncated, ""},
        {"count 0", header(100, 0), Problem::Empty, ""},
        {"count 21", header(100, 21) + good.substr(12), Problem::BadCount, ""},
        {"negative count", header(100, -1), Problem::BadCount, ""},
        {"second record missing", good.substr(0, 12 + 8 + 2 + 112), Problem::Truncated, ""},
        {"values cut", good.substr(0, good.size() - 1), Problem::Truncated, ""},
        {"path length past the end", header(100, 1) + word(1) + word(0xFFFFFFF0u) + "abc", Problem::Truncated,
         ""},
        {"version 101 read with 28 values", header(101, 1) + record("a", 28, 1), Problem::Truncated, ""},
        {"junk.fpb", "RIFF....", Problem::NotBankFile, invalid},
        {"many.fpb", header(100, 21), Problem::BadCount,
         invalid + ": it claims 21 patches, a bank holds 1 to 20"},
        {"short.fpb", header(100, 2) + std::string(20, '\0'), Problem::Truncated,
         "\nis damaged: the file ends before its patches are complete"},
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
        EXPECT_EQ(std::tuple(bank.name, bank.count, bank.slot(4).soundPath, bank.slot(4).values),
                  std::tuple(before.name, before.count, before.slot(4).soundPath, before.slot(4).values));
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

TEST(BankFileFormat, WritesOccupiedSlotsInOrderWithFlagsOneAnd28ValuesAndPathBytesAsStored) {
    PatchBank bank;
    store(bank, 2, "/s/a.wav", -5);
    store(bank, 5, "fizz_sine", 1000, kPatchOccupied);
    store(bank, 20, "b", 7, kPatchOccupied);
    store(bank, 9, "cleared", 3, 0);  // cleared slots keep their text but are not written
    const std::string expected =
        header(100, 3) + record("/s/a.wav", 28, -5) + record("fizz_sine", 28, 1000) + record("b", 28, 7);
    EXPECT_EQ(encodeBankFile(bank), expected);
    EXPECT_EQ(expected.size(), 12u + 3 * (8 + 112) + 9 + 10 + 2);

    // A path without a terminating zero and one with an inner zero come back byte for byte.
    const std::string odd = std::string("ab\0cd", 5);
    const std::string bytes = header(100, 1) + record(odd, 28, 0, true);
    DecodedBankFile file = decodeBankFile(bytes);
    ASSERT_EQ(file.problem, BankFileProblem::None);
    EXPECT_EQ(file.contents.patches[0].soundPath, odd);
    EXPECT_EQ(file.contents.patches[0].soundPathText(), "ab");
    PatchBank again;
    again.slot(1) = file.contents.patches[0];
    again.count = 1;
    EXPECT_EQ(encodeBankFile(again), bytes);
}

TEST(BankFileFormat, ReadsVersion100With28ValuesAnd101With29AndIgnoresATail) {
    const std::string v100 = header(100, 1) + record("x.aif", 28, 40);
    DecodedBankFile old = decodeBankFile(v100);
    ASSERT_EQ(old.problem, BankFileProblem::None);
    ASSERT_EQ(std::pair(old.contents.valuesPerRecord, old.contents.patches.size()), std::pair(28, 1ul));
    EXPECT_EQ(old.contents.patches[0].soundPathText(), "x.aif");
    EXPECT_EQ(old.contents.patches[0].values[27], 67);

    const std::string v101 = header(101, 2) + record("p", 29, 0) + record("q", 29, 100);
    DecodedBankFile newer = decodeBankFile(v101);
    ASSERT_EQ(newer.problem, BankFileProblem::None);
    ASSERT_EQ(std::pair(newer.contents.valuesPerRecord, newer.contents.patches.size()), std::pair(29, 2ul));
    const auto& patches = newer.contents.patches;
    EXPECT_EQ(std::tuple(patches[0].values[28], patches[1].values[0], patches[1].values[28]),
              std::tuple(28, 100, 128));

    // Bytes after the last record are ignored.
    const DecodedBankFile tail = decodeBankFile(v100 + "old tail bytes");
    EXPECT_EQ(std::pair(tail.problem, tail.contents.patches.size()), std::pair(BankFileProblem::None, 1ul));
}

TEST(BankFileFormat, EveryCutAndEveryFlippedByteIsHandledSafely) {
    const std::string good = header(101, 2) + record("/a/b.wav", 29, -9) + record("c", 29, 4);
    for (size_t length = 0; length < good.size(); ++length) {
        const DecodedBankFile cut = decodeBankFile(good.substr(0, length));
        EXPECT_NE(cut.problem, BankFileProblem::None) << length;
    }
    // Run under the address sanitizer, this shows that no damaged file is read past its end.
    for (size_t at = 0; at < good.size(); ++at) {
        for (unsigned char flip : {0x01, 0x80, 0xFF}) {
            std::string damaged = good;
            damaged[at] = static_cast<char>(damaged[at] ^ flip);
            const DecodedBankFile file = decodeBankFile(damaged);
            if (file.problem == BankFileProblem::None) {
                EXPECT_GE(file.count, 1);
                EXPECT_LE(file.count, 20);
                EXPECT_EQ(file.contents.patches.size(), static_cast<size_t>(file.count));
            }
        }
    }
}

TEST(BankListing, PrintsSlotsPathsAndValuesByName) {
    std::ostringstream out;
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

    std::ostringstream old;
    printBankListing(decodeBankFile(header(100, 1) + record("/snd/a.wav", 28, -3)), old);
    EXPECT_EQ(old.str().find("ChangeTime"), std::string::npos);
    EXPECT_EQ(old.str().substr(old.str().size() - 10), "PanPos=24\n");
}
}  // namespace
}  // namespace patches
