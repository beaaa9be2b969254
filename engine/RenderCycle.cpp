// The render cycle: the ring of rendered periods, the period callback, play start and stop.
#include "engine/Engine.h"

#include "engine/FixedPoint.h"
#include "sounds/Sound.h"

#include <algorithm>
#include <cstdio>

namespace engine {

namespace {

constexpr double kSampleScale = 32767.5;
constexpr int64_t kSampleLimit = 32767;
constexpr uint32_t kReportedUnderruns = 2;  // more than this many are reported
constexpr uint32_t kPerMille = 1000;
constexpr auto kRelaxed = std::memory_order_relaxed;

}  // namespace

void Engine::resetStreamsForPlay() {
    frameClock_.store(0, kRelaxed);
    for (int i = 0; i < kMaxStreams; ++i) {
        Stream& s = stream(i);
        if (s.stateNow() == Empty)
            continue;
        if (resetLoopOnPlay_)
            s.loopPos = 0;
        s.grainPhase = sounds::kWholeSound;
        snapParameters(i);
    }
}

void Engine::playStart(bool resetStreams, bool prefill) {
    {
        std::lock_guard guard(lock_);
        if (resetStreams)
            resetStreamsForPlay();
        writeIndex_.store(0, kRelaxed);
        filled_.store(0, kRelaxed);
        playing_.store(true, kRelaxed);
        gestureRunning_.store(gestureMixer_ != nullptr, kRelaxed);
        stopping_.store(false, kRelaxed);
    }
    workers_.matchCallerPriorityAtNextRun();
    if (prefill)
        for (int k = 0; k < format_.bufferCount; ++k)
            renderStep();
}

void Engine::renderStep() {
    std::lock_guard guard(lock_);
    renderStepLocked();
}

void Engine::handToRecording(int slot) {
    RenderedPeriod period;
    period.mix = ringSlot(slot);
    period.samples = samplesPerBuffer_;
    period.channels = outChannels();
    period.index = recordedBuffers_;
    if (perStream_) {
        // The recording copies what it keeps before this returns: the stream buffers go as they are.
        for (int i = 0; i < kMaxStreams; ++i) {
            const Stream& s = stream(i);
            const bool sounds = s.runsClocks() && recording_->streamFileOpen(i);
            period.streams[static_cast<size_t>(i)] = sounds ? s.outBuffer : silence_.data();
        }
    }
    recording_->writePeriod(period);
    ++recordedBuffers_;
}

int Engine::periodCallback(int16_t* out) {
    const int n = format_.bufferCount;
    int slot = writeIndex_.load(kRelaxed) - filled_.load(kRelaxed);
    if (slot < 0)
        slot += n;
    callbacksTotal_.fetch_add(1, kRelaxed);
    if (filled_.load(kRelaxed) == 0)
        underruns_.fetch_add(1, kRelaxed);
    const float* samples = ringSlot(slot);
    for (size_t k = 0; k < samplesPerBuffer_; ++k) {
        const int64_t v = roundToNearest(samples[k] * kSampleScale);
        out[k] = static_cast<int16_t>(std::clamp(v, -kSampleLimit, kSampleLimit));
    }
    int left = filled_.load(kRelaxed);
    while (left > 0 && !filled_.compare_exchange_weak(left, left - 1, kRelaxed)) {
    }
    left = std::max(left - 1, 0);

    const bool drained = stopping() && !anyGrainActive();
    if (quitKeyHeld_.load(kRelaxed) || !playing() || (drained && left == 0)) {
        if (bufferDone_)
            bufferDone_(slot);
        return 0;
    }
    if (drained)
        return 0;
    if (left < n) {
        // The period callback never waits for the engine lock. While another thread holds it, this
        // period's render is skipped (the ring plays on, as after a late render, and it counts as an
        // underrun); the next callback that gets the lock makes the missed renders up.
        if (lock_.try_lock()) {
            for (int k = 0; k <= missedRenders_ && filled_.load(kRelaxed) < n; ++k)
                renderStepLocked();
            missedRenders_ = 0;
            lock_.unlock();
        } else {
            underruns_.fetch_add(1, kRelaxed);
            missedRenders_ = std::min(missedRenders_ + 1, n);
        }
    }
    return 0;
}

bool Engine::bufferDone() {
    if (quitKeyHeld_.load(kRelaxed))
        return true;
    int left = filled_.load(kRelaxed);
    while (left > 0 && !filled_.compare_exchange_weak(left, left - 1, kRelaxed)) {
    }
    left = std::max(left - 1, 0);
    if (!playing())
        return false;
    if (stopping() && !anyGrainActive())
        return left == 0;
    if (left < format_.bufferCount)
        renderStep();
    return false;
}

void Engine::renderOfflinePeriod() {
    renderStep();
    callbacksTotal_.fetch_add(1, kRelaxed);
    int left = filled_.load(kRelaxed);
    while (left > 0 && !filled_.compare_exchange_weak(left, left - 1, kRelaxed)) {
    }
}

StopAction Engine::stopRequest() {
    std::lock_guard guard(lock_);
    if (stopping())
        return StopAction::AlreadyStopping;
    stopping_.store(true, kRelaxed);
    if (!softStop_ || callbacksTotal_.load(kRelaxed) == 0)
        return StopAction::StopNow;
    const auto half = static_cast<int32_t>(format_.rate / 2);
    const int32_t fadeDec = static_cast<int32_t>(sounds::kWholeSound) / half;
    forEachGrain([&](Grain& grain) {
        if (grain.remaining < half)
            return;
        const int32_t attackLimit = static_cast<int32_t>(sounds::kWholeSound) / grain.remaining;
        if (grain.attackInc > attackLimit)
            grain.attackInc = attackLimit;
        grain.remaining = half;
        grain.decayLen = half;
        grain.decayDec = fadeDec;
    });
    return StopAction::FadingOut;
}

std::optional<std::string> Engine::stopPlay() {
    {
        std::lock_guard guard(lock_);
        playing_.store(false, kRelaxed);
        stopping_.store(false, kRelaxed);
        gestureRunning_.store(false, kRelaxed);
    }
    auto report = underrunReport(underruns_.load(kRelaxed), callbacksTotal_.load(kRelaxed));
    underruns_.store(0, kRelaxed);
    callbacksTotal_.store(0, kRelaxed);
    return report;
}

std::optional<std::string> underrunReport(uint32_t underruns, uint32_t callbacksTotal) {
    if (underruns <= kReportedUnderruns || callbacksTotal == 0)
        return std::nullopt;
    const auto p = static_cast<uint32_t>(static_cast<uint64_t>(underruns) * kPerMille / callbacksTotal);
    char text[96];
    std::snprintf(text, sizeof text, "%u buffer underruns in performance (%u.%u %%)", underruns, p / 10,
                  p % 10);
    return std::string(text);
}

}  // namespace engine
