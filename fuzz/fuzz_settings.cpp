// libFuzzer target for the settings store's text form: any bytes as the settings
// file. A file the store cannot parse is set aside unchanged and the store starts
// empty; a file it parses holds keys whose values are found by name, and saving
// the store writes a file that reads back with every key and value it held.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/AsciiCase.h"
#include "platform/SettingsStore.h"

namespace {

using fuzzing::check;

bool sameValue(const platform::SettingsValue& a, const platform::SettingsValue& b) {
    return a.name == b.name && a.type == b.type && a.text == b.text && a.dword == b.dword;
}

// Every key below `key` (itself included) with its values, in enumeration order,
// as one flat list of lines; checks on the way that each value is found by its name
// and that no two names of a key differ only in case.
void walk(const platform::SettingsStore& store, const std::string& key, std::vector<std::string>& out) {
    const auto values = store.values(key);
    out.push_back("[" + key + "]");
    for (size_t i = 0; i < values.size(); ++i) {
        const auto found = store.findValue(key, values[i].name);
        check(found && sameValue(*found, values[i]));
        for (size_t j = 0; j < i; ++j)
            check(!platform::equalIgnoringAsciiCase(values[i].name, values[j].name));
        out.push_back(values[i].name + "=" + std::to_string(static_cast<int>(values[i].type)) + ":" +
                      values[i].text + ":" + std::to_string(values[i].dword));
    }
    const auto subkeys = store.subkeys(key);
    for (size_t i = 0; i < subkeys.size(); ++i) {
        for (size_t j = 0; j < i; ++j)
            check(!platform::equalIgnoringAsciiCase(subkeys[i], subkeys[j]));
        const std::string path = key.empty() ? subkeys[i] : key + "\\" + subkeys[i];
        check(store.keyExists(path));
        walk(store, path, out);
    }
}

std::vector<std::string> contents(const platform::SettingsStore& store) {
    std::vector<std::string> out;
    walk(store, "", out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFolder folder("fuzz_settings");
    folder.clear();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path file = folder.path() / "settings.reg";
    fuzzing::writeFile(file, bytes);

    platform::SettingsStore store(file);
    if (store.loadProblem()) {
        // Set aside as it was, and never overwritten: the store starts empty.
        check(!std::filesystem::exists(file));
        const auto aside = fuzzing::readFile(folder.path() / "settings.reg.unreadable");
        check(aside && *aside == bytes);
        check(contents(store) == std::vector<std::string>{"[]"});
        return 0;
    }
    const std::vector<std::string> read = contents(store);
    check(!store.save());
    platform::SettingsStore reread(file);
    check(!reread.loadProblem());
    check(contents(reread) == read);
    check(reread.serialize() == store.serialize());
    return 0;
}
