#include "shell/FileList.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "shell/Registry.h"

namespace shell {

namespace {
// A stored path must have more than this many bytes of data (its terminator included).
constexpr size_t kMinimumDataBytes = 3;
}  // namespace

std::string recentFileLabel(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

void FileList::add(const std::string& path) {
    if (std::find(entries_.begin(), entries_.end(), path) != entries_.end())
        return;
    if (entries_.size() == kCapacity)
        entries_.erase(entries_.begin());
    entries_.push_back(path);
    rebuildMenu();
}

std::string FileList::operator[](size_t index) const {
    if (index >= kCapacity)
        throw std::out_of_range("FileList::operator[]");
    return index < entries_.size() ? entries_[index] : std::string();
}

void FileList::attach(RecentFilesMenu* menu) {
    menu_ = menu;
    rebuildMenu();
}

void FileList::rebuildMenu() {
    if (!menu_)
        return;
    menu_->removeAllItems();
    for (size_t i = entries_.size(); i-- > 0;)
        menu_->appendItem(kFirstCommandId + static_cast<int>(i), recentFileLabel(entries_[i]));
}

std::optional<std::string> FileList::pathForCommand(int id) const {
    if (id < kFirstCommandId || id > kLastHandledCommandId)
        return std::nullopt;
    const auto index = static_cast<size_t>(id - kFirstCommandId);
    if (index >= entries_.size())
        return std::nullopt;
    return entries_[index];
}

void FileList::loadRecent(platform::SettingsStore& store, const std::string& userKey) {
    try {
        Registry key(store, userKey);
        key.enter(kRecordKey);
        const auto values = key.enumerateValues();
        if (values.empty())
            return;
        entries_.clear();
        for (const auto& value : values) {
            if (value.type != platform::SettingsValueType::Text || value.text.size() + 1 <= kMinimumDataBytes)
                continue;
            std::error_code ec;
            if (std::filesystem::exists(value.text, ec))
                add(value.text);
        }
        rebuildMenu();
    } catch (const RegistryError&) {
        // The entries added so far stay.
    }
}

void FileList::saveRecent(platform::SettingsStore& store, const std::string& userKey) const {
    try {
        Registry key(store, userKey);
        key.enter(kRecordKey);
        for (size_t i = 0; i < entries_.size(); ++i)
            key.writeText(std::to_string(i), entries_[i]);
        for (size_t i = entries_.size(); i < kCapacity; ++i)
            key.deleteValue(std::to_string(i));
    } catch (const RegistryError&) {
        // Writing settings ignores store errors.
    }
}

}  // namespace shell
