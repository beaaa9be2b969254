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
#include <functional>
#include <sstream>
#include <tuple>

#include "gui/BankPanelWidget.h"
#include "gui/HelpViewer.h"
#include "gui/ParamRows.h"
#include "output/ManualAudioApi.h"
#include "shell/MenuCommands.h"
#include "tests/shell/CoreTestSupport.h"
#include "tests/shell/TempHome.h"

namespace gui {
namespace {

using namespace shell;
using engine::Amp;
using engine::PanPos;
using engine::Pitch;

// The window over a core with a sound server the test drives (one JACK device
// "system"), no MIDI ports, and settings in a fresh home.
class MainWindowTest : public shell::testing::TempHome {
  protected:
    void SetUp() override {
        TempHome::SetUp();
        // The output folder exists, so the start asks nothing.
        std::filesystem::create_directories(root / "data" / "frisson");
        CoreServices services = shell::testing::testServices(server, settingsFile(), log);
        services.openMidi = false;
        window = std::make_unique<MainWindow>();
        core = std::make_unique<AppCore>(*window, std::move(services));
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
    void openMenu(const std::string& label) {
        QMenu* menu = window->menu(label);
        menu->popup(window->mapToGlobal(QPoint(10, 10)));
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
};

TEST_F(MainWindowTest, PlayAndRecordingGreyWhatCannotChangeWhileSoundIsRunning) {
    EXPECT_EQ(window->windowTitle(), "Frisson");
    openMenu("Co&mmand");
    // The interpolation in use has the radio mark; the sine is the source, greyed, and mono; 14-bit
    // mode while relativeFine is clear.
    EXPECT_EQ(std::tuple(enabled(kCmdIoOptions), enabled(kCmdMidiResponse), checked(kCmdSpline),
                         popupEnabled(kStereoInputPopup), checked(kCmdTestTone), enabled(kCmdTestTone)),
              std::tuple(true, true, true, false, true, false));
    EXPECT_EQ(std::tuple(checked(kCmd32Bit), checked(kCmdSoftStop), checked(kCmdFineMode)),
              std::tuple(true, true, true));

    // Highlighting an item shows its tooltip in the first part of the status bar.
    QMenu* grain = window->menu(kGrainOptionsPopup);
    grain->popup(window->mapToGlobal(QPoint(10, 10)));
    grain->setActiveAction(item(kCmdHardSync));
    grain->hide();
    EXPECT_EQ(status(), "Force a new grain when soundfile loop wraps around");
    item(kCmdLinear)->hover();
    EXPECT_EQ(status(), "") << "an item without a tooltip shows nothing";

    const std::filesystem::path takes = root / "takes";
    std::filesystem::create_directories(takes);
    answerFileChooser(takes, true);
    item(kCmdOutputFolder)->trigger();
    EXPECT_EQ(status(), "Soundfile path: " + takes.string());
    QPushButton* file = window->button(kFileButton);
    EXPECT_EQ(file->text(), ">>> F&ile  ");
    click(file);
    ASSERT_TRUE(core->recording());
    EXPECT_TRUE(file->isChecked());
    openMenu("Co&mmand");
    EXPECT_FALSE(enabled(kCmdNumberFiles)) << "the numbering is fixed while recording";
    EXPECT_FALSE(enabled(kCmdIoOptions));
    click(file);
    EXPECT_FALSE(core->recording());
    EXPECT_FALSE(file->isChecked());
    EXPECT_TRUE(std::filesystem::exists(takes / "fizz.wav"));

    QPushButton* play = window->button(kPlayButton);
    EXPECT_EQ(play->text(), "&Play");
    click(play);
    ASSERT_TRUE(core->playing());
    EXPECT_EQ(play->text(), "Sto&p");
    EXPECT_TRUE(play->isChecked());
    openMenu("&Stream");
    // No radio mark while playing.
    EXPECT_EQ(std::tuple(enabled(kCmdIoOptions), enabled(kCmdMidiResponse), popupEnabled(kOutputOptionsPopup),
                         enabled(kCmdGestureWindow), popupEnabled(kInterpolationPopup),
                         popupEnabled(kGrainOptionsPopup), checked(kCmdSpline)),
              std::tuple(false, false, false, true, false, false, false));
}

TEST_F(MainWindowTest, ARowMovesItsParameterAndShowsTheCoresValueTexts) {
    ParamRows* rows = window->paramRows();
    // Amp's bar is mirrored: its right-hand arrow raises the value by one (461 -> 462).
    clickRightArrow(Amp);
    EXPECT_EQ(target(0, Amp), 462);
    EXPECT_EQ(rows->bar(Amp)->value(), 1024 - 462) << "the bar shows the core's position";
    EXPECT_EQ(rows->valueLabel(Amp)->text(), "462");
    EXPECT_EQ(status(), "Sets output amplitude");
    EXPECT_EQ(status(kValuePart), "90.23 %");  // 462 × 100 / 512
    EXPECT_EQ(window->outlinedControl(), kAmpScrollBar);

    // Shift returns the row to its default; the Left key lowers it by one.
    clickRightArrow(Amp, Qt::ShiftModifier);
    EXPECT_EQ(target(0, Amp), 461);
    QTest::keyClick(rows->bar(Amp), Qt::Key_Left);
    EXPECT_EQ(target(0, Amp), 460);
    EXPECT_EQ(status(kValuePart), "89.84 %");  // 460 × 100 / 512

    // PanPos keeps left on the left: its right-hand arrow moves the stream one step right.
    clickRightArrow(PanPos);
    EXPECT_EQ(target(0, PanPos), -1);
    EXPECT_EQ(status(kValuePart), "0.4% right");  // 1 × 100 / 256
    EXPECT_EQ(window->outlinedControl(), kFirstScrollBar + PanPos);
}

TEST_F(MainWindowTest, AShiftClickStoresAPatchAndAPlainClickRecallsIt) {
    BankPanelWidget* panel = window->bankPanel();
    const auto selected = [&] {
        return std::tuple(panel->slotButton(0)->isChecked(), panel->slotButton(1)->isChecked(),
                          panel->slotButton(2)->isChecked());
    };
    QTest::keyClick(window->paramRows()->bar(Pitch), Qt::Key_Home);  // the largest pitch
    ASSERT_EQ(target(0, Pitch), 16384);

    click(panel->slotButton(1), Qt::ShiftModifier);
    EXPECT_EQ(panel->slotButton(1)->text(), "Patch &1*");
    EXPECT_EQ(selected(), std::tuple(false, true, false));
    EXPECT_EQ(status(), "Stored current set of scrollbar values for grain generation");

    click(panel->slotButton(0));
    EXPECT_EQ(target(0, Pitch), 6144) << "the default patch";
    EXPECT_EQ(selected(), std::tuple(true, false, false));

    click(panel->slotButton(1));
    EXPECT_EQ(target(0, Pitch), 16384);
    EXPECT_EQ(window->paramRows()->bar(Pitch)->value(), -16384) << "the row follows the recall";
    EXPECT_EQ(selected(), std::tuple(false, true, false));
    EXPECT_EQ(status(), "Restore a patch for grain generation");

    click(panel->slotButton(2));  // an empty slot recalls nothing and keeps the selection
    EXPECT_EQ(selected(), std::tuple(false, true, false));
}

TEST_F(MainWindowTest, NewStemAndTheTabMenuKeepTheTabsInStreamOrder) {
    QTabBar* tabs = window->streamTabs();
    click(window->button(kNewButton));
    click(window->button(kNewButton));
    EXPECT_EQ(tabLabels(), (std::vector<std::string>{"Stream 1", "Stream 2", "Stream 3"}));
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_EQ(target(2, Amp), 0) << "a new stream starts silent";
    EXPECT_EQ(window->paramRows()->bar(Amp)->value(), 1024);
    EXPECT_EQ(window->outlinedControl(), kAmpScrollBar);

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(core->engine().currentStream(), 1);
    click(window->button(kStemButton));
    EXPECT_EQ(tabLabels(), (std::vector<std::string>{"Stream 1", "Stream 3"}));
    EXPECT_EQ(tabs->currentIndex(), 0) << "the tab to the left of the ended one";
    EXPECT_EQ(core->engine().currentStream(), 0);

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
    EXPECT_EQ(status(), "Mute Stream 3");
}

TEST_F(MainWindowTest, ALoadedSoundNamesTheWindowJoinsTheRecentFilesAndOffersItsChannels) {
    const std::filesystem::path wav = root / "stereo.wav";
    shell::testing::writeStereoWav(wav, 4000);
    answerFileChooser(wav, false, {"Sound file (*.wav *.aif *.aiff *.aifc)"});
    item(kCmdLoadSound)->trigger();
    // The loader thread's message wakes the window's event loop, which hands the sound to the stream.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() != "Frisson"; }));
    EXPECT_EQ(window->windowTitle(), "stereo.wav - Fizz chops it");
    EXPECT_EQ(status(), "Stream uses stereo.wav, default patch");

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
    ASSERT_EQ(window->outlinedControl(), kAmpScrollBar);
    const QImage shot = window->grab().toImage();
    const QPoint corner = amp->mapTo(window.get(), QPoint(0, 0)) - QPoint(1, 1);
    const auto red = [&](QPoint at) { return (shot.pixelColor(at).rgb() & 0xFFFFFF) == 0xFF0000u; };
    EXPECT_TRUE(red(corner));
    EXPECT_TRUE(red(corner + QPoint(amp->width() + 1, amp->height() + 1)));
    EXPECT_FALSE(red(corner - QPoint(1, 1))) << "one pixel wide";
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
