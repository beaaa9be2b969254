#include "gui/GestureWindow.h"

#include <algorithm>
#include <array>
#include <functional>
#include <utility>

#include <qdrawutil.h>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>

namespace gui {
namespace {

constexpr const char* kTitle = "Patch Gesture";

// The pad and the window's other places in dialog units.
constexpr int kPadLeft = 7;
constexpr int kPadTop = 24;
constexpr int kPadRight = 269;
constexpr int kPadBottom = 247;
constexpr int kMargin = 7;
constexpr int kGap = 4;
constexpr int kComboWidth = 100;
constexpr int kComboHeight = 12;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;

// Dialog units: 4 per average character width across, 8 per font height down.
constexpr int kDialogUnitsPerCharWidth = 4;
constexpr int kDialogUnitsPerFontHeight = 8;

// The marker, its colour and the first trail colour; the pad's sunken edge.
constexpr int kMarkerSize = 13;
constexpr int kEdgeWidth = 2;
const QColor kMarkerColour(208, 64, 64);
const QColor kTrailStart(200, 0, 0);
// A trail dot fills the box (x + 2, y + 2) - (x + 13, y + 13) of its point.
constexpr int kDotInset = 2;
constexpr int kDotSize = 11;

// The new window sits this far right of the main window's tab control and below its tab row.
constexpr int kOffsetRight = 3;
constexpr int kOffsetDown = 5;

// Everything the pad shows: the window paints it from the last drawPad call.
struct PadPicture {
    bool haveMarker = false;
    int markerX = 0;
    int markerY = 0;
    std::vector<shell::TrailDot> trail;
};

// The window's background: paints the pad and takes the mouse on it and on the strip above it,
// where the window's roll up and down is offered. Covers the whole window at (0, 0), so its
// pixels are the window's.
class PadCanvas : public QWidget {
  public:
    PadCanvas(QWidget* window, shell::GesturePad& pad, std::function<shell::PadRect()> rect)
        : QWidget(window), window_(window), pad_(pad), rect_(std::move(rect)) {}

    PadPicture picture;

  protected:
    void paintEvent(QPaintEvent*) override {
        const shell::PadRect r = rect_();
        QPainter painter(this);
        const QPalette& colours = palette();
        const QBrush face = colours.brush(QPalette::Window);
        qDrawShadePanel(&painter, QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), colours, true,
                        kEdgeWidth, &face);
        painter.setPen(Qt::NoPen);
        const QColor faceColour = face.color();
        for (const shell::TrailDot& dot : picture.trail) {
            // From red towards the face colour's red and green; blue follows green.
            const double f = dot.fade;
            const int red = kTrailStart.red() + qRound((faceColour.red() - kTrailStart.red()) * f);
            const int green = qRound(faceColour.green() * f);
            painter.setBrush(QColor(red, green, green));
            painter.drawEllipse(QRect(dot.x + kDotInset, dot.y + kDotInset, kDotSize, kDotSize));
        }
        if (picture.haveMarker) {
            const QBrush fill(kMarkerColour);
            qDrawShadePanel(&painter, QRect(picture.markerX, picture.markerY, kMarkerSize, kMarkerSize),
                            colours, false, 1, &fill);
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        // Qt sends the moves and the release to this widget while the button is held.
        if (event->button() == Qt::LeftButton) {
            const QPoint at = event->position().toPoint();
            pad_.mouseDown(at.x(), at.y());
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        pad_.mouseMove(at.x(), at.y());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            const QPoint at = event->position().toPoint();
            pad_.mouseUp(at.x(), at.y());
        }
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        // The strip above the pad stands for the title bar, whose double clicks Qt does not see.
        if (event->button() == Qt::LeftButton && event->position().y() < rect_().top) {
            pad_.titleDoubleClick(window_->height());
            return;
        }
        mousePressEvent(event);
    }

  private:
    QWidget* window_;
    shell::GesturePad& pad_;
    std::function<shell::PadRect()> rect_;
};

// Runs `closing` instead of closing the window (the close box goes to the core's close).
class CloseBox : public QObject {
  public:
    CloseBox(QObject* parent, std::function<void()> closing)
        : QObject(parent), closing_(std::move(closing)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Close)
            return false;
        event->ignore();
        closing_();
        return true;
    }

  private:
    std::function<void()> closing_;
};

}  // namespace

struct GestureWindow::Widgets {
    Widgets(shell::GesturePad& p, std::function<void()> c, QWidget* main)
        : pad(p), close(std::move(c)), mainWindow(main) {}

    shell::GesturePad& pad;
    std::function<void()> close;
    QWidget* mainWindow;
    PadCanvas* canvas = nullptr;
    std::array<QComboBox*, shell::GesturePad::kCornerCount> corners{};
    QPushButton* playback = nullptr;
    QPushButton* record = nullptr;
    int fullHeight = 0;
    bool playbackChecked = false;
    bool recordChecked = false;

    // The buttons show what the pad's logic last said, whatever a click toggled.
    void showButtons() const {
        const QSignalBlocker blockPlayback(playback);
        const QSignalBlocker blockRecord(record);
        playback->setChecked(playbackChecked);
        record->setChecked(recordChecked);
    }
};

GestureWindow::GestureWindow(shell::GesturePad& pad, std::function<void()> close, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window),
      widgets_(std::make_unique<Widgets>(pad, std::move(close), mainWindow)) {
    Widgets& w = *widgets_;
    setWindowTitle(kTitle);
    const QFontMetrics metrics(font());
    auto across = [&metrics](int units) {
        return units * metrics.averageCharWidth() / kDialogUnitsPerCharWidth;
    };
    auto down = [&metrics](int units) { return units * metrics.height() / kDialogUnitsPerFontHeight; };
    const shell::PadRect r = padRect();

    w.canvas = new PadCanvas(this, pad, [this] { return padRect(); });
    const char* names[] = {"topLeft", "topRight", "bottomLeft", "bottomRight"};
    for (int corner = 0; corner < shell::GesturePad::kCornerCount; ++corner) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(names[corner]);
        connect(combo, &QComboBox::activated, this,
                [&pad, corner](int entry) { pad.chooseCorner(corner, entry); });
        w.corners[static_cast<size_t>(corner)] = combo;
    }
    const int comboWidth = across(kComboWidth);
    const int comboHeight = std::max(down(kComboHeight), w.corners[0]->sizeHint().height());
    // The top combos sit in the strip above the pad, the bottom ones below it, at the pad's corners.
    const int topY = std::max(0, (r.top - comboHeight) / 2);
    const int bottomY = r.bottom + down(kGap);
    w.corners[0]->setGeometry(r.left, topY, comboWidth, comboHeight);
    w.corners[1]->setGeometry(r.right - comboWidth, topY, comboWidth, comboHeight);
    w.corners[2]->setGeometry(r.left, bottomY, comboWidth, comboHeight);
    w.corners[3]->setGeometry(r.right - comboWidth, bottomY, comboWidth, comboHeight);

    w.playback = new QPushButton("&Gesture", this);
    w.record = new QPushButton("&Record", this);
    auto* closeButton = new QPushButton("&Close", this);
    w.playback->setCheckable(true);
    w.record->setCheckable(true);
    const int buttonWidth = across(kButtonWidth);
    const int buttonHeight = std::max(down(kButtonHeight), w.playback->sizeHint().height());
    const int buttonY = bottomY + comboHeight + down(kGap);
    w.playback->setGeometry(r.left, buttonY, buttonWidth, buttonHeight);
    w.record->setGeometry(r.left + buttonWidth + across(kGap), buttonY, buttonWidth, buttonHeight);
    closeButton->setGeometry(r.right - buttonWidth, buttonY, buttonWidth, buttonHeight);
    connect(w.playback, &QPushButton::clicked, this, [this] {
        widgets_->pad.playbackButton();
        widgets_->showButtons();
    });
    connect(w.record, &QPushButton::clicked, this, [this] {
        widgets_->pad.recordButton();
        widgets_->showButtons();
    });
    connect(closeButton, &QPushButton::clicked, this, [this] { widgets_->close(); });
    installEventFilter(new CloseBox(this, [this] { widgets_->close(); }));

    const int width = r.right + across(kMargin);
    w.fullHeight = buttonY + buttonHeight + down(kMargin);
    w.canvas->setGeometry(0, 0, width, w.fullHeight);
    w.canvas->lower();
    setFixedSize(width, w.fullHeight);
}

GestureWindow::~GestureWindow() = default;

shell::PadRect GestureWindow::padRect() const {
    const QFontMetrics metrics(font());
    const int charWidth = metrics.averageCharWidth();
    const int fontHeight = metrics.height();
    return shell::PadRect{kPadLeft * charWidth / kDialogUnitsPerCharWidth,
                          kPadTop * fontHeight / kDialogUnitsPerFontHeight,
                          kPadRight * charWidth / kDialogUnitsPerCharWidth,
                          kPadBottom * fontHeight / kDialogUnitsPerFontHeight};
}

void GestureWindow::showWindow(bool open) {
    if (!open) {
        hide();
        return;
    }
    setFixedHeight(widgets_->fullHeight);
    // Below the main window's tab row, a little right of its tab control.
    QWidget* main = widgets_->mainWindow;
    if (main != nullptr) {
        QPoint at = main->mapToGlobal(QPoint(0, 0));
        if (const auto* tabs = main->findChild<QTabBar*>(); tabs != nullptr && tabs->count() > 0)
            at = tabs->mapToGlobal(QPoint(kOffsetRight, tabs->tabRect(0).height() + kOffsetDown));
        move(at);
    }
    show();
}

void GestureWindow::raiseWindow() {
    show();
    raise();
    activateWindow();
}

void GestureWindow::roll(bool up) {
    if (up) {
        setFixedHeight(padRect().top);
        if (widgets_->mainWindow != nullptr)
            widgets_->mainWindow->activateWindow();
    } else {
        setFixedHeight(widgets_->fullHeight);
    }
}

void GestureWindow::enableWindow(bool enabled) {
    setEnabled(enabled);
}

void GestureWindow::setCornerEntries(const std::vector<std::string>& entries) {
    for (QComboBox* combo : widgets_->corners) {
        const QSignalBlocker blocker(combo);
        combo->clear();
        for (const std::string& entry : entries)
            combo->addItem(QString::fromStdString(entry));
    }
}

void GestureWindow::selectCornerEntry(int corner, int entry) {
    QComboBox* combo = widgets_->corners.at(static_cast<size_t>(corner));
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(entry);
}

void GestureWindow::setButtons(bool playbackChecked, bool recordChecked) {
    widgets_->playbackChecked = playbackChecked;
    widgets_->recordChecked = recordChecked;
    widgets_->showButtons();
}

void GestureWindow::drawPad(int markerX, int markerY, const std::vector<shell::TrailDot>& trail) {
    PadPicture& picture = widgets_->canvas->picture;
    picture.haveMarker = true;
    picture.markerX = markerX;
    picture.markerY = markerY;
    picture.trail = trail;
    // Painted at the next display refresh; a burst of moves paints once.
    widgets_->canvas->update();
}

}  // namespace gui
