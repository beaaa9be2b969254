#pragma once

#include <array>
#include <vector>

#include "engine/ParamSpec.h"
#include "midi/MidiTarget.h"

namespace midi::testing {

template <typename Table>
auto& at(Table& table, int stream, int param) {
    return table[static_cast<size_t>(stream)][static_cast<size_t>(param)];
}

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

    FakeMidiTarget() {
        exists[0] = true;
        for (size_t s = 0; s < targets.size(); ++s)
            for (size_t p = 0; p < targets[s].size(); ++p)
                currents[s][p] = static_cast<float>(targets[s][p] = engine::defaultParamSet()[p]);
    }

    bool streamExists(int stream) const override { return exists[static_cast<size_t>(stream)]; }
    int currentStream() const override { return current; }
    bool isPlaying() const override { return playing; }
    bool isStopping() const override { return stopping; }
    bool isRestartPending() const override { return restartPending; }
    bool isRecording() const override { return recording; }
    void resetFrameClock() override { ++frameClockResets; }
    void resetLoop(int stream) override { loopResets.push_back(stream); }
    void snapParameters(int stream) override { snaps.push_back(stream); }
    int32_t paramTarget(int stream, int param) const override { return at(targets, stream, param); }
    float paramCurrent(int stream, int param) const override { return at(currents, stream, param); }
    int32_t coarseValue(int stream, int param) const override { return at(coarse, stream, param); }
    void setCoarseValue(int stream, int param, int32_t value) override { at(coarse, stream, param) = value; }
    void setParameter(int stream, int param, int32_t value, double changeTime) override {
        at(targets, stream, param) = value;
        changes.push_back({stream, param, value, changeTime});
    }

    std::array<bool, kStreamSlots> exists{};
    int current = 0;
    bool playing = false;
    bool stopping = false;
    bool restartPending = false;
    bool recording = false;
    int frameClockResets = 0;
    std::vector<int> loopResets;
    std::vector<int> snaps;
    std::vector<Change> changes;
    std::array<std::array<int32_t, engine::kParamCount>, kStreamSlots> targets{};
    std::array<std::array<float, engine::kParamCount>, kStreamSlots> currents{};
    std::array<std::array<int32_t, engine::kParamCount>, kStreamSlots> coarse{};
};

}  // namespace midi::testing
