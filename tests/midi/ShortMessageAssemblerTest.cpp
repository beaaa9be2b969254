#include "midi/ShortMessageAssembler.h"

#include <gtest/gtest.h>

#include <vector>

namespace midi {
namespace {

std::vector<ShortMessage> assemble(ShortMessageAssembler& assembler, std::vector<uint8_t> bytes) {
    std::vector<ShortMessage> messages;
    assembler.feed(bytes, [&](const ShortMessage& message) { messages.push_back(message); });
    return messages;
}

TEST(ShortMessageAssembler, RunningStatusReusesTheLastChannelStatus) {
    ShortMessageAssembler assembler;
    const auto messages = assemble(assembler, {0x91, 60, 100, 62, 90, 60, 0, 0xC2, 5, 7});
    const std::vector<ShortMessage> expected{
        {0x91, 60, 100}, {0x91, 62, 90}, {0x91, 60, 0}, {0xC2, 5, 0}, {0xC2, 7, 0}};
    EXPECT_EQ(messages, expected);
}

TEST(ShortMessageAssembler, MessagesMaySpanSeveralDeliveries) {
    ShortMessageAssembler assembler;
    EXPECT_TRUE(assemble(assembler, {0xE0, 0}).empty());
    EXPECT_EQ(assemble(assembler, {95}), (std::vector<ShortMessage>{{0xE0, 0, 95}}));
}

TEST(ShortMessageAssembler, RealTimeBytesPassThroughWithoutBreakingAMessage) {
    ShortMessageAssembler assembler;
    const auto messages = assemble(assembler, {0xB0, 0xFA, 7, 0xFC, 64, 9, 10});
    const std::vector<ShortMessage> expected{{0xFA, 0, 0}, {0xFC, 0, 0}, {0xB0, 7, 64}, {0xB0, 9, 10}};
    EXPECT_EQ(messages, expected);
}

TEST(ShortMessageAssembler, SystemExclusiveAndStrayDataAreDropped) {
    ShortMessageAssembler assembler;
    EXPECT_TRUE(assemble(assembler, {1, 2, 0xF0, 0x7E, 0x90, 1, 0xF7, 3, 4}).empty());
    // System common ends the running status.
    EXPECT_EQ(assemble(assembler, {0x90, 60, 1, 0xF3, 2, 61, 1}),
              (std::vector<ShortMessage>{{0x90, 60, 1}, {0xF3, 2, 0}}));
}

}  // namespace
}  // namespace midi
