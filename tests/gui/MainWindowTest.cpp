// The main window over a core, its gesture window, waveform strip and dialogs.
#include "gui/MainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <functional>
#include <tuple>

#include "gui/BankPanelWidget.h"
#include "gui/Dialogs.h"
#include "gui/GestureWindow.h"
#include "gui/HelpViewer.h"
#include "gui/ParamRows.h"
#include "gui/WaveformStrip.h"
#include "midi/MidiResponseDialog.h"
#include "shell/LoginDialog.h"
#include "shell/MenuCommands.h"
#include "tests/audio/TestFiles.h"
#include "tests/shell/CoreTestSupport.h"
#include "tests/shell/TempHome.h"

namespace gui {
namespace {

using namespace shell;
using engine::Amp, engine::PanPos, engine::Pitch;

// The control of `parent` of that type showing `text`.
template <typename Widget>
Widget* withText(const QWidget& parent, const QString& text) {
    for (Widget* widget : parent.findChildren<Widget*>())
        if (widget->text() == text)
            return widget;
    ADD_FAILURE() << "no control " << text.toStdString();
    return nullptr;
}

// The window over a core with a sound server the test drives (one JACK device
// "system"), no MIDI ports, and settings in a fresh home.
class MainWindowTest : public shell::testing::TempHome {
  protected:
    void SetUp() override {
        TempHome::SetUp();
        // The output folder (the program's data folder) exists, so the start asks nothing.
        if (outputFolderExists)
            std::filesystem::create_directories(root / "data" / "frisson");
        window = std::make_unique<MainWindow>();
        core = std::make_unique<AppCore>(*window, shell::testing::testServices(server, settingsFile(), log));
        window->attach(*core);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // A modal box or dialog is answered by the next scripted answer; one nobody expected
        // is closed and reported, so a test fails instead of waiting for a person.
        modalWatch.setInterval(0);
        QObject::connect(&modalWatch, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr)
                return;
            if (answers.empty()) {
                unexpected.push_back(modal->windowTitle().toStdString());
                modal->close();
                return;
            }
            const auto answer = answers.front();
            answers.pop_front();
            answer(modal);
        });
        modalWatch.start();
        core->start();
    }

    void TearDown() override {
        modalWatch.stop();
        EXPECT_TRUE(unexpected.empty()) << "a box nobody expected: " << unexpected.front();
        EXPECT_TRUE(answers.empty()) << "a dialog that was expected did not open";
        window->detach();
        core.reset();
        window.reset();
    }
    // Opens a menu of the menu bar (the core sets its items), highlights `active`, and closes it again.
    void openMenu(const std::string& label, QAction* active = nullptr) {
        QMenu* menu = window->menu(label);
        menu->popup(window->mapToGlobal(QPoint(10, 10)));
        if (active != nullptr)
            menu->setActiveAction(active);
        menu->hide();
    }
    QAction* item(int id) const { return window->menuAction(id); }
    bool enabled(int id) const { return item(id)->isEnabled(); }
    bool checked(int id) const { return item(id)->isChecked(); }
    bool popupEnabled(const std::string& label) const {
        return window->menu(label)->menuAction()->isEnabled();
    }
    std::string status(int part = kMessagePart) const {
        return window->statusPart(part)->text().toStdString();
    }
    void click(QWidget* widget, Qt::KeyboardModifiers held = {}) {
        QTest::mouseClick(widget, Qt::LeftButton, held);
    }
    void clickRightArrow(int param, Qt::KeyboardModifiers held = {}) {
        QScrollBar* bar = window->paramRows()->bar(param);
        QTest::mouseClick(bar, Qt::LeftButton, held, QPoint(bar->width() - 3, bar->height() / 2));
    }
    int32_t target(int stream, int param) { return core->engine().stream(stream).param(param).target.load(); }
    std::vector<std::string> tabLabels() const {
        std::vector<std::string> labels;
        for (int n = 0; n < window->streamTabs()->count(); ++n)
            labels.push_back(window->streamTabs()->tabText(n).toStdString());
        return labels;
    }
    // The commands the context menu of the tab at `index` offers (a separator has no text), and a
    // click on one of them.
    std::vector<std::string> tabMenu(int index) {
        QTabBar* tabs = window->streamTabs();
        const QPoint at = tabs->tabRect(index).center();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, tabs->mapToGlobal(at));
        QApplication::sendEvent(tabs, &rightClick);
        EXPECT_TRUE(window->streamContextMenu()->isVisible());
        std::vector<std::string> texts;
        for (const QAction* action : window->streamContextMenu()->actions())
            texts.push_back(action->text().toStdString());
        return texts;
    }
    void choose(int n) {
        QMenu* menu = window->streamContextMenu();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(n)).center());
    }
    // The next message box is answered with `button`; its title, text and buttons are kept in `asked`.
    void answerBox(QMessageBox::StandardButton button) {
        answers.push_back([=, this](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            asked.emplace_back(box->windowTitle().toStdString(), box->text().toStdString(),
                               box->standardButtons());
            box->button(button)->click();
        });
    }
    // The next file chooser is answered with `path`: a folder it opens, or a file it selects.
    void answerFileChooser(const std::filesystem::path& path, bool folder, QStringList filters = {}) {
        answers.push_back([=](QWidget* modal) {
            auto* chooser = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(chooser, nullptr);
            EXPECT_TRUE(filters.empty() || chooser->nameFilters() == filters)
                << chooser->nameFilters().join(";").toStdString();
            if (folder)
                chooser->setDirectory(QString::fromStdString(path.string()));
            else
                chooser->selectFile(QString::fromStdString(path.string()));
            static_cast<QDialog*>(chooser)->accept();  // as its Choose or Open button does
        });
    }

    output::ManualAudioServer server;
    std::ostringstream log;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<AppCore> core;
    QTimer modalWatch;
    std::deque<std::function<void(QWidget*)>> answers;
    std::vector<std::string> unexpected;
    std::vector<std::tuple<std::string, std::string, QMessageBox::StandardButtons>> asked;
    bool outputFolderExists = true;
};

TEST_F(MainWindowTest, PlayAndRecordingGreyWhatCannotChangeWhileSoundIsRunningAndALostDeviceEndsBoth) {
    // At the start: the change time 64 is one second (the label's 0xEE is the character î, in UTF-8),
    // the default patch is selected, and each row shows its default (Amp's bar: max − default + min).
    EXPECT_EQ(
        std::tuple(window->windowTitle().toStdString(), tabLabels(), window->streamTabs()->currentIndex(),
                   window->changeTimeLabel()->text().toStdString(),
                   window->bankPanel()->slotButton(0)->isChecked(), window->paramRows()->bar(Amp)->value(),
                   window->button(kPlayButton)->text().toStdString(),
                   window->button(kFileButton)->text().toStdString()),
        std::tuple("Frisson", std::vector<std::string>{"Stream 1"}, 0, "  \xC3\xAE  parm chng time: 1.00 s",
                   true, 1024 - 461 + 0, "&Play", ">>> F&ile  "));
    openMenu("Co&mmand");
    // The interpolation in use has the radio mark; the sine is the source, greyed, and mono; 14-bit
    // mode while relativeFine is clear.
    EXPECT_EQ(std::tuple(enabled(kCmdIoOptions), enabled(kCmdMidiResponse), checked(kCmdSpline),
                         popupEnabled(kStereoInputPopup), checked(kCmdTestTone), enabled(kCmdTestTone),
                         checked(kCmd32Bit), checked(kCmdSoftStop), checked(kCmdFineMode)),
              std::tuple(true, true, true, false, true, false, true, true, true));
    // Highlighting an item shows its tooltip in the first part of the status bar.
    openMenu(kGrainOptionsPopup, item(kCmdHardSync));
    EXPECT_EQ(status(), "Force a new grain when soundfile loop wraps around");
    item(kCmdLinear)->hover();
    EXPECT_EQ(status(), "") << "an item without a tooltip shows nothing";

    const std::filesystem::path takes = root / "takes";
    std::filesystem::create_directories(takes);
    answerFileChooser(takes, true);
    item(kCmdOutputFolder)->trigger();
    EXPECT_EQ(status(), "Soundfile path: " + takes.string());
    QPushButton* file = window->button(kFileButton);
    click(file);
    openMenu("Co&mmand");  // the numbering is fixed while recording
    EXPECT_EQ(
        std::tuple(core->recording(), file->isChecked(), enabled(kCmdNumberFiles), enabled(kCmdIoOptions)),
        std::tuple(true, true, false, false));
    click(file);
    EXPECT_EQ(std::tuple(core->recording(), file->isChecked(), std::filesystem::exists(takes / "fizz.wav")),
              std::tuple(false, false, true));

    QPushButton* play = window->button(kPlayButton);
    click(play);
    EXPECT_EQ(std::tuple(core->playing(), play->text().toStdString(), play->isChecked()),
              std::tuple(true, "Sto&p", true));
    openMenu("&Stream");
    // No radio mark while playing.
    EXPECT_EQ(std::tuple(enabled(kCmdIoOptions), enabled(kCmdMidiResponse), popupEnabled(kOutputOptionsPopup),
                         enabled(kCmdGestureWindow), popupEnabled(kInterpolationPopup),
                         popupEnabled(kGrainOptionsPopup), checked(kCmdSpline)),
              std::tuple(false, false, false, true, false, false, false));

    // The sound server goes away while play records: play ends, and so does the recording, its file
    // closed with what it holds, and the status line says why.
    click(file);
    ASSERT_TRUE(core->recording());
    for (int n = 0; n < 20; ++n)
        server.runPeriod();
    server.dropStream();
    core->checkDevice();
    EXPECT_EQ(
        std::tuple(core->playing(), core->recording(), file->isChecked(), status()),
        std::tuple(false, false, false,
                   "ERROR: Recording stopped: the sound device went away. The file holds everything up to "
                   "then."));
    // The RIFF and data sizes in the header count what the file holds.
    const audio::test::Bytes bytes = audio::test::readFile((takes / "fizz.wav").string());
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_EQ(std::pair(audio::test::le32At(bytes, 4), audio::test::le32At(bytes, 40)),
              std::pair(uint32_t(bytes.size() - 8), uint32_t(bytes.size() - 44)));
}

TEST_F(MainWindowTest, ARowMovesItsParameterTakesTheBankNameAndIsOutlinedAndPatchSlotsStoreAndRecallTheRows) {
    QLineEdit* name = window->bankPanel()->nameField();
    EXPECT_EQ(name->maxLength(), 63);
    name->setFocus();
    QTest::keyClicks(name, "Live<1>");
    // Amp's bar is mirrored: its right-hand arrow raises the value by one (461 -> 462), and the bar
    // shows the core's position. Using a row moves the focus there: the name is taken, without the
    // characters a file name cannot hold.
    ParamRows* rows = window->paramRows();
    clickRightArrow(Amp);
    EXPECT_EQ(std::tuple(target(0, Amp), rows->bar(Amp)->value(), rows->valueLabel(Amp)->text().toStdString(),
                         name->text().toStdString(), window->outlinedControl()),
              std::tuple(462, 1024 - 462, "462", "Live1", kAmpScrollBar));
    EXPECT_EQ(std::tuple(status(), status(kValuePart)),
              std::tuple("Sets output amplitude", "90.23 %"));  // 462 × 100 / 512
    // The used row is outlined one pixel outside its frame in pure red.
    QScrollBar* amp = rows->bar(Amp);
    const QImage shot = window->grab().toImage();
    const QPoint corner = amp->mapTo(window.get(), QPoint(0, 0)) - QPoint(1, 1);
    const auto red = [&](QPoint at) { return (shot.pixelColor(at).rgb() & 0xFFFFFF) == 0xFF0000u; };
    // One pixel wide: the pixel outside the outline's corner is not red.
    EXPECT_EQ(std::tuple(red(corner), red(corner + QPoint(amp->width() + 1, amp->height() + 1)),
                         red(corner - QPoint(1, 1))),
              std::tuple(true, true, false));
    // Shift returns the row to its default; the Left key lowers it by one.
    clickRightArrow(Amp, Qt::ShiftModifier);
    EXPECT_EQ(target(0, Amp), 461);
    QTest::keyClick(amp, Qt::Key_Left);
    EXPECT_EQ(std::tuple(target(0, Amp), status(kValuePart)), std::tuple(460, "89.84 %"));  // 460 × 100 / 512
    // PanPos keeps left on the left: its right-hand arrow moves the stream one step right.
    clickRightArrow(PanPos);
    EXPECT_EQ(std::tuple(target(0, PanPos), status(kValuePart), window->outlinedControl()),
              std::tuple(-1, "0.4% right", kFirstScrollBar + PanPos));  // 1 × 100 / 256

    // A Shift-click stores a patch, a plain click recalls it.
    BankPanelWidget* panel = window->bankPanel();
    QScrollBar* pitch = window->paramRows()->bar(Pitch);
    const auto selected = [&] {
        return std::tuple(panel->slotButton(0)->isChecked(), panel->slotButton(1)->isChecked(),
                          panel->slotButton(2)->isChecked());
    };
    QTest::keyClick(pitch, Qt::Key_Home);  // the largest pitch
    ASSERT_EQ(target(0, Pitch), 16384);
    click(panel->slotButton(1), Qt::ShiftModifier);
    EXPECT_EQ(std::tuple(panel->slotButton(1)->text().toStdString(), selected(), status()),
              std::tuple("Patch &1*", std::tuple(false, true, false),
                         "Stored current set of scrollbar values for grain generation"));
    click(panel->slotButton(0));  // the default patch
    EXPECT_EQ(std::pair(target(0, Pitch), selected()), std::pair(6144, std::tuple(true, false, false)));
    click(panel->slotButton(1));  // the row follows the recall
    EXPECT_EQ(
        std::tuple(target(0, Pitch), pitch->value(), selected(), status()),
        std::tuple(16384, -16384, std::tuple(false, true, false), "Restore a patch for grain generation"));
    click(panel->slotButton(2));  // an empty slot recalls nothing and keeps the selection
    EXPECT_EQ(selected(), std::tuple(false, true, false));
}

TEST_F(MainWindowTest, NewStemAndTheTabMenuKeepTheTabsInStreamOrderAndReuseStreamNumbers) {
    QTabBar* tabs = window->streamTabs();
    using Labels = std::vector<std::string>;
    click(window->button(kNewButton));
    click(window->button(kNewButton));
    EXPECT_EQ(tabLabels(), (Labels{"Stream 1", "Stream 2", "Stream 3"}));
    // A new stream starts silent.
    EXPECT_EQ(std::tuple(tabs->currentIndex(), target(2, Amp), window->paramRows()->bar(Amp)->value(),
                         window->outlinedControl()),
              std::tuple(2, 0, 1024, kAmpScrollBar));

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(core->engine().currentStream(), 1);
    click(window->button(kStemButton));  // the tab to the left of the ended one is selected
    EXPECT_EQ(std::tuple(tabLabels(), tabs->currentIndex(), core->engine().currentStream()),
              std::tuple(Labels{"Stream 1", "Stream 3"}, 0, 0));
    // A right-click on a tab offers its stream's commands.
    EXPECT_EQ(tabMenu(1), (Labels{"Mute Stream 3", "Solo Stream 3"}));
    choose(0);
    EXPECT_EQ(std::tuple(tabLabels(), status()),
              std::tuple(Labels{"Stream 1", "Stream 3  [  ]"}, "Mute Stream 3"));
    core->command(kCmdUnmuteStream + 2);
    click(window->button(kNewButton));  // number 2 is free again
    EXPECT_EQ(std::pair(tabLabels(), tabs->currentIndex()),
              std::pair(Labels{"Stream 1", "Stream 2", "Stream 3"}, 1));
    // Solo, then unmute all plays every stream again.
    EXPECT_EQ(tabMenu(1), (Labels{"Mute Stream 2", "Solo Stream 2"})) << "no other stream is muted or soloed";
    choose(1);
    EXPECT_EQ(tabLabels(), (Labels{"Stream 1  [  ]", "Stream 2  [S]", "Stream 3  [  ]"}));
    EXPECT_EQ(tabMenu(1), (Labels{"Mute Stream 2", "Unsolo Stream 2", "", "Unmute all streams"}));
    choose(3);
    EXPECT_EQ(std::pair(tabLabels(), status()),
              std::pair(Labels{"Stream 1", "Stream 2", "Stream 3"}, std::string("Play all streams")));
    // Ending stream 1 and adding one reuses number 1 as the first tab; the last stream stays.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    click(window->button(kStemButton));
    click(window->button(kNewButton));
    EXPECT_EQ(std::pair(tabLabels(), tabs->currentIndex()),
              std::pair(Labels{"Stream 1", "Stream 2", "Stream 3"}, 0));
    for (int n = 0; n < 3; ++n)
        click(window->button(kStemButton));
    EXPECT_EQ(std::pair(tabs->count(), core->engine().streamCount()), std::pair(1, 1));
}

TEST_F(MainWindowTest, ALoadedSoundNamesTheWindowJoinsTheRecentFilesAndOffersItsChannels) {
    const std::filesystem::path wav = root / "stereo.wav";
    std::vector<int16_t> ramp(2 * 4000);  // 4000 stereo frames of a quiet ramp
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<int16_t>(i % 2000);
    audio::test::writeFile(wav.string(), audio::test::waveFile(1, 2, 44100, 16, audio::test::rawBytes(ramp)));
    answerFileChooser(wav, false, {"Sound file (*.wav *.aif *.aiff *.aifc)"});
    item(kCmdLoadSound)->trigger();
    // The loader thread's message wakes the window's event loop, which hands the sound to the stream.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() != "Frisson"; }));
    EXPECT_EQ(std::tuple(window->windowTitle().toStdString(), status()),
              std::tuple("stereo.wav - Fizz chops it", "Stream uses stereo.wav, default patch"));

    openMenu("F&ile");
    const QList<QAction*> recent = window->menu("&Recent Soundfiles")->actions();
    ASSERT_EQ(recent.size(), 1);
    EXPECT_EQ(recent[0]->text(), "stereo.wav");
    recent[0]->hover();
    EXPECT_EQ(status(), wav.string()) << "a recent file shows its full path";
    // The stereo input's channels, even while playing; the sine may be chosen again.
    click(window->button(kPlayButton));
    openMenu("&Stream");
    EXPECT_EQ(std::tuple(popupEnabled(kStereoInputPopup), checked(kCmdLeftChannel), checked(kCmdRightChannel),
                         checked(kCmdLoadSound), enabled(kCmdTestTone)),
              std::tuple(true, true, true, true, true));
    item(kCmdLeftChannel)->trigger();
    openMenu("&Stream");
    EXPECT_FALSE(checked(kCmdLeftChannel));
    item(kCmdRightChannel)->trigger();  // no channel left: the left one comes back
    openMenu("&Stream");
    EXPECT_EQ(std::tuple(checked(kCmdLeftChannel), checked(kCmdRightChannel)), std::tuple(true, false));
    item(kCmdTestTone)->trigger();
    EXPECT_EQ(window->windowTitle(), "Frisson");
}

TEST_F(MainWindowTest, EscStopsOnlyWhatPlaysF1OpensTheHelpAndTheCloseBoxExits) {
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(std::pair(core->ended(), window->isVisible()), std::pair(false, true));
    item(kCmdSoftStop)->trigger();  // off: a stop request ends play at once
    QPushButton* play = window->button(kPlayButton);
    click(play);
    ASSERT_TRUE(core->playing());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.runPeriod(), !core->playing(); }));
    EXPECT_EQ(std::tuple(play->text().toStdString(), play->isChecked(), core->ended()),
              std::tuple("&Play", false, false));

    QTest::keyClick(window.get(), Qt::Key_F1);  // the main window's help
    ASSERT_NE(window->helpViewer(), nullptr);
    EXPECT_EQ(
        std::pair(window->helpViewer()->isVisible(), window->helpViewer()->browser()->source().fragment()),
        std::pair(true, QString("contents")));
    // The help closes with the program; the exit sequence saves the settings.
    EXPECT_TRUE(window->close());
    EXPECT_EQ(std::tuple(core->ended(), window->result(), window->helpViewer()->isVisible(),
                         std::filesystem::exists(settingsFile())),
              std::tuple(true, 1, false, true));
}

// A first start: the output folder does not exist yet, and the user is asked for one (No).
class FirstStartTest : public MainWindowTest {
  protected:
    FirstStartTest() {
        outputFolderExists = false;
        answerBox(QMessageBox::No);
    }
};

TEST_F(FirstStartTest,
       AsksForTheOutputFolderEachWindowOpensItsHelpAndExitSavesTheSettingsThenAsksForTheBanks) {
    using Asked = decltype(asked);
    EXPECT_EQ(asked, (Asked{{"Session Configuration Problem",
                             "Could not find output soundfile folder \"" + core->programFolder() +
                                 "\".\nDo you want to specify a folder?",
                             QMessageBox::Yes | QMessageBox::No}}));
    // Each window opens its help page, the main window the contents.
    std::vector<QString> anchors;
    for (const char* title :
         {"Fizz Login", "Patch Gesture", "In/Out Options", "Configure MIDI Response Options", "Frisson"}) {
        core->help(title);
        anchors.push_back(window->helpViewer()->browser()->source().fragment());
    }
    EXPECT_EQ(anchors, (std::vector<QString>{"login-window", "gesture-window", "io-options",
                                             "midi-response-dialog", "contents"}));
    // Bank A renamed "Live" over an existing file of that name, with a patch stored (Shift-click).
    const auto existing = std::filesystem::path(core->programFolder()) / "Patches" / "Live.fpb";
    write(existing, "someone else's bank");
    core->bankNameLostFocus("Live");
    core->slotClick(patches::kFirstSlotButton, true, false);
    // The overwrite question at exit is cancelled: the exit stops, the other file is untouched. The
    // settings were saved before the banks, with their defaults.
    asked.clear();
    answerBox(QMessageBox::Cancel);
    EXPECT_FALSE(core->exit());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(std::tuple(std::get<2>(asked[0]), core->ended(), window->result(), read(existing)),
              std::tuple(QMessageBox::Ok | QMessageBox::Cancel, false, std::nullopt, "someone else's bank"));
    EXPECT_NE(read(settingsFile()).find("\"Sample rate\"=dword:00005622"), std::string::npos);
    // Answered OK the next time, the bank is saved and the program ends.
    answerBox(QMessageBox::Ok);
    EXPECT_TRUE(core->exit());
    EXPECT_EQ(std::pair(read(existing) != "someone else's bank", window->result()),
              std::pair(true, std::optional(1)));
}

TEST_F(MainWindowTest, ProgramChangesRecallASlotOrShowABankMonitorLinesShowAndScrollBarMovesCoalesce) {
    const auto deliver = [&](uint32_t message, int64_t first) {
        core->queue().post(message, first);
        core->dispatchWaiting();
    };
    core->scroll(Pitch, engine::ScrollCode::Top, 0, {});
    ASSERT_NE(target(0, Pitch), 6144);
    deliver(platform::kMsgProgramChange, patches::kDefaultPatchButton);  // slot 0: the default patch
    EXPECT_EQ(target(0, Pitch), 6144);
    deliver(platform::kMsgProgramChange, patches::kFirstBankButton + 3);  // a bank button's id
    EXPECT_TRUE(window->bankPanel()->bankButton(3)->isChecked());
    deliver(platform::kMsgMidiMonitor, 0x403C90);  // note on, channel 1, 60, 64
    EXPECT_EQ(status(), "MIDI input: Chn 1, Note on 60, 64");
    // A burst of scroll bar messages is one message (the queue keeps the newest position): the bar
    // moves to the last position.
    for (int n = 0; n < 100; ++n)
        core->queue().post(platform::moveScrollBarMessage(engine::Freq), 1000 + n);
    core->dispatchWaiting();
    EXPECT_EQ(std::pair(window->paramRows()->bar(engine::Freq)->value(), core->scrollPosition(engine::Freq)),
              std::pair(1099, 1099));
}

// The gesture window of the Stream menu: the pad's logic mixes the corners where the marker is, and
// the mouse over the window moves it.
TEST_F(MainWindowTest, TheGestureWindowMovesTheMarkerOffersTheCornersAndRolls) {
    core->bankNameLostFocus("Strings");
    for (int slot : {0, 1})
        core->slotClick(patches::kFirstSlotButton + slot, true, false);
    item(kCmdGestureWindow)->trigger();
    GestureWindow* gesture = window->gestureWindow();
    ASSERT_TRUE(gesture != nullptr && QTest::qWaitForWindowExposed(gesture));
    EXPECT_EQ(gesture->windowTitle(), "Patch Gesture");
    // The widget under a point, which Qt gives the mouse.
    const auto under = [&](QPoint at) {
        return gesture->childAt(at) != nullptr ? gesture->childAt(at) : gesture;
    };
    const shell::PadRect r = gesture->padRect();
    shell::GesturePad& pad = core->gesture();
    const auto marker = [&] { return std::pair(pad.markerX(), pad.markerY()); };
    EXPECT_EQ(marker(), std::pair(r.left + 7, r.top + 7));
    // Just inside the pad's top-left: the pointer is clamped to (left + 9, top + 9), the marker's
    // corner to (left + 2, top + 2).
    const QPoint topLeft(r.left + 1, r.top + 1);
    QWidget* target = under(topLeft);
    QTest::mousePress(target, Qt::LeftButton, {}, topLeft);
    EXPECT_EQ(std::pair(pad.dragging(), marker()), std::pair(true, std::pair(r.left + 2, r.top + 2)));
    // Dragged out beyond the bottom-right: the marker stops at (right - 15, bottom - 15).
    QTest::mouseMove(target, QPoint(r.right + 40, r.bottom + 40));
    EXPECT_EQ(marker(), std::pair(r.right - 15, r.bottom - 15));
    // Released at the top-right; later moves do nothing.
    QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(r.right - 8, r.top + 9));
    EXPECT_EQ(std::pair(pad.dragging(), marker()), std::pair(false, std::pair(r.right - 15, r.top + 2)));
    QTest::mouseMove(target, topLeft);
    EXPECT_EQ(marker(), std::pair(r.right - 15, r.top + 2));
    // Three entries: corners 0..2 take entries 0..2, the fourth has none left and takes "Default";
    // choosing A1 there gives its code, bank A (1 × 256), slot 0.
    std::vector<int> selected;
    for (const char* corner : {"topLeft", "topRight", "bottomLeft", "bottomRight"})
        selected.push_back(gesture->findChild<QComboBox*>(corner)->currentIndex());
    auto* last = gesture->findChild<QComboBox*>("bottomRight");
    EXPECT_EQ(std::tuple(selected, last->count(), last->itemText(1).toStdString()),
              std::tuple(std::vector<int>{0, 1, 2, 0}, 3, "A1 (Strings)"));
    QTest::keyClick(last, Qt::Key_Down);
    EXPECT_EQ(std::pair(last->currentText().toStdString(), pad.cornerCode(3)),
              std::pair(std::string("A1 (Strings)"), 256));
    // Not playing: "&Record" only unchecks itself.
    auto* record = withText<QPushButton>(*gesture, "&Record");
    ASSERT_NE(record, nullptr);
    QTest::mouseClick(record, Qt::LeftButton);
    EXPECT_EQ(std::pair(record->isChecked(), pad.recording()), std::pair(false, false));
    // A double click on the strip above the pad rolls the window up to that strip and down again.
    const int fullHeight = gesture->height();
    const QPoint strip(gesture->width() / 2, r.top / 2);
    for (bool up : {true, false}) {
        QTest::mouseDClick(under(strip), Qt::LeftButton, {}, strip);
        QTest::mouseRelease(under(strip), Qt::LeftButton, {}, strip);
        EXPECT_EQ(std::pair(pad.rolledUp(), gesture->height()), std::pair(up, up ? r.top : fullHeight));
    }

    QTest::mouseClick(withText<QPushButton>(*gesture, "&Close"), Qt::LeftButton);
    EXPECT_EQ(std::pair(pad.isOpen(), gesture->isVisible()), std::pair(false, false));
}

// The strip's play region: Start and Length of the current stream, in 4096ths of the sound.
TEST(WaveformStripTest, ShowsThePlayRegionAndWrapsItPastTheEnd) {
    sounds::SoundTable sounds{44100};
    engine::Engine engine{sounds, engine::OutputFormat{44100, true, 256, 4}};  // stream 0 plays the sine
    WaveformStrip strip(engine, nullptr);
    strip.resize(400, strip.height());
    strip.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));

    engine.setParameter(0, engine::Start, 1024);   // from 1/4 ...
    engine.setParameter(0, engine::Length, 1024);  // ... to 1/2: pixels 100..199
    QImage image = strip.grab().toImage();
    // The waveform never reaches the top row: there only the region's band shows.
    const auto top = [&image](int x) { return image.pixelColor(x, 0); };
    const QColor plain = top(300), band = top(150);
    EXPECT_NE(band, plain);
    EXPECT_EQ(std::tuple(top(100), top(199), top(99), top(200)), std::tuple(band, band, plain, plain));
    // The sine's waveform fills the rows between.
    int drawn = 0;
    for (int x = 0; x < 400; ++x)
        drawn += image.pixelColor(x, strip.height() / 2) != top(x) ? 1 : 0;
    EXPECT_GT(drawn, 0);

    engine.setParameter(0, engine::Start, 3072);   // from 3/4 ...
    engine.setParameter(0, engine::Length, 2048);  // ... past the end to 1/4: 300..399 and 0..99
    image = strip.grab().toImage();
    EXPECT_EQ(std::tuple(top(0), top(99), top(300), top(399), top(100), top(299)),
              std::tuple(band, band, band, band, plain, plain));
}

// ---- The dialogs, shown over their logic

template <typename Widget>
Widget* named(const QWidget& parent, const char* name) {
    auto* widget = parent.findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// A click on a check box or radio from the keyboard (the space bar toggles it as a click does).
void press(QAbstractButton* button) {
    QTest::keyClick(button, Qt::Key_Space);
}

std::unique_ptr<QDialog> shown(std::unique_ptr<QDialog> dialog) {
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
}

struct IoOptionsWindowTest : ::testing::Test, shell::testing::IoOptionsRig {
    IoOptionsWindowTest() : IoOptionsRig(22050) {}
};

TEST_F(IoOptionsWindowTest, OkKeepsWhatThePagesChangedAndCancelPutsItBack) {
    std::vector<std::string> helpAsked;
    const HelpRequest help = [&helpAsked](const std::string& keyword) { helpAsked.push_back(keyword); };
    shell::IoOptionsDialog edited(parts(), [](std::chrono::milliseconds) {});
    auto dialog = shown(makeIoOptionsDialog(nullptr, edited, help));
    auto* rates = named<QComboBox>(*dialog, "sampleRate");
    auto* label = named<QLabel>(*dialog, "bufferLabel");
    ASSERT_TRUE(rates && label);
    const auto shows = [&] {
        return std::tuple(rates->currentText().toStdString(), label->text().toStdString());
    };
    EXPECT_EQ(dialog->windowTitle(), "In/Out Options");
    EXPECT_EQ(shows(), std::tuple("22050", "1024 frames, 46 ms"));  // 4 × 256 frames at 22050 Hz
    QTest::keyClick(rates, Qt::Key_Up);                             // the rate listed before 22050
    EXPECT_EQ(shows(), std::tuple("32000", "1024 frames, 32 ms"));
    press(withText<QCheckBox>(*dialog, "Stereo"));
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(helpAsked, std::vector<std::string>{"I/O Options"});
    QTest::mouseClick(withText<QPushButton>(*dialog, "&OK"), Qt::LeftButton);
    EXPECT_EQ(std::tuple(dialog->result(), sound.sampleRate, sound.stereo, engine.outputFormat().rate),
              std::tuple(QDialog::Accepted, 32000u, false, 32000u));

    shell::IoOptionsDialog undone(parts(), [](std::chrono::milliseconds) {});
    auto again = shown(makeIoOptionsDialog(nullptr, undone, help));
    auto* stereo = withText<QCheckBox>(*again, "Stereo");
    EXPECT_FALSE(stereo->isChecked());
    press(stereo);
    ASSERT_TRUE(sound.stereo);
    QTest::mouseClick(withText<QPushButton>(*again, "&Cancel"), Qt::LeftButton);
    EXPECT_EQ(std::pair(again->result(), sound.stereo), std::pair(int(QDialog::Rejected), false));
}

TEST(MidiResponseWindowTest, ControlsFollowTheOptionsCancelRestoresThemAndAConfirmedRowIsStoredPacked) {
    midi::MidiControlSettings settings;  // note pitches off, notes never stop the sound
    midi::MidiResponseDialog logic(settings);
    auto dialog = shown(makeMidiResponseDialog(nullptr, logic, {}));
    EXPECT_EQ(dialog->windowTitle(), "Configure MIDI Response Options");
    auto* newNoteOn = withText<QRadioButton>(*dialog, "New Note on");
    auto* untied = withText<QRadioButton>(*dialog, "(Untied) Note off");
    EXPECT_EQ(std::pair(newNoteOn->isEnabled(), untied->isEnabled()), std::pair(false, false));

    press(withText<QCheckBox>(*dialog, "Note value --> Pitch"));
    EXPECT_TRUE(settings.noteToPitch.load());
    press(withText<QCheckBox>(*dialog, "Note-off Stops Sound:"));
    EXPECT_EQ(std::tuple(newNoteOn->isEnabled(), untied->isChecked(), newNoteOn->isChecked(),
                         settings.noteStopMode.load()),
              std::tuple(true, true, false, 4));
    press(newNoteOn);
    EXPECT_EQ(std::tuple(newNoteOn->isChecked(), untied->isChecked(), settings.noteStopMode.load()),
              std::tuple(true, false, 2));
    auto* bend = named<QSlider>(*dialog, "pitchBendRange");
    QTest::keyClick(bend, Qt::Key_Right);
    QTest::keyClick(bend, Qt::Key_Right);
    EXPECT_EQ(std::pair(named<QLabel>(*dialog, "pitchBendLabel")->text().toStdString(),
                        settings.maxPitchBend.load()),
              std::pair(std::string("2 notes"), 2));

    QTest::mouseClick(withText<QPushButton>(*dialog, "&Cancel"), Qt::LeftButton);
    EXPECT_EQ(std::tuple(dialog->result(), settings.noteToPitch.load(), settings.noteStopMode.load(),
                         settings.maxPitchBend.load()),
              std::tuple(QDialog::Rejected, false, 0, 0));

    midi::MidiResponseDialog rows(settings);
    auto edit = shown(makeMidiResponseDialog(nullptr, rows, {}));
    QTest::keyClick(named<QComboBox>(*edit, "source1"), Qt::Key_Down);  // "Velocity"
    auto* target = named<QComboBox>(*edit, "target1");
    QTest::keyClick(target, Qt::Key_End);
    EXPECT_EQ(target->currentText(), "Output amp");
    auto* to = named<QLineEdit>(*edit, "to1");
    to->clear();
    QTest::keyClicks(to, "150");
    // Enter leaves the edit (clamped to 100) and presses OK.
    QTest::keyClick(to, Qt::Key_Return);
    EXPECT_EQ(std::pair(to->text().toStdString(), edit->result()),
              std::pair(std::string("100"), int(QDialog::Accepted)));
    // Source index 1 in bits 28..31 with the velocity flag 0x4000000, target 12 in bits 16..19,
    // From 0, To 100.
    EXPECT_EQ(settings.rows[0].load(), 0x140C0064u);
}

TEST(LoginWindowTest, LogsInATypedNameAndDeletesAUserWithCtrlShift) {
    platform::SettingsStore store;
    for (const char* name : {"amy", "bob"})
        store.setText(std::string("Software\\Wavecraft\\Frisson\\Users\\") + name, "Version", "v");
    std::vector<std::string> helpAsked;
    const HelpRequest help = [&helpAsked](const std::string& keyword) { helpAsked.push_back(keyword); };

    shell::LoginDialog asBob(store, "bob", true);
    auto dialog = shown(makeLoginDialog(nullptr, asBob, help));
    EXPECT_EQ(dialog->windowTitle(), "Fizz Login");
    auto* names = named<QComboBox>(*dialog, "loginName");
    EXPECT_EQ(std::pair(names->count(), names->currentText().toStdString()),
              std::pair(3, std::string("bob")));
    QTest::keyClick(names, Qt::Key_F1);
    EXPECT_EQ(helpAsked, std::vector<std::string>{"Login Window"});
    press(withText<QCheckBox>(*dialog, "Don't show this dialog next session."));
    EXPECT_FALSE(asBob.doStartupLogin());
    // Bob is logged in and selected: Log In with Ctrl and Shift deletes him and stays open.
    QPushButton* logIn = withText<QPushButton>(*dialog, "Log In");
    QTest::mouseClick(logIn, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(std::tuple(dialog->isVisible(), names->count(), names->currentText().toStdString(),
                         store.keyExists("Software\\Wavecraft\\Frisson\\Users\\bob")),
              std::tuple(true, 2, "Default", false));
    names->lineEdit()->clear();
    QTest::keyClicks(names->lineEdit(), "carol");
    QTest::mouseClick(logIn, Qt::LeftButton);
    EXPECT_EQ(std::pair(dialog->result(), asBob.userName()),
              std::pair(int(QDialog::Accepted), std::string("carol")));

    shell::LoginDialog asAmy(store, "amy", true);
    auto second = shown(makeLoginDialog(nullptr, asAmy, help));
    QTest::mouseClick(withText<QPushButton>(*second, "Use Default"), Qt::LeftButton);
    EXPECT_EQ(std::pair(second->result(), asAmy.userName()),
              std::pair(int(QDialog::Accepted), std::string()));
}

}  // namespace
}  // namespace gui

// Under LeakSanitizer: fontconfig keeps its caches until the process ends, which Qt
// cannot free; those allocations are not the program's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

// The widget tests need a QApplication before the first test builds a widget.
int main(int argc, char** argv) {
    // Listing the tests at build time runs without CTest's environment: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
