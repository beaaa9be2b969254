// The MIDI byte stream assembled into short messages, the monitor's text of a message, and the
// packed words of the response options and response rows.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "midi/MidiSettings.h"
#include "midi/MonitorLine.h"
#include "midi/ResponseOptions.h"
#include "midi/ResponseRowFields.h"
#include "midi/ResponseTables.h"
#include "midi/ShortMessageAssembler.h"

namespace midi {
namespace {

std::vector<ShortMessage> assemble(ShortMessageAssembler& assembler, std::vector<uint8_t> bytes) {
    std::vector<ShortMessage> messages;
    assembler.feed(bytes, [&](const ShortMessage& message) { messages.push_back(message); });
    return messages;
}

TEST(ShortMessageAssembler, RunningStatusSplitDeliveriesAndRealTimeBytes) {
    using Messages = std::vector<ShortMessage>;
    ShortMessageAssembler running;  // running status reuses the last channel status
    EXPECT_EQ(assemble(running, {0x91, 60, 100, 62, 90, 60, 0, 0xC2, 5, 7}),
              (Messages{{0x91, 60, 100}, {0x91, 62, 90}, {0x91, 60, 0}, {0xC2, 5, 0}, {0xC2, 7, 0}}));
    ShortMessageAssembler split;  // messages may span several deliveries
    EXPECT_TRUE(assemble(split, {0xE0, 0}).empty());
    EXPECT_EQ(assemble(split, {95}), (Messages{{0xE0, 0, 95}}));
    ShortMessageAssembler realTime;  // real-time bytes pass through without breaking a message
    EXPECT_EQ(assemble(realTime, {0xB0, 0xFA, 7, 0xFC, 64, 9, 10}),
              (Messages{{0xFA, 0, 0}, {0xFC, 0, 0}, {0xB0, 7, 64}, {0xB0, 9, 10}}));
    ShortMessageAssembler dropping;  // system exclusive and stray data are dropped
    EXPECT_TRUE(assemble(dropping, {1, 2, 0xF0, 0x7E, 0x90, 1, 0xF7, 3, 4}).empty());
    // System common ends the running status.
    EXPECT_EQ(assemble(dropping, {0x90, 60, 1, 0xF3, 2, 61, 1}), (Messages{{0x90, 60, 1}, {0xF3, 2, 0}}));
}

TEST(MonitorLine, NamesTheStatusAndCountsChannelsFromOne) {
    EXPECT_EQ(formatMonitorLine(0x643C91), "MIDI input: Chn 2, Note on 60, 100");
    EXPECT_EQ(formatMonitorLine(0x00408F), "MIDI input: Chn 16, Note off 64, 0");
    EXPECT_EQ(formatMonitorLine(0x5F00E0), "MIDI input: Chn 1, Pitch bend 0, 95");
    EXPECT_EQ(formatMonitorLine(0x0000FA), "MIDI input: Chn 11, System 0, 0");
    EXPECT_EQ(formatMonitorLine(0x000105), "MIDI input: Chn 6, (Error?) 1, 0");
    EXPECT_EQ(formatMonitorLine(0x007BB3), "MIDI input: Channel mode (ch 4), command: 123, 0");
    EXPECT_EQ(formatMonitorLine(0x7F79B0), "MIDI input: Chn 1, Control 121, 127");
}

TEST(ResponseOptions, DefaultWordStopModeBitsAndBendRangeLimits) {
    // Pitch, last note off stops, restart on a new note, program changes, seven semitones.
    const ResponseOptions o = decodeOptions(kDefaultResponseOptions);
    EXPECT_EQ(std::tuple(o.noteToPitch, o.noteStopMode, o.restartOnNewNote, o.restartOnTiedNote,
                         o.programChangeOn, o.maxPitchBend),
              std::tuple(true, kLastNoteOffStops, true, false, true, 7));
    EXPECT_EQ(packOptions(o), 0x72Du);
    // Stop mode bits: bit 2 wins over bit 1.
    EXPECT_EQ(std::tuple(decodeOptions(0x2).noteStopMode, decodeOptions(0x6).noteStopMode,
                         decodeOptions(0x0).noteStopMode),
              std::tuple(kNewNoteStops, kLastNoteOffStops, kNotesNeverStop));
    // Bend ranges: 31 is more than the range.
    EXPECT_EQ(std::tuple(decodeOptions(0x1F00).maxPitchBend, decodeOptions(0x1800).maxPitchBend,
                         decodeOptions(0x1700).maxPitchBend),
              std::tuple(24, 24, 23));
    EXPECT_TRUE(decodeOptions(0x10).restartOnTiedNote);
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

// Source index 1 (Velocity, flags 0x4000000), target 12 (Output amp), From 20, To 90.
constexpr ResponseRow kVelocityToAmp = 0x14000000u | 0x000C0000u | (20u << 8) | 90u;

TEST(ResponseRowFields, ReadsEachFieldAndTheTargetParameter) {
    const ResponseRow k = kVelocityToAmp;
    EXPECT_EQ(std::tuple(responseTo(k), responseFrom(k), responseTargetIndex(k), responseSourceIndex(k)),
              std::tuple(90, 20, 12u, 1u));
    EXPECT_EQ(std::tuple(responseSourceFlags(k), responseTargetParam(k),
                         responseTargetParam(withTargetIndex(k, 1))),
              std::tuple(kSourceVelocity, 23, 4));
    for (uint32_t none : {0u, 13u, 15u})
        EXPECT_FALSE(responseTargetParam(withTargetIndex(k, none)))
            << "target " << none << " has no parameter";
}

TEST(ResponseRowFields, WritersReplaceOneFieldAndClampPercentages) {
    ResponseRow row = 0;
    row = withSourceIndex(row, 5);  // Note/Pbend
    EXPECT_EQ(row, 0x53000000u);
    row = withTargetIndex(row, 3);
    row = withFrom(row, 150);
    row = withTo(row, -4);
    EXPECT_EQ(row, 0x53000000u | 0x30000u | (100u << 8) | 0u);
    row = withSourceIndex(row, 0);
    EXPECT_EQ(std::tuple(responseSourceFlags(row), responseTargetIndex(row)), std::tuple(0u, 3u));
}

TEST(ResponseRowFields, CompactionDropsIncompleteRowsAndMovesTheRestUp) {
    const ResponseRow noSource = withSourceIndex(kVelocityToAmp, 0);
    const ResponseRow noTarget = withTargetIndex(kVelocityToAmp, 0);
    const ResponseRow noSpan = withTo(kVelocityToAmp, 20);
    const ResponseRow bend = withSourceIndex(withTargetIndex(kVelocityToAmp, 7), 4);
    const auto kept = compactRows({noSource, kVelocityToAmp, noTarget, noSpan, 0, bend});
    const std::array<ResponseRow, kResponseRowCount> expected{kVelocityToAmp, bend, 0, 0, 0, 0};
    EXPECT_EQ(kept, expected);
}

}  // namespace
}  // namespace midi
