#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace patches {

enum class Answer { Yes, No, Cancel };

// Everything the patch bank panel and the bank file operations show or ask.
// The window implements it with widgets and message boxes; tests script it.
// Thread: main.
class PanelView {
  public:
    virtual ~PanelView() = default;

    // Message boxes.
    virtual Answer askYesNoCancel(const std::string& text, const std::string& caption) = 0;
    virtual bool askOkCancel(const std::string& text, const std::string& caption) = 0;  // true: OK
    virtual void warn(const std::string& text, const std::string& caption) = 0;

    // The open-file chooser for one patch bank file ("Frisson patch banks",
    // ".fpb"), starting in `folder`; nothing when the user chose none.
    virtual std::optional<std::string> chooseBankFile(const std::string& folder) = 0;

    // The bank name field (at most 63 characters).
    virtual void setNameField(const std::string& text) = 0;
    // Puts `prompt` into the name field, gives it the keyboard focus and selects its text.
    virtual void promptForName(const std::string& prompt) = 0;

    // The bank buttons A..H: `bank` is shown as the displayed one.
    virtual void showDisplayedBank(int bank) = 0;
    // Slot buttons: 0 is the Default Patch button, 1..20 the slots.
    virtual void setSlotLabel(int slot, const std::string& label) = 0;
    virtual void setSlotSelected(int slot, bool selected) = 0;

    // Part 1 of the status bar (parts 2 and 3 are emptied with it).
    virtual void showStatus(const std::string& text) = 0;
    virtual void clearStatus() = 0;

    // Moves the current stream's scroll bar of parameter `param` to `value`.
    virtual void moveScrollBar(int param, int32_t value) = 0;
};

}  // namespace patches
