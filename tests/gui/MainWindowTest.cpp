#include "gui/MainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
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
#include "gui/GestureWindow.h"
#include "gui/HelpViewer.h"
#include "gui/ParamRows.h"
#include "gui/WaveformStrip.h"
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
    // The gesture window as the Stream menu opens it.
    GestureWindow* openGestureWindow() {
        item(kCmdGestureWindow)->trigger();
        GestureWindow* gesture = window->gestureWindow();
        EXPECT_TRUE(gesture != nullptr && QTest::qWaitForWindowExposed(gesture));
        return gesture;
    }
    // The widget of `parent` under a point, which Qt gives the mouse; a push button by its text.
    static QWidget* under(QWidget* parent, QPoint at) {
        QWidget* child = parent->childAt(at);
        return child != nullptr ? child : parent;
    }
    static QPushButton* buttonOf(const QWidget* parent, const QString& text) {
        for (QPushButton* b : parent->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
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
    EXPECT_EQ(file->text(), ">>> F&ile  ");
    click(file);
    openMenu("Co&mmand");  // the numbering is fixed while recording
    EXPECT_EQ(
        std::tuple(core->recording(), file->isChecked(), enabled(kCmdNumberFiles), enabled(kCmdIoOptions)),
        std::tuple(true, true, false, false));
    click(file);
    EXPECT_EQ(std::tuple(core->recording(), file->isChecked(), std::filesystem::exists(takes / "fizz.wav")),
              std::tuple(false, false, true));

    QPushButton* play = window->button(kPlayButton);
    EXPECT_EQ(play->text(), "&Play");
    click(play);
    EXPECT_EQ(std::tuple(core->playing(), play->text().toStdString(), play->isChecked()),
              std::tuple(true, "Sto&p", true));
    openMenu("&Stream");
    // No radio mark while playing.
    EXPECT_EQ(std::tuple(enabled(kCmdIoOptions), enabled(kCmdMidiResponse), popupEnabled(kOutputOptionsPopup),
                         enabled(kCmdGestureWindow), popupEnabled(kInterpolationPopup),
                         popupEnabled(kGrainOptionsPopup), checked(kCmdSpline)),
              std::tuple(false, false, false, true, false, false, false));
}

TEST_F(MainWindowTest, ARowMovesItsParameterTakesTheBankNameAndIsOutlined) {
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
    EXPECT_TRUE(red(corner));
    EXPECT_TRUE(red(corner + QPoint(amp->width() + 1, amp->height() + 1)));
    EXPECT_FALSE(red(corner - QPoint(1, 1))) << "one pixel wide";

    // Shift returns the row to its default; the Left key lowers it by one.
    clickRightArrow(Amp, Qt::ShiftModifier);
    EXPECT_EQ(target(0, Amp), 461);
    QTest::keyClick(amp, Qt::Key_Left);
    EXPECT_EQ(std::tuple(target(0, Amp), status(kValuePart)), std::tuple(460, "89.84 %"));  // 460 × 100 / 512

    // PanPos keeps left on the left: its right-hand arrow moves the stream one step right.
    clickRightArrow(PanPos);
    EXPECT_EQ(std::tuple(target(0, PanPos), status(kValuePart), window->outlinedControl()),
              std::tuple(-1, "0.4% right", kFirstScrollBar + PanPos));  // 1 × 100 / 256
}

TEST_F(MainWindowTest, AShiftClickStoresAPatchAndAPlainClickRecallsIt) {
    BankPanelWidget* panel = window->bankPanel();
    QScrollBar* pitch = window->paramRows()->bar(Pitch);
    const auto selected = [&] {
        return std::tuple(panel->slotButton(0)->isChecked(), panel->slotButton(1)->isChecked(),
                          panel->slotButton(2)->isChecked());
    };
    QTest::keyClick(pitch, Qt::Key_Home);  // the largest pitch
    ASSERT_EQ(target(0, Pitch), 16384);

    click(panel->slotButton(1), Qt::ShiftModifier);
    EXPECT_EQ(panel->slotButton(1)->text(), "Patch &1*");
    EXPECT_EQ(selected(), std::tuple(false, true, false));
    EXPECT_EQ(status(), "Stored current set of scrollbar values for grain generation");

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
    EXPECT_EQ(tabLabels(), (Labels{"Stream 1", "Stream 3"}));
    EXPECT_EQ(std::pair(tabs->currentIndex(), core->engine().currentStream()), std::pair(0, 0));

    // A right-click on a tab offers its stream's commands.
    EXPECT_EQ(tabMenu(1), (Labels{"Mute Stream 3", "Solo Stream 3"}));
    choose(0);
    EXPECT_EQ(tabLabels(), (Labels{"Stream 1", "Stream 3  [  ]"}));
    EXPECT_EQ(status(), "Mute Stream 3");
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
    shell::testing::writeStereoWav(wav, 4000);
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
    EXPECT_TRUE(window->helpViewer()->isVisible());
    EXPECT_EQ(window->helpViewer()->browser()->source().fragment(), "contents");
    EXPECT_EQ(HelpViewer::anchorFor("Midi response dialog"), "midi-response-dialog");

    // The help closes with the program; the exit sequence saves the settings.
    EXPECT_TRUE(window->close());
    EXPECT_EQ(std::tuple(core->ended(), window->result(), window->helpViewer()->isVisible(),
                         std::filesystem::exists(settingsFile())),
              std::tuple(true, 1, false, true));
}

// The gesture window of the Stream menu: the pad's logic mixes the corners where the marker is, and
// the mouse over the window moves it.
TEST_F(MainWindowTest, TheGestureWindowMovesTheMarkerOffersTheCornersAndRolls) {
    core->bankNameLostFocus("Strings");
    for (int slot : {0, 1})
        core->slotClick(patches::kFirstSlotButton + slot, true, false);
    GestureWindow* gesture = openGestureWindow();
    ASSERT_NE(gesture, nullptr);
    EXPECT_EQ(gesture->windowTitle(), "Patch Gesture");
    const shell::PadRect r = gesture->padRect();
    shell::GesturePad& pad = core->gesture();
    const auto marker = [&] { return std::pair(pad.markerX(), pad.markerY()); };
    EXPECT_EQ(marker(), std::pair(r.left + 7, r.top + 7));

    // Just inside the pad's top-left: the pointer is clamped to (left + 9, top + 9), the marker's
    // corner to (left + 2, top + 2).
    const QPoint topLeft(r.left + 1, r.top + 1);
    QWidget* target = under(gesture, topLeft);
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

    // Three entries: corners 0..2 take entries 0..2, the fourth has none left and takes "Default".
    const auto* first = gesture->findChild<QComboBox*>("topLeft");
    auto* last = gesture->findChild<QComboBox*>("bottomRight");
    ASSERT_TRUE(first != nullptr && last != nullptr);
    ASSERT_EQ(last->count(), 3);
    EXPECT_EQ(std::tuple(last->itemText(1).toStdString(), first->currentIndex(), last->currentIndex()),
              std::tuple("A1 (Strings)", 0, 0));
    QTest::keyClick(last, Qt::Key_Down);
    EXPECT_EQ(last->currentText(), "A1 (Strings)");
    EXPECT_EQ(pad.cornerCode(3), 256);  // bank A (1 × 256), slot 0

    // Not playing: "&Record" only unchecks itself.
    QPushButton* record = buttonOf(gesture, "&Record");
    ASSERT_NE(record, nullptr);
    QTest::mouseClick(record, Qt::LeftButton);
    EXPECT_EQ(std::pair(record->isChecked(), pad.recording()), std::pair(false, false));

    // A double click on the strip above the pad rolls the window up to that strip and down again.
    const int fullHeight = gesture->height();
    const QPoint strip(gesture->width() / 2, r.top / 2);
    for (bool up : {true, false}) {
        QTest::mouseDClick(under(gesture, strip), Qt::LeftButton, {}, strip);
        QTest::mouseRelease(under(gesture, strip), Qt::LeftButton, {}, strip);
        EXPECT_EQ(std::pair(pad.rolledUp(), gesture->height()), std::pair(up, up ? r.top : fullHeight));
    }

    QTest::mouseClick(buttonOf(gesture, "&Close"), Qt::LeftButton);
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
    // The waveform never reaches the top row: there only the region's band shows.
    auto top = [&strip](const QImage& image, int x) { return image.pixelColor(x, 0); };

    engine.setParameter(0, engine::Start, 1024);   // from 1/4 ...
    engine.setParameter(0, engine::Length, 1024);  // ... to 1/2: pixels 100..199
    QImage image = strip.grab().toImage();
    const QColor plain = top(image, 300);
    const QColor band = top(image, 150);
    EXPECT_NE(band, plain);
    EXPECT_EQ(top(image, 100), band);
    EXPECT_EQ(top(image, 199), band);
    EXPECT_EQ(top(image, 99), plain);
    EXPECT_EQ(top(image, 200), plain);
    // The sine's waveform fills the rows between.
    int drawn = 0;
    for (int x = 0; x < 400; ++x)
        drawn += image.pixelColor(x, strip.height() / 2) != top(image, x) ? 1 : 0;
    EXPECT_GT(drawn, 0);

    engine.setParameter(0, engine::Start, 3072);   // from 3/4 ...
    engine.setParameter(0, engine::Length, 2048);  // ... past the end to 1/4: 300..399 and 0..99
    image = strip.grab().toImage();
    for (int x : {0, 99, 300, 399})
        EXPECT_EQ(top(image, x), band) << x;
    for (int x : {100, 299})
        EXPECT_EQ(top(image, x), plain) << x;
}

}  // namespace
}  // namespace gui
