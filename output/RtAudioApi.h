#pragma once

#include <memory>
#include <ostream>

#include "output/AudioApi.h"

class RtAudio;

namespace output {

// The real back end: one RtAudio instance. Every RtAudio error becomes an
// RtError here and nowhere else. RtAudio's own warnings are not printed.
class RtAudioApi final : public AudioApi {
  public:
    explicit RtAudioApi(AudioApiId api);
    ~RtAudioApi() override;

    AudioApiId currentApi() const override;
    unsigned deviceCount() override;
    DeviceInfo deviceInfo(unsigned index) override;
    void openStream(const StreamParameters* outputParameters, const StreamParameters* inputParameters,
                    unsigned long format, unsigned sampleRate, unsigned* frames, RawAudioCallback callback,
                    void* userData, StreamOptions* options) override;
    void startStream() override;
    void stopStream() override;
    void closeStream() override;
    StreamState streamState() const override;

    // Makes RtAudioApi instances: the factory the program's AudioSystem uses.
    static std::unique_ptr<AudioApi> create(AudioApiId api);

    // RtAudio prints what goes wrong while an instance starts (such as the
    // refused connection to an absent PulseAudio server) to std::cerr, before
    // its warnings can be turned off. That text is held back and written to
    // `log`, one "RtAudio: " line each, or dropped while no log is set (the
    // default: a command's stderr carries only the command's own lines).
    // Set it from the main thread before instances are made.
    static void setLibraryLog(std::ostream* log);

  private:
    std::unique_ptr<RtAudio> rtAudio_;
};

}  // namespace output
