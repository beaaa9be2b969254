#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPoint>
#include <QString>

#include "gui/Dialogs.h"
#include "shell/AppCore.h"
#include "shell/View.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPushButton;
class QSocketNotifier;
class QTabBar;
class QTimer;

namespace gui {

class BankPanelWidget;
class FocusOutline;
class GestureWindow;
class HelpViewer;
class ParamRows;
class StateButton;
class WaveformStrip;

// The main window: the menu bar, the stream tabs over the parameter rows, the
// patch bank panel, the Play, File, New and Stem buttons, the change-time text
// and the five-part status bar. It holds no program logic: every click, key,
// menu choice and woken message goes to the application core, and everything
// it shows comes from the core through shell::View. Thread: main.
class MainWindow : public QMainWindow, public shell::View {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Connects the window to the core (built with this window as its view):
    // user actions go to it, and the window wakes for its message queue.
    void attach(shell::AppCore& core);
    // Disconnects before the core goes away.
    void detach();

    // Instead of waiting for the user, every message box and dialog is built,
    // saved as a PNG into `folder` and answered as cancelled (for screenshots).
    void captureModalsInto(const QString& folder);
    // Saves a picture of `widget` as `name`.png into the capture folder.
    void saveShot(QWidget* widget, const QString& name);

    // The result the core ended the window with (1 after the exit sequence, -1 after a fatal error).
    std::optional<int> result() const { return result_; }

    // ---- The widgets, for the screenshots and the tests
    ParamRows* paramRows() const { return rows_; }
    BankPanelWidget* bankPanel() const { return panel_; }
    QTabBar* streamTabs() const { return tabs_; }
    QMenu* streamContextMenu() const { return contextMenu_; }
    QPushButton* button(int id) const;
    QLabel* statusPart(int part) const { return status_[static_cast<size_t>(part)]; }
    QLabel* changeTimeLabel() const { return changeTime_; }
    QAction* menuAction(int id) const;
    // A popup of the menu bar by its label ("&Interpolation"), or a top-level menu ("F&ile").
    QMenu* menu(const std::string& label) const;
    QAction* soundOverviewAction() const { return overviewAction_; }
    WaveformStrip* waveformStrip() const { return waveform_; }
    GestureWindow* gestureWindow() const { return gesture_; }
    HelpViewer* helpViewer() const { return help_; }
    // The control with an id of the main window (a scroll bar, a button, the name field).
    QWidget* control(int id) const;
    // The id of the outlined control, 0 for none.
    int outlinedControl() const { return outlined_; }

    // ---- shell::View
    void setStatusText(int part, const std::string& text) override;
    void setWindowTitle(const std::string& title) override;
    void setChangeTimeText(const std::string& text) override;
    void setScrollPosition(int param, int32_t position) override;
    void setFocusedControl(int id) override;
    void setStreamTabs(const std::vector<shell::StreamTab>& tabs, int selectedTab) override;
    void showContextMenu(const std::vector<shell::ContextMenuItem>& items) override;
    void setButton(int id, const shell::ButtonState& state) override;
    void setBankNameField(const std::string& text) override;
    void promptBankName(const std::string& prompt) override;
    void showDisplayedBank(int bank) override;
    void setSlotLabel(int slot, const std::string& label) override;
    void setSlotSelected(int slot, bool selected) override;
    void setMenuItem(int id, const shell::MenuItemState& state) override;
    void setMenuPopupEnabled(const std::string& popup, bool enabled) override;
    void setRecentFiles(const std::vector<std::pair<int, std::string>>& items) override;
    shell::Reply ask(const std::string& text, const std::string& caption, shell::Buttons buttons) override;
    void warn(const std::string& text, const std::string& caption) override;
    void fatal(const std::string& text) override;
    void about(const std::string& text) override;
    std::optional<std::string> chooseFile(const std::string& title, const shell::FileFilter& filter,
                                          const std::string& folder) override;
    std::optional<std::string> chooseFolder(const std::string& start) override;
    bool runLoginDialog(shell::LoginDialog& dialog) override;
    bool runIoOptionsDialog(shell::IoOptionsDialog& dialog) override;
    bool runMidiResponseDialog(midi::MidiResponseDialog& dialog) override;
    void openHelp(const std::optional<std::string>& keyword) override;
    void closeHelp() override;
    shell::PadRect gesturePadRect() override;
    void closeWindow(int result) override;

    // ---- shell::GestureView
    void showGestureWindow(bool open) override;
    void raiseGestureWindow() override;
    void rollGestureWindow(bool up) override;
    void enableGestureWindow(bool enabled) override;
    void setCornerEntries(const std::vector<std::string>& entries) override;
    void selectCornerEntry(int corner, int entry) override;
    void setGestureButtons(bool playbackChecked, bool recordChecked) override;
    void drawPad(int markerX, int markerY, const std::vector<shell::TrailDot>& trail) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    struct MenuEntry;

    void buildMenus();
    QMenu* buildMenu(QMenu* menu, const std::vector<MenuEntry>& entries);
    QAction* addCommand(QMenu* menu, int id);
    void buildWindow();
    void buildStatusBar();
    void fixSize();
    // The widths of the status bar's parts for a window this wide.
    void setStatusPartWidths(int windowWidth);
    void tabContextMenuRequested(const QPoint& position);
    void focusMoved(QWidget* now);
    void moveOutline();
    void soundOverviewToggled(bool on);
    GestureWindow& ensureGestureWindow();
    HelpViewer& ensureHelpViewer();
    bool capturing() const { return !captureFolder_.isEmpty(); }
    // Saves the next modal widget that opens (a box another part runs) and closes it.
    void captureNextModal(const QString& name);
    void wake();
    HelpRequest helpRequest();
    // Runs a user action on the core; actions that arrive while the core is busy with
    // another one (a focus change inside a box it opened) wait for the event loop.
    template <typename Action>
    void toCore(Action action);

    shell::AppCore* core_ = nullptr;
    QMetaObject::Connection focusWatch_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* deviceCheck_ = nullptr;
    ParamRows* rows_ = nullptr;
    BankPanelWidget* panel_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QPoint contextPosition_;
    StateButton* play_ = nullptr;
    StateButton* file_ = nullptr;
    QPushButton* new_ = nullptr;
    QPushButton* stem_ = nullptr;
    QLabel* changeTime_ = nullptr;
    std::array<QLabel*, shell::kStatusPartCount> status_{};
    std::map<int, QAction*> actions_;
    std::map<std::string, QMenu*> menus_;
    QMenu* recentMenu_ = nullptr;
    std::vector<QAction*> recentActions_;
    QAction* overviewAction_ = nullptr;
    WaveformStrip* waveform_ = nullptr;
    GestureWindow* gesture_ = nullptr;
    HelpViewer* help_ = nullptr;
    FocusOutline* outline_ = nullptr;
    int outlined_ = 0;
    bool movingFocus_ = false;
    bool quitKeyHeld_ = false;
    bool sizePending_ = false;
    std::optional<int> result_;
    QString captureFolder_;
    int coreDepth_ = 0;
};

}  // namespace gui
