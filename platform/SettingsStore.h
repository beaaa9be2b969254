#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A per-user hierarchical store of typed values, kept in a text file in the
// registry-export layout:
//
//   Windows Registry Editor Version 5.00
//
//   [Software\Wavecraft\Frisson\Users\bob]
//   "Sample rate"=dword:00005622
//   "Soundfile in folder"="/home/bob/sounds"
//
// Key paths are backslash-separated; key and value names compare without
// regard to ASCII case, as registry names do. Subkeys enumerate in
// alphabetical order, values in the order they were first written.
// Thread: main.

enum class SettingsValueType {
    Text,   // "Name"="text"
    Dword,  // "Name"=dword:0000abcd
    Other,  // any other registry type ("Name"=hex:..., hex(7):...), kept as written
};

struct SettingsValue {
    std::string name;
    SettingsValueType type = SettingsValueType::Text;
    std::string text;  // Text: the text; Other: the data after '=' as written in the file
    uint32_t dword = 0;
};

class SettingsStore {
  public:
    // An empty store that lives in memory only: save() writes nothing.
    SettingsStore() = default;

    // Reads `file`. A missing file gives an empty store. A file that cannot be
    // read or parsed is renamed aside (never overwritten) and the store starts
    // empty; loadProblem() then tells what happened.
    explicit SettingsStore(std::filesystem::path file);

    const std::filesystem::path& file() const { return file_; }

    // What went wrong while reading the file, if anything (kept until cleared).
    const std::optional<std::string>& loadProblem() const { return loadProblem_; }
    void clearLoadProblem() { loadProblem_.reset(); }

    bool keyExists(std::string_view key) const;
    // Creates the key and every missing key above it.
    void createKey(std::string_view key);
    // The names of the key's direct subkeys; empty when the key is missing.
    std::vector<std::string> subkeys(std::string_view key) const;
    // Deletes a key with everything below it. False when it is missing.
    bool deleteKey(std::string_view key);

    // Nothing when the key or the value is missing.
    std::optional<SettingsValue> findValue(std::string_view key, std::string_view name) const;
    std::vector<SettingsValue> values(std::string_view key) const;
    // Writing a value creates its key when missing.
    void setText(std::string_view key, std::string_view name, std::string_view text);
    void setDword(std::string_view key, std::string_view name, uint32_t value);
    // True when a value was deleted.
    bool deleteValue(std::string_view key, std::string_view name);

    // True when something changed since the store was read or saved.
    bool dirty() const { return dirty_; }

    // Writes the whole store to its file: first to a temporary file in the same
    // folder, then renamed over the old one, so a crash leaves either the old
    // or the new file. Creates missing folders. Returns an error text on failure.
    // A store in memory only has nothing to write.
    std::optional<std::string> save();

    // The store in the file layout.
    std::string serialize() const;

    struct Key {
        std::string name;
        std::vector<SettingsValue> values;
        std::vector<Key> subkeys;  // sorted by name, ignoring case
    };

  private:
    void read();
    Key* find(std::string_view path);
    const Key* find(std::string_view path) const;
    Key& create(std::string_view path);
    void setValue(std::string_view key, SettingsValue value);

    std::filesystem::path file_;
    Key root_;
    bool dirty_ = false;
    bool saveBlocked_ = false;  // the unreadable file could not be set aside: never overwrite it
    std::optional<std::string> loadProblem_;
};

// ${XDG_CONFIG_HOME:-~/.config}/frisson/settings.reg
std::filesystem::path defaultSettingsFile();

}  // namespace platform
