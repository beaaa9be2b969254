// The render functions: blocks of 8 frames with control updates, grain clocks, grain rendering,
// the output stage and the loop advance.
#include "engine/Engine.h"

#include "engine/GrainBlocks.h"
#include "engine/GrainRender.h"
#include "engine/GrainStart.h"
#include "engine/Kernels.h"
#include "engine/StreamClocks.h"
#include "sounds/Sound.h"

#include <algorithm>
#include <cassert>
#include <chrono>

namespace engine {

namespace {

// Control updates run every 13 blocks: the countdown drops by 8 per block and restarts at 100.
constexpr int32_t kCountdownRestart = 100;
// A run of blocks ends at the next control update, so it never holds more than kMaxRunBlocks.
static_assert(kCountdownRestart / kFramesPerBlock + 1 <= kMaxRunBlocks);
constexpr int32_t kUnityAmp = 512;
// The output is clamped to ±32767/32768 in single precision.
constexpr float kOutputLimit = static_cast<float>(32767.0 / 32768.0);

float clampOutput(float x) {
    return std::clamp(x, -kOutputLimit, kOutputLimit);
}

}  // namespace

void Engine::controlUpdate() {
    const int32_t now = frameClock();
    for (Stream& stream : streams_) {
        if (!stream.runsClocks())
            continue;
        for (int p = 0; p < ChangeTime; ++p)
            stream.param(p).update(now);
        updateStreamRates(stream, rng_);
    }
    if (followingGainGrains_ == 0)
        return;
    forEachGrain([](Grain& grain) {
        if (grain.fixedGain)
            return;
        const double amp = grain.stream->ampNow;
        grain.gainL = static_cast<float>(amp * grain.baseGainL / kUnityAmp);
        grain.gainR = static_cast<float>(amp * grain.baseGainR / kUnityAmp);
    });
}

void Engine::startGrain(Stream& stream, int frame, int firstBlock) {
    Grain& grain = pool_.start(static_cast<int>(&stream - streams_.data()));
    shapeGrain(grain, stream, *stream.sound, rng_, format_.rate);
    grain.frames = PositionDivider::of(unitDivisorOf(*grain.sound));
    grain.frameCount = -frame;
    grain.firstBlock = firstBlock;
    grain.sound->activeGrains.fetch_add(1, std::memory_order_relaxed);
    activeGrains_.fetch_add(1, std::memory_order_relaxed);
    if (!grain.fixedGain)
        ++followingGainGrains_;
}

void Engine::finishGrain(Grain& grain) {
    // Release: the main thread may free the sound once it reads 0.
    grain.sound->activeGrains.fetch_sub(1, std::memory_order_release);
    activeGrains_.fetch_sub(1, std::memory_order_relaxed);
    if (!grain.fixedGain)
        --followingGainGrains_;
}

void Engine::startBlockGrains(const PlayList& list, int count, int firstBlock) {
    const bool stopping = stopping_.load(std::memory_order_relaxed);
    for (int s = 0; s < count; ++s) {
        Stream& stream = *list[static_cast<size_t>(s)];
        if (!stream.runsClocks())
            continue;
        if (stopping)
            stream.grainPhase += kFramesPerBlock * static_cast<uint32_t>(stream.grainPhaseInc);
        else
            fireGrainClock(stream,
                           [this, &stream, firstBlock](int frame) { startGrain(stream, frame, firstBlock); });
    }
}

void Engine::endBlock(const PlayList& list, int count) {
    for (int s = 0; s < count; ++s) {
        Stream& stream = *list[static_cast<size_t>(s)];
        if (stream.runsClocks())
            advanceLoop(stream, rng_);
    }
    frameClock_.store(wrapAdd(frameClock(), kFramesPerBlock), std::memory_order_relaxed);
}

template <typename Kernel>
void Engine::renderGrains(int block) {
    const int channels = outChannels();
    const size_t offset = static_cast<size_t>(block) * kFramesPerBlock * static_cast<size_t>(channels);
    forEachGrain([&](Grain& grain) {
        Stream& stream = *grain.stream;
        renderGrainBlock<Kernel>(grain, stream.outBuffer + offset, channels,
                                 stream.channelSelect.load(std::memory_order_relaxed));
        grain.remaining -= kFramesPerBlock;
    });
    removeFinishedGrains();
}

namespace {

// One run of blocks of the streams that have grains: item i is the grain list and buffer of one,
// and the grains of that list that finished in the run.
struct StreamRun {
    std::array<Grain**, kMaxStreams> grains{};
    std::array<float*, kMaxStreams> buffer{};
    std::array<Grain*, kMaxStreams> finished{};
    int blocks = 0;
    int channels = 0;
    Interpolation kind = Interpolation::Spline;
};

void renderStreamOfRun(void* context, int item) {
    auto& run = *static_cast<StreamRun*>(context);
    const auto i = static_cast<size_t>(item);
    run.finished[i] = renderGrainRun(*run.grains[i], {run.buffer[i], run.blocks, run.channels}, run.kind);
}

}  // namespace

void Engine::renderGrainRun(int block, int blocks) {
    StreamRun run;
    run.blocks = blocks;
    run.channels = outChannels();
    run.kind = interpolation();
    const size_t offset = static_cast<size_t>(block) * kFramesPerBlock * static_cast<size_t>(run.channels);
    int items = 0;
    for (int s = 0; s < kMaxStreams; ++s) {
        if (pool_.active(s) == nullptr)
            continue;
        run.grains[static_cast<size_t>(items)] = &pool_.activeHead(s);
        run.buffer[static_cast<size_t>(items)] = streams_[static_cast<size_t>(s)].outBuffer + offset;
        ++items;
    }
    const int threads = threadsForRun(items);
    if (threads > 1) {
        workers_.run(items, threads - 1, renderStreamOfRun, &run);
    } else {
        for (int i = 0; i < items; ++i)
            renderStreamOfRun(&run, i);
    }
    periodThreadsUsed_ = std::max(periodThreadsUsed_, threads);
    for (int i = 0; i < items; ++i) {
        for (Grain* grain = run.finished[static_cast<size_t>(i)]; grain != nullptr;) {
            Grain* following = grain->next;
            assert(grain->remaining <= 0);
            finishGrain(*grain);
            pool_.release(*grain);
            grain = following;
        }
    }
}

int Engine::threadsForRun(int streams) const {
    const int asked = streamThreads_.load(std::memory_order_relaxed);
    const int automatic = parallel_ ? 1 + workers_.helpers() : 1;
    return std::clamp(asked > 0 ? asked : automatic, 1,
                      std::max(1, std::min(streams, 1 + workers_.helpers())));
}

void Engine::chooseThreads(double renderSeconds) {
    const double period = static_cast<double>(format_.framesPerBuffer) / format_.rate;
    const bool change =
        parallel_ ? renderSeconds < kSerialShare * period : renderSeconds > kParallelShare * period;
    periodsAgainst_ = change ? periodsAgainst_ + 1 : 0;
    if (periodsAgainst_ >= kPeriodsToDecide) {
        parallel_ = !parallel_;
        periodsAgainst_ = 0;
    }
    threadsUsed_.store(periodThreadsUsed_, std::memory_order_relaxed);
    periodThreadsUsed_ = 1;
}

void Engine::removeFinishedGrains() {
    for (int s = 0; s < kMaxStreams; ++s) {
        Grain* previous = nullptr;
        for (Grain* grain = pool_.active(s); grain != nullptr;) {
            if (grain->remaining <= 0) {
                finishGrain(*grain);
                grain = pool_.remove(s, previous, *grain);
            } else {
                previous = grain;
                grain = grain->next;
            }
        }
    }
}

void Engine::outputStage(float* out, int block, const PlayList& list, int count) const {
    const size_t values = kFramesPerBlock * static_cast<size_t>(outChannels());
    const size_t offset = static_cast<size_t>(block) * values;
    for (size_t k = offset; k < offset + values; ++k) {
        // One file per stream mixes the streams in the play list; otherwise every stream's
        // grains sound, also those of a stream that was just ended.
        float sum = 0.0f;
        if (perStream_) {
            for (int s = 0; s < count; ++s)
                sum += list[static_cast<size_t>(s)]->outBuffer[k];
        } else {
            for (const Stream& stream : streams_)
                sum += stream.outBuffer[k];
        }
        out[k] = clampOutput(sum);
    }
}

// Blocks of eight frames; a control update before every thirteenth. The reference renderer goes
// block by block. The wide renderer takes the run of blocks up to the next control update at once:
// first the grain clocks and loop advances of every block of the run, in block order as always
// (they do not depend on the grains' sound, so the random draws come in the same order), then the
// grains through the whole run, then the output stage of each block.
template <typename Kernel>
void Engine::renderPeriod(float* out, const PlayList& list, int count, int32_t& countdown) {
    const int blocks = format_.framesPerBuffer / kFramesPerBlock;
    const bool wide = wideRendering_.load(std::memory_order_relaxed);
    int block = 0;
    while (block < blocks) {
        countdown -= kFramesPerBlock;
        if (countdown <= 0) {
            if (gestureMixer_ != nullptr && gestureRunning_.load(std::memory_order_relaxed))
                gestureMixer_->runPendingMix();
            controlUpdate();
            countdown = kCountdownRestart;
        }
        if (count == 0) {
            ++block;
            continue;
        }
        int end = block + 1;
        while (wide && end < blocks && countdown > kFramesPerBlock) {
            countdown -= kFramesPerBlock;
            ++end;
        }
        if (wide) {
            for (int b = block; b < end; ++b) {
                startBlockGrains(list, count, b - block);
                endBlock(list, count);
            }
            renderGrainRun(block, end - block);
            for (int b = block; b < end; ++b)
                outputStage(out, b, list, count);
        } else {
            startBlockGrains(list, count, 0);
            renderGrains<Kernel>(block);
            outputStage(out, block, list, count);
            endBlock(list, count);
        }
        block = end;
    }
}

void Engine::renderStepLocked() {
    if (filled_.load(std::memory_order_relaxed) >= format_.bufferCount)
        return;
    const int slot = writeIndex_.load(std::memory_order_relaxed);
    PlayList list{};
    const int count = buildPlayList(list);
    float* out = ring_.data() + static_cast<size_t>(slot) * samplesPerBuffer_;
    std::fill(out, out + samplesPerBuffer_, 0.0f);
    const auto started = std::chrono::steady_clock::now();
    switch (interpolation()) {
        case Interpolation::Linear:
            renderPeriod<LinearKernel>(out, list, count, countdowns_[0]);
            break;
        case Interpolation::Cubic:
            renderPeriod<CubicKernel>(out, list, count, countdowns_[1]);
            break;
        case Interpolation::Spline:
            renderPeriod<SplineKernel>(out, list, count, countdowns_[2]);
            break;
    }
    chooseThreads(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    publishGrainPositions();
    writeIndex_.store(slot + 1 == format_.bufferCount ? 0 : slot + 1, std::memory_order_relaxed);
    filled_.fetch_add(1, std::memory_order_relaxed);
    if (recording_ != nullptr)
        handToRecording(slot);
}

void Engine::publishGrainPositions() {
    int count = 0;
    for (const Grain* grain = pool_.active(currentStream()); grain != nullptr && count < kPublishedGrains;
         grain = grain->next)
        publishedPositions_[static_cast<size_t>(count++)].store(grain->pos, std::memory_order_relaxed);
    publishedCount_.store(count, std::memory_order_relaxed);
}

int Engine::grainPositions(std::span<uint32_t> out) const {
    const int count =
        std::min<int>(publishedCount_.load(std::memory_order_relaxed), static_cast<int>(out.size()));
    for (int i = 0; i < count; ++i)
        out[static_cast<size_t>(i)] =
            publishedPositions_[static_cast<size_t>(i)].load(std::memory_order_relaxed);
    return count;
}

int Engine::buildPlayList(PlayList& list) {
    std::fill(streamBuffers_.begin(), streamBuffers_.end(), 0.0f);
    int count = 0;
    for (Stream& stream : streams_)
        if (stream.playsGrains())
            list[static_cast<size_t>(count++)] = &stream;
    return count;
}

void renderGrainBlockReference(Grain& grain, float* dest, int channels, int32_t channelSelect,
                               Interpolation kind, StereoLayout stereo) {
    switch (kind) {
        case Interpolation::Linear:
            renderGrainBlock<LinearKernel>(grain, dest, channels, channelSelect, stereo);
            break;
        case Interpolation::Cubic:
            renderGrainBlock<CubicKernel>(grain, dest, channels, channelSelect, stereo);
            break;
        case Interpolation::Spline:
            renderGrainBlock<SplineKernel>(grain, dest, channels, channelSelect, stereo);
            break;
    }
}

}  // namespace engine
