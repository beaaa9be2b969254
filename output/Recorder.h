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

// The recording files: one file with the final mix (slot 0), or one file per
// stream slot. The audio thread only copies each rendered period into a
// preallocated queue; a writer thread of the recording converts the samples
// and writes the files, so no page fault, no system call and no wait on a disk
// ever lands in the period callback. Opening and closing happen on the main
// thread; the engine lock is held only while the set of open slots changes.
class Recorder : public engine::RecordingSink {
  public:
    // The queue holds this much sound: a disk that stalls longer stops the recording.
    static constexpr double kQueueSeconds = 2.0;

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

    // Writes what is still queued and closes every file. Thread: main, takes the engine lock.
    void stop();
    // Ends a recording that cannot go on (its sound device went away): stop(), and when
    // recording was on, `statusText` is left for the status line. Thread: main.
    void stopBecause(const char* statusText);

    // A stream took slot `index` while per-stream recording runs: opens its
    // file, "%i_(%i).wav" when the engine has advanced since the start, and
    // writes "Created %s" to stderr. Thread: main, takes the engine lock.
    void streamAdded(int index, const std::string& basePath, int64_t runningFrames);

    // The stream in slot `index` ended: its file closes after the periods already queued.
    // Thread: main, takes the engine lock.
    void streamEnded(int index);

    // Queues one rendered period: the mix for the single file, or each open
    // slot's stream buffer. When the queue is full (the disk has fallen
    // behind by kQueueSeconds) recording stops; the files keep everything
    // queued before and kFellBehindText is left for the status line. Never
    // blocks, allocates or calls the system. Thread: audio, engine lock held.
    void writePeriod(const engine::RenderedPeriod& period) override;
    // Thread: audio, engine lock held.
    bool streamFileOpen(int stream) const override;

    // Thread: any.
    bool recording() const { return recording_.load(std::memory_order_relaxed); }
    bool onePerStream() const { return onePerStream_.load(std::memory_order_relaxed); }
    // Whether slot `index` has a file that has not failed. Thread: any.
    bool slotOpen(int index) const;

    // Waits until every period queued so far is in its file (or failed). Thread: main.
    void flush();
    // For an offline render: a full queue makes writePeriod wait for the writer instead of
    // ending the recording. Never on a sound card's thread. Thread: main, before start().
    void setWaitWhenFull(bool on) { waitWhenFull_ = on; }

    // The status text a failed write left, once; nullptr when there is none. Thread: main.
    const char* takeStatusText() { return statusText_.exchange(nullptr); }

    // "Could not open "%s" for output.\n%s\n" for every file that the last
    // start or stream-added could not open; empty when all opened. Thread: main.
    const std::string& openFailures() const { return openFailures_; }

  private:
    struct Writer;

    std::unique_ptr<audio::Soundfile> open(const std::string& path);
    void finishWriter();

    std::mutex& engineLock_;
    RecordingFormat format_;
    std::atomic<bool> recording_{false};
    std::atomic<bool> onePerStream_{false};
    bool waitWhenFull_ = false;
    // Bit i: slot i has a file the audio thread queues samples for.
    std::atomic<uint32_t> openSlots_{0};
    int64_t startClock_ = 0;
    std::atomic<const char*> statusText_{nullptr};
    std::string openFailures_;
    std::unique_ptr<Writer> writer_;
};

inline constexpr const char* kFellBehindText =
    "ERROR: Recording stopped: the disk could not keep up. The file holds everything up to then.";
inline constexpr const char* kDeviceLostText =
    "ERROR: Recording stopped: the sound device went away. The file holds everything up to then.";

}  // namespace output
