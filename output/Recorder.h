#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "audio/SampleFormat.h"
#include "audio/Soundfile.h"
#include "engine/RecordingSink.h"

namespace output {

inline constexpr int kRecordingSlots = 8;
inline constexpr const char* kWriteFailedText = "ERROR: Could not write to output soundfile. Closed file.";

// What the recording files hold: the engine's rate and channel count, and the
// sample width chosen in the options.
struct RecordingFormat {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    audio::SampleFormat sampleFormat = audio::kInt16LE;
};

// The sample format of a width in bits: 16 and 24 are little-endian integers,
// 32 is float. Raises std::invalid_argument for any other width.
audio::SampleFormat recordingSampleFormat(int bits);

// The open recording files: one file with the final mix (slot 0), or one file
// per stream slot. Opening and closing swap files in and out under the engine
// lock; the writes run inside the render step, which holds that lock.
class Recorder : public engine::RecordingSink {
  public:
    explicit Recorder(std::mutex& engineLock);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Opens the file at basePath (single file) or, with onePerStream, one file
    // per stream slot marked in streamsInUse (named by streamRecordingPath).
    // Recording is on when at least one file opened. runningFrames is the
    // engine's frame count now (the start clock of per-stream recording).
    // Thread: main, takes the engine lock.
    bool start(const std::string& basePath, const RecordingFormat& format, bool onePerStream,
               std::span<const bool, kRecordingSlots> streamsInUse, int64_t runningFrames);

    // Closes every file. Thread: main, takes the engine lock.
    void stop();

    // A stream took slot `index` while per-stream recording runs: opens its
    // file, "%i_(%i).wav" when the engine has advanced since the start, and
    // writes "Created %s" to stderr. Thread: main, takes the engine lock.
    void streamAdded(int index, const std::string& basePath, int64_t runningFrames);

    // The stream in slot `index` ended: closes its file. Thread: main, takes the engine lock.
    void streamEnded(int index);

    // Writes one rendered period: the mix to the single file, or each stream's
    // buffer to its own file. A short write or an error closes that file and
    // leaves kWriteFailedText for the status line; recording stops when no file
    // is left. Nothing is thrown. Thread: audio, engine lock held.
    void writePeriod(const engine::RenderedPeriod& period) override;
    // Thread: audio, engine lock held.
    bool streamFileOpen(int stream) const override;

    // Thread: any.
    bool recording() const { return recording_.load(std::memory_order_relaxed); }
    bool onePerStream() const { return onePerStream_; }
    // Thread: main, takes the engine lock.
    bool slotOpen(int index) const;

    // The status text a failed write left, once; nullptr when there is none. Thread: main.
    const char* takeStatusText() { return statusText_.exchange(nullptr); }

    // "Could not open "%s" for output.\n%s\n" for every file that the last
    // start or stream-added could not open; empty when all opened. Thread: main.
    const std::string& openFailures() const { return openFailures_; }

  private:
    std::unique_ptr<audio::Soundfile> open(const std::string& path);
    // Writes count samples to slot i; false (and the slot closed) when the file failed.
    bool writeSlot(int index, const float* samples, uint64_t count);
    void fail();

    std::mutex& engineLock_;
    std::array<std::unique_ptr<audio::Soundfile>, kRecordingSlots> slots_;
    RecordingFormat format_;
    std::atomic<bool> recording_{false};
    bool onePerStream_ = false;
    int64_t startClock_ = 0;
    std::atomic<const char*> statusText_{nullptr};
    std::string openFailures_;
};

}  // namespace output
