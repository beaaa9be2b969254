// The period callback while recording into a fresh file, with the main thread
// exchanging sounds and a MIDI-like thread moving parameters at 1 kHz: eight
// dense streams (about 1600 grains) at 44100 Hz, 256-frame periods. Three
// ways side by side in one run: no recording; the file written on the audio
// thread inside the render step (how recording worked before the writer
// thread); the recording's queue and writer thread.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "audio/Soundfile.h"
#include "engine/Engine.h"
#include "output/Recorder.h"
#include "sounds/SoundTable.h"

namespace {

using namespace engine;

constexpr uint32_t kRate = 44100;
constexpr int kPeriod = 256;
constexpr int kWarmUpPeriods = 2 * kRate / 10 / kPeriod + 1;
constexpr double kMicroseconds = 1e6;

double threadCpuMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * kMicroseconds + static_cast<double>(now.tv_nsec) / 1e3;
}

double percentile(const std::vector<double>& sorted, double fraction) {
    return sorted[static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

// The former recording: the WAV file is written on the audio thread, inside the render step.
class WriteOnTheAudioThread : public RecordingSink {
  public:
    explicit WriteOnTheAudioThread(const std::string& path)
        : file_(audio::Soundfile::create(path, kRate, 2, audio::kFloat32LE)) {}
    bool streamFileOpen(int) const override { return false; }
    void writePeriod(const RenderedPeriod& period) override {
        file_->writer().write(period.mix, period.samples);
    }

  private:
    std::unique_ptr<audio::Soundfile> file_;
};

// 0: no recording, 1: written on the audio thread, 2: the queue and the writer thread.
void recordingCallback(benchmark::State& state) {
    const auto mode = state.range(0);
    sounds::SoundTable table(kRate);
    Engine engine(table, {.rate = kRate, .stereo = true, .framesPerBuffer = kPeriod, .bufferCount = 4});
    for (int s = 0; s < kMaxStreams; ++s) {
        if (s > 0)
            engine.createStream();
        engine.setParameter(s, Freq, 16384);
        engine.setParameter(s, GrainLen, 324);
        engine.setParameter(s, PanRnd, 128);
        engine.setParameter(s, PitchRnd, 30);
    }
    const auto folder = std::filesystem::temp_directory_path() / "frisson-bench-recording";
    std::filesystem::create_directories(folder);
    const auto path = folder / ("take" + std::to_string(mode) + ".wav");
    std::filesystem::remove(path);
    std::unique_ptr<WriteOnTheAudioThread> inline_;
    output::Recorder recorder(engine.lock());
    if (mode == 1) {
        inline_ = std::make_unique<WriteOnTheAudioThread>(path.string());
        engine.setRecordingSink(inline_.get());
    } else if (mode == 2) {
        const std::array<bool, output::kRecordingSlots> none{};
        recorder.start(path.string(), {kRate, 2, audio::kFloat32LE}, false, none, 0);
        engine.setRecordingSink(&recorder);
    }
    engine.playStart();
    std::vector<int16_t> out(engine.samplesPerBuffer());
    for (int p = 0; p < kWarmUpPeriods; ++p)
        engine.periodCallback(out.data());

    // The other threads: sounds exchanged every 10 ms, a controller every millisecond.
    std::atomic<bool> running{true};
    std::thread mainThread([&] {
        while (running.load()) {
            engine.attachSound(7, table.builtin());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    std::thread midiThread([&] {
        int32_t value = 0;
        while (running.load()) {
            engine.setParameter(0, Pitch, 6144 + (value++ % 128));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    std::vector<double> wall;
    std::vector<double> cpu;
    wall.reserve(static_cast<std::size_t>(state.max_iterations));
    cpu.reserve(static_cast<std::size_t>(state.max_iterations));
    const double period = kPeriod * kMicroseconds / kRate;
    auto next = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const double cpuStart = threadCpuMicroseconds();
        const auto start = std::chrono::steady_clock::now();
        engine.periodCallback(out.data());
        const auto end = std::chrono::steady_clock::now();
        cpu.push_back(threadCpuMicroseconds() - cpuStart);
        wall.push_back(std::chrono::duration<double>(end - start).count() * kMicroseconds);
        benchmark::DoNotOptimize(out.data());
        // Paced as a sound card would call it, so the writer thread and the disk keep their real pace.
        next += std::chrono::microseconds(static_cast<int64_t>(period));
        std::this_thread::sleep_until(next);
    }
    running.store(false);
    mainThread.join();
    midiThread.join();
    engine.setRecordingSink(nullptr);
    recorder.stop();
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    state.counters["cpu_p99_us"] = percentile(cpu, 0.99);
    state.counters["cpu_max_us"] = cpu.back();
    state.counters["wall_p99_us"] = percentile(wall, 0.99);
    state.counters["wall_max_us"] = wall.back();
    state.counters["wall_max/period"] = wall.back() / period;
    state.counters["underruns"] = engine.underruns();
    std::filesystem::remove(path);
}

// 1500 periods: about 9 s of sound each.
BENCHMARK(recordingCallback)
    ->ArgName("recording")
    ->DenseRange(0, 2)
    ->Iterations(1500)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
