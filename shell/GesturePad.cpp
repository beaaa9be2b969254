#include "shell/GesturePad.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "engine/Engine.h"
#include "patches/PatchPanel.h"
#include "platform/MessageQueue.h"

namespace shell {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// The marker is 13 pixels square; its range keeps it 2 pixels inside the pad's left and top
// edges and 15 pixels short of its right and bottom ones.
constexpr int kRangeNear = 2;
constexpr int kRangeFar = 15;
// The pointer is clamped to [left + 9, right - 8] and the marker's corner lies 7 pixels up and
// left of it.
constexpr int kPointerNear = 9;
constexpr int kPointerFar = 8;
constexpr int kMarkerOffset = 7;
// A corner code names (bank + 1) × 256 + slot; 0 is the default patch.
constexpr int kCodesPerBank = 256;
// A new step deadline this close to the scheduled one leaves the timer alone.
constexpr int64_t kDeadlineToleranceUs = 500;
constexpr int kRollUpHeight = 100;

int64_t steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t steadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The bank name as the combos show it: at most 12 bytes, never cut inside a UTF-8 character.
std::string comboName(std::string_view name) {
    if (name.size() <= GesturePad::kComboNameLength)
        return std::string(name);
    size_t end = GesturePad::kComboNameLength;
    constexpr unsigned char kContinuationMask = 0xC0;
    constexpr unsigned char kContinuationByte = 0x80;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & kContinuationMask) == kContinuationByte)
        --end;
    return std::string(name.substr(0, end));
}

int32_t roundToParam(float v) {
    const long rounded = std::lrint(v);  // halves to even, as the engine rounds
    return static_cast<int32_t>(
        std::clamp<long>(rounded, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

GesturePad::GesturePad(engine::Engine& engine, patches::PatchPanel& panel, GestureView& view,
                       platform::TimerService& timers, platform::MessageQueue& messages, GestureClocks clocks)
    : engine_(engine),
      panel_(panel),
      view_(view),
      timers_(timers),
      messages_(messages),
      nowMs_(clocks.milliseconds ? std::move(clocks.milliseconds) : steadyMilliseconds),
      nowUs_(clocks.microseconds ? std::move(clocks.microseconds) : steadyMicroseconds) {
    cornerCodes_.fill(0);
    refreshCorners();
    engine_.setGestureMixer(this);
}

GesturePad::~GesturePad() {
    // Under the engine lock: no render step is inside runPendingMix() once this returns.
    engine_.setGestureMixer(nullptr);
    TimerIds ids;
    {
        const std::lock_guard lock(mutex_);
        ids = endPlaybackLocked();
    }
    // Waits for a step that is running now; no step starts afterwards.
    cancelTimers(ids);
}

// ---- Window

void GesturePad::openCommand(const PadRect& pad) {
    if (!open_) {
        open(pad);
        return;
    }
    if (rolledUp_) {
        view_.rollGestureWindow(false);
        rolledUp_ = false;
        fillCornerCombos();
    }
    view_.raiseGestureWindow();
}

void GesturePad::open(const PadRect& pad) {
    open_ = true;
    rolledUp_ = false;
    dragging_ = false;
    recording_ = false;
    view_.showGestureWindow(true);
    left_.store(pad.left, kRelaxed);
    top_.store(pad.top, kRelaxed);
    right_.store(pad.right, kRelaxed);
    bottom_.store(pad.bottom, kRelaxed);
    fillCornerCombos();
    markerX_.store(pad.left + kMarkerOffset, kRelaxed);
    markerY_.store(pad.top + kMarkerOffset, kRelaxed);
    view_.setGestureButtons(false, false);
    drawPad();
}

void GesturePad::close() {
    if (!open_)
        return;
    stopPlayback();
    dragging_ = false;
    open_ = false;
    view_.showGestureWindow(false);
}

void GesturePad::titleDoubleClick(int height) {
    if (!open_)
        return;
    rolledUp_ = height >= kRollUpHeight;
    view_.rollGestureWindow(rolledUp_);
    fillCornerCombos();
}

void GesturePad::modalDialog(bool open) {
    if (open_)
        view_.enableGestureWindow(!open);
}

// ---- Corners

void GesturePad::fillCornerCombos() {
    entries_.assign(1, "Default");
    itemCodes_.assign(1, 0);
    const int displayed = panel_.displayedBank();
    size_t noted = 0;
    bool haveNoted = false;
    for (int b = 0; b < patches::kBankCount; ++b) {
        const patches::PatchBank& bank = panel_.bank(b);
        const std::string name = comboName(bank.name);
        for (int s = 0; s < patches::kSlotCount; ++s) {
            if (!bank.slots[static_cast<size_t>(s)].occupied())
                continue;
            if (b == displayed && !haveNoted) {
                noted = entries_.size();
                haveNoted = true;
            }
            entries_.push_back(std::string(1, static_cast<char>('A' + b)) + std::to_string(s + 1) + " (" +
                               name + ")");
            itemCodes_.push_back((b + 1) * kCodesPerBank + s);
        }
    }
    // Four consecutive entries from the displayed bank's first patch, as far as they fit.
    const size_t n = entries_.size();
    size_t first = noted;
    if (n <= kCornerCount)
        first = 0;
    else if (n - first < kCornerCount)
        first = n - kCornerCount;

    view_.setCornerEntries(entries_);
    for (int i = 0; i < kCornerCount; ++i) {
        size_t entry = first + static_cast<size_t>(i);
        if (entry >= n)
            entry = 0;
        cornerCodes_[static_cast<size_t>(i)] = itemCodes_[entry];
        view_.selectCornerEntry(i, static_cast<int>(entry));
        refreshCorner(i);
    }
}

void GesturePad::chooseCorner(int corner, int entry) {
    if (corner < 0 || corner >= kCornerCount || entry < 0 || static_cast<size_t>(entry) >= itemCodes_.size())
        return;
    cornerCodes_[static_cast<size_t>(corner)] = itemCodes_[static_cast<size_t>(entry)];
    refreshCorner(corner);
}

void GesturePad::refreshCorners() {
    for (int i = 0; i < kCornerCount; ++i)
        refreshCorner(i);
}

void GesturePad::refreshCorner(int corner) {
    const int code = cornerCodes_[static_cast<size_t>(corner)];
    const patches::ParamValues* values = &panel_.defaultPatch().values;
    if (code != 0) {
        const int bank = code / kCodesPerBank - 1;
        const int slot = code % kCodesPerBank;
        if (bank >= 0 && bank < patches::kBankCount && slot < patches::kSlotCount)
            values = &panel_.bank(bank).slots[static_cast<size_t>(slot)].values;
    }
    auto& copy = cornerValues_[static_cast<size_t>(corner)];
    for (size_t k = 0; k < copy.size(); ++k)
        copy[k].store((*values)[k], kRelaxed);
}

// ---- Mix

void GesturePad::runPendingMix() {
    if (mixPending_.exchange(0, kRelaxed) != 0)
        gestureMix();
}

void GesturePad::gestureMix() {
    const int near = left_.load(kRelaxed) + kRangeNear;
    const int far = right_.load(kRelaxed) - kRangeFar;
    const int topNear = top_.load(kRelaxed) + kRangeNear;
    const int bottomFar = bottom_.load(kRelaxed) - kRangeFar;
    const int w = far - near;
    const int h = bottomFar - topNear;
    if (w <= 0 || h <= 0)
        return;
    const int x = markerX_.load(kRelaxed);
    const int y = markerY_.load(kRelaxed);
    const float a = static_cast<float>(far - x) / static_cast<float>(w);
    const float c = static_cast<float>(x - near) / static_cast<float>(w);
    const float b = static_cast<float>(bottomFar - y) / static_cast<float>(h);
    const float d = static_cast<float>(y - topNear) / static_cast<float>(h);
    const float topLeft = a * b;
    const float topRight = c * b;
    const float bottomLeft = a * d;
    const float bottomRight = c * d;

    const int stream = engine_.currentStream();
    for (size_t k = 0; k < static_cast<size_t>(kMixedParamCount); ++k) {
        const float v = static_cast<float>(cornerValues_[0][k].load(kRelaxed)) * topLeft +
                        static_cast<float>(cornerValues_[1][k].load(kRelaxed)) * topRight +
                        static_cast<float>(cornerValues_[2][k].load(kRelaxed)) * bottomLeft +
                        static_cast<float>(cornerValues_[3][k].load(kRelaxed)) * bottomRight;
        engine_.setParameter(stream, static_cast<int>(k), roundToParam(v), kMixChangeTime);
    }
}

// ---- Mouse and marker

bool GesturePad::mouseDown(int x, int y) {
    if (!open_)
        return false;
    const bool inside = left_.load(kRelaxed) < x && x <= right_.load(kRelaxed) && top_.load(kRelaxed) < y &&
                        y <= bottom_.load(kRelaxed);
    if (!inside)
        return false;
    dragging_ = true;
    moveMarker(x, y);
    return true;
}

void GesturePad::mouseMove(int x, int y) {
    if (dragging_)
        moveMarker(x, y);
}

bool GesturePad::mouseUp(int x, int y) {
    if (!dragging_)
        return false;
    moveMarker(x, y);
    dragging_ = false;
    return true;
}

void GesturePad::placeMarker(int px, int py) {
    const int x =
        std::min(std::max(px, left_.load(kRelaxed) + kPointerNear), right_.load(kRelaxed) - kPointerFar);
    const int y =
        std::min(std::max(py, top_.load(kRelaxed) + kPointerNear), bottom_.load(kRelaxed) - kPointerFar);
    markerX_.store(x - kMarkerOffset, kRelaxed);
    markerY_.store(y - kMarkerOffset, kRelaxed);
    mixPending_.store(1, kRelaxed);
}

void GesturePad::moveMarker(int px, int py) {
    // The mix reads the copy of the corners' values; take up any change to the patches first.
    refreshCorners();
    placeMarker(px, py);
    if (recording_)
        appendPoint(markerX(), markerY());
    drawPad();
}

void GesturePad::appendPoint(int x, int y) {
    const std::lock_guard lock(mutex_);
    const int64_t t = nowMs_() - startMs_;
    if (!points_.empty()) {
        const GesturePoint& last = points_.back();
        if (std::abs(x - last.x) < kThinningPixels && std::abs(y - last.y) < kThinningPixels &&
            t - last.t < kThinningMs)
            return;
    }
    points_.push_back({x, y, static_cast<int32_t>(t)});
}

// ---- Drawing

void GesturePad::drawPad() {
    if (open_)
        view_.drawPad(markerX(), markerY(), trail());
}

std::vector<TrailDot> GesturePad::trail() const {
    std::vector<TrailDot> dots;
    const std::lock_guard lock(mutex_);
    const size_t n = points_.size();
    const size_t from = trailFrom_;
    if (from > n)
        return dots;
    const size_t to = std::min<size_t>(trailTo_, n);
    for (size_t k = from; k < to; ++k) {
        const float fade = static_cast<float>(k - from) / static_cast<float>(to - from);
        dots.push_back({points_[k].x, points_[k].y, fade});
    }
    return dots;
}

void GesturePad::showButtons() {
    view_.setGestureButtons(playbackActive(), recording_);
}

void GesturePad::redraw() {
    // Cleared first: a step after this point posts again.
    redrawWaiting_.store(false, kRelaxed);
    if (!open_)
        return;
    if (buttonsStale_.exchange(false, kRelaxed))
        showButtons();
    drawPad();
}

void GesturePad::postRedraw() {
    if (!redrawWaiting_.exchange(true, kRelaxed) && !messages_.post(platform::kMsgGestureRedraw))
        redrawWaiting_.store(false, kRelaxed);
}

// ---- Recording and playback

void GesturePad::recordButton() {
    if (!engine_.playing()) {
        recording_ = false;
        showButtons();
        return;
    }
    recording_ = !recording_;
    if (recording_) {
        TimerIds ids;
        {
            const std::lock_guard lock(mutex_);
            const size_t n = points_.size();
            if (playbackActive_ && index_ > 1 && index_ < n) {
                // Continue from where playback is: keep the points it has passed and go on at the
                // time of the last one.
                points_.resize(index_);
                startMs_ = nowMs_() - points_.back().t;
            } else {
                index_ = 0;
                points_.clear();
                startMs_ = nowMs_();
                trailFrom_ = 0;
                trailTo_ = 0;
            }
            // Playback and the mouse would both move the marker (and the playback step would record
            // its own moves), so playback ends when recording starts.
            if (playbackActive_)
                ids = endPlaybackLocked();
        }
        cancelTimers(ids);
        drawPad();
    }
    showButtons();
}

void GesturePad::playbackButton() {
    if (engine_.playing()) {
        if (playbackActive())
            stopPlayback();
        else
            startPlayback();
        if (playbackActive())
            recording_ = false;
    }
    showButtons();
}

void GesturePad::startPlayback() {
    {
        const std::lock_guard lock(mutex_);
        if (points_.size() <= 2)
            return;
        playbackActive_ = true;
        trailFrom_ = 1;
        trailTo_ = kTrailLength;
        scheduleStepLocked(0.0);
    }
    drawPad();
}

void GesturePad::stopPlayback() {
    TimerIds ids;
    bool wasActive = false;
    {
        const std::lock_guard lock(mutex_);
        wasActive = playbackActive_;
        ids = endPlaybackLocked();
    }
    cancelTimers(ids);
    if (wasActive) {
        showButtons();
        drawPad();
    }
}

void GesturePad::playStopped() {
    stopPlayback();
}

void GesturePad::showRecordingState(bool on) {
    if (!open_)
        return;
    recording_ = on;
    showButtons();
}

GesturePad::TimerIds GesturePad::endPlaybackLocked() {
    if (playbackActive_) {
        trailFrom_ = 0;
        trailTo_ = 0;
    }
    playbackActive_ = false;
    const TimerIds ids{timerId_, runningTimerId_};
    timerId_ = 0;
    deadlineUs_ = 0;
    return ids;
}

void GesturePad::cancelTimers(const TimerIds& ids) {
    if (ids.scheduled != 0)
        timers_.cancel(ids.scheduled);
    if (ids.running != 0 && ids.running != ids.scheduled)
        timers_.cancel(ids.running);
}

void GesturePad::step() {
    TimerIds ids;
    bool ended = false;
    {
        const std::lock_guard lock(mutex_);
        if (!playbackActive_)
            return;
        const size_t n = points_.size();
        if (!engine_.playing() || n < 2) {
            ids = endPlaybackLocked();
            ended = true;
        } else {
            if (index_ >= n)
                index_ = 0;
            // The recorded point is the marker's corner: the pointer lies 7 pixels further in.
            const GesturePoint& point = points_[index_];
            placeMarker(point.x + kMarkerOffset, point.y + kMarkerOffset);
            if (index_ + 1 >= n)
                index_ = 0;
            const int64_t delayMs =
                static_cast<int64_t>(points_[index_ + 1].t) - static_cast<int64_t>(points_[index_].t);
            ++index_;
            if (index_ % kTrailEvery == 0) {
                trailFrom_ = index_ + 1;
                trailTo_ = index_ + kTrailLength;
            }
            scheduleStepLocked(static_cast<double>(delayMs));
        }
    }
    if (ended) {
        cancelTimers(ids);
        buttonsStale_.store(true, kRelaxed);
    }
    postRedraw();
}

void GesturePad::scheduleStepLocked(double delayMs) {
    // The recorded gap rounded to whole milliseconds (a gap is never negative), so playback keeps
    // the recorded timing.
    const auto dueMs = static_cast<int64_t>(delayMs + 0.5);
    const int64_t deadline = nowUs_() + dueMs * 1000;
    const auto due = std::chrono::milliseconds(dueMs);
    if (timerId_ != 0) {
        if (std::llabs(deadline - deadlineUs_) < kDeadlineToleranceUs)
            return;
        // A timer that has fired already cannot be changed; it stays known until its step runs.
        deadlineUs_ = timers_.changeDelay(timerId_, due) ? deadline : 0;
        return;
    }
    try {
        timerId_ = timers_.startOneShot(due, [this] { timerFired(); });
        deadlineUs_ = deadline;
    } catch (...) {
        timerId_ = 0;
        deadlineUs_ = 0;
    }
}

void GesturePad::timerFired() {
    {
        // The one-shot timer is gone once fired; the next step needs a new one.
        const std::lock_guard lock(mutex_);
        runningTimerId_ = timerId_;
        timerId_ = 0;
        deadlineUs_ = 0;
    }
    step();
    const std::lock_guard lock(mutex_);
    runningTimerId_ = 0;
}

// ---- State

bool GesturePad::playbackActive() const {
    const std::lock_guard lock(mutex_);
    return playbackActive_;
}

std::vector<GesturePoint> GesturePad::points() const {
    const std::lock_guard lock(mutex_);
    return points_;
}

uint32_t GesturePad::playbackIndex() const {
    const std::lock_guard lock(mutex_);
    return index_;
}

int64_t GesturePad::stepDeadline() const {
    const std::lock_guard lock(mutex_);
    return deadlineUs_;
}

}  // namespace shell
