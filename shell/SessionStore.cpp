#include "shell/SessionStore.h"

#include "shell/Registry.h"

namespace shell {

namespace {
constexpr const char* kSessionKey = "SessionPatches";
}  // namespace

std::optional<std::array<std::string, patches::kBankCount>> SessionStore::read() {
    Registry key(store_, userKey_);
    if (!key.hasSubkey(kSessionKey))
        return std::nullopt;
    key.enter(kSessionKey);
    std::array<std::string, patches::kBankCount> names;
    for (int b = 0; b < patches::kBankCount; ++b)
        names[static_cast<size_t>(b)] = key.readText(patches::bankLetter(b), "");
    return names;
}

void SessionStore::write(int bank, const std::string& name) {
    try {
        Registry key(store_, userKey_);
        key.enter(kSessionKey);
        if (name.empty())
            key.deleteValue(patches::bankLetter(bank));
        else
            key.writeText(patches::bankLetter(bank), name);
    } catch (const RegistryError&) {
        // Writing settings ignores store errors.
    }
}

}  // namespace shell
