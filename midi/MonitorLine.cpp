#include "midi/MonitorLine.h"

#include <array>
#include <cstdio>

namespace midi {
namespace {

constexpr uint32_t kControlChangeKind = 0xB;
constexpr uint32_t kFirstChannelModeController = 122;
constexpr size_t kLineCapacity = 80;

const char* statusName(uint32_t kind) {
    static constexpr std::array<const char*, 8> kNames{"Note off", "Note on",    "Poly key",   "Control",
                                                       "Program",  "Aftertouch", "Pitch bend", "System"};
    constexpr uint32_t kFirstStatusKind = 8;
    return kind >= kFirstStatusKind ? kNames[kind - kFirstStatusKind] : "(Error?)";
}

}  // namespace

std::string formatMonitorLine(uint32_t packed) {
    const uint32_t status = packed & 0xFF;
    const int data1 = static_cast<int>((packed >> 8) & 0xFF);
    const int data2 = static_cast<int>((packed >> 16) & 0xFF);
    const uint32_t kind = status >> 4;
    const int channel = static_cast<int>(status & 0x0F) + 1;
    std::array<char, kLineCapacity> line{};
    if (kind == kControlChangeKind && static_cast<uint32_t>(data1) >= kFirstChannelModeController)
        std::snprintf(line.data(), line.size(), "MIDI input: Channel mode (ch %d), command: %d, %d", channel,
                      data1, data2);
    else
        std::snprintf(line.data(), line.size(), "MIDI input: Chn %d, %s %d, %d", channel, statusName(kind),
                      data1, data2);
    return line.data();
}

}  // namespace midi
