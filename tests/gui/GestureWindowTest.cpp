#include "gui/GestureWindow.h"
#include "gui/WaveformStrip.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include "tests/shell/CoreTestSupport.h"

namespace gui {
namespace {

// The main window's part: what the pad's logic shows goes to the gesture window.
struct ForwardingView : shell::GestureView {
    void showGestureWindow(bool open) override { window->showWindow(open); }
    void raiseGestureWindow() override { window->raiseWindow(); }
    void rollGestureWindow(bool up) override { window->roll(up); }
    void enableGestureWindow(bool enabled) override { window->enableWindow(enabled); }
    void setCornerEntries(const std::vector<std::string>& entries) override {
        window->setCornerEntries(entries);
    }
    void selectCornerEntry(int corner, int entry) override { window->selectCornerEntry(corner, entry); }
    void setGestureButtons(bool playback, bool record) override { window->setButtons(playback, record); }
    void drawPad(int x, int y, const std::vector<shell::TrailDot>& trail) override {
        window->drawPad(x, y, trail);
    }

    GestureWindow* window = nullptr;
};

class GestureWindowTest : public ::testing::Test, public shell::testing::PatchRig {
  protected:
    void SetUp() override { view.window = &window; }

    void open() {
        pad.openCommand(window.padRect());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    // The widget under a point of the window, which Qt gives the mouse.
    QWidget* under(QPoint at) const {
        QWidget* child = window.childAt(at);
        return child != nullptr ? child : const_cast<GestureWindow*>(&window);
    }
    QPushButton* button(const QString& text) const {
        for (QPushButton* b : window.findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    std::pair<int, int> marker() const { return {pad.markerX(), pad.markerY()}; }

    ForwardingView view;
    shell::GesturePad pad{engine, panel, view, timers, messages};
    GestureWindow window{pad, [this] { pad.close(); }, nullptr};
};

// The pad's logic mixes the corners where the marker is; here the mouse over the window moves it.
TEST_F(GestureWindowTest, DraggingOverThePadMovesTheMarker) {
    open();
    EXPECT_EQ(window.windowTitle(), "Patch Gesture");
    const shell::PadRect r = window.padRect();
    EXPECT_EQ(marker(), std::pair(r.left + 7, r.top + 7));

    // Just inside the pad's top-left: the pointer is clamped to (left + 9, top + 9), the marker's
    // corner to (left + 2, top + 2).
    const QPoint topLeft(r.left + 1, r.top + 1);
    QWidget* target = under(topLeft);
    QTest::mousePress(target, Qt::LeftButton, {}, topLeft);
    EXPECT_TRUE(pad.dragging());
    EXPECT_EQ(marker(), std::pair(r.left + 2, r.top + 2));
    // Dragged out beyond the bottom-right: the marker stops at (right - 15, bottom - 15).
    QTest::mouseMove(target, QPoint(r.right + 40, r.bottom + 40));
    EXPECT_EQ(marker(), std::pair(r.right - 15, r.bottom - 15));
    // Released at the top-right; later moves do nothing.
    QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(r.right - 8, r.top + 9));
    EXPECT_FALSE(pad.dragging());
    EXPECT_EQ(marker(), std::pair(r.right - 15, r.top + 2));
    QTest::mouseMove(target, topLeft);
    EXPECT_EQ(marker(), std::pair(r.right - 15, r.top + 2));
}

TEST_F(GestureWindowTest, CornerCombosButtonsAndRolling) {
    panel.bank(0).name = "Strings";
    occupy(0, 0, [](int) { return 1000; });
    occupy(0, 1, [](int) { return 2000; });
    open();
    const auto* topLeft = window.findChild<QComboBox*>("topLeft");
    auto* bottomRight = window.findChild<QComboBox*>("bottomRight");
    ASSERT_NE(topLeft, nullptr);
    ASSERT_NE(bottomRight, nullptr);
    ASSERT_EQ(bottomRight->count(), 3);
    EXPECT_EQ(bottomRight->itemText(1), "A1 (Strings)");
    // Three entries: corners 0..2 take entries 0..2, the fourth has none left and takes "Default".
    EXPECT_EQ(topLeft->currentIndex(), 0);
    EXPECT_EQ(bottomRight->currentIndex(), 0);
    QTest::keyClick(bottomRight, Qt::Key_Down);
    EXPECT_EQ(bottomRight->currentText(), "A1 (Strings)");
    EXPECT_EQ(pad.cornerCode(3), 256);  // bank A (1 × 256), slot 0

    // Not playing: "&Record" only unchecks itself.
    QPushButton* record = button("&Record");
    ASSERT_NE(record, nullptr);
    QTest::mouseClick(record, Qt::LeftButton);
    EXPECT_FALSE(record->isChecked());
    EXPECT_FALSE(pad.recording());

    // A double click on the strip above the pad rolls the window up to that strip and down again.
    const int fullHeight = window.height();
    const QPoint strip(window.width() / 2, window.padRect().top / 2);
    QTest::mouseDClick(under(strip), Qt::LeftButton, {}, strip);
    QTest::mouseRelease(under(strip), Qt::LeftButton, {}, strip);
    EXPECT_TRUE(pad.rolledUp());
    EXPECT_EQ(window.height(), window.padRect().top);
    QTest::mouseDClick(under(strip), Qt::LeftButton, {}, strip);
    QTest::mouseRelease(under(strip), Qt::LeftButton, {}, strip);
    EXPECT_FALSE(pad.rolledUp());
    EXPECT_EQ(window.height(), fullHeight);

    QTest::mouseClick(button("&Close"), Qt::LeftButton);
    EXPECT_FALSE(pad.isOpen());
    EXPECT_FALSE(window.isVisible());
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
