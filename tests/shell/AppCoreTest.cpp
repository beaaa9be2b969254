#include "shell/AppCore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <tuple>

#include "output/ManualAudioApi.h"
#include "output/PlayControl.h"
#include "patches/PatchPanel.h"
#include "shell/ConsoleView.h"
#include "shell/MenuCommands.h"
#include "shell/StreamTabs.h"
#include "tests/shell/CoreTestSupport.h"
#include "tests/shell/TempHome.h"

namespace shell {
namespace {

// A view that records what the core told it and answers its questions from a script (the default
// answer when the script runs dry: No, Cancel); the rest it prints as the console does.
class FakeView : public ConsoleView {
  public:
    struct Asked {
        std::string text, caption;
        Buttons buttons;
    };
    explicit FakeView(std::ostream& out) : ConsoleView(out, "") {}

    void setStatusText(int part, const std::string& text) override {
        status.at(static_cast<size_t>(part)) = text;
    }
    void setWindowTitle(const std::string& text) override { title = text; }
    void setChangeTimeText(const std::string& text) override { changeTimeText = text; }
    void setScrollPosition(int param, int32_t position) override {
        scrollPositions[param] = position;
        ++scrollMoves[param];
    }
    void setStreamTabs(const std::vector<StreamTab>& list, int selected) override {
        tabs = list;
        selectedTab = selected;
    }
    void setButton(int id, const ButtonState& state) override { buttons[id] = state; }
    void showDisplayedBank(int bank) override { displayedBank = bank; }
    void setSlotLabel(int slot, const std::string& label) override { slotLabels[slot] = label; }
    void setSlotSelected(int slot, bool selected) override { slotSelected[slot] = selected; }
    Reply ask(const std::string& text, const std::string& caption, Buttons kind) override {
        asked.push_back({text, caption, kind});
        return next(replies, kind == Buttons::YesNo ? Reply::No : Reply::Cancel);
    }
    std::optional<std::string> chooseFolder(const std::string&) override {
        return next(chosenFolders, std::optional<std::string>());
    }
    void openHelp(const std::optional<std::string>& keyword) override { helpOpened.push_back(keyword); }
    void closeWindow(int result) override { closedWith = result; }

    std::array<std::string, kStatusPartCount> status{};
    std::string title, changeTimeText;
    std::map<int, int32_t> scrollPositions;
    std::map<int, int> scrollMoves;  // how often each row was moved
    std::vector<StreamTab> tabs;
    int selectedTab = -1;
    std::map<int, ButtonState> buttons;
    int displayedBank = -1;
    std::map<int, std::string> slotLabels;
    std::map<int, bool> slotSelected;
    std::vector<Asked> asked;
    std::deque<Reply> replies;
    std::deque<std::optional<std::string>> chosenFolders;
    std::vector<std::optional<std::string>> helpOpened;
    std::optional<int> closedWith;

  private:
    template <typename T>
    static T next(std::deque<T>& script, T whenDry) {
        if (script.empty())
            return whenDry;
        T answer = script.front();
        script.pop_front();
        return answer;
    }
};

// A started core over a fake view; what the window shows of it the window tests check.
class AppCoreTest : public testing::TempHome {
  protected:
    void SetUp() override {
        TempHome::SetUp();
        app = std::make_unique<AppCore>(view, testing::testServices(server, settingsFile(), log));
        app->start();
    }
    void deliver(uint32_t message, int64_t w, int64_t l = 0) {
        app->queue().post(message, w, l);
        app->dispatchWaiting();
    }
    int32_t target(int param) { return app->engine().stream(0).param(param).target.load(); }

    output::ManualAudioServer server;
    std::ostringstream log;
    FakeView view{log};
    std::unique_ptr<AppCore> app;
};

TEST_F(AppCoreTest, FirstStartWithAnEmptyStoreShowsTheDefaultsAndEachWindowItsHelp) {
    // The change time 64 is one second; the label's 0xEE is the character î, in UTF-8. The default
    // patch is selected.
    EXPECT_EQ(std::tuple(view.status[0], view.status[4], view.title, view.tabs, view.selectedTab,
                         view.changeTimeText, view.displayedBank, view.slotSelected[0]),
              std::tuple("", "", "Frisson", std::vector<StreamTab>{{0, "Stream 1"}}, 0,
                         "  \xC3\xAE  parm chng time: 1.00 s", 0, true));
    EXPECT_EQ(std::tuple(view.buttons[kPlayButton].label, view.buttons[kPlayButton].checked,
                         view.buttons[kFileButton].label),
              std::tuple("&Play", false, ">>> F&ile  "));
    // Each row shows the default: the position is max − default + min.
    EXPECT_EQ(view.scrollPositions[engine::Amp], 1024 - 461 + 0);
    EXPECT_EQ(app->scrollPosition(engine::Pitch), 16384 - 6144 - 16384);

    // The output folder (the program's data folder) does not exist yet: the user is asked.
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].caption, "Session Configuration Problem");
    EXPECT_EQ(view.asked[0].text, "Could not find output soundfile folder \"" + app->programFolder() +
                                      "\".\nDo you want to specify a folder?");

    // Each window opens its help page, the main window the contents.
    for (const char* window :
         {"Fizz Login", "Patch Gesture", "In/Out Options", "Configure MIDI Response Options", "Frisson"})
        app->help(window);
    EXPECT_EQ(view.helpOpened,
              (std::vector<std::optional<std::string>>{"Login Window", "Gesture Window", "I/O Options",
                                                       "Midi response dialog", std::nullopt}));

    // Exit saves the settings with their defaults.
    EXPECT_TRUE(app->exit());
    EXPECT_EQ(view.closedWith, 1);
    const std::string saved = read(settingsFile());
    EXPECT_NE(saved.find("\"Sample rate\"=dword:00005622"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"Sound options\"=dword:0000004f"), std::string::npos) << saved;
}

TEST_F(AppCoreTest, CancellingABankSaveAtExitKeepsTheProgramRunning) {
    // Bank A renamed "Live" over an existing file of that name, with a patch stored (Shift-click).
    const auto existing = std::filesystem::path(app->programFolder()) / "Patches" / "Live.fpb";
    write(existing, "someone else's bank");
    app->bankNameLostFocus("Live");
    app->slotClick(patches::kFirstSlotButton, true, false);
    EXPECT_EQ(view.slotLabels[1], "Patch &1*");

    // The overwrite question is cancelled: the exit stops, the other file is untouched.
    view.asked.clear();
    EXPECT_FALSE(app->exit());
    ASSERT_EQ(view.asked.size(), 1u);
    // The settings were saved before the banks.
    EXPECT_EQ(std::tuple(view.asked[0].buttons, app->ended(), view.closedWith, read(existing),
                         std::filesystem::exists(settingsFile())),
              std::tuple(Buttons::OkCancel, false, std::nullopt, "someone else's bank", true));

    // Answered OK the next time, the bank is saved and the program ends.
    view.replies = {Reply::Ok};
    EXPECT_TRUE(app->exit());
    EXPECT_EQ(std::pair(read(existing) != "someone else's bank", view.closedWith),
              std::pair(true, std::optional(1)));
}

// The sound server goes away while play records: play ends, and so does the
// recording, its file closed with what it holds, and the status line says why.
TEST_F(AppCoreTest, ADeviceThatGoesAwayEndsTheRecordingWithWhatItHolds) {
    std::filesystem::create_directories(root / "out");
    view.chosenFolders = {(root / "out").string()};
    app->command(kCmdOutputFolder);
    app->fileButton();
    app->playButton();
    ASSERT_TRUE(app->recording() && app->playing());
    for (int n = 0; n < 20; ++n)
        server.runPeriod();
    server.dropStream();
    app->checkDevice();
    EXPECT_EQ(
        std::tuple(app->playing(), app->recording(), view.buttons[kFileButton].checked,
                   view.status[kMessagePart]),
        std::tuple(false, false, false,
                   "ERROR: Recording stopped: the sound device went away. The file holds everything up to "
                   "then."));

    const std::string bytes = read(root / "out" / "fizz.wav");
    ASSERT_GT(bytes.size(), 44u);
    uint32_t riff = 0, data = 0;
    std::memcpy(&riff, bytes.data() + 4, 4);
    std::memcpy(&data, bytes.data() + 40, 4);
    EXPECT_EQ(std::pair(riff, data), std::pair(uint32_t(bytes.size() - 8), uint32_t(bytes.size() - 44)));
}

TEST_F(AppCoreTest, ProgramChangesRecallASlotOrShowABankMonitorLinesShowAndScrollBarMovesCoalesce) {
    app->scroll(engine::Pitch, engine::ScrollCode::Top, 0, {});
    ASSERT_NE(target(engine::Pitch), 6144);
    deliver(platform::kMsgProgramChange, patches::kDefaultPatchButton);  // slot 0: the default patch
    EXPECT_EQ(target(engine::Pitch), 6144);
    deliver(platform::kMsgProgramChange, patches::kFirstBankButton + 3);  // a bank button's id
    EXPECT_EQ(view.displayedBank, 3);
    deliver(platform::kMsgMidiMonitor, 0x403C90);  // note on, channel 1, 60, 64
    EXPECT_EQ(view.status[kMessagePart], "MIDI input: Chn 1, Note on 60, 64");

    // A burst of scroll bar messages moves the bar once.
    const int before = view.scrollMoves[engine::Freq];
    for (int n = 0; n < 100; ++n)
        app->queue().post(platform::moveScrollBarMessage(engine::Freq), 1000 + n);
    app->dispatchWaiting();
    EXPECT_EQ(std::tuple(view.scrollMoves[engine::Freq], view.scrollPositions[engine::Freq],
                         app->scrollPosition(engine::Freq)),
              std::tuple(before + 1, 1099, 1099));
}

}  // namespace
}  // namespace shell
