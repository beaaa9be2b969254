#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SettingsStore.h"

namespace shell {

// The File menu's popup of recent sound files, as the window shows it.
class RecentFilesMenu {
  public:
    virtual ~RecentFilesMenu() = default;
    virtual void removeAllItems() = 0;
    virtual void appendItem(int id, const std::string& label) = 0;
};

// The recent sound files: at most 10 full paths, oldest first, stored per
// user in the "RecentFiles" key as values "0".."9". Thread: main.
class FileList {
  public:
    static constexpr size_t kCapacity = 10;
    static constexpr int kFirstCommandId = 22222;
    static constexpr int kLastHandledCommandId = 22232;
    static constexpr std::string_view kName = "Recent &Files";
    static constexpr std::string_view kRecordKey = "RecentFiles";

    // A sound file loaded: appended as the newest entry unless the same path is
    // already listed; the oldest goes when the list is full.
    void add(const std::string& path);

    // Entry i; empty text for an index at or beyond the number of entries.
    // Throws std::out_of_range("FileList::operator[]") for an index beyond the capacity.
    std::string operator[](size_t index) const;
    size_t size() const { return entries_.size(); }

    // The menu to keep up to date (not owned); rebuilt at once.
    void attach(RecentFilesMenu* menu);
    // The path of a menu command (shown in the status line on highlight).
    std::optional<std::string> pathForCommand(int id) const;

    // Reads the user's record (the key `userKey` + "\RecentFiles"): replaces the
    // entries when it holds any value; keeps only text values longer than
    // 3 bytes that name existing files. Store errors end the loading silently.
    void loadRecent(platform::SettingsStore& store, const std::string& userKey);
    // Writes the entries as "0".."n-1" and deletes the values "n".."9".
    void saveRecent(platform::SettingsStore& store, const std::string& userKey) const;

  private:
    void rebuildMenu();

    std::vector<std::string> entries_;
    RecentFilesMenu* menu_ = nullptr;
};

// The menu label of a path: the part after its last '/'.
std::string recentFileLabel(std::string_view path);

}  // namespace shell
