#include "midi/EngineMidiTarget.h"

#include <mutex>

#include "engine/Engine.h"
#include "output/PlayControl.h"
#include "output/Recorder.h"

namespace midi {

EngineMidiTarget::EngineMidiTarget(engine::Engine& engine, const output::PlayControl& play,
                                   const output::Recorder* recorder)
    : engine_(engine), play_(play), recorder_(recorder) {}

bool EngineMidiTarget::streamExists(int stream) const {
    return engine_.stream(stream).stateNow() != engine::Empty;
}

int EngineMidiTarget::currentStream() const {
    return engine_.currentStream();
}

bool EngineMidiTarget::isPlaying() const {
    return engine_.playing();
}

bool EngineMidiTarget::isStopping() const {
    return engine_.stopping();
}

bool EngineMidiTarget::isRestartPending() const {
    return play_.restartPending();
}

bool EngineMidiTarget::isRecording() const {
    return recorder_ != nullptr && recorder_->recording();
}

void EngineMidiTarget::resetFrameClock() {
    engine_.resetFrameClock();
}

void EngineMidiTarget::resetLoop(int stream) {
    const std::lock_guard guard(engine_.lock());
    engine_.stream(stream).loopPos = 0;
}

void EngineMidiTarget::snapParameters(int stream) {
    engine_.snapParameters(stream);
}

int32_t EngineMidiTarget::paramTarget(int stream, int param) const {
    return engine_.stream(stream).param(param).targetValue();
}

float EngineMidiTarget::paramCurrent(int stream, int param) const {
    return engine_.stream(stream).current(param);
}

int32_t EngineMidiTarget::coarseValue(int stream, int param) const {
    return engine_.stream(stream).param(param).coarseValue.load(std::memory_order_relaxed);
}

void EngineMidiTarget::setCoarseValue(int stream, int param, int32_t value) {
    engine_.stream(stream).param(param).coarseValue.store(value, std::memory_order_relaxed);
}

void EngineMidiTarget::setParameter(int stream, int param, int32_t value, double changeTime) {
    engine_.setParameter(stream, param, value, changeTime);
}

}  // namespace midi
