#pragma once

#include <string>
#include <vector>

namespace shell {

// One recorded point of the trail as the window draws it: a filled circle in
// the box (x + 2, y + 2) - (x + 13, y + 13); `fade` runs from 0 (red 200, 0, 0)
// at the trail's first point towards 1 (the face colour) at its end.
struct TrailDot {
    int x = 0;
    int y = 0;
    float fade = 0.0f;

    bool operator==(const TrailDot&) const = default;
};

// What the gesture window shows. The pad's logic decides; the window draws.
// Thread: main (the core never calls it from the timer or audio thread).
class GestureView {
  public:
    virtual ~GestureView() = default;

    // The window is created and shown (true) or destroyed (false).
    virtual void showGestureWindow(bool open) = 0;
    // Brings an open window to the top (shown again if hidden).
    virtual void raiseGestureWindow() = 0;
    // Rolls the window up to its caption (true) or down to its full height.
    virtual void rollGestureWindow(bool up) = 0;
    // The gesture window is disabled while a modal dialog of the main window is open.
    virtual void enableGestureWindow(bool enabled) = 0;
    // The four corner combos' entries (the same for all four) and each corner's selection.
    virtual void setCornerEntries(const std::vector<std::string>& entries) = 0;
    virtual void selectCornerEntry(int corner, int entry) = 0;
    // "&Gesture" (playback) and "&Record" button states.
    virtual void setGestureButtons(bool playbackChecked, bool recordChecked) = 0;
    // Redraws the pad: the marker's top-left corner at (markerX, markerY), 13 × 13 pixels, and
    // the trail (empty: the pad is cleared).
    virtual void drawPad(int markerX, int markerY, const std::vector<TrailDot>& trail) = 0;
};

}  // namespace shell
