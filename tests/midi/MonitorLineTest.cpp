#include "midi/MonitorLine.h"

#include <gtest/gtest.h>

namespace midi {
namespace {

TEST(MonitorLine, NamesTheStatusAndCountsChannelsFromOne) {
    EXPECT_EQ(formatMonitorLine(0x643C91), "MIDI input: Chn 2, Note on 60, 100");
    EXPECT_EQ(formatMonitorLine(0x00408F), "MIDI input: Chn 16, Note off 64, 0");
    EXPECT_EQ(formatMonitorLine(0x5F00E0), "MIDI input: Chn 1, Pitch bend 0, 95");
    EXPECT_EQ(formatMonitorLine(0x0000FA), "MIDI input: Chn 11, System 0, 0");
    EXPECT_EQ(formatMonitorLine(0x000105), "MIDI input: Chn 6, (Error?) 1, 0");
}

TEST(MonitorLine, ChannelModeControllers) {
    EXPECT_EQ(formatMonitorLine(0x007BB3), "MIDI input: Channel mode (ch 4), command: 123, 0");
    EXPECT_EQ(formatMonitorLine(0x7F79B0), "MIDI input: Chn 1, Control 121, 127");
}

}  // namespace
}  // namespace midi
