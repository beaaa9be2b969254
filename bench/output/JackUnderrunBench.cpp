// Eight streams played for a minute on a private JACK server with the dummy
// driver (44100 Hz, 256-frame periods), dense (about 1600 grains at once) and
// light (about 16): the periods JACK asked for against the minute's worth,
// the ring's underruns, and the cycles JACK itself reported late (xruns); the dense streams with
// the reference renderer and with the wide one.
// The server is started and stopped here, with real-time scheduling as a
// performer's server runs; FRISSON_BENCH_SECONDS shortens the run.
#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <unistd.h>

#include <atomic>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "bench/output/JackBenchServer.h"
#include "engine/Engine.h"
#include "output/PlayControl.h"
#include "output/RtAudioApi.h"
#include "platform/MessageQueue.h"
#include "sounds/SoundTable.h"

namespace {

using namespace engine;
using benchjack::PrivateJackServer;
using benchjack::XrunCounter;

constexpr uint32_t kRate = 44100;
constexpr int kPeriod = 256;
constexpr int32_t kDenseFreq = 16384;  // about 2000 grains per second and stream
constexpr int32_t kLightFreq = 6062;   // about 20
constexpr int32_t kGrainLen = 324;
constexpr double kDefaultSeconds = 60;

struct QuietView : output::PlayView, output::UserWarnings {
    void setPlayButton(bool) override {}
    void showStatusMessage(const std::string&) override {}
    void showWarning(const std::string&, const std::string&) override {}
};

double runSeconds() {
    const char* text = std::getenv("FRISSON_BENCH_SECONDS");
    return text != nullptr ? std::atof(text) : kDefaultSeconds;
}

void jackUnderruns(benchmark::State& state) {
    PrivateJackServer server;
    if (!server.started()) {
        state.SkipWithError("the JACK server did not start");
        return;
    }
    sounds::SoundTable table(kRate);
    Engine engine(table, {.rate = kRate, .stereo = true, .framesPerBuffer = kPeriod, .bufferCount = 4});
    engine.setWideRendering(state.range(1) != 0);
    for (int s = 0; s < kMaxStreams; ++s) {
        if (s > 0)
            engine.createStream();
        engine.setParameter(s, Freq, state.range(0) != 0 ? kDenseFreq : kLightFreq);
        engine.setParameter(s, GrainLen, kGrainLen);
        engine.setParameter(s, PanRnd, 128);
        engine.setParameter(s, PitchRnd, 30);
    }
    std::ostringstream log;
    output::AudioSystem audio(output::RtAudioApi::create, log);
    platform::MessageQueue queue;
    output::AlsaOutput alsa(queue);
    const output::AlsaDeviceTable alsaDevices;
    output::SoundSettings settings;
    settings.sampleRate = kRate;
    settings.deviceSelection = output::kRtDeviceBase;
    QuietView view;
    output::PlayControl control(engine, {audio, alsa, alsaDevices, queue, log}, settings, view, view,
                                nullptr);

    const double seconds = runSeconds();
    XrunCounter xruns;
    for (auto _ : state) {
        if (!control.startPlay(0)) {
            state.SkipWithError(("play did not start: " + log.str()).c_str());
            return;
        }
        // The first second takes the client's start; the rest is steady play.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        xruns.markSteady();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds - 1));
        state.counters["grains"] = engine.activeGrainCount();
        state.counters["periods"] = engine.callbacksTotal();
        state.counters["underruns"] = engine.underruns();
        state.counters["expected_periods"] = seconds * kRate / kPeriod;
        state.counters["jack_xruns"] = xruns.xruns();
        state.counters["steady_xruns"] = xruns.steadyXruns();
        control.stopPlay();
    }
}

BENCHMARK(jackUnderruns)
    ->ArgNames({"dense", "wide"})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
