#pragma once

#include <cstdint>

namespace midi {

inline constexpr int kStreamSlots = 8;

// What MIDI control reads and changes in the engine and the play control.
// Every call comes from the MIDI input thread and touches only single 32-bit
// words (parameter slots, stream states, play flags) without the engine lock;
// anything that needs the main thread is posted as a message instead.
class MidiTarget {
  public:
    virtual ~MidiTarget() = default;

    virtual bool streamExists(int stream) const = 0;
    virtual int currentStream() const = 0;

    // Play flags.
    virtual bool isPlaying() const = 0;
    virtual bool isStopping() const = 0;  // a stop request is running (soft stop)
    virtual bool isRestartPending() const = 0;
    virtual bool isRecording() const = 0;

    // Preparing the streams for a start from MIDI.
    virtual void resetFrameClock() = 0;
    virtual void resetLoop(int stream) = 0;
    virtual void snapParameters(int stream) = 0;

    virtual int32_t paramTarget(int stream, int param) const = 0;
    virtual float paramCurrent(int stream, int param) const = 0;
    virtual int32_t coarseValue(int stream, int param) const = 0;
    virtual void setCoarseValue(int stream, int param, int32_t value) = 0;

    // Starts a smoothed change to `value` over `changeTime` (in 1/64 s).
    virtual void setParameter(int stream, int param, int32_t value, double changeTime) = 0;
};

}  // namespace midi
