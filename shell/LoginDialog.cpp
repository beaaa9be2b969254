#include "shell/LoginDialog.h"

#include <algorithm>

#include "platform/AsciiCase.h"
#include "shell/Registry.h"
#include "shell/UserSettings.h"

namespace shell {

namespace {

std::string usersKey() {
    return std::string(kBaseKey) + std::string(kUsersKey);
}

}  // namespace

LoginDialog::LoginDialog(platform::SettingsStore& store, const std::string& currentUser, bool doStartupLogin)
    : store_(store), doStartupLogin_(doStartupLogin) {
    entries_.emplace_back(kDefaultUser);
    for (const std::string& name : store_.subkeys(usersKey())) {
        if (!platform::equalIgnoringAsciiCase(name, kDefaultUser))
            entries_.push_back(name);
    }
    const auto found = std::find(entries_.begin(), entries_.end(), currentUser);
    selected_ =
        currentUser.empty() || found == entries_.end() ? 0 : static_cast<int>(found - entries_.begin());
    userName_ = currentUser;
}

void LoginDialog::useDefault() {
    userName_.clear();
}

bool LoginDialog::logIn(const std::string& boxText, int selectedEntry, bool ctrlAndShift) {
    std::string name = boxText.substr(0, kMaxUserNameLength);
    if (name == kDefaultUser)
        name.clear();
    if (!ctrlAndShift) {
        userName_ = std::move(name);
        return true;
    }
    const bool validEntry = selectedEntry >= 0 && selectedEntry < static_cast<int>(entries_.size());
    if (validEntry && !name.empty() && entries_[static_cast<size_t>(selectedEntry)] == name) {
        try {
            Registry users(store_, usersKey());
            users.deleteSubkey(name);
        } catch (const RegistryError&) {
            // The entry still goes from the list; the key stays in the store.
        }
        entries_.erase(entries_.begin() + selectedEntry);
        selected_ = 0;
    }
    return false;
}

}  // namespace shell
