#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace output {

// The sound-server interfaces the device layer reaches through RtAudio.
enum class AudioApiId {
    kUnspecified,  // let the back end take the first interface that has devices
    kJack,
    kPulse,
    kOther,  // an interface this program does not list (reported, never chosen)
};

// A device as the back end describes it.
struct DeviceInfo {
    bool probed = false;
    std::string name;
    unsigned outputChannels = 0;
    unsigned inputChannels = 0;
    unsigned duplexChannels = 0;
    bool isDefaultOutput = false;
    bool isDefaultInput = false;
    std::vector<unsigned> sampleRates;
    unsigned long nativeFormats = 0;

    bool operator==(const DeviceInfo&) const = default;
};

// One direction of a stream: {device index within the API, channels, first channel}.
struct StreamParameters {
    unsigned deviceId = 0;
    unsigned channels = 0;
    unsigned firstChannel = 0;
};

// numberOfBuffers goes in as requested and comes back as granted.
struct StreamOptions {
    unsigned flags = 0;
    unsigned numberOfBuffers = 0;
    std::string streamName;
    int priority = 0;
};

enum class StreamState { kClosed, kStopped, kRunning };

// The shape of a back end's period callback (RtAudio's): output buffer, input
// buffer, frame count, stream time, status, user data; returns 0 to continue.
using RawAudioCallback = int (*)(void* output, void* input, unsigned frames, double streamTime,
                                 unsigned status, void* userData);

// One instance of a sound-server back end, bound to one API: the device seam.
// RtAudioApi is the real one, ManualAudioApi the one tests drive. Failures
// raise RtError. Thread: main, except that the callback runs on the back
// end's own thread.
class AudioApi {
  public:
    virtual ~AudioApi() = default;

    virtual AudioApiId currentApi() const = 0;
    virtual unsigned deviceCount() = 0;
    virtual DeviceInfo deviceInfo(unsigned index) = 0;

    // Either parameter may be null (direction not used). frames and
    // options.numberOfBuffers are updated with what the back end granted.
    virtual void openStream(const StreamParameters* outputParameters, const StreamParameters* inputParameters,
                            unsigned long format, unsigned sampleRate, unsigned* frames,
                            RawAudioCallback callback, void* userData, StreamOptions* options) = 0;
    virtual void startStream() = 0;
    // Stops the stream. JACK stops at once; PulseAudio first plays out what
    // its server holds of the stream.
    virtual void stopStream() = 0;
    virtual void closeStream() = 0;
    virtual StreamState streamState() const = 0;
};

// Makes a back-end instance for an API.
using AudioApiFactory = std::function<std::unique_ptr<AudioApi>(AudioApiId)>;

}  // namespace output
