#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "patches/PatchPanel.h"
#include "shell/View.h"

namespace shell {

// The tabs above the parameter rows: one per stream that is not Empty, in
// index order; the selected tab's stream is the current stream. New, Stem,
// selection, the tab labels, the context menu with mute and solo, and the
// stream description in the window title and the status line. Thread: main.
class StreamTabs {
  public:
    struct Hooks {
        // Moves the parameter rows to the current stream and refreshes the value texts.
        std::function<void()> showParameters;
        // A stream slot was taken during a recording (one file per stream opens its file).
        std::function<void(int stream)> streamAdded;
        // A stream ended during a recording (its own file closes).
        std::function<void(int stream)> streamEnded;
        // Part 1 of the status bar.
        std::function<void(const std::string&)> showStatus;
        // Gives the keyboard focus to a control and outlines it.
        std::function<void(int id)> focusControl;
    };

    StreamTabs(engine::Engine& engine, patches::PatchPanel& panel, View& view, Hooks hooks);

    // Shows the tabs as the streams are now and selects the current stream's.
    void showTabs();
    // New: a copy of the current stream, silent, at the lowest free index; false with 8 streams.
    bool newStream();
    // Stem: ends the current stream; false when it is the only one.
    bool endStream();
    // Makes stream `index` current and shows it: rows, panel selection, title, status.
    void selectStream(int index);
    // A tab chosen by its position among the tabs.
    void selectTab(int tab);
    // The stream a tab position stands for; -1 past the last tab.
    int streamOfTab(int tab) const;
    // Rewrites every tab label (after a state change).
    void relabel();
    // The context menu for the stream of tab position `tab`.
    std::vector<ContextMenuItem> contextMenu(int tab) const;
    // 4100 + i .. 4500: the stream commands; false for any other id.
    bool streamCommand(int id);
    // The title and status line for the current stream (after its sound changed).
    void describeCurrent();

  private:
    std::vector<StreamTab> tabList() const;
    int tabOf(int stream) const;
    void setState(int stream, engine::StreamState state);

    engine::Engine& engine_;
    patches::PatchPanel& panel_;
    View& view_;
    Hooks hooks_;
};

// "Stream %d%s": the number shown (index + 1) and "  [S]" for Solo, "  [  ]" for Muted or Busy.
std::string tabLabel(int stream, engine::StreamState state);

}  // namespace shell
