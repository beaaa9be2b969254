#include "midi/MidiSettings.h"

namespace midi {

namespace {
constexpr uint32_t kMoveSlidersBit = 1u << 0;
constexpr uint32_t kMonitorInputBit = 1u << 1;
constexpr uint32_t kRelativeFineBit = 1u << 2;
}  // namespace

uint32_t packMonitorFlags(const MidiSettings& settings) {
    return (settings.moveSliders ? kMoveSlidersBit : 0) | (settings.monitorInput ? kMonitorInputBit : 0) |
           (settings.relativeFine ? kRelativeFineBit : 0);
}

void unpackMonitorFlags(uint32_t word, MidiSettings& settings) {
    settings.moveSliders = (word & kMoveSlidersBit) != 0;
    settings.monitorInput = (word & kMonitorInputBit) != 0;
    settings.relativeFine = (word & kRelativeFineBit) != 0;
}

}  // namespace midi
