// Render throughput of the grain engine: each render function, mono and stereo output, at four
// densities. Reports grain-frames per second and the real-time factor at 44100 Hz.
#include "engine/Engine.h"
#include "sounds/SoundTable.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace engine;

constexpr uint32_t kRate = 44100;
constexpr int kPeriod = 256;

struct Scenario {
    int streams;
    int32_t freq;      // grain density: Freq × 35 / (16670 − Freq) grains per second
    int32_t grainLen;  // GrainLen² × rate / 2^20 frames
};

// (a) 20 grains/s of 0.1 s; (b) 2000 grains/s of 0.1 s; (c) eight streams of (b);
// (d) 200 grains/s of 1 s.
constexpr Scenario kScenarios[] = {
    {1, 6062, 324},
    {1, 16384, 324},
    {8, 16384, 324},
    {1, 14187, 1024},
};

void renderScenario(benchmark::State& state) {
    const Scenario& scenario = kScenarios[state.range(0)];
    const auto mode = static_cast<Interpolation>(state.range(1));
    const bool stereo = state.range(2) != 0;
    sounds::SoundTable table(kRate);
    Engine engine(table, {.rate = kRate, .stereo = stereo, .framesPerBuffer = kPeriod, .bufferCount = 4});
    for (int s = 0; s < scenario.streams; ++s) {
        if (s > 0)
            engine.createStream();
        engine.setParameter(s, Freq, scenario.freq);
        engine.setParameter(s, GrainLen, scenario.grainLen);
        engine.setParameter(s, PanRnd, 128);
    }
    engine.setInterpolation(mode);
    engine.playStart(true, false);
    // Warm up for two grain lengths so that the grain count has settled.
    const double grainSeconds = static_cast<double>(scenario.grainLen) * scenario.grainLen / 1048576.0;
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
    state.counters["grains"] = benchmark::Counter(grainFrames / frames);
    state.counters["grain_frames/s"] = benchmark::Counter(grainFrames, benchmark::Counter::kIsRate);
    state.counters["rt_factor"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

void scenarioArguments(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"scenario", "interp", "stereo"});
    for (int scenario = 0; scenario < 4; ++scenario)
        for (int mode = 0; mode < 3; ++mode)
            for (int stereo = 0; stereo < 2; ++stereo)
                bench->Args({scenario, mode, stereo});
}

BENCHMARK(renderScenario)->Apply(scenarioArguments)->Unit(benchmark::kMicrosecond);

}  // namespace
