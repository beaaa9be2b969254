#pragma once

#include <ostream>
#include <string>

#include "shell/View.h"

namespace shell {

// The view of a performance without a window (`frisson play`): messages of
// status part 1 and warnings are printed as lines, questions take their
// default answer (the first button: Yes or OK), choosers and dialogs choose
// nothing, and everything else a window would draw is dropped. Thread: main.
class ConsoleView : public View {
  public:
    ConsoleView(std::ostream& out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}

    void setStatusText(int part, const std::string& text) override;
    void setWindowTitle(const std::string&) override {}
    void setChangeTimeText(const std::string&) override {}
    void setScrollPosition(int, int32_t) override {}
    void setFocusedControl(int) override {}
    void setStreamTabs(const std::vector<StreamTab>&, int) override {}
    void showContextMenu(const std::vector<ContextMenuItem>&) override {}
    void setButton(int, const ButtonState&) override {}
    void setBankNameField(const std::string&) override {}
    void promptBankName(const std::string&) override {}
    void showDisplayedBank(int) override {}
    void setSlotLabel(int, const std::string&) override {}
    void setSlotSelected(int, bool) override {}
    void setMenuItem(int, const MenuItemState&) override {}
    void setMenuPopupEnabled(const std::string&, bool) override {}
    void setRecentFiles(const std::vector<std::pair<int, std::string>>&) override {}
    Reply ask(const std::string& text, const std::string& caption, Buttons buttons) override;
    void warn(const std::string& text, const std::string& caption) override;
    void fatal(const std::string& text) override;
    void about(const std::string&) override {}
    std::optional<std::string> chooseFile(const std::string&, const FileFilter&,
                                          const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> chooseFolder(const std::string&) override { return std::nullopt; }
    bool runLoginDialog(LoginDialog&) override { return false; }
    bool runIoOptionsDialog(IoOptionsDialog&) override { return false; }
    bool runMidiResponseDialog(midi::MidiResponseDialog&) override { return false; }
    void openHelp(const std::optional<std::string>&) override {}
    void closeHelp() override {}
    PadRect gesturePadRect() override { return {}; }
    void closeWindow(int) override {}

    void showGestureWindow(bool) override {}
    void raiseGestureWindow() override {}
    void rollGestureWindow(bool) override {}
    void enableGestureWindow(bool) override {}
    void setCornerEntries(const std::vector<std::string>&) override {}
    void selectCornerEntry(int, int) override {}
    void setGestureButtons(bool, bool) override {}
    void drawPad(int, int, const std::vector<TrailDot>&) override {}

  private:
    std::ostream& out_;
    std::string prefix_;
    std::string lastStatus_;
};

}  // namespace shell
