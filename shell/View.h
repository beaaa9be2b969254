#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/GesturePad.h"
#include "shell/GestureView.h"

namespace midi {
class MidiResponseDialog;
}

namespace shell {

class IoOptionsDialog;
class LoginDialog;

// The five parts of the status bar: 0 and 4 stay empty, 1 carries messages,
// 2 and 3 the parameter value and what follows from it.
inline constexpr int kStatusPartCount = 5;
inline constexpr int kMessagePart = 1;
inline constexpr int kValuePart = 2;
inline constexpr int kDerivedPart = 3;

// Control ids of the main window.
inline constexpr int kPlayButton = 1031;
inline constexpr int kFileButton = 1032;
inline constexpr int kNewButton = 1081;
inline constexpr int kStemButton = 1083;
inline constexpr int kFirstScrollBar = 1500;
inline constexpr int kAmpScrollBar = 1523;

inline constexpr const char* kQuestionCaption = "Frisson Quiz";
inline constexpr const char* kFatalCaption = "Fatal error";
inline constexpr const char* kFileButtonLabel = ">>> F&ile  ";

enum class Buttons { YesNo, YesNoCancel, OkCancel };
enum class Reply { Yes, No, Cancel, Ok };

// A menu item's look when the menu opens.
struct MenuItemState {
    bool enabled = true;
    bool checked = false;  // a check mark, or the radio mark when `radio`
    bool radio = false;

    bool operator==(const MenuItemState&) const = default;
};

// A push or toggle button of the main window.
struct ButtonState {
    std::string label;
    bool checked = false;
    bool enabled = true;

    bool operator==(const ButtonState&) const = default;
};

// One item of a stream tab's context menu; id 0 is a separator.
struct ContextMenuItem {
    int id = 0;
    std::string label;
    bool enabled = true;

    bool operator==(const ContextMenuItem&) const = default;
};

// One stream tab, in index order.
struct StreamTab {
    int stream = 0;
    std::string label;

    bool operator==(const StreamTab&) const = default;
};

// What the open-file chooser offers.
struct FileFilter {
    std::string description;  // "Sound file"
    std::string extensions;   // "wav; aif; aiff; aifc"
};

// Everything the application core shows and asks. The Qt window implements it
// with widgets; `frisson play` prints; tests record. Every call comes on the
// main thread.
class View : public GestureView {
  public:
    // ---- Status bar and texts
    virtual void setStatusText(int part, const std::string& text) = 0;
    virtual void setWindowTitle(const std::string& title) = 0;
    // The label under the bank panel ("  \xEE  parm chng time: 1.00 s").
    virtual void setChangeTimeText(const std::string& text) = 0;

    // ---- Parameter rows (scroll bars 1500 + param)
    virtual void setScrollPosition(int param, int32_t position) = 0;
    // The outlined control (a scroll bar, a button); 0 for none.
    virtual void setFocusedControl(int id) = 0;

    // ---- Stream tabs
    virtual void setStreamTabs(const std::vector<StreamTab>& tabs, int selectedTab) = 0;
    virtual void showContextMenu(const std::vector<ContextMenuItem>& items) = 0;

    // ---- Buttons: Play, File, New, Stem and the bank panel's Load, Clear Patch, Close
    virtual void setButton(int id, const ButtonState& state) = 0;

    // ---- Bank panel
    virtual void setBankNameField(const std::string& text) = 0;
    // Puts `prompt` into the name field, focuses it and selects its text.
    virtual void promptBankName(const std::string& prompt) = 0;
    virtual void showDisplayedBank(int bank) = 0;
    // Slot 0 is the Default Patch button, 1..20 the slots.
    virtual void setSlotLabel(int slot, const std::string& label) = 0;
    virtual void setSlotSelected(int slot, bool selected) = 0;

    // ---- Menu: the state of every item id when the menu opens; popups by their label.
    virtual void setMenuItem(int id, const MenuItemState& state) = 0;
    virtual void setMenuPopupEnabled(const std::string& popup, bool enabled) = 0;
    // The recent files popup: (command id, label) from the top.
    virtual void setRecentFiles(const std::vector<std::pair<int, std::string>>& items) = 0;

    // ---- Message boxes; an empty caption gets the box's default.
    virtual Reply ask(const std::string& text, const std::string& caption, Buttons buttons) = 0;
    virtual void warn(const std::string& text, const std::string& caption) = 0;
    virtual void fatal(const std::string& text) = 0;
    virtual void about(const std::string& text) = 0;

    // ---- Choosers: nothing when the user chose nothing.
    virtual std::optional<std::string> chooseFile(const std::string& title, const FileFilter& filter,
                                                  const std::string& folder) = 0;
    virtual std::optional<std::string> chooseFolder(const std::string& start) = 0;

    // ---- Modal dialogs: the view shows the dialog's state and forwards the user's
    // actions to it until it ends. False when the dialog was cancelled.
    virtual bool runLoginDialog(LoginDialog& dialog) = 0;
    virtual bool runIoOptionsDialog(IoOptionsDialog& dialog) = 0;
    virtual bool runMidiResponseDialog(midi::MidiResponseDialog& dialog) = 0;

    // ---- Help: at a topic keyword, or its contents; closed at exit.
    virtual void openHelp(const std::optional<std::string>& keyword) = 0;
    virtual void closeHelp() = 0;

    // ---- The gesture window's pad in the window's pixels (converted from its dialog units).
    virtual PadRect gesturePadRect() = 0;

    // ---- The window itself ends (the exit sequence finished, or a fatal error).
    virtual void closeWindow(int result) = 0;
};

}  // namespace shell
