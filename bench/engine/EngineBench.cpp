// Render throughput of the grain engine: the reference renderer (frame by frame) beside the wide
// renderer on every SIMD instruction set this processor offers, for each kernel, three densities
// and two pitches, over a 10 s sweep recorded at 44100 Hz (what a performer loads, and what the
// peer comparison plays). Reports grain-frames per CPU second and the real-time factor at 44100 Hz.
#include "bench/engine/SweepSound.h"
#include "engine/Engine.h"
#include "engine/GrainBlocks.h"
#include "sounds/SoundTable.h"

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace engine;

constexpr uint32_t kRate = 44100;
constexpr int kPeriod = 256;

struct Load {
    const char* name;
    int streams;
    int32_t freq;           // grain density: Freq × 35 / (16670 − Freq) grains per second
    int32_t grainLen;       // GrainLen² × rate / 2^20 frames
    int soundChannels = 1;  // 2: the sweep in both channels, each stream playing both
};

// 2000 grains/s of 0.1 s (Freq 16384: 35 × 16384 / 286 ≈ 2005; GrainLen 324: 4415 frames), eight
// streams of it, and 200 grains/s of 1 s (Freq 14187; GrainLen 1024: 44100 frames); then the eight
// streams again with a stereo sound, whose frames interleave two samples.
constexpr Load kLoads[] = {
    {"1x2000/s", 1, 16384, 324},
    {"8x2000/s", 8, 16384, 324},
    {"1x200/s_1s", 1, 14187, 1024},
    {"8x2000/s_stereo_sound", 8, 16384, 324, 2},
};

// Pitch 6144 plays the sound at its own speed; 6500 at a speed that is no whole number of frames.
constexpr int32_t kPitches[] = {6144, 6500};
constexpr const char* kKernels[] = {"linear", "cubic", "spline"};

void render(benchmark::State& state, const Load& load, Interpolation kind, int32_t pitch, int64_t target) {
    if (target != 0)
        hwy::SetSupportedTargetsForTest(target);
    sounds::SoundTable table(kRate);
    Engine engine(table, {.rate = kRate, .stereo = true, .framesPerBuffer = kPeriod, .bufferCount = 4});
    engine.setWideRendering(target != 0);
    sounds::Sound& sweep = benchsounds::loadSweep(table, 0, load.soundChannels);
    for (int s = 0; s < load.streams; ++s) {
        if (s > 0)
            engine.createStream();
        engine.attachSound(s, sweep);
        if (load.soundChannels == 2)
            engine.stream(s).channelSelect.store(BothChannels);
        engine.setParameter(s, Freq, load.freq);
        engine.setParameter(s, GrainLen, load.grainLen);
        engine.setParameter(s, Pitch, pitch);
        engine.setParameter(s, PanRnd, 128);
        engine.setParameter(s, Start, 512 * s);
        // Attack and decay of half the grain each: a Hann-like envelope over the whole grain.
        engine.setParameter(s, Attack, 128);
        engine.setParameter(s, Decay, 128);
    }
    engine.setInterpolation(kind);
    engine.playStart(true, false);
    // Warm up for two grain lengths so that the grain count has settled.
    const double grainSeconds = static_cast<double>(load.grainLen) * load.grainLen / 1048576.0;
    const int warmUp = static_cast<int>(2 * grainSeconds * kRate / kPeriod) + 1;
    for (int p = 0; p < warmUp; ++p)
        engine.renderOfflinePeriod();

    double grainFrames = 0;
    double frames = 0;
    for (auto _ : state) {
        grainFrames += static_cast<double>(engine.activeGrainCount()) * kPeriod;
        engine.renderOfflinePeriod();
        frames += kPeriod;
    }
    hwy::SetSupportedTargetsForTest(0);
    state.counters["grains"] = benchmark::Counter(grainFrames / frames);
    state.counters["Mgrain_frames/s"] = benchmark::Counter(grainFrames / 1e6, benchmark::Counter::kIsRate);
    state.counters["rt_factor"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

// Registered before main runs: one benchmark per load, kernel, pitch and renderer, the reference
// first and then the wide renderer on each instruction set, so that each row group compares
// side by side.
const bool kRegistered = [] {
    std::vector<std::pair<std::string, int64_t>> renderers{{"reference", 0}};
    for (int64_t target : hwy::SupportedAndGeneratedTargets())
        renderers.emplace_back(hwy::TargetName(target), target);
    for (const Load& load : kLoads)
        for (int kind = 0; kind < 3; ++kind)
            for (int32_t pitch : kPitches)
                for (const auto& [name, target] : renderers) {
                    const std::string label = std::string(load.name) + "/" + kKernels[kind] + "/pitch" +
                                              std::to_string(pitch) + "/" + name;
                    benchmark::RegisterBenchmark(label.c_str(), render, load,
                                                 static_cast<Interpolation>(kind), pitch, target)
                        ->Unit(benchmark::kMicrosecond);
                }
    return true;
}();

}  // namespace
