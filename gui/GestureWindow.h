#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "shell/GesturePad.h"
#include "shell/GestureView.h"

namespace gui {

// The modeless "Patch Gesture" window: four corner combos, the pad with the
// marker and the recorded trail, and the "&Gesture", "&Record" and "&Close"
// buttons. Mouse presses, moves and releases on the pad, the combos, the
// buttons and a title-bar double click go to the pad's logic; what it shows
// comes from the GestureView calls the main window forwards here. Thread: main.
class GestureWindow : public QWidget {
    Q_OBJECT
  public:
    // `close` runs the core's close (the main window's rows are refreshed there).
    GestureWindow(shell::GesturePad& pad, std::function<void()> close, QWidget* mainWindow);
    ~GestureWindow() override;

    // The pad rectangle (7, 24) - (269, 247) in dialog units, converted to this window's pixels.
    shell::PadRect padRect() const;

    // ---- What shell::GestureView asks for
    void showWindow(bool open);
    void raiseWindow();
    void roll(bool up);
    void enableWindow(bool enabled);
    void setCornerEntries(const std::vector<std::string>& entries);
    void selectCornerEntry(int corner, int entry);
    void setButtons(bool playbackChecked, bool recordChecked);
    void drawPad(int markerX, int markerY, const std::vector<shell::TrailDot>& trail);

  private:
    struct Widgets;
    std::unique_ptr<Widgets> widgets_;
};

}  // namespace gui
