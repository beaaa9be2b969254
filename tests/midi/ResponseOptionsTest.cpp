#include "midi/ResponseOptions.h"

#include <gtest/gtest.h>

#include "midi/MidiSettings.h"

namespace midi {
namespace {

TEST(ResponseOptions, DefaultWordMeansPitchLastNoteStopRestartProgramChangeAndSevenSemitones) {
    const ResponseOptions options = decodeOptions(kDefaultResponseOptions);
    EXPECT_TRUE(options.noteToPitch);
    EXPECT_EQ(options.noteStopMode, kLastNoteOffStops);
    EXPECT_TRUE(options.restartOnNewNote);
    EXPECT_FALSE(options.restartOnTiedNote);
    EXPECT_TRUE(options.programChangeOn);
    EXPECT_EQ(options.maxPitchBend, 7);
    EXPECT_EQ(packOptions(options), 0x72Du);
}

TEST(ResponseOptions, StopModeBitsAndBendRangeLimits) {
    EXPECT_EQ(decodeOptions(0x2).noteStopMode, kNewNoteStops);
    EXPECT_EQ(decodeOptions(0x6).noteStopMode, kLastNoteOffStops);  // bit 2 wins
    EXPECT_EQ(decodeOptions(0x0).noteStopMode, kNotesNeverStop);
    EXPECT_EQ(decodeOptions(0x1F00).maxPitchBend, 24);  // 31 is more than the range
    EXPECT_EQ(decodeOptions(0x1800).maxPitchBend, 24);
    EXPECT_EQ(decodeOptions(0x1700).maxPitchBend, 23);
    EXPECT_EQ(decodeOptions(0x10).restartOnTiedNote, true);
}

TEST(ResponseOptions, PackingRoundTripsEveryCombination) {
    for (uint32_t flags = 0; flags < 0x40; ++flags) {
        if ((flags & 0x6) == 0x6)
            continue;  // both stop bits: decodes to mode 4 alone
        for (uint32_t bend = 0; bend <= 24; bend += 6) {
            const uint32_t word = flags | (bend << 8);
            EXPECT_EQ(packOptions(decodeOptions(word)), word) << std::hex << word;
        }
    }
}

}  // namespace
}  // namespace midi
