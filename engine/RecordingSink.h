#pragma once

#include "engine/Stream.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace engine {

// One period as the render step hands it to the recording.
struct RenderedPeriod {
    // The clamped mix just rendered into the ring: `samples` interleaved values.
    const float* mix = nullptr;
    // With one file per stream: per stream slot, its unclamped buffer of this period (valid only
    // during writePeriod: a sink copies what it keeps) when its state is Active or Solo and its file
    // is open, otherwise silence. All nullptr without one file per stream.
    std::array<const float*, kMaxStreams> streams{};
    size_t samples = 0;
    int channels = 0;
    // Buffers handed to the recording before this one since recording started.
    uint32_t index = 0;
};

// The recording side of the render step. Implemented by the output layer.
class RecordingSink {
  public:
    virtual ~RecordingSink() = default;
    // Thread: audio (or main on the direct ALSA path), engine lock held. Whether stream slot
    // `stream` has an open file of its own (one file per stream).
    virtual bool streamFileOpen(int stream) const = 0;
    // Thread: audio (or main on the direct ALSA path), engine lock held. Writes one period; must not
    // throw and must not block on anything but the file write.
    virtual void writePeriod(const RenderedPeriod& period) = 0;
};

// Runs the gesture window's pending mix inside the render function (at a control update).
class GestureMixer {
  public:
    virtual ~GestureMixer() = default;
    // Thread: audio, engine lock held. Applies the pending mix, if any, and clears its pending flag.
    virtual void runPendingMix() = 0;
};

}  // namespace engine
