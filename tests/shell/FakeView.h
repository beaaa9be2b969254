#pragma once

#include <array>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shell/View.h"

namespace shell::testing {

// A view that records what the core told it and answers its questions from a
// script (the default answer when the script runs dry: No, Cancel).
class FakeView : public View {
  public:
    struct Asked {
        std::string text;
        std::string caption;
        Buttons buttons;
    };

    std::array<std::string, kStatusPartCount> status{};
    std::string title;
    std::string changeTimeText;
    std::map<int, int32_t> scrollPositions;
    std::map<int, int> scrollMoves;  // how often each row was moved
    int focused = 0;
    std::vector<StreamTab> tabs;
    int selectedTab = -1;
    std::vector<ContextMenuItem> contextMenu;
    std::map<int, ButtonState> buttons;
    int displayedBank = -1;
    std::map<int, std::string> slotLabels;
    std::map<int, bool> slotSelected;
    std::vector<Asked> asked;
    std::deque<Reply> replies;
    std::deque<std::optional<std::string>> chosenFolders;
    std::vector<std::optional<std::string>> helpOpened;
    std::optional<int> closedWith;

    void setStatusText(int part, const std::string& text) override {
        status.at(static_cast<size_t>(part)) = text;
    }
    void setWindowTitle(const std::string& text) override { title = text; }
    void setChangeTimeText(const std::string& text) override { changeTimeText = text; }
    void setScrollPosition(int param, int32_t position) override {
        scrollPositions[param] = position;
        ++scrollMoves[param];
    }
    void setFocusedControl(int id) override { focused = id; }
    void setStreamTabs(const std::vector<StreamTab>& list, int selected) override {
        tabs = list;
        selectedTab = selected;
    }
    void showContextMenu(const std::vector<ContextMenuItem>& items) override { contextMenu = items; }
    void setButton(int id, const ButtonState& state) override { buttons[id] = state; }
    void setBankNameField(const std::string&) override {}
    void promptBankName(const std::string&) override {}
    void showDisplayedBank(int bank) override { displayedBank = bank; }
    void setSlotLabel(int slot, const std::string& label) override { slotLabels[slot] = label; }
    void setSlotSelected(int slot, bool selected) override { slotSelected[slot] = selected; }
    void setMenuItem(int, const MenuItemState&) override {}
    void setMenuPopupEnabled(const std::string&, bool) override {}
    void setRecentFiles(const std::vector<std::pair<int, std::string>>&) override {}
    Reply ask(const std::string& text, const std::string& caption, Buttons kind) override {
        asked.push_back({text, caption, kind});
        if (!replies.empty()) {
            const Reply reply = replies.front();
            replies.pop_front();
            return reply;
        }
        return kind == Buttons::YesNo ? Reply::No : Reply::Cancel;
    }
    void warn(const std::string&, const std::string&) override {}
    void fatal(const std::string&) override {}
    void about(const std::string&) override {}
    std::optional<std::string> chooseFile(const std::string&, const FileFilter&,
                                          const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> chooseFolder(const std::string&) override { return next(chosenFolders); }
    bool runLoginDialog(LoginDialog&) override { return false; }
    bool runIoOptionsDialog(IoOptionsDialog&) override { return false; }
    bool runMidiResponseDialog(midi::MidiResponseDialog&) override { return false; }
    void openHelp(const std::optional<std::string>& keyword) override { helpOpened.push_back(keyword); }
    void closeHelp() override {}
    void closeWindow(int result) override { closedWith = result; }
    PadRect gesturePadRect() override { return {7, 24, 269, 247}; }

    void showGestureWindow(bool) override {}
    void raiseGestureWindow() override {}
    void rollGestureWindow(bool) override {}
    void enableGestureWindow(bool) override {}
    void setCornerEntries(const std::vector<std::string>&) override {}
    void selectCornerEntry(int, int) override {}
    void setGestureButtons(bool, bool) override {}
    void drawPad(int, int, const std::vector<TrailDot>&) override {}

  private:
    static std::optional<std::string> next(std::deque<std::optional<std::string>>& script) {
        if (script.empty())
            return std::nullopt;
        auto value = script.front();
        script.pop_front();
        return value;
    }
};

}  // namespace shell::testing
