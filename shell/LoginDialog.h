#pragma once

#include <string>
#include <vector>

#include "platform/SettingsStore.h"

namespace shell {

inline constexpr size_t kLoginNameBoxLength = 80;

// The logic of the modal login dialog "Fizz Login": the list of login handles,
// the "Don't show this dialog next session." box, Use Default and Log In.
// Thread: main.
class LoginDialog {
  public:
    // Lists "Default" and every user key except those named "Default" in any
    // case, and selects `currentUser` (or "Default" when it is empty).
    LoginDialog(platform::SettingsStore& store, const std::string& currentUser, bool doStartupLogin);

    const std::vector<std::string>& entries() const { return entries_; }
    // The selected entry, -1 for none.
    int selected() const { return selected_; }

    bool dontShowAgain() const { return !doStartupLogin_; }
    void setDontShowAgain(bool checked) { doStartupLogin_ = !checked; }
    bool doStartupLogin() const { return doStartupLogin_; }

    // Use Default: nobody is logged in; the dialog ends.
    void useDefault();
    // Log In with the name box's text and the selected entry. With Ctrl and
    // Shift held the dialog stays open and, when the selected entry is the
    // typed user, deletes that user. True when the dialog ends.
    bool logIn(const std::string& boxText, int selectedEntry, bool ctrlAndShift);

    // The chosen user name, empty for none (valid once the dialog ended).
    const std::string& userName() const { return userName_; }

  private:
    platform::SettingsStore& store_;
    std::vector<std::string> entries_;
    int selected_ = 0;
    bool doStartupLogin_;
    std::string userName_;
};

}  // namespace shell
