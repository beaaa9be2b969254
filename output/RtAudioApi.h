#pragma once

#include <memory>

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

  private:
    std::unique_ptr<RtAudio> rtAudio_;
};

}  // namespace output
