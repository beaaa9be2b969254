#include "gui/MainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "gui/BankPanelWidget.h"
#include "gui/HelpViewer.h"
#include "gui/ParamRows.h"
#include "output/ManualAudioApi.h"
#include "shell/MenuCommands.h"
#include "tests/shell/CoreTestSupport.h"
#include "tests/shell/TempHome.h"

namespace gui {
namespace {

using engine::Amp;
using engine::PanPos;
using engine::Pitch;
using shell::testing::writeStereoWav;

// The window over a core with a sound server the test drives (one JACK device
// "system"), no MIDI ports, and settings in a fresh home.
class MainWindowTest : public shell::testing::TempHome {
  protected:
    void SetUp() override {
        TempHome::SetUp();
        // The output folder exists, so the start asks nothing.
        std::filesystem::create_directories(root / "data" / "frisson");
        shell::CoreServices services = shell::testing::testServices(server, settingsFile(), log);
        services.openMidi = false;
        window = std::make_unique<MainWindow>();
        core = std::make_unique<shell::AppCore>(*window, std::move(services));
        window->attach(*core);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        core->start();

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
    }

    void TearDown() override {
        modalWatch.stop();
        EXPECT_TRUE(unexpected.empty()) << "a box nobody expected: " << unexpected.front();
        EXPECT_TRUE(answers.empty()) << "a dialog that was expected did not open";
        window->detach();
        core.reset();
        window.reset();
    }

    // Opens a menu of the menu bar (the core sets its items) and closes it again.
    QMenu* openMenu(const std::string& label) {
        QMenu* menu = window->menu(label);
        menu->popup(window->mapToGlobal(QPoint(10, 10)));
        menu->hide();
        return menu;
    }
    QAction* item(int id) const { return window->menuAction(id); }
    std::string status(int part) const { return window->statusPart(part)->text().toStdString(); }
    void click(QWidget* widget, Qt::KeyboardModifiers held = {}) {
        QTest::mouseClick(widget, Qt::LeftButton, held);
    }
    // A click on the right-hand arrow of a parameter row.
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

    output::ManualAudioServer server;
    std::ostringstream log;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<shell::AppCore> core;
    QTimer modalWatch;
    std::deque<std::function<void(QWidget*)>> answers;
    std::vector<std::string> unexpected;
};

TEST_F(MainWindowTest, PlayGreysWhatCannotChangeWhileSoundIsRunning) {
    EXPECT_EQ(window->windowTitle(), "Frisson");
    openMenu("Co&mmand");
    EXPECT_TRUE(item(shell::kCmdIoOptions)->isEnabled());
    EXPECT_TRUE(item(shell::kCmdMidiResponse)->isEnabled());
    openMenu("&Stream");
    EXPECT_TRUE(item(shell::kCmdSpline)->isChecked()) << "the interpolation in use has the radio mark";
    EXPECT_FALSE(window->menu(shell::kStereoInputPopup)->menuAction()->isEnabled()) << "the sine is mono";
    openMenu("F&ile");
    EXPECT_TRUE(item(shell::kCmdTestTone)->isChecked());
    EXPECT_FALSE(item(shell::kCmdTestTone)->isEnabled()) << "greyed while it is the source";

    // Highlighting an item shows its tooltip in the first part of the status bar.
    QMenu* grain = window->menu(shell::kGrainOptionsPopup);
    grain->popup(window->mapToGlobal(QPoint(10, 10)));
    grain->setActiveAction(item(shell::kCmdHardSync));
    grain->hide();
    EXPECT_EQ(status(shell::kMessagePart), "Force a new grain when soundfile loop wraps around");

    QPushButton* play = window->button(shell::kPlayButton);
    EXPECT_EQ(play->text(), "&Play");
    click(play);
    ASSERT_TRUE(core->playing());
    EXPECT_EQ(play->text(), "Sto&p");
    EXPECT_TRUE(play->isChecked());

    openMenu("Co&mmand");
    EXPECT_FALSE(item(shell::kCmdIoOptions)->isEnabled());
    EXPECT_FALSE(item(shell::kCmdMidiResponse)->isEnabled());
    EXPECT_FALSE(window->menu(shell::kOutputOptionsPopup)->menuAction()->isEnabled());
    EXPECT_TRUE(item(shell::kCmdGestureWindow)->isEnabled());
    openMenu("&Stream");
    EXPECT_FALSE(window->menu(shell::kInterpolationPopup)->menuAction()->isEnabled());
    EXPECT_FALSE(window->menu(shell::kGrainOptionsPopup)->menuAction()->isEnabled());
    EXPECT_FALSE(item(shell::kCmdSpline)->isChecked()) << "no radio mark while playing";
}

TEST_F(MainWindowTest, TheFileButtonRecordsIntoTheChosenFolder) {
    const std::filesystem::path takes = root / "takes";
    std::filesystem::create_directories(takes);
    answers.push_back([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        chooser->setDirectory(QString::fromStdString(takes.string()));
        static_cast<QDialog*>(chooser)->accept();  // as its Choose button does
    });
    item(shell::kCmdOutputFolder)->trigger();
    EXPECT_EQ(status(shell::kMessagePart), "Soundfile path: " + takes.string());

    QPushButton* file = window->button(shell::kFileButton);
    EXPECT_EQ(file->text(), ">>> F&ile  ");
    click(file);
    ASSERT_TRUE(core->recording());
    EXPECT_TRUE(file->isChecked());
    openMenu("Co&mmand");
    EXPECT_FALSE(item(shell::kCmdNumberFiles)->isEnabled()) << "the numbering is fixed while recording";
    EXPECT_FALSE(item(shell::kCmdIoOptions)->isEnabled());

    click(file);
    EXPECT_FALSE(core->recording());
    EXPECT_FALSE(file->isChecked());
    EXPECT_TRUE(std::filesystem::exists(takes / "fizz.wav"));
}

TEST_F(MainWindowTest, ARowMovesItsParameterAndShowsTheCoresValueTexts) {
    ParamRows* rows = window->paramRows();
    // Amp's bar is mirrored: its right-hand arrow raises the value by one (461 -> 462).
    clickRightArrow(Amp);
    EXPECT_EQ(target(0, Amp), 462);
    EXPECT_EQ(rows->bar(Amp)->value(), 1024 - 462) << "the bar shows the core's position";
    EXPECT_EQ(rows->valueLabel(Amp)->text(), "462");
    EXPECT_EQ(status(shell::kMessagePart), "Sets output amplitude");
    EXPECT_EQ(status(shell::kValuePart), "90.23 %");  // 462 × 100 / 512
    EXPECT_EQ(window->outlinedControl(), shell::kAmpScrollBar);

    // Shift returns the row to its default; the Left key lowers it by one.
    clickRightArrow(Amp, Qt::ShiftModifier);
    EXPECT_EQ(target(0, Amp), 461);
    QTest::keyClick(rows->bar(Amp), Qt::Key_Left);
    EXPECT_EQ(target(0, Amp), 460);
    EXPECT_EQ(status(shell::kValuePart), "89.84 %");  // 460 × 100 / 512

    // PanPos keeps left on the left: its right-hand arrow moves the stream one step right.
    clickRightArrow(PanPos);
    EXPECT_EQ(target(0, PanPos), -1);
    EXPECT_EQ(status(shell::kValuePart), "0.4% right");  // 1 × 100 / 256
    EXPECT_EQ(window->outlinedControl(), shell::kFirstScrollBar + PanPos);
}

TEST_F(MainWindowTest, AShiftClickStoresAPatchAndAPlainClickRecallsIt) {
    BankPanelWidget* panel = window->bankPanel();
    QTest::keyClick(window->paramRows()->bar(Pitch), Qt::Key_Home);  // the largest pitch
    ASSERT_EQ(target(0, Pitch), 16384);

    click(panel->slotButton(1), Qt::ShiftModifier);
    EXPECT_EQ(panel->slotButton(1)->text(), "Patch &1*");
    EXPECT_TRUE(panel->slotButton(1)->isChecked());
    EXPECT_FALSE(panel->slotButton(0)->isChecked());
    EXPECT_EQ(status(shell::kMessagePart), "Stored current set of scrollbar values for grain generation");

    click(panel->slotButton(0));
    EXPECT_EQ(target(0, Pitch), 6144) << "the default patch";
    EXPECT_TRUE(panel->slotButton(0)->isChecked());
    EXPECT_FALSE(panel->slotButton(1)->isChecked());

    click(panel->slotButton(1));
    EXPECT_EQ(target(0, Pitch), 16384);
    EXPECT_EQ(window->paramRows()->bar(Pitch)->value(), -16384) << "the row follows the recall";
    EXPECT_TRUE(panel->slotButton(1)->isChecked());
    EXPECT_EQ(status(shell::kMessagePart), "Restore a patch for grain generation");

    // An empty slot recalls nothing and keeps the selection.
    click(panel->slotButton(2));
    EXPECT_FALSE(panel->slotButton(2)->isChecked());
    EXPECT_TRUE(panel->slotButton(1)->isChecked());
}

TEST_F(MainWindowTest, NewStemAndTheTabMenuKeepTheTabsInStreamOrder) {
    QTabBar* tabs = window->streamTabs();
    click(window->button(shell::kNewButton));
    click(window->button(shell::kNewButton));
    EXPECT_EQ(tabLabels(), (std::vector<std::string>{"Stream 1", "Stream 2", "Stream 3"}));
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_EQ(target(2, Amp), 0) << "a new stream starts silent";
    EXPECT_EQ(window->paramRows()->bar(Amp)->value(), 1024);
    EXPECT_EQ(window->outlinedControl(), shell::kAmpScrollBar);

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(core->engine().currentStream(), 1);
    click(window->button(shell::kStemButton));
    EXPECT_EQ(tabLabels(), (std::vector<std::string>{"Stream 1", "Stream 3"}));
    EXPECT_EQ(tabs->currentIndex(), 0) << "the tab to the left of the ended one";

    // A right-click on the second tab offers its stream's commands.
    const QPoint onTab = tabs->tabRect(1).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, onTab, tabs->mapToGlobal(onTab));
    QApplication::sendEvent(tabs, &rightClick);
    QMenu* menu = window->streamContextMenu();
    ASSERT_TRUE(menu->isVisible());
    const QList<QAction*> offered = menu->actions();
    ASSERT_EQ(offered.size(), 2);
    EXPECT_EQ(offered[0]->text(), "Mute Stream 3");
    EXPECT_EQ(offered[1]->text(), "Solo Stream 3");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(offered[0]).center());
    EXPECT_EQ(tabLabels(), (std::vector<std::string>{"Stream 1", "Stream 3  [  ]"}));
    EXPECT_EQ(status(shell::kMessagePart), "Mute Stream 3");
}

TEST_F(MainWindowTest, ALoadedSoundNamesTheWindowAndJoinsTheRecentFiles) {
    const std::filesystem::path wav = root / "stereo.wav";
    writeStereoWav(wav, 4000);
    answers.push_back([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->nameFilters(), QStringList{"Sound file (*.wav *.aif *.aiff *.aifc)"});
        chooser->selectFile(QString::fromStdString(wav.string()));
        static_cast<QDialog*>(chooser)->accept();
    });
    item(shell::kCmdLoadSound)->trigger();
    // The loader thread's message wakes the window's event loop, which hands the sound to the stream.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() != "Frisson"; }));
    EXPECT_EQ(window->windowTitle(), "stereo.wav - Fizz chops it");
    EXPECT_EQ(status(shell::kMessagePart), "Stream uses stereo.wav, default patch");

    openMenu("F&ile");
    const QList<QAction*> recent = window->menu("&Recent Soundfiles")->actions();
    ASSERT_EQ(recent.size(), 1);
    EXPECT_EQ(recent[0]->text(), "stereo.wav");
    recent[0]->hover();
    EXPECT_EQ(status(shell::kMessagePart), wav.string()) << "a recent file shows its full path";
    openMenu("&Stream");
    EXPECT_TRUE(window->menu(shell::kStereoInputPopup)->menuAction()->isEnabled());
    EXPECT_TRUE(item(shell::kCmdLeftChannel)->isChecked());
    EXPECT_TRUE(item(shell::kCmdRightChannel)->isChecked());
}

TEST_F(MainWindowTest, TheBankNameIsTakenWhenTheFieldLosesTheFocusAndTheUsedRowIsOutlined) {
    QLineEdit* name = window->bankPanel()->nameField();
    EXPECT_EQ(name->maxLength(), 63);
    name->setFocus();
    QTest::keyClicks(name, "Live<1>");
    // Using a row moves the focus there: the name is taken, without the characters a file name cannot hold.
    clickRightArrow(Amp);
    EXPECT_EQ(name->text(), "Live1");

    // The used row is outlined one pixel outside its frame in pure red.
    QScrollBar* amp = window->paramRows()->bar(Amp);
    ASSERT_EQ(window->outlinedControl(), shell::kAmpScrollBar);
    const QImage shot = window->grab().toImage();
    const QPoint corner = amp->mapTo(window.get(), QPoint(0, 0)) - QPoint(1, 1);
    EXPECT_EQ(shot.pixelColor(corner).rgb() & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shot.pixelColor(corner + QPoint(amp->width() + 1, amp->height() + 1)).rgb() & 0xFFFFFF,
              0xFF0000u);
    EXPECT_NE(shot.pixelColor(corner - QPoint(1, 1)).rgb() & 0xFFFFFF, 0xFF0000u) << "one pixel wide";
}

TEST_F(MainWindowTest, EscIsIgnoredWhileSilentF1OpensTheHelpAndTheCloseBoxExits) {
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(core->ended());
    EXPECT_TRUE(window->isVisible());

    QTest::keyClick(window.get(), Qt::Key_F1);
    ASSERT_NE(window->helpViewer(), nullptr);
    EXPECT_TRUE(window->helpViewer()->isVisible());
    EXPECT_EQ(window->helpViewer()->browser()->source().fragment(), "contents") << "the main window's help";
    EXPECT_EQ(HelpViewer::anchorFor("Midi response dialog"), "midi-response-dialog");

    EXPECT_TRUE(window->close());
    EXPECT_TRUE(core->ended());
    EXPECT_EQ(window->result(), 1);
    EXPECT_FALSE(window->helpViewer()->isVisible()) << "the help closes with the program";
    EXPECT_TRUE(std::filesystem::exists(settingsFile())) << "the exit sequence saved the settings";
}

}  // namespace
}  // namespace gui
