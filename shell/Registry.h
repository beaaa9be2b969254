#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SettingsStore.h"

namespace shell {

// An error of the settings store: a message and an error code (an errno value).
class RegistryError : public std::runtime_error {
  public:
    RegistryError(const char* message, int code) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

// Open modes: bit 0 opens an existing key only (otherwise a missing key is
// created); bits 1..2 choose the access: both or neither full, only bit 1 read,
// only bit 2 write.
inline constexpr int kOpenExisting = 1;
inline constexpr int kReadAccess = 2;
inline constexpr int kWriteAccess = 4;
inline constexpr int kFullAccess = kReadAccess | kWriteAccess;

// The settings base key; a user's settings are below it in "Users\<name>".
inline constexpr std::string_view kBaseKey = "Software\\Wavecraft\\Frisson\\";
inline constexpr std::string_view kUsersKey = "Users";

// Access to one key of the settings store, opened from a path and entered one
// level at a time. Leaving the object closes every level and writes what was
// changed to the settings file (a failed write is logged, not thrown).
// Thread: main.
class Registry {
  public:
    // Opens `path`; throws "Could not open new key handle" when it cannot.
    Registry(platform::SettingsStore& store, std::string_view path, int mode = kFullAccess);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Enters the subkey `name` of the present key with the same rules.
    void enter(std::string_view name, int mode = kFullAccess);
    bool hasSubkey(std::string_view name) const;
    std::vector<std::string> subkeyNames() const;
    // Deletes the subkey `name` with everything below it.
    void deleteSubkey(std::string_view name);

    // A missing value gives the default. readDword throws "Not a DWORD value!"
    // for a value of another type; readText throws "Not a text value!".
    std::string readText(std::string_view name, std::string_view fallback) const;
    uint32_t readDword(std::string_view name, uint32_t fallback) const;
    void writeText(std::string_view name, std::string_view text);
    void writeDword(std::string_view name, uint32_t value);
    void deleteValue(std::string_view name);
    std::vector<platform::SettingsValue> enumerateValues() const;

    const std::string& path() const { return path_; }

  private:
    void open(std::string path, int mode);
    void requireRead() const;
    void requireWrite() const;

    platform::SettingsStore& store_;
    std::string path_;
    int mode_ = kFullAccess;
};

}  // namespace shell
