#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/RenderOptions.h"
#include "engine/Engine.h"
#include "platform/MessageQueue.h"
#include "sounds/SoundLoader.h"
#include "sounds/SoundTable.h"

namespace app {

// A failure of the work itself (exit status 1): a sound or bank file that
// cannot be read, an output file that cannot be written.
class CommandFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The engine that streams are prepared on, and how its sounds are brought in.
class StreamHost {
  public:
    virtual ~StreamHost() = default;
    virtual engine::Engine& engine() = 0;
    // Brings a sound file in through the loader thread, as the window does, and
    // waits for it. A file too large for the free memory is loaded: the command
    // line asked for it. CommandFailure with the loader's text. Thread: main.
    virtual sounds::Sound& loadSound(const std::string& path, int streamIndex) = 0;
};

// The engine with its sound table and loader, for a command without a window:
// the output format and the switches come from the options.
class HeadlessEngine : public StreamHost {
  public:
    explicit HeadlessEngine(const RenderOptions& options);

    engine::Engine& engine() override { return engine_; }
    sounds::SoundTable& sounds() { return table_; }
    sounds::Sound& loadSound(const std::string& path, int streamIndex) override;

  private:
    sounds::SoundTable table_;
    platform::MessageQueue queue_;
    sounds::FixedLargeSoundAnswer answer_{true};
    sounds::SoundLoader loader_;
    engine::Engine engine_;
};

// Creates the streams of the options in order (index 0 first) with default
// parameters, and for each attaches its sound, recalls its patch, applies its
// overrides, hard sync and channel choice; then applies mute and solo in
// stream order. Warnings (an empty patch slot) go to `warnings`.
// UsageError or CommandFailure when a stream cannot be prepared. Thread: main.
void prepareStreams(StreamHost& host, const RenderOptions& options, std::ostream& warnings);

// The engine's interpolation mode for the option.
engine::Interpolation engineInterpolation(Interpolation mode);

// The --at changes, applied as rendering reaches them.
class Timeline {
  public:
    explicit Timeline(std::vector<TimedChange> changes);

    // Applies, with the global change time and in command-line order, every
    // change not applied yet that is due at or before `periodStart`, the first
    // frame of the period about to be rendered. Thread: main.
    void applyDue(engine::Engine& engine, int64_t periodStart);

  private:
    std::vector<TimedChange> changes_;
    std::vector<bool> applied_;
};

}  // namespace app
