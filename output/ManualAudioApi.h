#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "output/AudioApi.h"
#include "output/RtError.h"

namespace output {

// A sound server that tests drive by hand: they list its devices, decide what
// an open grants or which error it raises, and pull periods from the open
// stream with runPeriod(), on a thread of their choice (the driver). As with a
// real driver, stopping or closing waits for a period in progress. Every
// back-end instance made by factory() shares this one server.
class ManualAudioServer {
  public:
    // What the last openStream asked for.
    struct OpenRequest {
        AudioApiId api = AudioApiId::kUnspecified;
        std::optional<StreamParameters> output;
        std::optional<StreamParameters> input;
        unsigned long format = 0;
        unsigned sampleRate = 0;
        unsigned frames = 0;
        unsigned numberOfBuffers = 0;
    };

    std::map<AudioApiId, std::vector<DeviceInfo>> devices;
    // Raised by deviceCount() of that API.
    std::map<AudioApiId, RtError> enumerationErrors;
    // The API an instance made for kUnspecified takes.
    AudioApiId firstApi = AudioApiId::kJack;
    // Granted values; 0 grants what was asked.
    unsigned grantedFrames = 0;
    unsigned grantedBuffers = 0;
    // Raised by the next openStream (then cleared).
    std::optional<RtError> openError;

    AudioApiFactory factory();

    // Calls the open stream's callback for one period while it is running and
    // returns the samples it wrote; empty when the stream is not running.
    std::vector<std::int16_t> runPeriod();

    StreamState streamState() const;
    // The server goes away: it closes the open stream on its own.
    void dropStream();
    const OpenRequest& lastOpen() const { return lastOpen_; }
    int openCount() const { return openCount_; }
    int closeCount() const { return closeCount_; }
    int instancesMade() const { return instancesMade_; }

  private:
    friend class ManualAudioApi;

    mutable std::mutex mutex_;  // held by a period and by every stream operation
    StreamState state_ = StreamState::kClosed;
    OpenRequest lastOpen_;
    RawAudioCallback callback_ = nullptr;
    void* userData_ = nullptr;
    int openCount_ = 0;
    int closeCount_ = 0;
    int instancesMade_ = 0;
};

// One back-end instance of a ManualAudioServer.
class ManualAudioApi final : public AudioApi {
  public:
    ManualAudioApi(ManualAudioServer& server, AudioApiId api);
    ~ManualAudioApi() override;
    ManualAudioApi(const ManualAudioApi&) = delete;
    ManualAudioApi& operator=(const ManualAudioApi&) = delete;

    AudioApiId currentApi() const override { return api_; }
    unsigned deviceCount() override;
    DeviceInfo deviceInfo(unsigned index) override;
    void openStream(const StreamParameters* outputParameters, const StreamParameters* inputParameters,
                    unsigned long format, unsigned sampleRate, unsigned* frames, RawAudioCallback callback,
                    void* userData, StreamOptions* options) override;
    void startStream() override;
    void stopStream() override;
    void closeStream() override;
    StreamState streamState() const override;

  private:
    ManualAudioServer& server_;
    AudioApiId api_;
    bool ownsStream_ = false;
};

}  // namespace output
