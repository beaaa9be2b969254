#include "patches/BankListing.h"

#include <gtest/gtest.h>

#include <sstream>

namespace patches {
namespace {

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
