#pragma once

#include "engine/Engine.h"
#include "sounds/AmpTable.h"
#include "sounds/SoundTable.h"

#include <functional>
#include <string>
#include <vector>

namespace enginetest {

// Fills table record `index` with a sound whose sample of frame i, channel c is `sample(i, c)`,
// as the loader would (guard region, AmpTable, one user).
inline sounds::Sound& makeSound(sounds::SoundTable& table, int index, int32_t frames, int channels,
                                int32_t sampleRate, const std::function<float(int32_t, int)>& sample) {
    sounds::Sound& sound = table.record(index);
    sound.path = "/test/sound" + std::to_string(index) + ".wav";
    sound.frames = frames;
    sound.channels = static_cast<int16_t>(channels);
    sound.sampleRate = sampleRate;
    sound.unitsPerFrame = sounds::unitsPerFrameOf(frames, channels);
    sound.ampUnitsPerFrame = sound.unitsPerFrame;
    const int32_t guard = sounds::guardFramesOf(frames, sound.unitsPerFrame);
    sound.data.assign(static_cast<size_t>(frames + guard) * static_cast<size_t>(channels), 0.0f);
    for (int32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            sound.data[static_cast<size_t>(i) * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                sample(i, c);
    sounds::fillGuardRegion(sound, guard);
    sounds::buildAmpTable(sound);
    sound.refCount = 1;
    return sound;
}

// Parameters that make every grain a plain window: no envelope, no randomness.
inline void flatGrains(engine::Engine& engine, int stream) {
    engine.setParameter(stream, engine::Attack, 0);
    engine.setParameter(stream, engine::Decay, 0);
    engine.snapParameters(stream);
}

// Collects every period the render step hands to the recording.
class CapturingSink : public engine::RecordingSink {
  public:
    std::vector<float> mix;
    std::array<std::vector<float>, engine::kMaxStreams> streams;
    std::array<bool, engine::kMaxStreams> open{};

    bool streamFileOpen(int stream) const override { return open[static_cast<size_t>(stream)]; }
    void writePeriod(const engine::RenderedPeriod& period) override {
        mix.insert(mix.end(), period.mix, period.mix + period.samples);
        for (size_t i = 0; i < streams.size(); ++i)
            if (period.streams[i] != nullptr && open[i])
                streams[i].insert(streams[i].end(), period.streams[i], period.streams[i] + period.samples);
    }
};

}  // namespace enginetest
