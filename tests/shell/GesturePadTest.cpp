#include "shell/GesturePad.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <utility>

#include "platform/MessageQueue.h"
#include "platform/TimerService.h"
#include "tests/patches/FakePanel.h"

namespace shell {
namespace {

// W = H = (117 - 15) - (0 + 2) = 100: the marker's corner lies in [2, 102], the pointer is clamped
// to [9, 109].
constexpr PadRect kPad{0, 0, 117, 117};

struct FakeGestureView : GestureView {
    void showGestureWindow(bool open) override { shown = open; }
    void raiseGestureWindow() override { ++raised; }
    void rollGestureWindow(bool up) override { rolls.push_back(up); }
    void enableGestureWindow(bool on) override { enabled = on; }
    void setCornerEntries(const std::vector<std::string>& e) override { entries = e, ++fills; }
    void selectCornerEntry(int corner, int entry) override { selected[static_cast<size_t>(corner)] = entry; }
    void setGestureButtons(bool playback, bool record) override { buttons = {playback, record}; }
    void drawPad(int x, int y, const std::vector<TrailDot>& dots) override { marker = {x, y}, trail = dots; }

    bool shown = false, enabled = true;
    int raised = 0, fills = 0;
    std::vector<bool> rolls;
    std::vector<std::string> entries;
    std::array<int, 4> selected{-1, -1, -1, -1};
    std::pair<bool, bool> buttons{true, true};
    std::pair<int, int> marker{-1, -1};
    std::vector<TrailDot> trail;
};

class GesturePadTest : public ::testing::Test, public patches::testing::EngineRig {
  protected:
    // Stores a patch in `slot` (from 0) of `bank`, each parameter k at value(k).
    void occupy(int bank, int slot, const std::function<int32_t(int)>& value) {
        patches::Patch& patch = panel.bank(bank).slots[static_cast<size_t>(slot)];
        patch.flags = patches::kPatchOccupied;
        for (int k = 0; k < engine::kParamCount; ++k)
            patch.values[static_cast<size_t>(k)] = value(k);
        ++panel.bank(bank).count;
    }
    void play() { engine.playStart(true, false); }
    // One period: the render cycle applies a pending mix at its control updates.
    engine::ParamSet renderAndTargets() {
        engine.renderOfflinePeriod();
        return engine.paramSet(0);
    }
    // Records n points while playing: pointer (9 + 4k, 9 + 10 (k mod 5)), gap(k) ms after point k.
    void recordPoints(int n, const std::function<int64_t(int)>& gap) {
        play();
        pad.recordButton();
        for (int k = 0; k < n; ++k) {
            ms += k > 0 ? gap(k - 1) : 0;
            k == 0 ? (void)pad.mouseDown(9, 9) : pad.mouseMove(9 + 4 * k, 9 + 10 * (k % 5));
        }
        pad.mouseUp(9 + 4 * (n - 1), 9 + 10 * ((n - 1) % 5));
        pad.recordButton();
    }
    // The first step runs at once on the timer thread and posts a redraw.
    void startPlaybackAndAwaitFirstStep() {
        pad.playbackButton();
        const auto message = messages.waitAndTake(std::chrono::seconds(30));
        ASSERT_TRUE(message.has_value());
        ASSERT_EQ(message->number, platform::kMsgGestureRedraw);
        pad.redraw();
    }

    platform::TimerService timers;
    platform::MessageQueue messages;
    std::atomic<int64_t> ms{1000};
    std::atomic<int64_t> us{0};
    FakeGestureView view;
    GestureClocks clocks{[this] { return ms.load(); }, [this] { return us.load(); }};
    GesturePad pad{engine, panel, view, timers, messages, clocks};
};

TEST_F(GesturePadTest, CornerCombosListOccupiedSlotsAndStartAtTheDisplayedBank) {
    struct Case {
        std::vector<std::pair<int, int>> occupied;  // (bank, slot)
        int displayed;
        std::vector<std::string> entries;  // empty: not checked
        std::array<int, 4> selected;
        std::array<int, 4> codes;
    };
    const std::vector<std::pair<int, int>> sixSlots = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {2, 0}};
    const std::vector<Case> cases = {
        {{{0, 2}, {0, 5}, {2, 0}},
         2,
         {"Default", "A3 (Strings)", "A6 (Strings)", "C1 (Long bank na)"},
         {0, 1, 2, 3},
         {0, 258, 261, 768}},
        // Seven entries, bank C's first at entry 6: the last four are taken.
        {sixSlots, 2, {}, {3, 4, 5, 6}, {258, 259, 260, 768}},
        {sixSlots, 0, {}, {1, 2, 3, 4}, {256, 257, 258, 259}},
        // Three entries: the fourth corner falls back to the default patch.
        {{{0, 0}, {0, 1}}, 1, {"Default", "A1 (Strings)", "A2 (Strings)"}, {0, 1, 2, 0}, {0, 256, 257, 0}},
    };
    for (size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(n);
        const Case& c = cases[n];
        for (int b = 0; b < patches::kBankCount; ++b)
            panel.bank(b) = patches::PatchBank{};
        panel.bank(0).name = "Strings";
        panel.bank(2).name = "Long bank name here";
        for (auto [bank, slot] : c.occupied)
            occupy(bank, slot, [](int) { return 0; });
        panel.showBank(c.displayed);
        pad.openCommand(kPad);
        if (!c.entries.empty()) {
            EXPECT_EQ(view.entries, c.entries);
        }
        EXPECT_EQ(view.selected, c.selected);
        EXPECT_EQ((std::array{pad.cornerCode(0), pad.cornerCode(1), pad.cornerCode(2), pad.cornerCode(3)}),
                  c.codes);
        pad.close();
    }
}

TEST_F(GesturePadTest, TheMarkerMixesTheFourCornersBilinearly) {
    // With no patches each corner is the default patch: the mix keeps every default.
    pad.openCommand(kPad);
    play();
    EXPECT_TRUE(pad.mouseDown(59, 59));
    EXPECT_EQ(renderAndTargets(), engine::defaultParamSet());
    pad.mouseUp(59, 59);
    pad.close();
    // Bank A is displayed and its first patch is entry 1: the corners are A1..A4.
    occupy(0, 0, [](int k) { return 1000 + 4 * k; });
    occupy(0, 1, [](int) { return 2000; });
    occupy(0, 2, [](int) { return 3000; });
    occupy(0, 3, [](int) { return 4001; });
    pad.openCommand(kPad);
    struct Row {
        int px, py, markerX, markerY;
        std::function<int32_t(int)> expected;
    };
    const std::vector<Row> rows = {
        {1, 1, 2, 2, [](int k) { return 1000 + 4 * k; }},    // a = b = 1: the top-left patch
        {59, 59, 52, 52, [](int k) { return 2500 + k; }},    // 250 + k + 500 + 750 + 1000.25
        {34, 9, 27, 2, [](int k) { return 1250 + 3 * k; }},  // a = 0.75, c = 0.25, b = 1
        {500, -50, 102, 2, [](int) { return 2000; }},        // clamped: the top-right patch
        {400, 400, 102, 102, [](int) { return 4001; }},      // clamped: the bottom-right patch
    };
    for (size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE(r);
        const Row& row = rows[r];
        r == 0 ? (void)pad.mouseDown(row.px, row.py) : pad.mouseMove(row.px, row.py);
        EXPECT_EQ(view.marker, std::pair(row.markerX, row.markerY));
        EXPECT_TRUE(pad.mixPending());
        const engine::ParamSet targets = renderAndTargets();
        EXPECT_FALSE(pad.mixPending());
        for (int k = 0; k < engine::ChangeTime; ++k)
            EXPECT_EQ(targets[static_cast<size_t>(k)], row.expected(k)) << "parameter " << k;
        EXPECT_EQ(engine.changeTime(), engine::Engine::kDefaultChangeTime);
    }
    pad.mouseUp(59, 59);  // the release mixes where it happens too
    EXPECT_EQ(view.marker, std::pair(52, 52));
    EXPECT_EQ(renderAndTargets()[engine::Amp], 2500 + engine::Amp);
}

TEST_F(GesturePadTest, WindowOpensRollsAndCloses) {
    pad.openCommand(kPad);
    EXPECT_EQ(std::tuple(view.shown, view.marker, view.buttons),
              std::tuple(true, std::pair(7, 7), std::pair(false, false)));
    pad.titleDoubleClick(300);  // at least 100 pixels: rolls up
    pad.openCommand(kPad);      // rolled up: rolls down, then raises
    pad.titleDoubleClick(300);
    pad.titleDoubleClick(40);  // below 100 pixels: rolls down
    pad.openCommand(kPad);     // only raises
    // Filled at opening and after every roll.
    EXPECT_EQ(std::tuple(view.rolls, view.fills, view.raised),
              std::tuple(std::vector<bool>{true, false, true, false}, 5, 2));

    EXPECT_FALSE(pad.mouseDown(0, 50));  // the pad's left edge is outside
    EXPECT_TRUE(pad.mouseDown(117, 117));
    EXPECT_EQ(view.marker, std::pair(102, 102));
    pad.showRecordingState(true);
    pad.modalDialog(true);
    EXPECT_EQ(std::pair(view.buttons, view.enabled), std::pair(std::pair(false, true), false));
    pad.close();
    EXPECT_EQ(std::pair(view.shown, pad.mouseDown(50, 50)), std::pair(false, false));
}

TEST_F(GesturePadTest, RecordingThinsTheMovementAndNeedsPlay) {
    pad.openCommand(kPad);
    pad.recordButton();  // not playing: stays unchecked
    EXPECT_EQ(std::pair(pad.recording(), view.buttons), std::pair(false, std::pair(false, false)));
    play();
    pad.recordButton();
    EXPECT_EQ(view.buttons, std::pair(false, true));
    struct Move {
        int64_t atMs;  // since the recording's start
        int px, py;
    };
    for (const Move& move : std::vector<Move>{{0, 59, 59},     // the first point, (52, 52)
                                              {0, 73, 59},     // dx 14: thinned
                                              {0, 74, 59},     // dx 15: recorded
                                              {100, 74, 73},   // dy 14, 100 ms: thinned
                                              {199, 74, 73},   // 199 ms: thinned
                                              {200, 74, 73}})  // 200 ms: recorded
    {
        ms = 1000 + move.atMs;
        move.atMs == 0 && move.px == 59 ? (void)pad.mouseDown(move.px, move.py)
                                        : pad.mouseMove(move.px, move.py);
    }
    EXPECT_EQ(pad.points(), (std::vector<GesturePoint>{{52, 52, 0}, {67, 52, 0}, {67, 66, 200}}));
    // A new recording of two points is too short to play back.
    pad.recordButton();
    pad.recordButton();
    pad.mouseMove(59, 59);
    ms += 200;
    pad.mouseUp(59, 59);
    ASSERT_EQ(pad.points(), (std::vector<GesturePoint>{{52, 52, 0}, {52, 52, 200}}));
    pad.playbackButton();
    EXPECT_EQ(std::tuple(pad.playbackActive(), pad.stepDeadline(), view.buttons),
              std::tuple(false, 0, std::pair(false, true)));
}

TEST_F(GesturePadTest, PlaybackStepsThroughTheRecordingInALoop) {
    pad.openCommand(kPad);
    auto gap = [](int k) { return int64_t{100001} + 2 * k; };
    recordPoints(25, gap);
    auto point = [](int k) { return std::pair(2 + 4 * k, 2 + 10 * (k % 5)); };
    // A step d ms ahead is due after d ms, rounded to whole milliseconds.
    auto deadline = [&](int k) { return gap(k) * 1000; };

    startPlaybackAndAwaitFirstStep();
    EXPECT_EQ(std::tuple(view.buttons, view.marker, pad.playbackIndex(), pad.stepDeadline()),
              std::tuple(std::pair(true, false), point(0), 1u, deadline(0)));
    // The trail of points 1..19: dots 1..18 fading in steps of 1/18.
    ASSERT_EQ(view.trail.size(), 18u);
    EXPECT_EQ(view.trail.front(), (TrailDot{6, 12, 0.0f}));
    EXPECT_EQ(view.trail.back(), (TrailDot{74, 32, 17.0f / 18.0f}));
    // Step from index i: to point i, on to i + 1 after gap i; from the last point on to index 1
    // after gap 0.
    for (int i = 1; i <= 25; ++i) {
        SCOPED_TRACE(i);
        const int at = i == 25 ? 1 : i;
        pad.step();
        pad.redraw();
        EXPECT_EQ(
            std::tuple(view.marker, pad.playbackIndex(), pad.stepDeadline()),
            std::tuple(point(at), static_cast<uint32_t>(at == 24 ? 1 : at + 1), deadline(at == 24 ? 0 : at)));
        if (at == 9) {  // index 10: the trail of points 11..29 is dots 11..24
            ASSERT_EQ(view.trail.size(), 14u);
            EXPECT_EQ(view.trail.front(), (TrailDot{46, 12, 0.0f}));
            EXPECT_EQ(view.trail.back(), (TrailDot{98, 42, 13.0f / 14.0f}));
        }
    }

    engine.stopPlay();  // the next step stops playback and clears the pad
    pad.step();
    pad.redraw();
    EXPECT_EQ(std::tuple(pad.playbackActive(), pad.stepDeadline(), view.buttons, view.trail.empty()),
              std::tuple(false, 0, std::pair(false, false), true));
}

TEST_F(GesturePadTest, RecordingContinuesFromThePlaybackPosition) {
    pad.openCommand(kPad);
    recordPoints(20, [](int) { return 100000; });
    const std::vector<GesturePoint> recorded = pad.points();
    ASSERT_EQ(recorded.size(), 20u);
    startPlaybackAndAwaitFirstStep();
    // A new deadline less than 0.5 ms from the scheduled one (100000 ms ahead) leaves the timer alone.
    for (auto [nowUs, expected] : std::vector<std::pair<int64_t, int64_t>>{
             {300, 100000000}, {500, 100000500}, {700, 100000500}, {2000, 100002000}}) {
        us = nowUs;
        pad.step();
        EXPECT_EQ(pad.stepDeadline(), expected) << nowUs;
    }
    ASSERT_EQ(pad.playbackIndex(), 5u);
    // Recording at index 5 keeps points 0..4 and goes on from point 4's 400000 ms; playback stops.
    ms = 5000000;
    pad.recordButton();
    EXPECT_EQ(std::tuple(pad.playbackActive(), pad.stepDeadline(), view.buttons),
              std::tuple(false, 0, std::pair(false, true)));
    ms += 300;
    pad.mouseDown(109, 109);
    std::vector<GesturePoint> expected(recorded.begin(), recorded.begin() + 5);
    expected.push_back({102, 102, 400300});
    EXPECT_EQ(pad.points(), expected);
}

}  // namespace
}  // namespace shell
