#pragma once

#include "midi/MidiTarget.h"

namespace engine {
class Engine;
}
namespace output {
class PlayControl;
class Recorder;
}  // namespace output

namespace midi {

// MIDI control of the real engine: parameter slots, stream states and play
// flags, all atomic words. Thread: MIDI input.
class EngineMidiTarget : public MidiTarget {
  public:
    // `recorder` may be null (nothing records).
    EngineMidiTarget(engine::Engine& engine, const output::PlayControl& play,
                     const output::Recorder* recorder);

    bool streamExists(int stream) const override;
    int currentStream() const override;
    bool isPlaying() const override;
    bool isStopping() const override;
    bool isRestartPending() const override;
    bool isRecording() const override;
    void resetFrameClock() override;
    // Takes the engine lock for the write: the loop position belongs to the
    // audio thread.
    void resetLoop(int stream) override;
    void snapParameters(int stream) override;
    int32_t paramTarget(int stream, int param) const override;
    float paramCurrent(int stream, int param) const override;
    int32_t coarseValue(int stream, int param) const override;
    void setCoarseValue(int stream, int param, int32_t value) override;
    void setParameter(int stream, int param, int32_t value, double changeTime) override;

  private:
    engine::Engine& engine_;
    const output::PlayControl& play_;
    const output::Recorder* recorder_;
};

}  // namespace midi
