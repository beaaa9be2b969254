#include "output/RtAudioApi.h"

#include <rtaudio/RtAudio.h>

#include <iostream>
#include <sstream>
#include <string>

#include "output/AlsaDevices.h"
#include "output/RtError.h"

namespace output {
namespace {

RtAudio::Api toRtApi(AudioApiId api) {
    switch (api) {
        case AudioApiId::kJack:
            return RtAudio::UNIX_JACK;
        case AudioApiId::kPulse:
            return RtAudio::LINUX_PULSE;
        case AudioApiId::kUnspecified:
        case AudioApiId::kOther:
            break;
    }
    return RtAudio::UNSPECIFIED;
}

RtError translate(const RtAudioError& error) {
    return RtError(error.getMessage(), static_cast<RtError::Type>(error.getType()));
}

// Runs one RtAudio call, turning its error into the program's.
template <typename Call>
auto guarded(Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const RtAudioError& error) {
        throw translate(error);
    }
}

std::ostream* libraryLog = nullptr;

// Holds back what is written to std::cerr while it lives, then passes the
// non-empty lines to the library log.
class HeldErrorStream {
  public:
    HeldErrorStream() : previous_(std::cerr.rdbuf(held_.rdbuf())) {}
    ~HeldErrorStream() {
        std::cerr.rdbuf(previous_);
        if (libraryLog == nullptr)
            return;
        std::istringstream lines(held_.str());
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty())
                *libraryLog << "RtAudio: " << line << "\n";
        }
    }
    HeldErrorStream(const HeldErrorStream&) = delete;
    HeldErrorStream& operator=(const HeldErrorStream&) = delete;

  private:
    std::ostringstream held_;  // declared first: constructed before it is used
    std::streambuf* previous_;
};

RtAudio::StreamParameters toRtParameters(const StreamParameters& parameters) {
    RtAudio::StreamParameters rt;
    rt.deviceId = parameters.deviceId;
    rt.nChannels = parameters.channels;
    rt.firstChannel = parameters.firstChannel;
    return rt;
}

}  // namespace

RtAudioApi::RtAudioApi(AudioApiId api) {
    // RtAudio's ALSA probing would print libasound's diagnostics.
    silenceAlsaDiagnostics();
    const HeldErrorStream held;
    guarded([&] {
        rtAudio_ = std::make_unique<RtAudio>(toRtApi(api));
        rtAudio_->showWarnings(false);
    });
}

void RtAudioApi::setLibraryLog(std::ostream* log) {
    libraryLog = log;
}

RtAudioApi::~RtAudioApi() = default;

std::unique_ptr<AudioApi> RtAudioApi::create(AudioApiId api) {
    return std::make_unique<RtAudioApi>(api);
}

AudioApiId RtAudioApi::currentApi() const {
    switch (rtAudio_->getCurrentApi()) {
        case RtAudio::UNIX_JACK:
            return AudioApiId::kJack;
        case RtAudio::LINUX_PULSE:
            return AudioApiId::kPulse;
        default:
            return AudioApiId::kOther;
    }
}

unsigned RtAudioApi::deviceCount() {
    return guarded([&] { return rtAudio_->getDeviceCount(); });
}

DeviceInfo RtAudioApi::deviceInfo(unsigned index) {
    return guarded([&] {
        const RtAudio::DeviceInfo rt = rtAudio_->getDeviceInfo(index);
        DeviceInfo info;
        info.probed = rt.probed;
        info.name = rt.name;
        info.outputChannels = rt.outputChannels;
        info.inputChannels = rt.inputChannels;
        info.duplexChannels = rt.duplexChannels;
        info.isDefaultOutput = rt.isDefaultOutput;
        info.isDefaultInput = rt.isDefaultInput;
        info.sampleRates = rt.sampleRates;
        info.nativeFormats = rt.nativeFormats;
        return info;
    });
}

void RtAudioApi::openStream(const StreamParameters* outputParameters, const StreamParameters* inputParameters,
                            unsigned long format, unsigned sampleRate, unsigned* frames,
                            RawAudioCallback callback, void* userData, StreamOptions* options) {
    guarded([&] {
        RtAudio::StreamParameters out;
        RtAudio::StreamParameters in;
        if (outputParameters != nullptr) {
            out = toRtParameters(*outputParameters);
        }
        if (inputParameters != nullptr) {
            in = toRtParameters(*inputParameters);
        }
        RtAudio::StreamOptions rtOptions;
        if (options != nullptr) {
            rtOptions.flags = options->flags;
            rtOptions.numberOfBuffers = options->numberOfBuffers;
            rtOptions.streamName = options->streamName;
            rtOptions.priority = options->priority;
        }
        rtAudio_->openStream(outputParameters != nullptr ? &out : nullptr,
                             inputParameters != nullptr ? &in : nullptr, format, sampleRate, frames, callback,
                             userData, &rtOptions);
        if (options != nullptr) {
            options->numberOfBuffers = rtOptions.numberOfBuffers;
        }
    });
}

void RtAudioApi::startStream() {
    guarded([&] { rtAudio_->startStream(); });
}

// JACK: stops at once rather than draining: RtAudio's drain waits for the
// server's next callback, forever when the server has stopped calling this
// client (JACK drops a client that was too slow). The ring is drained by then
// anyway. PulseAudio: drains, since the server holds a few tenths of a second
// written ahead (an abort would cut the end of every play); the drain returns
// once the server has played them, or at once when it has gone.
void RtAudioApi::stopStream() {
    guarded([&] {
        if (rtAudio_->getCurrentApi() == RtAudio::LINUX_PULSE)
            rtAudio_->stopStream();
        else
            rtAudio_->abortStream();
    });
}

void RtAudioApi::closeStream() {
    guarded([&] { rtAudio_->closeStream(); });
}

StreamState RtAudioApi::streamState() const {
    if (!rtAudio_->isStreamOpen()) {
        return StreamState::kClosed;
    }
    return rtAudio_->isStreamRunning() ? StreamState::kRunning : StreamState::kStopped;
}

}  // namespace output
