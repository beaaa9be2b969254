#pragma once

#include "patches/Session.h"
#include "platform/SettingsStore.h"

namespace shell {

// The session record in the user's settings key: "SessionPatches", one text
// value per bank letter. Thread: main.
class SessionStore : public patches::SessionRecord {
  public:
    SessionStore(platform::SettingsStore& store, std::string userKey)
        : store_(store), userKey_(std::move(userKey)) {}

    std::optional<std::array<std::string, patches::kBankCount>> read() override;
    void write(int bank, const std::string& name) override;

  private:
    platform::SettingsStore& store_;
    std::string userKey_;
};

}  // namespace shell
