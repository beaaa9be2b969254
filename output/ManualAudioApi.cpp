#include "output/ManualAudioApi.h"

namespace output {

AudioApiFactory ManualAudioServer::factory() {
    return [this](AudioApiId api) -> std::unique_ptr<AudioApi> {
        ++instancesMade_;
        return std::make_unique<ManualAudioApi>(*this, api == AudioApiId::kUnspecified ? firstApi : api);
    };
}

std::vector<std::int16_t> ManualAudioServer::runPeriod() {
    const std::lock_guard lock(mutex_);
    if (state_ != StreamState::kRunning || !lastOpen_.output) {
        return {};
    }
    std::vector<std::int16_t> samples(static_cast<std::size_t>(lastOpen_.frames) *
                                      lastOpen_.output->channels);
    callback_(samples.data(), nullptr, lastOpen_.frames, 0.0, 0, userData_);
    return samples;
}

void ManualAudioServer::dropStream() {
    const std::lock_guard lock(mutex_);
    state_ = StreamState::kClosed;
}

StreamState ManualAudioServer::streamState() const {
    const std::lock_guard lock(mutex_);
    return state_;
}

ManualAudioApi::ManualAudioApi(ManualAudioServer& server, AudioApiId api) : server_(server), api_(api) {}

// Like a real back end, an instance that goes away closes its stream.
ManualAudioApi::~ManualAudioApi() {
    closeStream();
}

unsigned ManualAudioApi::deviceCount() {
    const auto error = server_.enumerationErrors.find(api_);
    if (error != server_.enumerationErrors.end()) {
        throw error->second;
    }
    return static_cast<unsigned>(server_.devices[api_].size());
}

DeviceInfo ManualAudioApi::deviceInfo(unsigned index) {
    const std::vector<DeviceInfo>& list = server_.devices[api_];
    if (index >= list.size()) {
        throw RtError("device index out of range", RtError::kInvalidUse);
    }
    return list[index];
}

void ManualAudioApi::openStream(const StreamParameters* outputParameters,
                                const StreamParameters* inputParameters, unsigned long format,
                                unsigned sampleRate, unsigned* frames, RawAudioCallback callback,
                                void* userData, StreamOptions* options) {
    const std::lock_guard lock(server_.mutex_);
    if (server_.state_ != StreamState::kClosed) {
        throw RtError("a stream is already open", RtError::kInvalidUse);
    }
    if (server_.openError) {
        const RtError error = *server_.openError;
        server_.openError.reset();
        throw error;
    }
    ManualAudioServer::OpenRequest request;
    request.api = api_;
    if (outputParameters != nullptr) {
        request.output = *outputParameters;
    }
    if (inputParameters != nullptr) {
        request.input = *inputParameters;
    }
    request.format = format;
    request.sampleRate = sampleRate;
    if (server_.grantedFrames != 0) {
        *frames = server_.grantedFrames;
    }
    if (options != nullptr && server_.grantedBuffers != 0) {
        options->numberOfBuffers = server_.grantedBuffers;
    }
    request.frames = *frames;
    request.numberOfBuffers = options != nullptr ? options->numberOfBuffers : 0;
    server_.lastOpen_ = request;
    server_.callback_ = callback;
    server_.userData_ = userData;
    server_.state_ = StreamState::kStopped;
    ++server_.openCount_;
    ownsStream_ = true;
}

void ManualAudioApi::startStream() {
    const std::lock_guard lock(server_.mutex_);
    if (!ownsStream_ || server_.state_ == StreamState::kClosed) {
        throw RtError("no open stream to start", RtError::kInvalidUse);
    }
    server_.state_ = StreamState::kRunning;
}

void ManualAudioApi::stopStream() {
    const std::lock_guard lock(server_.mutex_);
    if (ownsStream_ && server_.state_ == StreamState::kRunning) {
        server_.state_ = StreamState::kStopped;
    }
}

void ManualAudioApi::closeStream() {
    const std::lock_guard lock(server_.mutex_);
    if (ownsStream_ && server_.state_ != StreamState::kClosed) {
        server_.state_ = StreamState::kClosed;
        ++server_.closeCount_;
        ownsStream_ = false;
    }
}

StreamState ManualAudioApi::streamState() const {
    const std::lock_guard lock(server_.mutex_);
    return ownsStream_ ? server_.state_ : StreamState::kClosed;
}

}  // namespace output
