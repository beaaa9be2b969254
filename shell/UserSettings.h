#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/SettingsStore.h"
#include "shell/FileList.h"
#include "shell/StoredSettings.h"

namespace shell {

// The longest user name; "Default" (exact case) means nobody is logged in.
inline constexpr size_t kMaxUserNameLength = 79;
inline constexpr std::string_view kDefaultUser = "Default";
inline constexpr std::string_view kSettingsReadWarning =
    "Could not read registry - please review program settings";

// Shows a warning box (text, caption).
using WarningBox = std::function<void(const std::string&, const std::string&)>;

// The logged-in user and the settings kept for them. Thread: main.
class UserSettings {
  public:
    UserSettings(platform::SettingsStore& store, FileList& recentFiles, WarningBox warn);

    const std::string& userName() const { return userName_; }
    // Logs a user in: the name is cut to 79 characters; "Default" logs out.
    void setUserName(std::string_view name);
    // The user's settings key: the base key, or its "Users\<name>" key.
    std::string settingsKey() const;

    StoredSettings& settings() { return settings_; }
    const StoredSettings& settings() const { return settings_; }

    // "Do startup login" from the base key, kept in the settings; any error gives false.
    bool startupLoginWanted();
    // Reads the recent files and the user's settings. A new user's key is first
    // created from the settings in memory. Errors end the reading with a warning;
    // the values read before stay.
    void loadSettings();
    // Writes every setting; store errors are ignored.
    void saveSettings();
    // Writes "Sound options" into the user's key (when recording takes a new file number).
    void storeSoundOptions(uint32_t value);

  private:
    void readValues();
    void reportLoadProblem();

    platform::SettingsStore& store_;
    FileList& recentFiles_;
    WarningBox warn_;
    std::string userName_;
    StoredSettings settings_;
};

}  // namespace shell
