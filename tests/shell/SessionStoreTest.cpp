#include "shell/SessionStore.h"

#include <gtest/gtest.h>

#include "shell/Registry.h"
#include "tests/shell/TempHome.h"

namespace shell {
namespace {

constexpr const char* kBob = "Software\\Wavecraft\\Frisson\\Users\\bob";

class SessionStoreTest : public testing::TempHome {};

TEST_F(SessionStoreTest, NoRecordUntilTheFirstExit) {
    platform::SettingsStore store(settingsFile());
    SessionStore session(store, kBob);
    EXPECT_FALSE(session.read());
}

TEST_F(SessionStoreTest, RecordsNamesAndDeletesEmptyBanksAcrossARestart) {
    {
        platform::SettingsStore store(settingsFile());
        SessionStore session(store, kBob);
        session.write(0, "drums");
        session.write(1, "voices");
        session.write(2, "old");
        session.write(2, "");
    }
    platform::SettingsStore store(settingsFile());
    SessionStore session(store, kBob);
    const auto names = session.read();
    ASSERT_TRUE(names);
    EXPECT_EQ((*names)[0], "drums");
    EXPECT_EQ((*names)[1], "voices");
    EXPECT_EQ((*names)[2], "");
    EXPECT_FALSE(store.findValue(std::string(kBob) + "\\SessionPatches", "C"));
}

TEST_F(SessionStoreTest, WrongTypeIsAStoreError) {
    platform::SettingsStore store(settingsFile());
    store.setDword(std::string(kBob) + "\\SessionPatches", "A", 1);
    SessionStore session(store, kBob);
    EXPECT_THROW(session.read(), RegistryError);
}

}  // namespace
}  // namespace shell
