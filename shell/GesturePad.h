#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ParamSpec.h"
#include "engine/RecordingSink.h"
#include "platform/TimerService.h"
#include "shell/GestureView.h"

namespace engine {
class Engine;
}
namespace patches {
class PatchPanel;
}
namespace platform {
class MessageQueue;
}

namespace shell {

// The pad's rectangle in pixels, as the window converts it from its dialog units.
struct PadRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// One recorded point: the marker's top-left corner and the milliseconds since the recording's start.
struct GesturePoint {
    int32_t x = 0;
    int32_t y = 0;
    int32_t t = 0;

    bool operator==(const GesturePoint&) const = default;
};

// The two clocks of the pad: the process clock in milliseconds (recording times) and the
// high-resolution clock in microseconds (playback step deadlines). Both monotonic; an empty
// function stands for the steady clock.
struct GestureClocks {
    std::function<int64_t()> milliseconds;
    std::function<int64_t()> microseconds;
};

// What the application core calls on the gesture window's behalf. Thread: main.
class GestureCommands {
  public:
    virtual ~GestureCommands() = default;

    // The "Open &Gesture Window" command: opens the window on `pad`, or, when it is open, rolls it
    // down if it is rolled up and brings it to the top.
    virtual void openCommand(const PadRect& pad) = 0;
    // "&Close": stops playback and closes the window.
    virtual void close() = 0;
    // A double click on the title bar of the window, `height` pixels high now.
    virtual void titleDoubleClick(int height) = 0;
    // The user selected `entry` in corner combo `corner` (0 top-left, 1 top-right, 2 bottom-left,
    // 3 bottom-right).
    virtual void chooseCorner(int corner, int entry) = 0;
    // Left button and pointer in the window's pixels. mouseDown returns whether a drag started
    // (the window captures the mouse), mouseUp whether one ended (it releases the capture).
    virtual bool mouseDown(int x, int y) = 0;
    virtual void mouseMove(int x, int y) = 0;
    virtual bool mouseUp(int x, int y) = 0;
    // "&Record" and "&Gesture" pressed.
    virtual void recordButton() = 0;
    virtual void playbackButton() = 0;
    // The redraw message the playback step posted has arrived.
    virtual void redraw() = 0;
    // A patch-panel command may have changed patch values: the mix takes them up.
    virtual void refreshCorners() = 0;
    // Play has ended: gesture playback stops.
    virtual void playStopped() = 0;
    // Recording to sound files went on or off: an open window's "&Record" shows it (and the
    // recording of movements follows the button).
    virtual void showRecordingState(bool on) = 0;
    // A modal dialog of the main window opened (true) or closed (false).
    virtual void modalDialog(bool open) = 0;
};

// The gesture window's logic: four corner patches, the marker that mixes them into the current
// stream, and the recording and looped playback of the marker's movement.
//
// Threads: every command runs on the main thread; step() on the timer service's thread;
// runPendingMix() on the audio thread inside the render cycle. The audio thread reads only
// atomics here (the marker, the pad's geometry and a copy of the corners' values), never the
// patch panel. The recording and the playback state are shared by the main and the timer thread
// under a mutex. The timer thread never calls the view: it posts kMsgGestureRedraw and the core
// calls redraw().
class GesturePad : public engine::GestureMixer, public GestureCommands {
  public:
    static constexpr int kCornerCount = 4;
    // The mix sets parameters 0..27; the change time stays.
    static constexpr int kMixedParamCount = engine::ChangeTime;
    // The mix reaches its values within 0.1 s (in 1/64 s).
    static constexpr double kMixChangeTime = 6.4;
    // Bank names in the corner combos are cut to this many bytes.
    static constexpr size_t kComboNameLength = 12;
    // Movements closer than this (in x and in y) and younger than kThinningMs are not recorded.
    static constexpr int kThinningPixels = 15;
    static constexpr int32_t kThinningMs = 200;
    // The trail shows this many points ahead of the marker; it is redrawn every kTrailEvery steps.
    static constexpr uint32_t kTrailLength = 19;
    static constexpr uint32_t kTrailEvery = 10;

    // Registers itself as the engine's gesture mixer. Thread: main, before play.
    GesturePad(engine::Engine& engine, patches::PatchPanel& panel, GestureView& view,
               platform::TimerService& timers, platform::MessageQueue& messages, GestureClocks clocks = {});
    // Unregisters from the engine and cancels the step timer (waiting for a running step).
    ~GesturePad() override;
    GesturePad(const GesturePad&) = delete;
    GesturePad& operator=(const GesturePad&) = delete;

    // ---- GestureCommands (Thread: main)
    void openCommand(const PadRect& pad) override;
    void close() override;
    void titleDoubleClick(int height) override;
    void chooseCorner(int corner, int entry) override;
    bool mouseDown(int x, int y) override;
    void mouseMove(int x, int y) override;
    bool mouseUp(int x, int y) override;
    void recordButton() override;
    void playbackButton() override;
    void redraw() override;
    void refreshCorners() override;
    void playStopped() override;
    void showRecordingState(bool on) override;
    void modalDialog(bool open) override;
    // Stops playback (the timer is cancelled, the pad cleared). Thread: main.
    void stopPlayback();

    // ---- engine::GestureMixer. Thread: audio, engine lock held.
    void runPendingMix() override;
    // Sets the current stream's parameters 0..27 to the bilinear mix of the four corners at the
    // marker. Thread: audio (any thread that is the stream's only writer at the time).
    void gestureMix();

    // One playback step; the step timer calls it. Thread: timer.
    void step();

    // ---- State (Thread: main)
    bool isOpen() const { return open_; }
    bool rolledUp() const { return rolledUp_; }
    bool dragging() const { return dragging_; }
    bool recording() const { return recording_; }
    bool playbackActive() const;
    int markerX() const { return markerX_.load(std::memory_order_relaxed); }
    int markerY() const { return markerY_.load(std::memory_order_relaxed); }
    bool mixPending() const { return mixPending_.load(std::memory_order_relaxed) != 0; }
    int cornerCode(int corner) const { return cornerCodes_[static_cast<size_t>(corner)]; }
    const std::vector<std::string>& cornerEntries() const { return entries_; }
    std::vector<GesturePoint> points() const;
    uint32_t playbackIndex() const;
    // The step timer's deadline on the high-resolution clock (microseconds), 0 when none is set.
    int64_t stepDeadline() const;

  private:
    struct TimerIds {
        platform::TimerService::TimerId scheduled = 0;
        platform::TimerService::TimerId running = 0;
    };

    void open(const PadRect& pad);
    void fillCornerCombos();
    void refreshCorner(int corner);
    // Clamps the pointer to the pad, stores the marker's top-left corner and sets the pending mix.
    void placeMarker(int px, int py);
    // A marker move of the main thread: places, records, redraws.
    void moveMarker(int px, int py);
    void appendPoint(int x, int y);
    // Draws the marker and the trail as last chosen (main thread, open window only).
    void drawPad();
    std::vector<TrailDot> trail() const;
    void showButtons();
    void startPlayback();
    // With mutex_ held: ends playback and hands back the timers the caller cancels after
    // unlocking (a running step may be waiting for the mutex).
    TimerIds endPlaybackLocked();
    void cancelTimers(const TimerIds& ids);
    // With mutex_ held: schedules the next step `delayMs` from now.
    void scheduleStepLocked(double delayMs);
    void timerFired();
    void postRedraw();

    engine::Engine& engine_;
    patches::PatchPanel& panel_;
    GestureView& view_;
    platform::TimerService& timers_;
    platform::MessageQueue& messages_;
    std::function<int64_t()> nowMs_;
    std::function<int64_t()> nowUs_;

    // Main thread only.
    bool open_ = false;
    bool rolledUp_ = false;
    bool dragging_ = false;
    bool recording_ = false;
    std::vector<std::string> entries_;
    std::vector<int> itemCodes_;
    std::array<int, kCornerCount> cornerCodes_{};

    // Read by the audio and timer threads.
    std::atomic<int> left_{0};
    std::atomic<int> top_{0};
    std::atomic<int> right_{0};
    std::atomic<int> bottom_{0};
    std::atomic<int> markerX_{0};
    std::atomic<int> markerY_{0};
    std::atomic<int32_t> mixPending_{0};
    std::array<std::array<std::atomic<int32_t>, kMixedParamCount>, kCornerCount> cornerValues_{};
    std::atomic<bool> redrawWaiting_{false};
    std::atomic<bool> buttonsStale_{false};

    // Shared by the main and the timer thread.
    mutable std::mutex mutex_;
    std::vector<GesturePoint> points_;
    uint32_t index_ = 0;
    int64_t startMs_ = 0;
    bool playbackActive_ = false;
    // The trail as last chosen: points trailFrom_ .. trailTo_ (none when both are 0).
    uint32_t trailFrom_ = 0;
    uint32_t trailTo_ = 0;
    platform::TimerService::TimerId timerId_ = 0;
    platform::TimerService::TimerId runningTimerId_ = 0;
    int64_t deadlineUs_ = 0;
};

}  // namespace shell
