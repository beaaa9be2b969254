#pragma once

#include <array>
#include <vector>

#include "engine/ParamSpec.h"
#include "midi/MidiTarget.h"

namespace midi::testing {

// A stand-in for the engine and the play control that records what MIDI asks.
class FakeMidiTarget : public MidiTarget {
  public:
    struct Change {
        int stream;
        int param;
        int32_t value;
        double changeTime;
        bool operator==(const Change&) const = default;
    };
    template <typename T>
    using PerParam = std::array<std::array<T, engine::kParamCount>, kStreamSlots>;

    FakeMidiTarget() {
        exists[0] = true;
        for (size_t s = 0; s < targets.size(); ++s)
            for (size_t p = 0; p < targets[s].size(); ++p)
                currents[s][p] = static_cast<float>(targets[s][p] = engine::defaultParamSet()[p]);
    }

    bool streamExists(int stream) const override { return exists.at(stream); }
    int currentStream() const override { return current; }
    bool isPlaying() const override { return playing; }
    bool isStopping() const override { return stopping; }
    bool isRestartPending() const override { return restartPending; }
    bool isRecording() const override { return recording; }
    void resetFrameClock() override { ++frameClockResets; }
    void resetLoop(int stream) override { loopResets.push_back(stream); }
    void snapParameters(int stream) override { snaps.push_back(stream); }
    int32_t paramTarget(int stream, int param) const override { return targets.at(stream).at(param); }
    float paramCurrent(int stream, int param) const override { return currents.at(stream).at(param); }
    int32_t coarseValue(int stream, int param) const override { return coarse.at(stream).at(param); }
    void setCoarseValue(int stream, int param, int32_t value) override {
        coarse.at(stream).at(param) = value;
    }
    void setParameter(int stream, int param, int32_t value, double changeTime) override {
        targets.at(stream).at(param) = value;
        changes.push_back({stream, param, value, changeTime});
    }

    std::array<bool, kStreamSlots> exists{};
    int current = 0;
    bool playing = false, stopping = false, restartPending = false, recording = false;
    int frameClockResets = 0;
    std::vector<int> loopResets, snaps;
    std::vector<Change> changes;
    PerParam<int32_t> targets{}, coarse{};
    PerParam<float> currents{};
};

}  // namespace midi::testing
