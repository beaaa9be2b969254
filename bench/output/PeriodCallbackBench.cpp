// The device's period callback with eight dense streams (about 1600 grains at
// once) at 44100 Hz and 256-frame periods: the duration of each call
// (median, 99th percentile, maximum) against the period's length, in wall
// time and in the thread's own CPU time (which a busy machine does not inflate), with the
// reference renderer beside the wide one, and the wide one on the calling thread alone beside the
// engine's own choice of threads (several streams side by side on a loaded period). The thread's
// CPU time leaves the helper threads out; the process's CPU time per period counts them.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "bench/engine/SweepSound.h"
#include "engine/Engine.h"
#include "sounds/SoundTable.h"

namespace {

using namespace engine;

constexpr uint32_t kRate = 44100;
constexpr int kPeriod = 256;
constexpr int32_t kDenseFreq = 16384;                         // about 2000 grains per second
constexpr int32_t kGrainLen = 324;                            // 0.1 s grains
constexpr int kWarmUpPeriods = 2 * kRate / 10 / kPeriod + 1;  // two grain lengths
constexpr double kMicroseconds = 1e6;

// The calling thread's CPU time: what the call cost, whatever else the
// machine was running.
double cpuMicroseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * kMicroseconds + static_cast<double>(now.tv_nsec) / 1e3;
}

double percentile(std::vector<double>& sorted, double fraction) {
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

void periodCallback(benchmark::State& state) {
    sounds::SoundTable table(kRate);
    Engine engine(table, {.rate = kRate, .stereo = true, .framesPerBuffer = kPeriod, .bufferCount = 4});
    sounds::Sound* sweep = state.range(2) != 0 ? &benchsounds::loadSweep(table) : nullptr;
    for (int s = 0; s < kMaxStreams; ++s) {
        if (s > 0)
            engine.createStream();
        if (sweep != nullptr)
            engine.attachSound(s, *sweep);
        engine.setParameter(s, Freq, kDenseFreq);
        engine.setParameter(s, GrainLen, kGrainLen);
        engine.setParameter(s, PanRnd, 128);
        engine.setParameter(s, PitchRnd, 30);
    }
    engine.setInterpolation(static_cast<Interpolation>(state.range(0)));
    engine.setWideRendering(state.range(1) != 0);
    engine.setStreamThreads(static_cast<int>(state.range(3)));
    engine.playStart();
    std::vector<int16_t> out(engine.samplesPerBuffer());
    for (int p = 0; p < kWarmUpPeriods; ++p)
        engine.periodCallback(out.data());

    std::vector<double> durations;
    std::vector<double> cpuDurations;
    durations.reserve(static_cast<std::size_t>(state.max_iterations));
    cpuDurations.reserve(static_cast<std::size_t>(state.max_iterations));
    double grains = 0;
    int threads = 1;
    const double processStart = cpuMicroseconds(CLOCK_PROCESS_CPUTIME_ID);
    for (auto _ : state) {
        const double cpuStart = cpuMicroseconds(CLOCK_THREAD_CPUTIME_ID);
        const auto start = std::chrono::steady_clock::now();
        engine.periodCallback(out.data());
        const auto end = std::chrono::steady_clock::now();
        cpuDurations.push_back(cpuMicroseconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart);
        threads = std::max(threads, engine.streamThreadsUsed());
        durations.push_back(std::chrono::duration<double>(end - start).count() * kMicroseconds);
        grains += engine.activeGrainCount();
        benchmark::DoNotOptimize(out.data());
    }
    const double processCpu = cpuMicroseconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
    std::sort(durations.begin(), durations.end());
    std::sort(cpuDurations.begin(), cpuDurations.end());
    const double period = kPeriod * kMicroseconds / kRate;
    state.counters["grains"] = grains / static_cast<double>(durations.size());
    state.counters["median_us"] = percentile(durations, 0.5);
    state.counters["p99_us"] = percentile(durations, 0.99);
    state.counters["max_us"] = durations.back();
    state.counters["period_us"] = period;
    state.counters["p99/period"] = percentile(durations, 0.99) / period;
    state.counters["cpu_median_us"] = percentile(cpuDurations, 0.5);
    state.counters["cpu_p99_us"] = percentile(cpuDurations, 0.99);
    state.counters["cpu_max_us"] = cpuDurations.back();
    state.counters["process_cpu_us"] = processCpu / static_cast<double>(durations.size());
    state.counters["threads"] = threads;
}

// interp: 0 linear, 1 cubic, 2 spline; wide: 0 the reference renderer, 1 the wide one; sweep: 0
// the built-in sine (read at about four frames per frame), 1 a sweep recorded at 44100 Hz;
// threads: 1 the calling thread alone, 2 the caller and a helper always, 0 the engine's choice. 3000 periods
// are about 17 s of sound.
void periodCallbackCases(benchmark::internal::Benchmark* bench) {
    for (int64_t interp : {0, 1, 2})
        for (int64_t sweep : {0, 1}) {
            bench->Args({interp, 0, sweep, 1});
            bench->Args({interp, 1, sweep, 1});
            bench->Args({interp, 1, sweep, 2});
            bench->Args({interp, 1, sweep, 0});
        }
}

BENCHMARK(periodCallback)
    ->ArgNames({"interp", "wide", "sweep", "threads"})
    ->Apply(periodCallbackCases)
    ->Iterations(3000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
