#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace midi {

inline constexpr int kMidiChannels = 16;
inline constexpr int kNotesPerChannel = 128;

// The notes currently held down, by channel and note number, with their raw
// velocities. Fixed storage: nothing is allocated on the MIDI thread.
// Thread: MIDI input.
class HeldNotes {
  public:
    void press(int channel, int note, int velocity);
    void release(int channel, int note);

    bool empty() const { return total_ == 0; }
    int count() const { return total_; }
    bool channelHasNotes(int channel) const { return perChannel_[static_cast<size_t>(channel)] > 0; }
    // The raw velocity of a held note, 0 when it is not held.
    int velocity(int channel, int note) const { return velocities_[index(channel, note)]; }

  private:
    static size_t index(int channel, int note) {
        return static_cast<size_t>(channel * kNotesPerChannel + note);
    }

    std::array<uint8_t, kMidiChannels * kNotesPerChannel> velocities_{};
    std::array<int, kMidiChannels> perChannel_{};
    int total_ = 0;
};

}  // namespace midi
