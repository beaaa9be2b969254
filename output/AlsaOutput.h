#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace platform {
class MessageQueue;
}

typedef struct _snd_pcm snd_pcm_t;  // NOLINT: ALSA's own declaration

namespace output {

// The most buffers queued at once (the ring has at most 7 slots in use).
inline constexpr std::size_t kMaxQueuedBuffers = 8;

// A failed ALSA call: the system's error text, empty on success.
struct AlsaStatus {
    std::string error;
    explicit operator bool() const { return error.empty(); }
};

// One ALSA playback PCM fed with 16-bit interleaved buffers by a writer
// thread, which posts the buffer-done message 957 (first = the buffer's slot,
// second = the tag it was queued with) for each buffer written.
// Paused after open: queued buffers wait until restart(), so the ring can be
// primed before sound starts. Thread: main, except the writer.
class AlsaOutput {
  public:
    explicit AlsaOutput(platform::MessageQueue& queue);
    ~AlsaOutput();
    AlsaOutput(const AlsaOutput&) = delete;
    AlsaOutput& operator=(const AlsaOutput&) = delete;

    // Opens `pcmName` for S16 interleaved output with periods of
    // `periodFrames`, paused, and starts the writer.
    AlsaStatus open(const std::string& pcmName, unsigned channels, unsigned sampleRate,
                    unsigned periodFrames);
    bool isOpen() const { return pcm_ != nullptr; }

    void pause();
    void restart();

    // Queues `frames` frames of `data` for slot `slot`; the buffer must stay
    // untouched until its done message arrives.
    AlsaStatus write(int slot, const std::int16_t* data, std::size_t frames, std::int64_t tag);

    // Drops every queued buffer (no done message for them) and what the PCM
    // still holds.
    AlsaStatus reset();

    // The outcome of the buffers written since the last call: the system's
    // error text when writing one failed (the device went away).
    AlsaStatus release();

    // Stops the writer and closes the PCM.
    AlsaStatus close();

  private:
    struct Pending {
        int slot;
        const std::int16_t* data;
        std::size_t frames;
        std::int64_t tag;
    };

    AlsaStatus takeWriterError(std::unique_lock<std::mutex>& held);
    void writerLoop();
    // Writes one buffer in full; false when the writer was asked to drop or end.
    bool writeBuffer(const Pending& buffer, std::unique_lock<std::mutex>& lock);

    platform::MessageQueue& queue_;
    snd_pcm_t* pcm_ = nullptr;
    unsigned channels_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable dropped_;
    std::array<Pending, kMaxQueuedBuffers> pending_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    bool paused_ = true;
    bool dropRequested_ = false;
    bool ending_ = false;
    std::string writerError_;
    std::thread writer_;
};

}  // namespace output
