#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "midi/MidiInput.h"
#include "output/PlayView.h"
#include "output/UserWarnings.h"
#include "patches/PanelView.h"
#include "platform/MessageQueue.h"
#include "shell/FileList.h"
#include "shell/IoOptionsDialog.h"
#include "shell/View.h"
#include "sounds/SoundLoader.h"

namespace shell {

// The message a loader thread posts to have the main thread ask whether a
// large sound file should be loaded (first: the question's ticket).
inline constexpr uint32_t kMsgLargeSoundQuestion = 33401;
// A menu command the core posted to itself (first: the command id).
inline constexpr uint32_t kMsgDeferredCommand = 33402;

// The views the lower layers report to, each forwarded to the one View.
// Thread: main.
class ViewAdapters : public patches::PanelView,
                     public output::PlayView,
                     public output::UserWarnings,
                     public midi::MidiNotices,
                     public RecentFilesMenu {
  public:
    ViewAdapters(View& view, std::function<void(const std::string&, bool)> status);

    // patches::PanelView
    patches::Answer askYesNoCancel(const std::string& text, const std::string& caption) override;
    bool askOkCancel(const std::string& text, const std::string& caption) override;
    void warn(const std::string& text, const std::string& caption) override;
    std::optional<std::string> chooseBankFile(const std::string& folder) override;
    void setNameField(const std::string& text) override { view_.setBankNameField(text); }
    void promptForName(const std::string& prompt) override { view_.promptBankName(prompt); }
    void showDisplayedBank(int bank) override { view_.showDisplayedBank(bank); }
    void setSlotLabel(int slot, const std::string& label) override { view_.setSlotLabel(slot, label); }
    void setSlotSelected(int slot, bool selected) override { view_.setSlotSelected(slot, selected); }
    void showStatus(const std::string& text) override { status_(text, true); }
    void clearStatus() override { status_("", true); }
    void moveScrollBar(int param, int32_t value) override;

    // output::PlayView
    void setPlayButton(bool playing) override;
    void showStatusMessage(const std::string& text) override { status_(text, false); }

    // output::UserWarnings
    void showWarning(const std::string& caption, const std::string& text) override {
        view_.warn(text, caption);
    }

    // midi::MidiNotices
    void showStatus(int part, std::string_view text) override;
    void showWarning(std::string_view caption, std::string_view text) override;

    // RecentFilesMenu
    void removeAllItems() override {
        recent_.clear();
        view_.setRecentFiles(recent_);
    }
    void appendItem(int id, const std::string& label) override;

    // Where a parameter's new position goes (the core keeps the rows' positions).
    std::function<void(int param, int32_t value)> onMoveScrollBar;

  private:
    View& view_;
    std::function<void(const std::string&, bool)> status_;
    std::vector<std::pair<int, std::string>> recent_;
};

// Asks the main thread, from a loader thread, whether to load a large sound
// file: the question is posted, the loader waits for the answer. Once closed
// (at shut-down) every question is answered "Cancel" at once.
class LargeSoundRelay : public sounds::LargeSoundQuestion {
  public:
    explicit LargeSoundRelay(platform::MessageQueue& queue) : queue_(queue) {}

    // Thread: loader.
    bool confirmLoad(const std::string& title, const std::string& text) override;
    // Thread: main. The answer to the question `ticket`.
    void answer(int64_t ticket, bool load);
    // Thread: main.
    void close();

  private:
    platform::MessageQueue& queue_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::map<int64_t, bool> answers_;
    int64_t nextTicket_ = 1;
    bool closed_ = false;
};

// The help topic for the title of the active window, or nothing for the contents.
std::optional<std::string> helpKeyword(const std::string& title);

}  // namespace shell
