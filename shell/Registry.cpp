#include "shell/Registry.h"

#include <cerrno>
#include <cstdio>

namespace shell {

namespace {

bool readable(int mode) {
    const int access = mode & kFullAccess;
    return access != kWriteAccess;
}

bool writable(int mode) {
    const int access = mode & kFullAccess;
    return access != kReadAccess;
}

}  // namespace

Registry::Registry(platform::SettingsStore& store, std::string_view path, int mode) : store_(store) {
    open(std::string(path), mode);
}

Registry::~Registry() {
    if (!store_.dirty())
        return;
    if (auto error = store_.save())
        std::fprintf(stderr, "settings: %s\n", error->c_str());
}

void Registry::open(std::string path, int mode) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    if (!store_.keyExists(path)) {
        if ((mode & kOpenExisting) || !writable(mode))
            throw RegistryError("Could not open new key handle", ENOENT);
        store_.createKey(path);
    }
    path_ = std::move(path);
    mode_ = mode;
}

void Registry::enter(std::string_view name, int mode) {
    open(path_ + "\\" + std::string(name), mode);
}

bool Registry::hasSubkey(std::string_view name) const {
    return store_.keyExists(path_ + "\\" + std::string(name));
}

std::vector<std::string> Registry::subkeyNames() const {
    requireRead();
    return store_.subkeys(path_);
}

void Registry::deleteSubkey(std::string_view name) {
    requireWrite();
    store_.deleteKey(path_ + "\\" + std::string(name));
}

void Registry::requireRead() const {
    if (!readable(mode_))
        throw RegistryError("Key not open for reading", EACCES);
}

void Registry::requireWrite() const {
    if (!writable(mode_))
        throw RegistryError("Key not open for writing", EACCES);
}

std::string Registry::readText(std::string_view name, std::string_view fallback) const {
    requireRead();
    const auto value = store_.findValue(path_, name);
    if (!value)
        return std::string(fallback);
    if (value->type != platform::SettingsValueType::Text)
        throw RegistryError("Not a text value!", EINVAL);
    return value->text;
}

uint32_t Registry::readDword(std::string_view name, uint32_t fallback) const {
    requireRead();
    const auto value = store_.findValue(path_, name);
    if (!value)
        return fallback;
    if (value->type != platform::SettingsValueType::Dword)
        throw RegistryError("Not a DWORD value!", EINVAL);
    return value->dword;
}

void Registry::writeText(std::string_view name, std::string_view text) {
    requireWrite();
    store_.setText(path_, name, text);
}

void Registry::writeDword(std::string_view name, uint32_t value) {
    requireWrite();
    store_.setDword(path_, name, value);
}

void Registry::deleteValue(std::string_view name) {
    requireWrite();
    store_.deleteValue(path_, name);
}

std::vector<platform::SettingsValue> Registry::enumerateValues() const {
    requireRead();
    return store_.values(path_);
}

}  // namespace shell
