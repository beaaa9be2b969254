#pragma once

#include <string>

namespace gui {

struct GuiOptions {
    // Non-empty: the window starts, pictures of it, the gesture window and the
    // dialogs are saved into this folder, and the program ends.
    std::string screenshotFolder;
};

// Runs the window over the application core until the exit sequence ends it.
// Returns the process exit status: 0 after the exit sequence, 1 after a fatal
// error. Thread: main (it becomes the user interface thread).
int runGui(int argc, char** argv, const GuiOptions& options);

}  // namespace gui
