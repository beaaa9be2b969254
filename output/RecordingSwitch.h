#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "output/Recorder.h"

namespace output {

// The output settings recording reads (stored with the other settings).
struct RecordingOptions {
    int bits = 16;  // 16, 24 or 32 (float)
    bool numbering = false;
    bool onePerStream = false;
    std::string folder;
    int32_t counter = 0;  // the last number used
    int32_t maxCount = 99;
};

// What the engine is doing when recording starts or a stream is added.
struct EngineSnapshot {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    std::span<const bool, kRecordingSlots> streamsInUse;
    int64_t runningFrames = 0;
};

// The recording toggle of the main window: names the files in the output
// folder ("fizz.wav", or "fizz%02d.wav" with numbering), moves the file
// counter and has the settings saved when it moved.
class RecordingSwitch {
  public:
    // Called with the options after the counter moved (so it survives a restart).
    using SaveOptions = std::function<void(const RecordingOptions&)>;

    RecordingSwitch(Recorder& recorder, RecordingOptions options, SaveOptions save = {});

    // Starts recording when it is off, stops it when it is on; returns whether
    // recording is on afterwards. Thread: main.
    bool toggle(const EngineSnapshot& engine);

    // A stream took slot `index` during a per-stream recording: opens its file
    // with the recording's number. Thread: main.
    void streamAdded(int index, int64_t runningFrames);

    RecordingOptions& options() { return options_; }
    const RecordingOptions& options() const { return options_; }

  private:
    std::string makeBasePath();

    Recorder& recorder_;
    RecordingOptions options_;
    SaveOptions save_;
};

}  // namespace output
