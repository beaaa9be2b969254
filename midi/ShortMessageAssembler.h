#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace midi {

// One complete MIDI short message; unused data bytes are 0.
struct ShortMessage {
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;

    // The message packed as one word: status, data 1 and data 2 from the low byte up.
    uint32_t packed() const { return status | (uint32_t{data1} << 8) | (uint32_t{data2} << 16); }
    bool operator==(const ShortMessage&) const = default;
};

// Reassembles short messages from a MIDI byte stream: running status (data
// bytes that reuse the last channel status), real-time bytes in the middle of
// a message, and system exclusive data, which is skipped. Stray data bytes
// without a status are dropped. Thread: the one that feeds it.
class ShortMessageAssembler {
  public:
    template <typename OnMessage>
    void feed(std::span<const uint8_t> bytes, OnMessage&& onMessage) {
        for (const uint8_t byte : bytes)
            if (const auto* message = take(byte))
                onMessage(*message);
    }

  private:
    // Returns the message this byte completes, if any.
    const ShortMessage* take(uint8_t byte);

    ShortMessage pending_;
    ShortMessage ready_;
    uint8_t runningStatus_ = 0;  // 0: none
    int expected_ = 0;           // data bytes the pending message needs
    int received_ = 0;
    bool inSysEx_ = false;
};

}  // namespace midi
