#include "midi/HeldNotes.h"

namespace midi {

void HeldNotes::press(int channel, int note, int velocity) {
    uint8_t& held = velocities_[index(channel, note)];
    if (held == 0) {
        ++perChannel_[static_cast<size_t>(channel)];
        ++total_;
    }
    held = static_cast<uint8_t>(velocity);
}

void HeldNotes::release(int channel, int note) {
    uint8_t& held = velocities_[index(channel, note)];
    if (held == 0)
        return;
    held = 0;
    --perChannel_[static_cast<size_t>(channel)];
    --total_;
}

}  // namespace midi
