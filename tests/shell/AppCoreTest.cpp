#include "shell/AppCore.h"

#include <gtest/gtest.h>

#include <cstring>

#include "output/ManualAudioApi.h"
#include "output/PlayControl.h"
#include "patches/PatchPanel.h"
#include "shell/MenuCommands.h"
#include "shell/StreamTabs.h"
#include "tests/shell/CoreTestSupport.h"
#include "tests/shell/FakeView.h"
#include "tests/shell/TempHome.h"

namespace shell {
namespace {

using testing::FakeView;

class AppCoreTest : public testing::TempHome {
  protected:
    AppCore& core() {
        if (!core_)
            core_ = std::make_unique<AppCore>(view, testing::testServices(server, settingsFile(), log));
        return *core_;
    }
    AppCore& started() {
        core().start();
        return core();
    }
    // Drives the sound server until `done` holds (at most a few seconds of periods).
    void runPeriodsUntil(const std::function<bool()>& done) {
        for (int n = 0; n < 2000 && !done(); ++n) {
            server.runPeriod();
            core().dispatchWaiting();
        }
    }

    output::ManualAudioServer server;
    std::ostringstream log;
    FakeView view;
    std::unique_ptr<AppCore> core_;
};

TEST_F(AppCoreTest, FirstStartWithAnEmptyStoreShowsTheDefaults) {
    AppCore& app = started();
    EXPECT_EQ(view.status[0], "");
    EXPECT_EQ(view.status[4], "");
    EXPECT_EQ(view.title, "Frisson");
    ASSERT_EQ(view.tabs.size(), 1u);
    EXPECT_EQ(view.tabs[0].label, "Stream 1");
    EXPECT_EQ(view.selectedTab, 0);
    EXPECT_EQ(view.buttons[kPlayButton].label, "&Play");
    EXPECT_FALSE(view.buttons[kPlayButton].checked);
    EXPECT_EQ(view.buttons[kFileButton].label, ">>> F&ile  ");
    // The change time 64 is one second; the label's 0xEE is the character î, in UTF-8.
    EXPECT_EQ(view.changeTimeText, "  \xC3\xAE  parm chng time: 1.00 s");
    EXPECT_EQ(view.displayedBank, 0);
    EXPECT_TRUE(view.slotSelected[0]) << "the default patch is selected";
    // Each row shows the default: the position is max − default + min.
    EXPECT_EQ(view.scrollPositions[engine::Amp], 1024 - 461 + 0);
    EXPECT_EQ(app.scrollPosition(engine::Pitch), 16384 - 6144 - 16384);

    // The output folder (the program's data folder) does not exist yet: the user is asked.
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].caption, "Session Configuration Problem");
    EXPECT_EQ(view.asked[0].text, "Could not find output soundfile folder \"" + app.programFolder() +
                                      "\".\nDo you want to specify a folder?");

    // Exit saves the settings with their defaults.
    EXPECT_TRUE(app.exit());
    EXPECT_EQ(view.closedWith, 1);
    const std::string saved = read(settingsFile());
    EXPECT_NE(saved.find("\"Sample rate\"=dword:00005622"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"Sound options\"=dword:0000004f"), std::string::npos) << saved;
}

TEST_F(AppCoreTest, EscStopsPlayOnlyWhilePlayingAndTheCloseBoxExits) {
    AppCore& app = started();
    app.command(kCmdSoftStop);  // off: a stop request ends play at once
    app.cancel(true);
    EXPECT_FALSE(app.ended()) << "Esc with nothing playing does nothing";
    EXPECT_FALSE(view.closedWith.has_value());

    app.playButton();
    ASSERT_TRUE(app.playing());
    EXPECT_EQ(view.buttons[kPlayButton].label, "Sto&p");
    EXPECT_TRUE(view.buttons[kPlayButton].checked);
    app.cancel(true);
    runPeriodsUntil([&] { return !app.playing(); });
    EXPECT_FALSE(app.playing());
    EXPECT_EQ(view.buttons[kPlayButton].label, "&Play");
    EXPECT_FALSE(app.ended());

    app.cancel(false);
    EXPECT_TRUE(app.ended());
    EXPECT_EQ(view.closedWith, 1);
}

TEST_F(AppCoreTest, CancellingABankSaveAtExitKeepsTheProgramRunning) {
    AppCore& app = started();
    // Bank A renamed "Live" over an existing file of that name, with a patch stored (Shift-click).
    const auto existing = std::filesystem::path(app.programFolder()) / "Patches" / "Live.fpb";
    write(existing, "someone else's bank");
    app.bankNameLostFocus("Live");
    app.slotClick(patches::kFirstSlotButton, true, false);
    EXPECT_EQ(view.slotLabels[1], "Patch &1*");

    // The overwrite question is cancelled: the exit stops, the other file is untouched.
    view.asked.clear();
    EXPECT_FALSE(app.exit());
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].buttons, Buttons::OkCancel);
    EXPECT_FALSE(app.ended());
    EXPECT_FALSE(view.closedWith.has_value());
    EXPECT_EQ(read(existing), "someone else's bank");
    EXPECT_TRUE(std::filesystem::exists(settingsFile())) << "the settings were saved before the banks";

    // Answered OK the next time, the bank is saved and the program ends.
    view.replies = {Reply::Ok};
    EXPECT_TRUE(app.exit());
    EXPECT_NE(read(existing), "someone else's bank");
    EXPECT_EQ(view.closedWith, 1);
}

TEST_F(AppCoreTest, ABurstOfScrollBarMessagesMovesTheBarOnce) {
    AppCore& app = started();
    const int before = view.scrollMoves[engine::Freq];
    for (int n = 0; n < 100; ++n)
        app.queue().post(platform::moveScrollBarMessage(engine::Freq), 1000 + n);
    app.dispatchWaiting();
    EXPECT_EQ(view.scrollMoves[engine::Freq], before + 1);
    EXPECT_EQ(view.scrollPositions[engine::Freq], 1099);
    EXPECT_EQ(app.scrollPosition(engine::Freq), 1099);
}

TEST_F(AppCoreTest, NewStemAndSelectKeepTheTabsInStreamOrder) {
    AppCore& app = started();
    app.newButton();
    app.newButton();
    ASSERT_EQ(view.tabs.size(), 3u);
    EXPECT_EQ(view.tabs[2].label, "Stream 3");
    EXPECT_EQ(view.selectedTab, 2);
    EXPECT_EQ(view.focused, kAmpScrollBar);
    EXPECT_EQ(app.engine().stream(2).param(engine::Amp).target.load(), 0) << "a new stream starts silent";
    EXPECT_EQ(view.scrollPositions[engine::Amp], 1024);

    // Stem on the second tab selects the tab to its left.
    app.tabSelected(1);
    EXPECT_EQ(app.engine().currentStream(), 1);
    app.stemButton();
    ASSERT_EQ(view.tabs.size(), 2u);
    EXPECT_EQ(view.tabs[1].label, "Stream 3");
    EXPECT_EQ(app.engine().currentStream(), 0);

    // Muting number 3, now the second tab, relabels that tab.
    app.command(kCmdMuteStream + 2);
    EXPECT_EQ(view.tabs[1].label, "Stream 3  [  ]");
    EXPECT_EQ(view.status[kMessagePart], "Mute Stream 3");

    // Ending stream 1 and adding one reuses number 1 as the first tab.
    app.command(kCmdUnmuteStream + 2);
    EXPECT_EQ(view.tabs[1].label, "Stream 3");
    app.stemButton();
    ASSERT_EQ(view.tabs.size(), 1u);
    app.newButton();
    ASSERT_EQ(view.tabs.size(), 2u);
    EXPECT_EQ(view.tabs[0].label, "Stream 1");
    EXPECT_EQ(view.selectedTab, 0);

    // Stem with one stream left does nothing.
    app.stemButton();
    app.stemButton();
    EXPECT_EQ(view.tabs.size(), 1u);
    EXPECT_EQ(app.engine().streamCount(), 1);
}

TEST_F(AppCoreTest, SoloThenUnmuteAllPlaysEveryStreamAgain) {
    AppCore& app = started();
    app.newButton();
    app.newButton();
    app.tabContextMenu(1);
    ASSERT_EQ(view.contextMenu.size(), 2u) << "no other stream is muted or soloed";
    EXPECT_EQ(view.contextMenu[0].label, "Mute Stream 2");
    EXPECT_EQ(view.contextMenu[1].label, "Solo Stream 2");

    app.command(kCmdSoloStream + 1);
    EXPECT_EQ(view.tabs[0].label, "Stream 1  [  ]");
    EXPECT_EQ(view.tabs[1].label, "Stream 2  [S]");
    EXPECT_EQ(view.tabs[2].label, "Stream 3  [  ]");
    app.tabContextMenu(1);
    ASSERT_EQ(view.contextMenu.size(), 4u);
    EXPECT_EQ(view.contextMenu[1].label, "Unsolo Stream 2");
    EXPECT_EQ(view.contextMenu[3].id, kCmdUnmuteAll);

    app.command(kCmdUnmuteAll);
    for (const StreamTab& tab : view.tabs)
        EXPECT_EQ(tab.label, "Stream " + std::to_string(tab.stream + 1));
    EXPECT_EQ(view.status[kMessagePart], "Play all streams");
}

// The sound server goes away while play records: play ends, and so does the
// recording, its file closed with what it holds, and the status line says why.
TEST_F(AppCoreTest, ADeviceThatGoesAwayEndsTheRecordingWithWhatItHolds) {
    AppCore& app = started();
    std::filesystem::create_directories(root / "out");
    view.chosenFolders = {(root / "out").string()};
    app.command(kCmdOutputFolder);
    app.fileButton();
    app.playButton();
    ASSERT_TRUE(app.recording() && app.playing());
    for (int n = 0; n < 20; ++n)
        server.runPeriod();
    server.dropStream();
    app.checkDevice();
    EXPECT_FALSE(app.playing());
    EXPECT_FALSE(app.recording());
    EXPECT_FALSE(view.buttons[kFileButton].checked);
    EXPECT_EQ(view.status[kMessagePart],
              "ERROR: Recording stopped: the sound device went away. The file holds everything up to then.");

    const std::string bytes = read(root / "out" / "fizz.wav");
    ASSERT_GT(bytes.size(), 44u);
    const auto le32 = [&](size_t at) {
        uint32_t value = 0;
        std::memcpy(&value, bytes.data() + at, sizeof value);
        return value;
    };
    EXPECT_EQ(le32(4), bytes.size() - 8);
    EXPECT_EQ(le32(40), bytes.size() - 44);
}

TEST_F(AppCoreTest, ProgramChangesRecallASlotOrShowABank) {
    AppCore& app = started();
    app.scroll(engine::Pitch, engine::ScrollCode::Top, 0, {});
    ASSERT_NE(app.engine().stream(0).param(engine::Pitch).target.load(), 6144);
    // Slot 0 is the default patch.
    app.queue().post(platform::kMsgProgramChange, patches::kDefaultPatchButton, 0);
    app.dispatchWaiting();
    EXPECT_EQ(app.engine().stream(0).param(engine::Pitch).target.load(), 6144);
    // A bank button's id switches the displayed bank.
    app.queue().post(platform::kMsgProgramChange, patches::kFirstBankButton + 3, 0);
    app.dispatchWaiting();
    EXPECT_EQ(view.displayedBank, 3);
}

TEST_F(AppCoreTest, MonitorLinesAndHelpPages) {
    AppCore& app = started();
    app.queue().post(platform::kMsgMidiMonitor, 0x403C90);  // note on, channel 1, 60, 64
    app.dispatchWaiting();
    EXPECT_EQ(view.status[kMessagePart], "MIDI input: Chn 1, Note on 60, 64");

    // Each window's help page; the main window opens the contents.
    for (const char* window :
         {"Fizz Login", "Patch Gesture", "In/Out Options", "Configure MIDI Response Options", "Frisson"})
        app.help(window);
    EXPECT_EQ(view.helpOpened,
              (std::vector<std::optional<std::string>>{"Login Window", "Gesture Window", "I/O Options",
                                                       "Midi response dialog", std::nullopt}));
}

}  // namespace
}  // namespace shell
