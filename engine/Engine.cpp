#include "engine/Engine.h"

#include "engine/ParamSpec.h"
#include "sounds/SoundTable.h"

#include <chrono>
#include <cmath>
#include <new>
#include <stdexcept>

namespace engine {

namespace {

// The control-update countdown starts at one block so that the first block runs an update.
constexpr int32_t kFirstCountdown = 8;
constexpr int kBlockFrames = 8;
constexpr double kHomeSteps = 128.0;
constexpr double kGrainLenScale = 1.0 / 1048576.0;
constexpr uint32_t kMillisecondsPerGrainLength = 2000;  // twice the grain length, in ms

void prepareNewStream(Stream& stream, sounds::Sound& builtin) {
    stream.sound = &builtin;
    stream.channelSelect.store(LeftChannel, std::memory_order_relaxed);
    for (int p = 0; p < kParamCount; ++p) {
        const ParamSpec& row = paramSpec(p);
        ParamSlot& slot = stream.param(p);
        slot.target.store(row.defaultValue, std::memory_order_relaxed);
        slot.coarseValue.store(static_cast<int32_t>(row.min + (row.max - row.min) / kHomeSteps * row.home),
                               std::memory_order_relaxed);
        slot.snap();
    }
    stream.grainPhase = sounds::kWholeSound;
    stream.state.store(Active, std::memory_order_relaxed);
}

}  // namespace

Engine::Engine(sounds::SoundTable& sounds, const OutputFormat& format) : sounds_(sounds) {
    countdowns_.fill(kFirstCountdown);
    if (auto error = setOutputFormat(format))
        throw std::invalid_argument(*error);
    createStream();
}

Engine::~Engine() {
    forEachGrain([this](Grain& grain) { finishGrain(grain); });
}

int Engine::freeStreamSlot() const {
    for (int i = 0; i < kMaxStreams; ++i)
        if (stream(i).stateNow() == Empty)
            return i;
    return -1;
}

int Engine::createStream() {
    const int index = freeStreamSlot();
    if (index < 0)
        return -1;
    {
        std::lock_guard guard(lock_);
        prepareNewStream(stream(index), sounds_.builtin());
    }
    ++streamCount_;
    return index;
}

int Engine::newStream(int from) {
    const int index = freeStreamSlot();
    if (index < 0)
        return -1;
    const Stream& source = stream(from);
    Stream& copy = stream(index);
    sounds_.addUser(*source.sound);
    {
        constexpr auto relaxed = std::memory_order_relaxed;
        std::lock_guard guard(lock_);
        copy.sound = source.sound;
        copy.channelSelect.store(source.channelSelect.load(relaxed), relaxed);
        for (int p = 0; p < kParamCount; ++p) {
            const ParamSlot& original = source.param(p);
            ParamSlot& to = copy.param(p);
            to.current.store(original.current.load(relaxed), relaxed);
            to.step.store(original.step.load(relaxed), relaxed);
            to.value.store(original.value.load(relaxed), relaxed);
            to.target.store(original.target.load(relaxed), relaxed);
            to.endFrame.store(original.endFrame.load(relaxed), relaxed);
            to.coarseValue.store(original.coarseValue.load(relaxed), relaxed);
        }
        ParamSlot& amp = copy.param(Amp);
        amp.current.store(0.0f, relaxed);
        amp.value.store(0, relaxed);
        amp.target.store(0, relaxed);
        amp.endFrame.store(frameClock(), relaxed);
        copy.bankIndex = source.bankIndex;
        copy.patchSlot = source.patchSlot;
        copy.loopPos = source.loopPos;
        copy.loopRate = source.loopRate;
        copy.loopLen = source.loopLen;
        copy.loopLenDev = source.loopLenDev;
        copy.grainPhase = source.grainPhase;
        copy.grainPhaseInc = source.grainPhaseInc;
        copy.hardSync.store(source.hardSync.load(relaxed), relaxed);
        copy.ampNow = source.ampNow;
        copy.state.store(source.stateNow(), relaxed);
    }
    ++streamCount_;
    return index;
}

void Engine::endStream(int index) {
    Stream& s = stream(index);
    sounds::Sound* sound = nullptr;
    {
        std::lock_guard guard(lock_);
        s.state.store(Empty, std::memory_order_relaxed);
        sound = s.sound;
        s.sound = &sounds_.builtin();
    }
    --streamCount_;
    if (sound == nullptr || sounds_.isBuiltin(*sound))
        return;
    const bool onlyUser = [&] {
        std::lock_guard tableGuard(sounds_.mutex());
        return sound->refCount == 1;
    }();
    if (onlyUser && sound->activeGrains.load(std::memory_order_acquire) > 0)
        sounds_.releaseLater(*sound, std::chrono::milliseconds(delayedReleaseMilliseconds(s, format_.rate)));
    else
        sounds_.release(*sound);
}

void Engine::attachSound(int index, sounds::Sound& sound) {
    Stream& s = stream(index);
    int32_t former = Active;
    {
        std::lock_guard guard(lock_);
        former = s.state.exchange(Busy, std::memory_order_relaxed);
    }
    // The stream held one count on its previous sound; when that is the same record, the count
    // just added for it is the one given back.
    sounds::Sound* previous = s.sound;
    if (previous != nullptr && !sounds_.isBuiltin(*previous))
        sounds_.release(*previous);
    std::lock_guard guard(lock_);
    // A kept sound may have been measured against an earlier output rate.
    sounds::setOutputRate(sound, format_.rate);
    s.sound = &sound;
    s.channelSelect.store(sound.channels == 2 ? BothChannels : LeftChannel, std::memory_order_relaxed);
    s.state.store(former == Busy ? Active : former, std::memory_order_relaxed);
}

void Engine::useTestTone(int index) {
    Stream& s = stream(index);
    sounds::Sound* previous = s.sound;
    if (previous != nullptr && previous != &sounds_.builtin())
        sounds_.releaseKeeping(*previous);
    std::lock_guard guard(lock_);
    s.sound = &sounds_.builtin();
    s.channelSelect.store(LeftChannel, std::memory_order_relaxed);
}

void Engine::setStreamState(int index, StreamState state) {
    stream(index).state.store(state, std::memory_order_relaxed);
}

void Engine::soloStream(int index) {
    for (int i = 0; i < kMaxStreams; ++i) {
        Stream& s = stream(i);
        if (i == index) {
            s.state.store(Solo, std::memory_order_relaxed);
            continue;
        }
        const int32_t state = s.stateNow();
        if (state != Empty && state != Busy)
            s.state.store(Muted, std::memory_order_relaxed);
    }
}

void Engine::setHardSync(int index, bool on) {
    stream(index).hardSync.store(on ? 1 : 0, std::memory_order_relaxed);
}

void Engine::setChannelSelect(int index, int32_t select) {
    stream(index).channelSelect.store(select, std::memory_order_relaxed);
}

void Engine::toggleLeftChannel(int index) {
    auto& select = stream(index).channelSelect;
    const int32_t toggled = select.load(std::memory_order_relaxed) ^ LeftChannel;
    select.store(toggled == 0 ? RightChannel : toggled, std::memory_order_relaxed);
}

void Engine::toggleRightChannel(int index) {
    auto& select = stream(index).channelSelect;
    const int32_t toggled = select.load(std::memory_order_relaxed) ^ RightChannel;
    select.store(toggled == 0 ? LeftChannel : toggled, std::memory_order_relaxed);
}

void Engine::setParameter(int index, int param, int32_t value, double changeTime) {
    ParamSlot& slot = stream(index).param(param);
    if (param == ChangeTime) {
        slot.target.store(value, std::memory_order_relaxed);
        changeTime_.store(value, std::memory_order_relaxed);
        return;
    }
    const auto frames = static_cast<int32_t>(
        std::trunc(outputRate_.load(std::memory_order_relaxed) * changeTime / kChangeTimeUnitsPerSecond));
    slot.startChange(value, frames, frameClock());
}

void Engine::setParameter(int index, int param, int32_t value) {
    setParameter(index, param, value, static_cast<double>(changeTime()));
}

ParamSet Engine::paramSet(int index) const {
    ParamSet set{};
    for (int p = 0; p < kParamCount; ++p)
        set[static_cast<size_t>(p)] = stream(index).param(p).targetValue();
    return set;
}

void Engine::snapParameters(int index) {
    Stream& s = stream(index);
    for (int p = 0; p < ChangeTime; ++p)
        s.param(p).snap();
}

void Engine::setPerStreamOutput(bool on) {
    std::lock_guard guard(lock_);
    perStream_ = on;
}

std::optional<std::string> Engine::setOutputFormat(const OutputFormat& format) {
    if (format.framesPerBuffer <= 0 || format.framesPerBuffer % kBlockFrames != 0)
        return "The period must be a positive multiple of 8 frames";
    if (format.bufferCount < 1 || format.bufferCount > kMaxBufferCount)
        return "The buffer count must lie between 1 and " + std::to_string(kMaxBufferCount);
    if (format.rate == 0)
        return "The output rate must be positive";
    std::lock_guard guard(lock_);
    const size_t samples = static_cast<size_t>(format.framesPerBuffer) * (format.stereo ? 2 : 1);
    try {
        ring_.assign(samples * static_cast<size_t>(format.bufferCount + 1), 0.0f);
        streamBuffers_.assign(samples * kMaxStreams, 0.0f);
    } catch (const std::bad_alloc&) {
        return "Could not allocate output buffer memory";
    }
    try {
        silence_.assign(samples, 0.0f);
    } catch (const std::bad_alloc&) {
        return "Could not allocate file output buffer memory";
    }
    format_ = format;
    outputRate_.store(format.rate, std::memory_order_relaxed);
    samplesPerBuffer_ = samples;
    for (int i = 0; i < kMaxStreams; ++i)
        stream(i).outBuffer = streamBuffers_.data() + samples * static_cast<size_t>(i);
    writeIndex_.store(0, std::memory_order_relaxed);
    filled_.store(0, std::memory_order_relaxed);
    sounds_.setOutputRate(format.rate);
    return std::nullopt;
}

void Engine::setRecordingSink(RecordingSink* sink) {
    std::lock_guard guard(lock_);
    recording_ = sink;
    recordedBuffers_ = 0;
}

void Engine::setGestureMixer(GestureMixer* mixer) {
    std::lock_guard guard(lock_);
    gestureMixer_ = mixer;
}

void Engine::setBufferDoneHandler(std::function<void(int)> handler) {
    std::lock_guard guard(lock_);
    bufferDone_ = std::move(handler);
}

uint32_t delayedReleaseMilliseconds(const Stream& stream, uint32_t outputRate) {
    const double length = stream.current(GrainLen);
    const auto frames = static_cast<uint64_t>(length * length * outputRate * kGrainLenScale);
    return static_cast<uint32_t>(frames * kMillisecondsPerGrainLength / outputRate);
}

}  // namespace engine
