#pragma once

#include "engine/GrainPool.h"
#include "engine/Random.h"
#include "engine/RecordingSink.h"
#include "engine/Stream.h"
#include "engine/StreamWorkers.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sounds {
class SoundTable;
struct Sound;
}  // namespace sounds

namespace engine {

enum class Interpolation : int32_t { Linear = 0, Cubic = 1, Spline = 2 };

// What a stop request did; on StopNow the caller stops the device and calls stopPlay().
enum class StopAction { AlreadyStopping, StopNow, FadingOut };

struct OutputFormat {
    uint32_t rate = 22050;
    bool stereo = true;
    int framesPerBuffer = 256;  // a positive multiple of 8
    int bufferCount = 4;        // ring slots N, 1..kMaxBufferCount
};

// The grain engine and its render cycle: eight stream slots, the grain pool, the random generator,
// the ring of rendered periods and the engine lock. No device: whoever pulls periods drives it
// (the period callback of a device, the offline renderer, a test).
class Engine {
  public:
    static constexpr int kMaxBufferCount = kMaxStreams - 1;  // the slot tables hold N + 1 ≤ 8 entries
    static constexpr int32_t kDefaultChangeTime = 64;        // 1 s in 1/64 s

    // Thread: main. Creates the first stream (Active, built-in sine, default parameters) and
    // allocates the buffers for `format`.
    explicit Engine(sounds::SoundTable& sounds, const OutputFormat& format = {});
    // Grains still sounding give up their hold on their sounds.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // ---- Streams (Thread: main unless stated)
    int streamCount() const { return streamCount_; }
    // Thread: any (MIDI input reads it to route to the stream on show).
    int currentStream() const { return currentStream_.load(std::memory_order_relaxed); }
    void setCurrentStream(int index) { currentStream_.store(index, std::memory_order_relaxed); }
    Stream& stream(int index) { return streams_[static_cast<size_t>(index)]; }
    const Stream& stream(int index) const { return streams_[static_cast<size_t>(index)]; }
    // Creates a stream at the lowest free index (Active, built-in sine, default parameters);
    // -1 when all 8 exist.
    int createStream();
    // Takes the engine lock. The New button: copies stream `from` into the lowest free slot (its
    // sound gains a user), with its Amp silent (0, reached at once); -1 when all 8 exist.
    int newStream(int from);
    // Takes the engine lock. The Stem button: the stream becomes Empty and lets go of its sound.
    // When it was the sound's only user and grains of it still sound, the release waits twice the
    // stream's grain length (the table's one-shot timer).
    void endStream(int index);
    // Takes the engine lock. Exchanges the stream's sound (the stream is Busy meanwhile), releasing
    // its previous sound unless it is the built-in sound; channelSelect becomes 3 for a two-channel
    // sound, else 1. The caller has counted the new user (findOrAllocate/finishLoad); attaching the
    // record the stream already plays drops that extra count again.
    void attachSound(int index, sounds::Sound& sound);
    // Takes the engine lock. The stream returns to the built-in sine; its previous sound is kept in
    // memory without this user.
    void useTestTone(int index);
    // Writes a stream state (Muted, Active, ...).
    void setStreamState(int index, StreamState state);
    // Solo for `index`, Muted for every other stream that is neither Empty nor Busy.
    void soloStream(int index);
    void setHardSync(int index, bool on);
    void setChannelSelect(int index, int32_t select);
    // The Left/Right channel menu items: toggle a bit, never leaving no channel chosen.
    void toggleLeftChannel(int index);
    void toggleRightChannel(int index);

    // ---- Parameters (Thread: any; one writer per stream at a time)
    // Sets a parameter's target and starts its change over `changeTime` 1/64 s. ChangeTime (28)
    // sets the global change time instead.
    void setParameter(int index, int param, int32_t value, double changeTime);
    // The same with the global change time.
    void setParameter(int index, int param, int32_t value);
    int32_t changeTime() const { return changeTime_.load(std::memory_order_relaxed); }
    // The stream's 29 targets.
    ParamSet paramSet(int index) const;
    // current = value = target for parameters 0..27.
    void snapParameters(int index);

    // ---- Switches (Thread: main)
    void setInterpolation(Interpolation mode) { interpolation_.store(static_cast<int32_t>(mode)); }
    Interpolation interpolation() const { return static_cast<Interpolation>(interpolation_.load()); }
    void setSoftStop(bool on) { softStop_ = on; }
    void setResetLoopOnPlay(bool on) { resetLoopOnPlay_ = on; }
    // Takes the engine lock. One file per stream: each stream renders into its own buffer.
    void setPerStreamOutput(bool on);
    bool perStreamOutput() const { return perStream_; }
    // Thread: any. Grains render eight frames at a time with SIMD (the default), or frame by frame
    // through the reference renderer (for comparisons and measurements).
    void setWideRendering(bool on) { wideRendering_.store(on, std::memory_order_relaxed); }
    // Thread: any. How many threads render the streams of a period with the wide renderer: 0
    // (the default) lets the engine decide, one thread until a period's render takes more than
    // kParallelShare of the period, then one per core while it stays above kSerialShare; n ≥ 1
    // uses up to n threads (the caller and n − 1 of one helper per further core). Each stream's
    // grains render into the stream's own buffer and the streams mix in stream order, so the
    // rendered bytes never depend on the thread count.
    void setStreamThreads(int threads) { streamThreads_.store(threads, std::memory_order_relaxed); }
    // Thread: any. The most threads a run of blocks of the last rendered period used.
    int streamThreadsUsed() const { return threadsUsed_.load(std::memory_order_relaxed); }
    // On two cores a helper that the scheduler delays holds the whole period up, so the streams
    // share cores only once one core is in real danger of missing the period, and only after
    // kPeriodsToDecide periods in a row say so (one period slowed by another program does not).
    static constexpr double kParallelShare = 0.35;
    static constexpr double kSerialShare = 0.15;
    static constexpr int kPeriodsToDecide = 16;
    // Thread: main, while stopped; takes the engine lock. Reallocates the ring, the stream buffers
    // and the silence a muted stream records; recomputes the sounds' rate constants. Returns an error text on
    // failure
    // ("Could not allocate output buffer memory" or "Could not allocate file output buffer memory").
    std::optional<std::string> setOutputFormat(const OutputFormat& format);
    const OutputFormat& outputFormat() const { return format_; }
    int outChannels() const { return format_.stereo ? 2 : 1; }
    size_t samplesPerBuffer() const { return samplesPerBuffer_; }

    // ---- Outside hooks (Thread: main, before play)
    // Takes the engine lock. nullptr ends recording.
    void setRecordingSink(RecordingSink* sink);
    void setGestureMixer(GestureMixer* mixer);
    // Posts the buffer-done notification (957) with the ring slot; called on the audio thread.
    void setBufferDoneHandler(std::function<void(int slot)> handler);
    // Thread: any. The Q key state as the window layer sees it.
    void setQuitKeyHeld(bool held) { quitKeyHeld_.store(held, std::memory_order_relaxed); }

    // ---- Render cycle
    // Thread: main. Resets the streams (unless `resetStreams` is false: a recording is running or MIDI
    // prepared them), sets playing, clears stopping and fills the ring with N render steps (none
    // when `prefill` is false, for a driver that renders one period at a time).
    void playStart(bool resetStreams = true, bool prefill = true);
    // Thread: audio (or main on the direct ALSA path); takes the engine lock. Renders one period
    // into the next ring slot unless the ring is full, and hands it to the recording.
    void renderStep();
    // Thread: audio. The card consumes one period: converts the oldest rendered slot to 16-bit
    // samples (samplesPerBuffer values) and renders the next. Returns 0.
    int periodCallback(int16_t* out);
    // Thread: main (direct ALSA path). The card returned a slot: renders the next one if needed.
    // Returns true when play should stop now.
    bool bufferDone();
    // Thread: main (direct ALSA path). A rendered period was queued to the card: it counts as a
    // card period (so a stop request fades out once one has been queued).
    void countQueuedBuffer() { callbacksTotal_.fetch_add(1, std::memory_order_relaxed); }
    // Thread: the offline driver. Renders one period and counts it as consumed by a card.
    void renderOfflinePeriod();
    // Thread: main; takes the engine lock. Sets stopping; with soft stop (and a period requested)
    // shortens every grain of half a second or more to a half-second fade.
    StopAction stopRequest();
    // Thread: main. Ends play; returns the underrun report text when there is one.
    std::optional<std::string> stopPlay();

    bool playing() const { return playing_.load(std::memory_order_relaxed); }
    bool stopping() const { return stopping_.load(std::memory_order_relaxed); }
    bool anyGrainActive() const { return activeGrains_.load(std::memory_order_relaxed) > 0; }
    int32_t activeGrainCount() const { return activeGrains_.load(std::memory_order_relaxed); }
    int32_t frameClock() const { return frameClock_.load(std::memory_order_relaxed); }
    // Thread: any, while not playing (a start from MIDI prepares the streams itself).
    void resetFrameClock() { frameClock_.store(0, std::memory_order_relaxed); }
    int filled() const { return filled_.load(std::memory_order_relaxed); }
    int writeIndex() const { return writeIndex_.load(std::memory_order_relaxed); }
    uint32_t underruns() const { return underruns_.load(std::memory_order_relaxed); }
    uint32_t callbacksTotal() const { return callbacksTotal_.load(std::memory_order_relaxed); }
    // Thread: audio or with the engine lock held. A ring slot's samples.
    const float* ringSlot(int slot) const {
        return ring_.data() + static_cast<size_t>(slot) * samplesPerBuffer_;
    }
    // Thread: any, without the lock. The sound positions (28-bit fractions of the sound) of up to
    // kPublishedGrains grains of the current stream as the last render step left them, for a
    // display; returns how many were written to `out`.
    static constexpr int kPublishedGrains = 64;
    int grainPositions(std::span<uint32_t> out) const;
    std::mutex& lock() { return lock_; }
    sounds::SoundTable& soundTable() { return sounds_; }

  private:
    using PlayList = std::array<Stream*, kMaxStreams>;

    int freeStreamSlot() const;
    void resetStreamsForPlay();
    void renderStepLocked();
    int buildPlayList(PlayList& list);
    void handToRecording(int slot);
    template <typename Kernel>
    void renderPeriod(float* out, const PlayList& list, int count, int32_t& countdown);
    void controlUpdate();
    // The grain clocks of one block: starts the grains due in it, `firstBlock` blocks into the run.
    void startBlockGrains(const PlayList& list, int count, int firstBlock);
    void startGrain(Stream& stream, int frame, int firstBlock);
    // The loop advance and the frame clock at the end of a block.
    void endBlock(const PlayList& list, int count);
    // The reference renderer: one block of every grain, frame by frame.
    template <typename Kernel>
    void renderGrains(int block);
    // The wide renderer: the run of `blocks` blocks from `block` of every grain, stream by stream
    // (side by side on several threads when the load asks for it).
    void renderGrainRun(int block, int blocks);
    int threadsForRun(int streams) const;
    // After a period's render: whether the next ones render on several threads.
    void chooseThreads(double renderSeconds);
    void removeFinishedGrains();
    void outputStage(float* out, int block, const PlayList& list, int count) const;
    void finishGrain(Grain& grain);
    // Calls `visit` with every active grain, stream by stream.
    template <typename Visit>
    void forEachGrain(Visit visit) {
        for (int s = 0; s < kMaxStreams; ++s)
            for (Grain* grain = pool_.active(s); grain != nullptr; grain = grain->next)
                visit(*grain);
    }
    // Thread: audio, engine lock held.
    void publishGrainPositions();

    sounds::SoundTable& sounds_;
    std::array<Stream, kMaxStreams> streams_;
    int streamCount_ = 0;
    std::atomic<int> currentStream_{0};
    GrainPool pool_;
    Lcg rng_;
    OutputFormat format_;
    std::atomic<uint32_t> outputRate_{0};  // format_.rate for callers on other threads
    size_t samplesPerBuffer_ = 0;

    std::atomic<int32_t> interpolation_{static_cast<int32_t>(Interpolation::Spline)};
    std::atomic<int32_t> changeTime_{kDefaultChangeTime};
    bool softStop_ = true;
    bool resetLoopOnPlay_ = true;
    bool perStream_ = false;
    std::atomic<bool> wideRendering_{true};
    std::atomic<int> streamThreads_{0};
    std::atomic<int> threadsUsed_{1};
    int periodThreadsUsed_ = 1;  // Thread: audio
    bool parallel_ = false;      // Thread: audio; the automatic choice
    int periodsAgainst_ = 0;     // Thread: audio; periods in a row that ask for the other choice

    std::atomic<int32_t> frameClock_{0};
    std::atomic<int32_t> activeGrains_{0};
    // Active grains whose gain follows their stream's Amp (those of a second or longer); while there
    // are none, control updates need not visit the grains. Thread: audio.
    int32_t followingGainGrains_ = 0;
    // Countdown to the next control update, one per interpolation mode.
    std::array<int32_t, 3> countdowns_;

    // The engine lock: held by every render step, and by other threads only for short, bounded
    // exchanges that never allocate, wait or do I/O: a stream's sound or record (attach, new, end,
    // test tone), the recording sink and the recorder's set of open files, the gesture mixer, the
    // buffer-done handler, play start (the stream reset) and the stop request (shortening the
    // sounding grains), and a MIDI loop reset. Reallocating the buffers (setOutputFormat) holds it
    // only while play is stopped. The period callback only tries it and never waits.
    std::mutex lock_;
    // Renders the period callback skipped because the lock was taken. Thread: audio.
    int missedRenders_ = 0;
    std::vector<float> ring_;
    std::vector<float> streamBuffers_;
    std::vector<float> silence_;  // what a stream without sound hands to its file
    std::atomic<int> writeIndex_{0};
    std::atomic<int> filled_{0};
    std::atomic<uint32_t> callbacksTotal_{0};
    std::atomic<uint32_t> underruns_{0};
    uint32_t recordedBuffers_ = 0;
    std::atomic<bool> playing_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> gestureRunning_{false};
    std::atomic<bool> quitKeyHeld_{false};
    RecordingSink* recording_ = nullptr;
    GestureMixer* gestureMixer_ = nullptr;
    std::function<void(int)> bufferDone_;
    std::array<std::atomic<uint32_t>, kPublishedGrains> publishedPositions_{};
    std::atomic<int> publishedCount_{0};
    StreamWorkers workers_{StreamWorkers::helpersForThisMachine(kMaxStreams - 1)};
};

// The underrun report shown at a stop: "%d buffer underruns in performance (%d.%d %%)", or nothing
// for two underruns or fewer.
std::optional<std::string> underrunReport(uint32_t underruns, uint32_t callbacksTotal);

// Milliseconds by which the release of a closed stream's sound is postponed while its grains sound:
// twice the stream's grain length.
uint32_t delayedReleaseMilliseconds(const Stream& stream, uint32_t outputRate);

}  // namespace engine
