#include "patches/BankFile.h"
#include "patches/BankListing.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace patches {
namespace {

// Little-endian words written out by hand, as the file layout describes them.
std::string word(uint32_t w) {
    return {static_cast<char>(w & 0xFF), static_cast<char>((w >> 8) & 0xFF),
            static_cast<char>((w >> 16) & 0xFF), static_cast<char>((w >> 24) & 0xFF)};
}

std::string header(int32_t version, int32_t count) {
    return "Fbnk" + word(static_cast<uint32_t>(version)) + word(static_cast<uint32_t>(count));
}

// One record: flags, length, path bytes, then `n` values base, base+1, ...
std::string record(uint32_t flags, const std::string& pathWithZero, int n, int32_t base) {
    std::string r = word(flags) + word(static_cast<uint32_t>(pathWithZero.size())) + pathWithZero;
    for (int i = 0; i < n; ++i)
        r += word(static_cast<uint32_t>(base + i));
    return r;
}

Patch patchWith(const std::string& path, int32_t base, uint32_t flags) {
    Patch p;
    p.flags = flags;
    p.setSoundPath(path);
    for (int i = 0; i < engine::kParamCount; ++i)
        p.values[static_cast<size_t>(i)] = base + i;
    return p;
}

TEST(BankFileFormat, WritesOccupiedSlotsInOrderWithFlagsOneAnd28Values) {
    PatchBank bank;
    bank.slot(2) = patchWith("/s/a.wav", -5, kPatchOccupied | kPatchUnsaved);
    bank.slot(5) = patchWith("fizz_sine", 1000, kPatchOccupied);
    bank.slot(20) = patchWith("b", 7, kPatchOccupied);
    bank.slot(9) = patchWith("cleared", 3, 0);  // cleared slots keep their text but are not written
    bank.count = 3;

    const std::string expected = header(100, 3) + record(1, std::string("/s/a.wav") + '\0', 28, -5) +
                                 record(1, std::string("fizz_sine") + '\0', 28, 1000) +
                                 record(1, std::string("b") + '\0', 28, 7);
    EXPECT_EQ(encodeBankFile(bank), expected);
    EXPECT_EQ(expected.size(), 12u + 3 * (8 + 112) + 9 + 10 + 2);
}

TEST(BankFileFormat, ReadsVersion100With28ValuesAnd101With29AndIgnoresATail) {
    const std::string v100 = header(100, 1) + record(1, std::string("x.aif") + '\0', 28, 40);
    DecodedBankFile old = decodeBankFile(v100);
    ASSERT_EQ(old.problem, BankFileProblem::None);
    ASSERT_EQ(std::pair(old.contents.valuesPerRecord, old.contents.patches.size()), std::pair(28, 1ul));
    EXPECT_EQ(old.contents.patches[0].soundPathText(), "x.aif");
    EXPECT_EQ(old.contents.patches[0].values[27], 67);

    const std::string v101 = header(101, 2) + record(1, std::string("p") + '\0', 29, 0) +
                             record(1, std::string("q") + '\0', 29, 100);
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

TEST(BankFileFormat, RefusesDamagedFiles) {
    const std::string good = header(100, 2) + record(1, std::string("a") + '\0', 28, 1) +
                             record(1, std::string("bb") + '\0', 28, 2);
    struct Case {
        const char* what;
        std::string bytes;
        BankFileProblem problem;
    };
    const Case cases[] = {
        {"wrong magic", "FBNK" + good.substr(4), BankFileProblem::NotBankFile},
        {"too short for the magic", "Fb", BankFileProblem::NotBankFile},
        {"nothing at all", "", BankFileProblem::NotBankFile},
        {"header cut", good.substr(0, 10), BankFileProblem::Truncated},
        {"count 0", header(100, 0), BankFileProblem::Empty},
        {"count 21", header(100, 21) + good.substr(12), BankFileProblem::BadCount},
        {"negative count", header(100, -1), BankFileProblem::BadCount},
        {"second record missing", good.substr(0, 12 + 8 + 2 + 112), BankFileProblem::Truncated},
        {"values cut", good.substr(0, good.size() - 1), BankFileProblem::Truncated},
        {"path length past the end", header(100, 1) + word(1) + word(0xFFFFFFF0u) + "abc",
         BankFileProblem::Truncated},
        {"version 101 read with 28 values", header(101, 1) + record(1, std::string("a") + '\0', 28, 1),
         BankFileProblem::Truncated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(decodeBankFile(c.bytes).problem, c.problem);
    }
}

TEST(BankFileFormat, EveryCutAndEveryFlippedByteIsHandledSafely) {
    const std::string good = header(101, 2) + record(1, std::string("/a/b.wav") + '\0', 29, -9) +
                             record(1, std::string("c") + '\0', 29, 4);
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

TEST(BankFileFormat, KeepsPathBytesExactlyAsStored) {
    // A path without a terminating zero and one with an inner zero come back byte for byte.
    const std::string odd = std::string("ab\0cd", 5);
    const std::string bytes = header(100, 1) + record(1, odd, 28, 0);
    DecodedBankFile file = decodeBankFile(bytes);
    ASSERT_EQ(file.problem, BankFileProblem::None);
    EXPECT_EQ(file.contents.patches[0].soundPath, odd);
    EXPECT_EQ(file.contents.patches[0].soundPathText(), "ab");

    PatchBank bank;
    bank.slot(1) = file.contents.patches[0];
    bank.count = 1;
    EXPECT_EQ(encodeBankFile(bank), bytes);
}

TEST(BankListing, PrintsSlotsPathsAndValuesByName) {
    DecodedBankFile file;
    file.count = 1;
    file.contents.version = 101;
    file.contents.valuesPerRecord = 29;
    Patch patch;
    patch.flags = 1;
    patch.setSoundPath("/snd/a.wav");
    for (int i = 0; i < 29; ++i)
        patch.values[static_cast<size_t>(i)] = i - 3;
    file.contents.patches.push_back(patch);
    std::ostringstream out;
    printBankListing(file, out);
    EXPECT_EQ(out.str(),
              "version: 101\n"
              "count: 1\n"
              "slot 1: /snd/a.wav\n"
              "  Start=-3 StartRnd=-2 Length=-1 LengthRnd=0 Rate=1 RateScale=2 RateAM=3\n"
              "  Freq=4 FreqRnd=5 FreqAM=6 GrainLen=7 GrainLenRnd=8 GrainLenAM=9 Pitch=10\n"
              "  PitchRnd=11 PitchAM=12 Gliss=13 GlissRnd=14 GlissAM=15 Attack=16 AttackRnd=17\n"
              "  Decay=18 DecayRnd=19 Amp=20 AmpAM=21 PanRnd=22 PanAM=23 PanPos=24\n"
              "  ChangeTime=25\n");

    file.contents.valuesPerRecord = 28;
    std::ostringstream old;
    printBankListing(file, old);
    EXPECT_EQ(old.str().find("ChangeTime"), std::string::npos);
    EXPECT_EQ(old.str().substr(old.str().size() - 10), "PanPos=24\n");
}

}  // namespace
}  // namespace patches
