#include "output/PlayControl.h"

#include <algorithm>
#include <ostream>

#include "engine/Engine.h"
#include "output/Recorder.h"
#include "output/RtError.h"
#include "output/SampleConversion.h"
#include "platform/MessageQueue.h"

namespace output {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

}  // namespace

PlayControl::PlayControl(engine::Engine& engine, Devices devices, SoundSettings& settings, PlayView& view,
                         UserWarnings& warnings, Recorder* recorder)
    : engine_(engine),
      devices_(devices),
      settings_(settings),
      view_(view),
      warnings_(warnings),
      recorder_(recorder) {
    // The period callback asks for the end of play (drained soft stop, play
    // off, Q key) by posting 957 with the generation of the play it belongs to.
    engine_.setBufferDoneHandler([this](int slot) {
        devices_.queue.post(platform::kMsgBufferDone, slot, playGeneration_.load(kRelaxed));
    });
}

PlayControl::~PlayControl() {
    stopPlay();
    engine_.setBufferDoneHandler({});
}

bool PlayControl::playing() const {
    return engine_.playing();
}

std::optional<std::string> PlayControl::allocateBuffers() {
    engine::OutputFormat format;
    format.rate = settings_.sampleRate;
    format.stereo = settings_.stereo;
    format.framesPerBuffer = static_cast<int>(settings_.bufferFrames);
    format.bufferCount = static_cast<int>(settings_.bufferCount);
    return engine_.setOutputFormat(format);
}

void PlayControl::togglePlay(int mode) {
    if (!restartPending_ && engine_.playing() && !engine_.stopping()) {
        requestStop();
    } else {
        if (engine_.stopping()) {
            restartPending_ = true;
        }
        startPlay(mode);
    }
    updatePlayButton();
}

bool PlayControl::startPlay(int mode) {
    // A pending restart reuses the device, which is open only while the
    // earlier play has not ended.
    const bool reuseDevice = restartPending_ && engine_.playing();
    if (!reuseDevice) {
        if (engine_.playing()) {
            stopPlay();
        }
        if (!openDevice()) {
            restartPending_ = false;
            return false;
        }
    } else if (onAlsa_) {
        // The buffers still queued belong to the ending play.
        devices_.alsa.reset();
    } else {
        // The stream stays open but pauses while the ring is refilled: the
        // period callback must not read a slot that is being rendered.
        try {
            devices_.audio.stop();
        } catch (const RtError& error) {
            devices_.log << "RtAudio error " << error.message() << "\n";
        }
    }
    deviceLost_ = false;
    const bool resetStreams =
        mode == kFreshStartMode || (mode != kMidiMode && (recorder_ == nullptr || !recorder_->recording()));
    playGeneration_.fetch_add(1, kRelaxed);
    restartPending_ = false;
    if (onAlsa_) {
        devices_.alsa.pause();
        engine_.playStart(resetStreams, false);
        fillRing();
        devices_.alsa.restart();
        return engine_.playing();
    }
    engine_.playStart(resetStreams, true);
    watchPeriods();
    try {
        devices_.audio.start();
    } catch (const RtError& error) {
        devices_.log << "RtAudio error " << error.message() << "\n";
        stopPlay();
        return false;
    }
    return true;
}

bool PlayControl::openDevice() {
    if (isRtDevice(settings_.deviceSelection)) {
        if (!devices_.audio.openPlaybackStream(settings_, periodCallback, this)) {
            return false;
        }
        onAlsa_ = false;
        adoptGrantedBuffers();
        if (const auto error = allocateBuffers()) {
            devices_.log << *error << "\n";
            devices_.audio.close();
            return false;
        }
        return true;
    }
    if (const auto error = allocateBuffers()) {
        devices_.log << *error << "\n";
        return false;
    }
    const AlsaStatus opened =
        devices_.alsa.open(devices_.alsaDevices.pcmName(settings_.deviceSelection), settings_.channels(),
                           settings_.sampleRate, settings_.bufferFrames);
    if (!opened) {
        warnings_.showWarning(kAlsaErrorCaption, opened.error);
        return false;
    }
    onAlsa_ = true;
    alsaBuffers_.assign(engine_.samplesPerBuffer() * settings_.bufferCount, 0);
    return true;
}

void PlayControl::adoptGrantedBuffers() {
    const DeviceSpec& granted = devices_.audio.config().output;
    // A device that names no buffer count keeps ours; the ring holds at most
    // kMaxBufferCount slots.
    const std::uint32_t count =
        granted.numberOfBuffers == 0
            ? settings_.bufferCount
            : std::clamp<std::uint32_t>(granted.numberOfBuffers, 1, engine::Engine::kMaxBufferCount);
    settings_.bufferCount = count;
    if (granted.bufferFrames != 0) {
        settings_.bufferFrames = granted.bufferFrames;
    }
}

void PlayControl::fillRing() {
    const int n = static_cast<int>(settings_.bufferCount);
    for (int k = 0; k < n && engine_.playing(); ++k) {
        const int slot = engine_.writeIndex();
        engine_.renderStep();
        if (engine_.writeIndex() != slot) {
            queueBuffer(slot);
        }
    }
}

void PlayControl::queueBuffer(int slot) {
    const std::size_t samples = engine_.samplesPerBuffer();
    std::int16_t* buffer = alsaBuffers_.data() + static_cast<std::size_t>(slot) * samples;
    convertTo16Bit(engine_.ringSlot(slot), samples, buffer);
    engine_.countQueuedBuffer();
    const AlsaStatus queued =
        devices_.alsa.write(slot, buffer, samples / settings_.channels(), playGeneration_.load(kRelaxed));
    if (!queued) {
        stopPlay();
        warnings_.showWarning(kAlsaErrorCaption, queued.error);
    }
}

void PlayControl::requestStop() {
    if (engine_.stopRequest() == engine::StopAction::StopNow) {
        stopPlay();
    }
}

void PlayControl::stopPlay() {
    if (!engine_.playing()) {
        return;
    }
    playGeneration_.fetch_add(1, kRelaxed);
    if (onAlsa_) {
        devices_.alsa.reset();
        devices_.alsa.close();
    } else {
        try {
            devices_.audio.stop();
            devices_.audio.close();
        } catch (const RtError& error) {
            devices_.log << "RtAudio error " << error.message() << "\n";
        }
    }
    if (const auto report = engine_.stopPlay()) {
        view_.showStatusMessage(*report);
    }
    updatePlayButton();
}

void PlayControl::onBufferDone(std::int64_t slot, std::int64_t generation) {
    static_cast<void>(slot);  // the ring's own order says which slot is next
    if (generation != playGeneration_.load(kRelaxed) || !engine_.playing()) {
        return;  // from a play that has ended
    }
    if (!onAlsa_) {
        // The period callback asks for the end of play.
        if (!restartPending_) {
            stopPlay();
        }
        return;
    }
    onAlsaBufferDone();
}

void PlayControl::onAlsaBufferDone() {
    const AlsaStatus released = devices_.alsa.release();
    if (!released) {
        stopPlay();
        warnings_.showWarning(kAlsaErrorCaption, released.error);
        return;
    }
    const int slot = engine_.writeIndex();
    if (engine_.bufferDone()) {
        stopPlay();  // drained, or the Q key
        return;
    }
    if (engine_.writeIndex() != slot) {
        queueBuffer(slot);
    }
}

void PlayControl::checkDevice() {
    if (!engine_.playing()) {
        return;
    }
    if (onAlsa_) {
        if (const AlsaStatus written = devices_.alsa.release(); !written) {
            deviceWentAway();
            warnings_.showWarning(kAlsaErrorCaption, written.error);
        }
        return;
    }
    if (!devices_.audio.streamOpen()) {
        devices_.log << "RtAudio error the sound server closed the stream\n";
        deviceWentAway();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (const std::uint32_t periods = engine_.callbacksTotal(); periods != periodsSeen_) {
        periodsSeen_ = periods;
        periodSeenAt_ = now;
    } else if (now - periodSeenAt_ >= devices_.silentLimit) {
        devices_.log << "RtAudio error the sound server asked for no period in "
                     << devices_.silentLimit.count() << " ms\n";
        deviceWentAway();
    }
}

void PlayControl::watchPeriods() {
    periodsSeen_ = engine_.callbacksTotal();
    periodSeenAt_ = std::chrono::steady_clock::now();
}

void PlayControl::deviceWentAway() {
    deviceLost_ = true;
    stopPlay();
    // Without the device no period comes: the recording would stay open with nothing to write.
    if (recorder_ != nullptr)
        recorder_->stopBecause(kDeviceLostText);
}

void PlayControl::updatePlayButton() {
    view_.setPlayButton(engine_.playing());
}

int PlayControl::periodCallback(void* context, std::int16_t* output, unsigned frames) {
    auto* self = static_cast<PlayControl*>(context);
    const std::size_t given =
        static_cast<std::size_t>(frames) * static_cast<std::size_t>(self->engine_.outChannels());
    if (given != self->engine_.samplesPerBuffer()) {
        // Not the period the ring was made for: play silence rather than
        // write past the device's buffer.
        std::fill(output, output + given, std::int16_t{0});
        return 0;
    }
    return self->engine_.periodCallback(output);
}

}  // namespace output
