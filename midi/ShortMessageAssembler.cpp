#include "midi/ShortMessageAssembler.h"

namespace midi {
namespace {

constexpr uint8_t kStatusBit = 0x80;
constexpr uint8_t kFirstRealTime = 0xF8;
constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;
constexpr uint8_t kSystemCommon = 0xF0;

// Data bytes that follow a status byte.
int dataBytesOf(uint8_t status) {
    switch (status & 0xF0) {
        case 0xC0:  // program change
        case 0xD0:  // channel pressure
            return 1;
        case 0xF0:
            break;
        default:
            return 2;
    }
    switch (status) {
        case 0xF1:  // time code quarter frame
        case 0xF3:  // song select
            return 1;
        case 0xF2:  // song position
            return 2;
        default:
            return 0;
    }
}

}  // namespace

const ShortMessage* ShortMessageAssembler::take(uint8_t byte) {
    if (byte >= kFirstRealTime) {
        // Real-time bytes may come between any two bytes and change nothing else.
        ready_ = ShortMessage{byte, 0, 0};
        return &ready_;
    }
    if (byte & kStatusBit) {
        inSysEx_ = byte == kSysExStart;
        if (inSysEx_ || byte == kSysExEnd) {
            runningStatus_ = 0;
            expected_ = received_ = 0;
            pending_ = ShortMessage{};
            return nullptr;
        }
        pending_ = ShortMessage{byte, 0, 0};
        expected_ = dataBytesOf(byte);
        received_ = 0;
        // Only channel messages set a running status; system common ones end it.
        runningStatus_ = (byte & 0xF0) == kSystemCommon ? 0 : byte;
        if (expected_ == 0) {
            ready_ = pending_;
            pending_ = ShortMessage{};
            return &ready_;
        }
        return nullptr;
    }
    if (inSysEx_)
        return nullptr;
    if (pending_.status == 0) {
        if (runningStatus_ == 0)
            return nullptr;  // a data byte without any status
        pending_ = ShortMessage{runningStatus_, 0, 0};
        expected_ = dataBytesOf(runningStatus_);
        received_ = 0;
    }
    if (received_ == 0)
        pending_.data1 = byte;
    else
        pending_.data2 = byte;
    if (++received_ < expected_)
        return nullptr;
    ready_ = pending_;
    pending_ = ShortMessage{};
    return &ready_;
}

}  // namespace midi
